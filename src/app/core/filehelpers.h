#pragma once

#include <QString>

class QFile;

namespace zd {

class UiServices;

/// True when the path's modification time can be read (files and folders).
bool FileExists(const QString &path);

/// Removes a file and never fails; falls back to ForceDeleteFile.
void DeleteFileQuietly(UiServices &ui, const QString &path);

/// Makes the file writable for its owner, then removes it; throws Failure.
void ForceDeleteFile(const QString &path);

/// Opens \a file for reading when it names a regular file; throws Failure
/// otherwise. A FIFO without a writer would block the window for good, and
/// a folder has no content to read.
void openRegularFile(QFile &file);

} // namespace zd
