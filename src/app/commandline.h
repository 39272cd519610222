#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace zd {

/// What the command line asks for: zentavia-desk [--start] [--private]
/// [FILE...].
struct CommandLine
{
    /// Site-list files to load, as absolute paths.
    QStringList files;
    /// Start opening once they are loaded.
    bool start = false;
    /// Check "Private window" for this session, without storing it.
    bool privateWindow = false;
    /// Set when the program only prints and ends (--help, --version, a
    /// mistake): the exit status, and the text for standard output, or for
    /// standard error when the status is not 0.
    std::optional<int> exitCode;
    QString text;
};

/// Reads \a arguments (the program's name first), Qt's own options among
/// them; relative file names are taken from \a currentFolder.
CommandLine parseCommandLine(const QStringList &arguments, const QString &currentFolder);

} // namespace zd
