#include "app/core/filehelpers.h"

#include "app/core/errorreport.h"
#include "app/core/uiservices.h"

#include <QFile>
#include <QFileInfo>

namespace zd {

bool FileExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.lastModified().isValid();
}

void DeleteFileQuietly(UiServices &ui, const QString &path)
{
    ui.pumpEvents();
    if (QFile::remove(path))
        return;
    try {
        ForceDeleteFile(path);
    } catch (const Failure &) {
        // Quiet by contract: the caller never hears of it.
    }
}

void ForceDeleteFile(const QString &path)
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
    if (info.isDir())
        throw Failure(QStringLiteral("Path/File access error: %1 is a folder").arg(file.fileName()));
    if (!info.isFile())
        throw Failure(
            QStringLiteral("Path/File access error: %1 is not a regular file").arg(file.fileName()));
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(file.errorString());
}

} // namespace zd
