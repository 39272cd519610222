# The Windows build's own parts: the icon, version and manifest resource,
# and how its programs run under Wine on the build machine.
get_filename_component(ZD_QT_PREFIX "${Qt6_DIR}/../../.." ABSOLUTE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                OUTPUT_VARIABLE ZD_LIBSTDCXX_DLL OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libwinpthread-1.dll
                OUTPUT_VARIABLE ZD_WINPTHREAD_DLL OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(ZD_LIBSTDCXX_DLL "${ZD_LIBSTDCXX_DLL}" REALPATH)
get_filename_component(ZD_WINPTHREAD_DLL "${ZD_WINPTHREAD_DLL}" REALPATH)
get_filename_component(ZD_GCC_RUNTIME_DIR "${ZD_LIBSTDCXX_DLL}" DIRECTORY)
get_filename_component(ZD_PTHREAD_RUNTIME_DIR "${ZD_WINPTHREAD_DLL}" DIRECTORY)

# Wine sees this machine's files on drive Z:. Built programs find Qt's and
# the compiler's DLLs through WINEPATH (made from ZD_WINE_DLL_DIRS by
# scripts/wine-env.sh), and Qt finds its plugins beside its own DLLs. Wine
# hands programs no QT_* variable: they run on Qt's windows platform, on the
# test command's X server. The tests have a prefix of their own, which the
# test command makes afresh.
set(ZD_WINE_ENVIRONMENT "WINEPREFIX=${PROJECT_BINARY_DIR}/wineprefix-test"
    "ZD_WINE_DLL_DIRS=${ZD_QT_PREFIX}/bin:${ZD_GCC_RUNTIME_DIR}:${ZD_PTHREAD_RUNTIME_DIR}"
    "WINEDLLOVERRIDES=mscoree,mshtml=" "WINEDEBUG=-all")

# The icon, rendered by the program's own painter, with a build of the
# renderer for this machine (a cross-built one would need Wine and a display).
include(ExternalProject)
set(zd_host_renderer ${PROJECT_BINARY_DIR}/hosttools/zd_iconrender)
ExternalProject_Add(zd_hosttools
  SOURCE_DIR ${PROJECT_SOURCE_DIR}/packaging/hosttools
  BINARY_DIR ${PROJECT_BINARY_DIR}/hosttools
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${zd_host_renderer})
set(ZD_ICO ${PROJECT_BINARY_DIR}/zentavia-desk.ico)
add_custom_command(OUTPUT ${ZD_ICO}
  COMMAND ${zd_host_renderer} ${ZD_ICO} 16 20 24 32 40 48 64 256
  DEPENDS zd_hosttools ${PROJECT_SOURCE_DIR}/src/app/appicon.cpp
  COMMENT "Rendering the Windows icon"
  VERBATIM)
add_custom_target(zd_windows_icon DEPENDS ${ZD_ICO})

set(ZD_MANIFEST ${PROJECT_BINARY_DIR}/zentavia-desk.manifest)
configure_file(packaging/windows/zentavia-desk.manifest.in ${ZD_MANIFEST} @ONLY)
# The manifest alone, for test programs that must see Windows as the
# program does (its version, its DPI awareness).
set(ZD_MANIFEST_RESOURCE ${PROJECT_BINARY_DIR}/manifest-only.rc)
file(WRITE ${ZD_MANIFEST_RESOURCE} "1 24 \"${ZD_MANIFEST}\"\n")
set(ZD_RESOURCE ${PROJECT_BINARY_DIR}/zentavia-desk.rc)
configure_file(packaging/windows/zentavia-desk.rc.in ${ZD_RESOURCE} @ONLY)
set_source_files_properties(${ZD_RESOURCE} PROPERTIES OBJECT_DEPENDS "${ZD_ICO};${ZD_MANIFEST}")

