#pragma once

#include "core/settingsstore.h"

#include <QByteArrayView>
#include <QMap>
#include <QStringList>

namespace zd {

/// An INI file, <XDG_CONFIG_HOME>/<application>.ini, one group per section,
/// in the format QSettings reads. The file is the user's: a write changes
/// only the lines of our section's keys and keeps every other byte. A file
/// that is not a regular file, is over 1 MiB, is not INI text or whose lock
/// file is not a regular file is left alone: choices then last for the
/// session and every write reports failure, so start-up never waits on it
/// and never replaces a device, a pipe or another program's file.
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
    void read(QByteArrayView file);

    QString m_path;
    QString m_section;
    /// Why the file is left alone; empty while it is used.
    QString m_problem;
    /// Our section's values, as read at start-up and set since.
    QMap<QString, QString> m_values;
    /// Keys set that no write has put in the file yet.
    QStringList m_unwritten;
};

/// Why the settings file at \a path must be left alone, or "" when it may be
/// read and written.
QString settingsFileProblem(const QString &path);

} // namespace zd
