# Desktop integration and the Debian package.
set(ZD_ICON_SIZES 16 22 24 32 48 64 128 256)

add_executable(zd_iconrender packaging/iconrender.cpp src/app/appicon.cpp)
target_include_directories(zd_iconrender PRIVATE src)
target_link_libraries(zd_iconrender PRIVATE Qt6::Gui project_options)

set(ZD_ICON_DIR ${PROJECT_BINARY_DIR}/icons)
set(ZD_ICON_PNGS)
foreach(size ${ZD_ICON_SIZES})
  list(APPEND ZD_ICON_PNGS ${ZD_ICON_DIR}/${size}.png)
endforeach()
add_custom_command(OUTPUT ${ZD_ICON_PNGS}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ZD_ICON_DIR}
  COMMAND zd_iconrender ${ZD_ICON_DIR} ${ZD_ICON_SIZES}
  DEPENDS zd_iconrender
  COMMENT "Rendering the application icon")
add_custom_target(zd_icons ALL DEPENDS ${ZD_ICON_PNGS})

foreach(size ${ZD_ICON_SIZES})
  install(FILES ${ZD_ICON_DIR}/${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME zentavia-desk.png)
endforeach()
install(FILES packaging/zentavia-desk.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES packaging/zentavia-desk.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/com.quillmoor.ZentaviaDesk.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The manual page and the changelog as Debian ships them: compressed, with
# no name or time stamp in the header, so that a build is the same each time.
set(ZD_DOC_DIR ${PROJECT_BINARY_DIR}/doc)
add_custom_command(OUTPUT ${ZD_DOC_DIR}/zentavia-desk.1.gz ${ZD_DOC_DIR}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ZD_DOC_DIR}
  COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${PROJECT_SOURCE_DIR}/packaging/zentavia-desk.1
          ${ZD_DOC_DIR}/zentavia-desk.1.gz
  COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
          ${ZD_DOC_DIR}/changelog.gz
  DEPENDS packaging/zentavia-desk.1 packaging/debian/changelog
  VERBATIM)
add_custom_target(zd_docs ALL DEPENDS ${ZD_DOC_DIR}/zentavia-desk.1.gz ${ZD_DOC_DIR}/changelog.gz)
install(FILES ${ZD_DOC_DIR}/zentavia-desk.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${ZD_DOC_DIR}/changelog.gz packaging/debian/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zentavia-desk)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zentavia-desk)
set(CPACK_PACKAGE_VENDOR "Team Quillmoor")
set(CPACK_PACKAGE_CONTACT "Team Quillmoor <support@quillmoor.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Open a list of web sites at once")
# CPack indents each line of the extended description itself.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Zentavia Desk opens many web sites at once in the browser of your choice,
and minimizes or maximizes their windows as chosen. The list is built by
hand, from text files, from the links of a web page or from the addresses
found in any files.")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The layout is measured in Arial's metrics: Liberation Sans has them.
# Qt's platform plugins: the program runs as a Wayland program where a
# Wayland desktop is, and through X11 elsewhere.
# libcurl and libproxy are loaded at the first download, so no library
# dependency names them. libproxy reads the desktop's proxy settings only
# through its plugins: GNOME's, KDE's, and one that runs configuration scripts.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fonts-liberation2, qt6-qpa-plugins, qt6-wayland, libcurl4 (>= 7.85.0), libproxy1v5 (>= 0.4.16)")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "xdg-utils, libproxy1-plugin-gsettings, libproxy1-plugin-kconfig, libproxy1-plugin-webkit")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
