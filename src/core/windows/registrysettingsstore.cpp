#include "core/windows/registrysettingsstore.h"

namespace zd {

QString RegistrySettingsStore::keyPath(const QString &application, const QString &section)
{
    return QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\%1\\%2")
        .arg(application, section);
}

RegistrySettingsStore::RegistrySettingsStore(const QString &application, const QString &section)
    : m_path(keyPath(application, section)), m_settings(m_path, QSettings::NativeFormat)
{
}

std::optional<QString> RegistrySettingsStore::value(const QString &key)
{
    if (!m_settings.contains(key))
        return std::nullopt;
    const QVariant stored = m_settings.value(key);
    // A multi-string is not a value we wrote; show it as text, as on Linux.
    if (stored.typeId() == QMetaType::QStringList)
        return stored.toStringList().join(QStringLiteral(", "));
    // Binary data is no text: an odd value, reported when it is read.
    if (stored.typeId() == QMetaType::QByteArray)
        return QStringLiteral("(binary data)");
    return stored.toString();
}

bool RegistrySettingsStore::setValue(const QString &key, const QString &value)
{
    return setValues({{key, value}});
}

bool RegistrySettingsStore::setValues(const QList<std::pair<QString, QString>> &values)
{
    for (const auto &[key, value] : values) {
        // Values the key already holds need no write.
        if (m_settings.contains(key) && m_settings.value(key).typeId() == QMetaType::QString
            && m_settings.value(key).toString() == value)
            continue;
        m_settings.setValue(key, value);
    }
    m_settings.sync();
    return m_settings.status() == QSettings::NoError;
}

QString RegistrySettingsStore::location() const
{
    return m_path;
}

} // namespace zd
