#pragma once

#include <QString>

#include <cstddef>

/// The few calls the core and the list need from the operating system, each
/// with one body per platform (core/linux/system.cpp, core/windows/system.cpp).
namespace zd::sys {

/// The size of a memory page.
std::size_t pageSize();
/// Zeroed memory straight from the system, \a bytes rounded up to whole
/// pages; throws std::bad_alloc.
void *allocatePages(std::size_t bytes);
void freePages(void *memory, std::size_t bytes);
/// Puts the pages of [memory, memory + bytes) in place ahead of writing, one
/// call instead of a fault per page; a hint that may do nothing.
void populatePages(void *memory, std::size_t bytes);

/// Loads the system's font configuration, which the first text measured
/// otherwise waits for; safe on any thread, once or more.
void loadFontConfiguration();

} // namespace zd::sys
