#include "core/filehelpers.h"

#include "core/errorreport.h"
#include "core/system.h"
#include "core/uiservices.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace zd {

namespace {

// Only regular files are read and replaced: a folder has no content, and a
// FIFO or device would block the window or be replaced by a plain file.
// A symbolic link whose chain of targets comes back to itself.
bool leadsInACircle(const QFileInfo &info)
{
    // The system itself gives up after 40 links.
    constexpr int kMaxLinks = 40;
    QFileInfo link = info;
    for (int i = 0; i < kMaxLinks && link.isSymLink(); ++i)
        link = QFileInfo(link.symLinkTarget());
    return link.isSymLink();
}

void requireRegularFile(const QFileInfo &info, const QString &path)
{
    if (info.isSymLink() && !info.exists() && leadsInACircle(info))
        throw Failure(
            QStringLiteral("Path/File access error: %1 is a link that leads round in a circle").arg(path));
    if (info.isDir())
        throw Failure(QStringLiteral("Path/File access error: %1 is a folder").arg(path));
    if (info.exists() && !info.isFile())
        throw Failure(QStringLiteral("Path/File access error: %1 is not a regular file").arg(path));
}

} // namespace

bool fileExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.lastModified().isValid();
}

void deleteFileQuietly(UiServices &ui, const QString &path)
{
    ui.pumpEvents();
    if (QFile::remove(path))
        return;
    try {
        forceDeleteFile(path);
    } catch (const Failure &) {
        // Quiet by contract: the caller never hears of it.
    }
}

void forceDeleteFile(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        throw Failure(QStringLiteral("File not found"));
    file.setPermissions(file.permissions() | QFileDevice::WriteOwner);
    if (!file.remove())
        throw Failure(QStringLiteral("Permission denied"));
}

void openRegularFile(QFile &file)
{
    const QFileInfo info(file.fileName());
    if (!info.exists())
        throw Failure(QStringLiteral("File not found"));
    requireRegularFile(info, file.fileName());
    errno = 0;
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(describeFileError(file, file.fileName(), errno));
}

QString fileErrorReason(const QFileDevice &file, int savedErrno)
{
    // Qt's own text is "Unknown error" when a buffered write failed at close.
    QString reason = savedErrno != 0 ? QString::fromLocal8Bit(std::strerror(savedErrno)) : file.errorString();
    if (reason.isEmpty())
        reason = QStringLiteral("Unknown error");
    return reason;
}

QString describeFileError(const QFileDevice &file, const QString &path, int savedErrno)
{
    return QStringLiteral("%1: %2").arg(fileErrorReason(file, savedErrno), path);
}

void requireRegularOrMissing(const QString &path)
{
    requireRegularFile(QFileInfo(path), path);
}

FileReplacement::FileReplacement(const QString &path) : m_path(path), m_file(path)
{
    requireRegularOrMissing(path);
    const QFileInfo info(path);
    if (info.exists() && !info.isWritable())
        throw Failure(QStringLiteral("Permission denied: %1").arg(path));
    errno = 0;
    if (!m_file.open(QIODevice::WriteOnly))
        fail(errno);
    // The new file takes the old one's place: give it the old one's permissions.
    sys::copyFileAttributes(path, m_file.handle());
}

void FileReplacement::write(QByteArrayView bytes)
{
    errno = 0;
    if (m_file.write(bytes.data(), bytes.size()) != bytes.size())
        fail(errno);
}

void FileReplacement::commit()
{
    // close() ignores a failed flush and commit() would then rename a short
    // file over the user's: flush first and check it.
    errno = 0;
    if (!m_file.flush() || m_file.error() != QFileDevice::NoError)
        fail(errno);
    // Another program may have put a folder, a pipe or a device there
    // meanwhile: it stays as it is.
    try {
        requireRegularOrMissing(m_path);
    } catch (const Failure &) {
        m_file.cancelWriting();
        throw;
    }
    errno = 0;
    if (!m_file.commit())
        fail(errno);
}

void FileReplacement::fail(int savedErrno)
{
    const QString text = describeFileError(m_file, m_path, savedErrno);
    m_file.cancelWriting();
    throw Failure(text);
}

} // namespace zd
