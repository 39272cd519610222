#include "core/system.h"

#include <QFile>

#include <new>

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zd::sys {

std::size_t pageSize()
{
    static const auto size = std::size_t(::sysconf(_SC_PAGESIZE));
    return size;
}

void *allocatePages(std::size_t bytes)
{
    void *memory = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        throw std::bad_alloc();
    return memory;
}

void freePages(void *memory, std::size_t bytes)
{
    ::munmap(memory, bytes);
}

void populatePages(void *memory, std::size_t bytes)
{
    // Where the kernel cannot, the pages simply come in as they are touched.
    ::madvise(memory, bytes, MADV_POPULATE_WRITE);
}

int duplicateHandle(int handle)
{
    return handle >= 0 ? ::dup(handle) : -1;
}

void closeHandle(int handle)
{
    if (handle >= 0)
        ::close(handle);
}

void copyFileAttributes(const QString &path, int handle)
{
    struct stat old
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &old) != 0)
        return;
    ::fchmod(handle, old.st_mode & 07777);
    if (::fchown(handle, old.st_uid, old.st_gid) != 0) {
        // Only root may give a file away; the user's own file is theirs anyway.
    }
}

} // namespace zd::sys
