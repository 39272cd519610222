#include "support/faultyfilesystems.h"

#include <QByteArray>
#include <QFile>

#include <csignal>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace zd::test {

SmallFileSystem::SmallFileSystem(const QString &mountPoint, qint64 bytes) : m_mountPoint(mountPoint)
{
    const QByteArray options = "size=" + QByteArray::number(bytes);
    m_mounted =
        ::mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, options.constData()) == 0;
}

SmallFileSystem::~SmallFileSystem()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_mountPoint).constData(), MNT_DETACH);
}

bool SmallFileSystem::fill()
{
    const QByteArray path = QFile::encodeName(m_mountPoint + QStringLiteral("/filler"));
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return false;
    const QByteArray block(4096, 'f');
    bool full = false;
    for (int i = 0; i < 1'000'000 && !full; ++i)
        full = ::write(fd, block.constData(), static_cast<size_t>(block.size())) < 0;
    ::close(fd);
    return full;
}

FileSizeLimit::FileSizeLimit(qint64 bytes)
{
    std::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &m_old);
    rlimit small = m_old;
    small.rlim_cur = static_cast<rlim_t>(bytes);
    ::setrlimit(RLIMIT_FSIZE, &small);
}

FileSizeLimit::~FileSizeLimit()
{
    ::setrlimit(RLIMIT_FSIZE, &m_old);
}

} // namespace zd::test
