#include "support/platformfiles.h"

namespace zd::test {

bool fileSystemHasNamedPipes()
{
    return false;
}

bool makeNamedPipe(const QString &)
{
    return false;
}

QString unreadableFile()
{
    return {};
}

} // namespace zd::test
