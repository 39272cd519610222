#include "core/linux/inisettingsstore.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

#include <algorithm>

namespace zd {

namespace {

// QSettings waits for its lock without a bound; we wait this long at most.
constexpr int kLockWaitMs = 500;

bool isThere(const QFileInfo &info)
{
    return info.exists() || info.isSymLink();
}

} // namespace

QString settingsFileProblem(const QString &path)
{
    const QFileInfo file(path);
    if (isThere(file)) {
        if (!file.isFile())
            return QStringLiteral("it is not a regular file");
        if (file.size() > IniSettingsStore::kMaxFileBytes)
            return QStringLiteral("it is larger than 1 MiB");
    }
    const QFileInfo lock(path + QStringLiteral(".lock"));
    if (isThere(lock) && !lock.isFile())
        return QStringLiteral("its lock file is not a regular file");
    return {};
}

IniSettingsStore::IniSettingsStore(const QString &application, const QString &section)
    : m_path(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/')
             + application + QStringLiteral(".ini")),
      m_section(section), m_problem(settingsFileProblem(m_path))
{
    if (m_problem.isEmpty())
        m_settings = std::make_unique<QSettings>(m_path, QSettings::IniFormat);
}

IniSettingsStore::~IniSettingsStore() = default;

std::optional<QString> IniSettingsStore::value(const QString &key)
{
    if (!m_settings) {
        if (!m_session.contains(key))
            return std::nullopt;
        return m_session.value(key);
    }
    const QString fullKey = m_section + QLatin1Char('/') + key;
    if (!m_settings->contains(fullKey))
        return std::nullopt;
    const QVariant stored = m_settings->value(fullKey);
    // A list ("a, b" in the file) is not a value we wrote; show it as text.
    if (stored.typeId() == QMetaType::QStringList)
        return stored.toStringList().join(QStringLiteral(", "));
    return stored.toString();
}

bool IniSettingsStore::setValue(const QString &key, const QString &value)
{
    return setValues({{key, value}});
}

bool IniSettingsStore::setValues(const QList<std::pair<QString, QString>> &values)
{
    // The file may have been replaced since start-up.
    if (m_settings)
        m_problem = settingsFileProblem(m_path);
    if (!m_problem.isEmpty()) {
        m_settings.reset();
        for (const auto &[key, value] : values)
            m_session.insert(key, value);
        return false;
    }
    // Values the file already holds need no write: a start-up that finds
    // the choices as they were stored does not touch the disk.
    const bool unchanged = std::all_of(values.begin(), values.end(), [this](const auto &entry) {
        const QString fullKey = m_section + QLatin1Char('/') + entry.first;
        return m_settings->contains(fullKey) && m_settings->value(fullKey).toString() == entry.second;
    });
    if (unchanged && !m_unwritten && QFileInfo::exists(m_path))
        return true;
    for (const auto &[key, value] : values)
        m_settings->setValue(m_section + QLatin1Char('/') + key, value);
    // Until a write succeeds, what is in memory is not what is in the file.
    m_unwritten = true;
    // The lock lives beside the file: its folder must be there first.
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath()))
        return false;
    {
        QLockFile lock(m_path + QStringLiteral(".lock"));
        if (!lock.tryLock(kLockWaitMs))
            return false; // kept in memory; the next write tries again
    }
    m_settings->sync();
    // A file QSettings could not parse is still written; only access fails.
    if (m_settings->status() == QSettings::AccessError)
        return false;
    // sync() is silent when the folder cannot be created; check the file itself.
    const QFileInfo file(m_path);
    m_unwritten = !(file.exists() && file.isWritable());
    return !m_unwritten;
}

QString IniSettingsStore::location() const
{
    return m_problem.isEmpty() ? m_path : QStringLiteral("%1 (%2)").arg(m_path, m_problem);
}

} // namespace zd
