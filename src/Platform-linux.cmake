# The Linux layer: X11 and Wayland desktops, D-Bus, POSIX files and processes.
# The foreign-toplevel protocol's client code, made from its XML.
set(zd_protocol_xml ${ZD_SOURCE_ROOT}/launch/linux/protocols/wlr-foreign-toplevel-management-unstable-v1.xml)
set(zd_protocol_dir ${PROJECT_BINARY_DIR}/generated/protocols)
set(zd_wayland_protocol_sources
  ${zd_protocol_dir}/wlr-foreign-toplevel-management-unstable-v1-client-protocol.h
  ${zd_protocol_dir}/wlr-foreign-toplevel-management-unstable-v1-protocol.c)
add_custom_command(OUTPUT ${zd_wayland_protocol_sources}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${zd_protocol_dir}
  COMMAND ${WAYLAND_SCANNER} client-header ${zd_protocol_xml} ${zd_protocol_dir}/wlr-foreign-toplevel-management-unstable-v1-client-protocol.h
  COMMAND ${WAYLAND_SCANNER} private-code ${zd_protocol_xml} ${zd_protocol_dir}/wlr-foreign-toplevel-management-unstable-v1-protocol.c
  DEPENDS ${zd_protocol_xml}
  COMMENT "Generating the foreign-toplevel protocol's client code")
# Generated C: compiled apart from the project's C++ warnings.
add_library(zd_wayland_protocols STATIC ${zd_protocol_dir}/wlr-foreign-toplevel-management-unstable-v1-protocol.c)
target_link_libraries(zd_wayland_protocols PRIVATE PkgConfig::WAYLAND)

zd_library(zd_platform ${zd_qt_platform_sources} extract/linux/curlapi.cpp extract/linux/desktopproxies.cpp
  core/linux/inisettingsstore.cpp sitelist/linux/qtclipboard.cpp sitelist/linux/x11selection.cpp
  launch/linux/browserready.cpp launch/linux/processlauncher.cpp launch/linux/xcbwindowsystem.cpp
  launch/linux/wlrwindowsystem.cpp launch/linux/kwinwindowsystem.cpp launch/linux/desktopwindows.cpp ${zd_protocol_dir}/wlr-foreign-toplevel-management-unstable-v1-client-protocol.h)
target_link_libraries(zd_platform PUBLIC zd_extract zd_launch Qt6::Widgets Qt6::DBus
                      PRIVATE PkgConfig::XCB PkgConfig::WAYLAND zd_wayland_protocols)
target_include_directories(zd_platform PRIVATE ${zd_protocol_dir} ${CURL_INCLUDE_DIRS})

