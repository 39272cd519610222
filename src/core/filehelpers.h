#pragma once

#include <QByteArrayView>
#include <QSaveFile>
#include <QString>

#include <optional>

class QFile;
class QFileDevice;

namespace zd {

class UiServices;

/// True when the path's modification time can be read (files and folders).
bool fileExists(const QString &path);

/// Removes a file and never fails; falls back to forceDeleteFile.
void deleteFileQuietly(UiServices &ui, const QString &path);

/// Makes the file writable for its owner, then removes it; throws Failure.
void forceDeleteFile(const QString &path);

/// Opens \a file for reading when it names a regular file; throws Failure
/// otherwise. A FIFO without a writer would block the window for good, and
/// a folder has no content to read.
void openRegularFile(QFile &file);

/// What went wrong with a file, in words a user can act on: the system's
/// reason ("No space left on device") and the file's path.
QString describeFileError(const QFileDevice &file, const QString &path, int savedErrno);

/// Throws Failure when \a path (links followed) exists and is not a regular
/// file: saving would replace a device, FIFO or socket by a plain file.
void requireRegularOrMissing(const QString &path);

/// Replaces a file only once every byte is on disk. Each write, the flush,
/// the sync and the rename are checked; on any failure the old file stays as
/// it was, no temporary file is left, and Failure says why. The old file's
/// permissions (and, when allowed, its owner) are kept; a link stays a link.
class FileReplacement
{
public:
    /// Throws Failure when the target is a folder, not a regular file, or
    /// cannot be written.
    explicit FileReplacement(const QString &path);
    void write(QByteArrayView bytes);
    void commit();

private:
    [[noreturn]] void fail(int savedErrno);

    QString m_path;
    QSaveFile m_file;
};

} // namespace zd
