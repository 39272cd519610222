#pragma once

#include "core/settingsstore.h"

#include <QMap>
#include <QSettings>

#include <memory>

namespace zd {

/// An INI file, <XDG_CONFIG_HOME>/<application>.ini, one group per section,
/// read and written through QSettings. A file that is not a regular file,
/// is over 1 MiB or whose lock file is not a regular file is left alone:
/// choices then last for the session and every write reports failure, so
/// start-up never waits on it and never replaces a device or a pipe.
class IniSettingsStore final : public SettingsStore
{
public:
    /// Beyond any settings file this program writes; a larger one is not ours.
    static constexpr qint64 kMaxFileBytes = 1 << 20;

    IniSettingsStore(const QString &application, const QString &section);
    ~IniSettingsStore() override;

    std::optional<QString> value(const QString &key) override;
    bool setValue(const QString &key, const QString &value) override;
    /// One lock and one write of the file for all of them.
    bool setValues(const QList<std::pair<QString, QString>> &values) override;
    QString location() const override;

private:
    QString m_path;
    QString m_section;
    /// Why the file is left alone; empty while it is used.
    QString m_problem;
    std::unique_ptr<QSettings> m_settings;
    QMap<QString, QString> m_session;
    // Values were set that no write has put in the file yet.
    bool m_unwritten = false;
};

/// Why the settings file at \a path must be left alone, or "" when it may be
/// read and written.
QString settingsFileProblem(const QString &path);

} // namespace zd
