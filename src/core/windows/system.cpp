#include "core/system.h"

#include <new>

#include <windows.h>

namespace zd::sys {

std::size_t pageSize()
{
    static const std::size_t size = [] {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        return std::size_t(info.dwPageSize);
    }();
    return size;
}

void *allocatePages(std::size_t bytes)
{
    void *memory = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!memory)
        throw std::bad_alloc();
    return memory;
}

void freePages(void *memory, std::size_t)
{
    VirtualFree(memory, 0, MEM_RELEASE);
}

void populatePages(void *, std::size_t)
{
    // Windows has no call to fault in committed private pages ahead of
    // use; they come in as they are first touched.
}

void loadFontConfiguration()
{
    // The system's fonts need no configuration loaded: GDI has them ready.
}

} // namespace zd::sys
