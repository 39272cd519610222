#include "core/filehelpers.h"

#include "core/errorreport.h"
#include "core/uiservices.h"

#include <QDir>
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
        throw Failure(QStringLiteral("Path/File access error: %1 is a link that leads round in a circle")
                          .arg(QDir::toNativeSeparators(path)));
    if (info.isDir())
        throw Failure(
            QStringLiteral("Path/File access error: %1 is a folder").arg(QDir::toNativeSeparators(path)));
    if (info.exists() && !info.isFile())
        throw Failure(QStringLiteral("Path/File access error: %1 is not a regular file")
                          .arg(QDir::toNativeSeparators(path)));
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
    return QStringLiteral("%1: %2").arg(fileErrorReason(file, savedErrno), QDir::toNativeSeparators(path));
}

void requireRegularOrMissing(const QString &path)
{
    requireRegularFile(QFileInfo(path), path);
}

} // namespace zd
