# Cross-building for 64-bit Windows with Debian's MinGW-w64 (posix threads,
# which Qt needs for std::thread and its own threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZD_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${ZD_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZD_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZD_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZD_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Qt comes from a prefix outside the MinGW root (our cache).
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

