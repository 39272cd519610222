# The Windows build's own parts: the icon, version and manifest resource,
# and how its programs run under Wine on the build machine.
get_filename_component(ZD_QT_PREFIX "${Qt6_DIR}/../../.." ABSOLUTE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                OUTPUT_VARIABLE ZD_LIBSTDCXX_DLL OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libwinpthread-1.dll
                OUTPUT_VARIABLE ZD_WINPTHREAD_DLL OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(ZD_GCC_RUNTIME_DIR "${ZD_LIBSTDCXX_DLL}" DIRECTORY)
get_filename_component(ZD_PTHREAD_RUNTIME_DIR "${ZD_WINPTHREAD_DLL}" DIRECTORY)

# Wine sees this machine's files on drive Z:. Built programs find Qt's and
# the compiler's DLLs through WINEPATH, Qt's plugins through QT_PLUGIN_PATH.
# The tests have a prefix of their own, which the test command makes afresh.
set(ZD_WINE_ENVIRONMENT
  "WINEPREFIX=${PROJECT_BINARY_DIR}/wineprefix-test"
  "WINEPATH=Z:${ZD_QT_PREFIX}/bin\\;Z:${ZD_GCC_RUNTIME_DIR}\\;Z:${ZD_PTHREAD_RUNTIME_DIR}"
  "QT_PLUGIN_PATH=Z:${ZD_QT_PREFIX}/plugins"
  "WINEDLLOVERRIDES=mscoree,mshtml="
  "WINEDEBUG=-all")

# The icon, rendered by the program's own painter under Wine.
add_executable(zd_iconrender packaging/iconrender.cpp src/app/appicon.cpp)
target_include_directories(zd_iconrender PRIVATE src)
target_link_libraries(zd_iconrender PRIVATE Qt6::Gui project_options)
set(ZD_ICO ${PROJECT_BINARY_DIR}/zentavia-desk.ico)
add_custom_command(OUTPUT ${ZD_ICO}
  COMMAND ${CMAKE_COMMAND} -E env ${ZD_WINE_ENVIRONMENT} WINEPREFIX=${PROJECT_BINARY_DIR}/wineprefix-build
          ${CMAKE_CROSSCOMPILING_EMULATOR}
          $<TARGET_FILE:zd_iconrender> ${ZD_ICO} 16 20 24 32 40 48 64 256
  DEPENDS zd_iconrender
  COMMENT "Rendering the Windows icon")
add_custom_target(zd_windows_icon DEPENDS ${ZD_ICO})

set(ZD_MANIFEST ${PROJECT_BINARY_DIR}/zentavia-desk.manifest)
configure_file(packaging/windows/zentavia-desk.manifest.in ${ZD_MANIFEST} @ONLY)
set(ZD_RESOURCE ${PROJECT_BINARY_DIR}/zentavia-desk.rc)
configure_file(packaging/windows/zentavia-desk.rc.in ${ZD_RESOURCE} @ONLY)
set_source_files_properties(${ZD_RESOURCE} PROPERTIES OBJECT_DEPENDS "${ZD_ICO};${ZD_MANIFEST}")

# An installed copy: the program with exactly the DLLs and plugins it loads,
# beside it (Qt looks for plugins in the program's folder).
install(TARGETS zentavia-desk RUNTIME DESTINATION .)
foreach(module Core Gui Widgets Network)
  install(FILES ${ZD_QT_PREFIX}/bin/Qt6${module}.dll DESTINATION .)
endforeach()
install(FILES ${ZD_LIBSTDCXX_DLL} ${ZD_GCC_RUNTIME_DIR}/libgcc_s_seh-1.dll ${ZD_WINPTHREAD_DLL} DESTINATION .)
foreach(plugin platforms/qwindows styles/qwindowsvistastyle tls/qschannelbackend imageformats/qico)
  get_filename_component(kind ${plugin} DIRECTORY)
  install(FILES ${ZD_QT_PREFIX}/plugins/${plugin}.dll DESTINATION ${kind})
endforeach()
