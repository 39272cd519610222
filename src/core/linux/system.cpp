#include "core/system.h"

#include <new>

#include <fontconfig/fontconfig.h>
#include <sys/mman.h>
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

void loadFontConfiguration()
{
    FcInit();
}

} // namespace zd::sys
