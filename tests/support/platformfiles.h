#pragma once

#include <QString>

namespace zd::test {

/// Whether the file system has named pipes (FIFOs); Windows has none.
bool fileSystemHasNamedPipes();
/// Makes a named pipe at \a path; false when it could not.
bool makeNamedPipe(const QString &path);

/// A file that opens but whose read fails; empty where there is none.
QString unreadableFile();

} // namespace zd::test
