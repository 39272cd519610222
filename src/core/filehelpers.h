#pragma once

#include "core/errorreport.h"
#include "core/uiservices.h"

#include <QByteArrayView>
#include <QFile>
#include <QString>

#include <cerrno>
#include <memory>

class QFileDevice;

namespace zd {

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
/// The system's reason alone ("No such file or directory").
QString fileErrorReason(const QFileDevice &file, int savedErrno);

/// Reads \a file to its end, at most \a chunk bytes at a time, with a turn
/// of the event loop before each read: \a into(chunk) says where a piece
/// goes, \a took(n) gets its length (never 0). Throws Failure on a read error.
template<class Into, class Took>
void readInChunks(QFile &file, UiServices &ui, qint64 chunk, Into &&into, Took &&took)
{
    for (;;) {
        ui.pumpEvents();
        errno = 0;
        const qint64 n = file.read(into(chunk), chunk);
        if (n < 0)
            throw Failure(
                QStringLiteral("Device I/O error: %1").arg(describeFileError(file, file.fileName(), errno)));
        if (n == 0)
            return;
        took(n);
    }
}

/// Throws Failure when \a path (links followed) exists and is not a regular
/// file: saving would replace a device, FIFO or socket by a plain file.
void requireRegularOrMissing(const QString &path);

/// Replaces a file only once every byte is on disk. Each write, the flush,
/// the sync and the rename are checked; on any failure the old file stays as
/// it was, no temporary file is left, and Failure says why. The old file's
/// permissions (and, when allowed, its owner) are kept; a link stays a link.
/// On Windows its ACL, attributes and alternate streams are kept too.
class FileReplacement
{
public:
    /// Throws Failure when the target is a folder, not a regular file, or
    /// cannot be written.
    explicit FileReplacement(const QString &path);
    ~FileReplacement();
    FileReplacement(const FileReplacement &) = delete;
    FileReplacement &operator=(const FileReplacement &) = delete;
    void write(QByteArrayView bytes);
    void commit();

private:
    // Each platform replaces files its own way (core/linux, core/windows).
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace zd
