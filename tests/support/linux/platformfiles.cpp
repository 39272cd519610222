#include "support/platformfiles.h"

#include <QFile>

#include <sys/stat.h>

namespace zd::test {

bool fileSystemHasNamedPipes()
{
    return true;
}

bool makeNamedPipe(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

QString unreadableFile()
{
    // Opens for anyone, root too; reading at offset 0 fails.
    return QStringLiteral("/proc/self/mem");
}

} // namespace zd::test
