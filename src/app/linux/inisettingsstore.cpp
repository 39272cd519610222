#include "app/linux/inisettingsstore.h"

#include <QFileInfo>

namespace zd {

IniSettingsStore::IniSettingsStore(const QString &application, const QString &section)
    : m_settings(QSettings::IniFormat, QSettings::UserScope, application), m_section(section)
{
}

std::optional<QString> IniSettingsStore::value(const QString &key)
{
    const QString fullKey = m_section + QLatin1Char('/') + key;
    if (!m_settings.contains(fullKey))
        return std::nullopt;
    const QVariant stored = m_settings.value(fullKey);
    // A list ("a, b" in the file) is not a value we wrote; show it as text.
    if (stored.typeId() == QMetaType::QStringList)
        return stored.toStringList().join(QStringLiteral(", "));
    return stored.toString();
}

bool IniSettingsStore::setValue(const QString &key, const QString &value)
{
    m_settings.setValue(m_section + QLatin1Char('/') + key, value);
    m_settings.sync();
    if (m_settings.status() != QSettings::NoError)
        return false;
    // sync() is silent when the folder cannot be created; check the file itself.
    const QFileInfo file(m_settings.fileName());
    return file.exists() && file.isWritable();
}

QString IniSettingsStore::location() const
{
    return m_settings.fileName();
}

} // namespace zd
