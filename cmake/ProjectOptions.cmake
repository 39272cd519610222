# Language level, warnings and sanitizers shared by every target.
add_library(project_options INTERFACE)
target_compile_features(project_options INTERFACE cxx_std_20)
target_compile_options(project_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual
  -Wsuggest-override -Wundef -Wzero-as-null-pointer-constant -Wcast-align -Wformat=2
  $<$<CXX_COMPILER_ID:GNU>:-Wlogical-op -Wuseless-cast>)
target_compile_definitions(project_options INTERFACE
  QT_NO_KEYWORDS QT_NO_URL_CAST_FROM_STRING)

# GCC cannot align a Windows thread's stack to 32 bytes, so an AVX2 value it
# spills there could fault on an aligned move: the assembler makes every
# aligned vector move an unaligned one (as fast on aligned data).
if(WIN32)
  target_compile_options(project_options INTERFACE -Wa,-muse-unaligned-vector-move)
endif()

# The program's own code says which encoding every string has. Test code
# may write plain literals, as KDE's autotests do.
add_library(zd_strict_qt INTERFACE)
target_compile_definitions(zd_strict_qt INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_CAST_FROM_BYTEARRAY QT_USE_QSTRINGBUILDER)

# The test command turns warnings into errors; a plain build only warns.
option(ZD_WERROR "Treat warnings as errors" OFF)
if(ZD_WERROR)
  target_compile_options(project_options INTERFACE -Werror)
endif()

option(ZD_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(ZD_SANITIZE)
  target_compile_options(project_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(project_options INTERFACE -fsanitize=address,undefined)
endif()

# Fuzzing instruments the libraries too, so that coverage guides the search.
if(ZD_BUILD_FUZZ)
  target_compile_options(project_options INTERFACE -fsanitize=fuzzer-no-link)
endif()
