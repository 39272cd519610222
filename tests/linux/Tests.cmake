# Linux only: the INI settings file, POSIX files and signals, the X11 and
# Wayland desktops, AT-SPI, the real browsers and the Debian package.
zd_add_test(tst_settings SOURCES core/tst_settings.cpp LIBS zd_platform)
zd_add_test(tst_sitefiles_posix SOURCES sitelist/posix/tst_sitefiles_posix.cpp LIBS zd_sitelist)
zd_add_test(tst_extraction_posix SOURCES extract/posix/tst_extraction_posix.cpp extract/extractionsuite.h LIBS zd_extract zd_platform)
zd_add_test(tst_program X11 SOURCES app/tst_program.cpp LIBS Qt6::Core)
target_compile_definitions(tst_program PRIVATE ZD_PROGRAM="$<TARGET_FILE:zentavia-desk>")
add_dependencies(tst_program zentavia-desk)

# One desktop set-up a run, each on an X server of its own:
# name, screen, then the environment that makes the set-up.
foreach(setup IN ITEMS "light@1280x1024x24@" "dark@1280x1024x24@QT_QPA_PLATFORMTHEME=gtk3;GTK_THEME=Adwaita:dark;ZD_EXPECT_DARK=1"
                       "scale200@1920x1080x24@QT_SCALE_FACTOR=2" "small@1024x600x24@ZD_TEST_PANEL=32" "font18@1280x1024x24@ZD_TEST_FONT_PT=18")
  string(REPLACE "@" ";" parts "${setup}")
  list(GET parts 0 name)
  list(GET parts 1 screen)
  list(SUBLIST parts 2 -1 environment)
  add_test(NAME tst_screens_${name} COMMAND ${PROJECT_SOURCE_DIR}/scripts/with-x11.sh $<TARGET_FILE:tst_screens>)
  set_tests_properties(tst_screens_${name} PROPERTIES LABELS x11
                       ENVIRONMENT "QT_QPA_PLATFORM=xcb;ZD_X11_SCREEN=${screen};${environment}")
endforeach()

# The window read over AT-SPI, as a screen reader reads it.
add_test(NAME atspi_list COMMAND ${PROJECT_SOURCE_DIR}/scripts/with-x11.sh
                                 ${CMAKE_CURRENT_SOURCE_DIR}/app/atspi_list.sh $<TARGET_FILE:zentavia-desk>)
set_tests_properties(atspi_list PROPERTIES LABELS x11 TIMEOUT 120)

zd_add_test(tst_qtclipboard X11 SOURCES sitelist/tst_qtclipboard.cpp LIBS zd_app zd_platform PkgConfig::XCB)

add_executable(straybus support/straybus.cpp)
target_link_libraries(straybus PRIVATE zd_core project_options)
target_compile_definitions(tst_extraction_posix PRIVATE ZD_STRAY_BUS="$<TARGET_FILE:straybus>")
add_dependencies(tst_extraction_posix straybus)
add_executable(pageundermemorylimit support/pageundermemorylimit.cpp)
target_link_libraries(pageundermemorylimit PRIVATE zd_extract zd_testsupport project_options)
target_compile_definitions(tst_extraction_posix PRIVATE ZD_PAGE_UNDER_LIMIT="$<TARGET_FILE:pageundermemorylimit>")
add_dependencies(tst_extraction_posix pageundermemorylimit)

zd_add_test(tst_browserready SOURCES launch/tst_browserready.cpp LIBS zd_platform Qt6::Network)
zd_add_test(tst_windowplacement X11 SOURCES launch/tst_windowplacement.cpp
            LIBS zd_platform PkgConfig::XCB)
zd_add_test(tst_browsers X11 SOURCES launch/tst_browsers.cpp LIBS zd_platform PkgConfig::XCB)
add_executable(fakebrowser support/fakebrowser.cpp)
target_link_libraries(fakebrowser PRIVATE zd_testsupport PkgConfig::XCB project_options)
target_compile_definitions(tst_browsers PRIVATE ZD_FAKE_BROWSER="$<TARGET_FILE:fakebrowser>"
                           ZD_VOLUME_ADDRESSES=$<IF:$<BOOL:${ZD_SANITIZE}>,1000,10000>)
add_dependencies(tst_browsers fakebrowser)

# The real firefox-esr and chromium, isolated from every network but loopback.
if(NOT ZD_SANITIZE)
  add_executable(tst_realbrowsers launch/tst_realbrowsers.cpp)
  target_link_libraries(tst_realbrowsers PRIVATE zd_app zd_platform zd_testsupport PkgConfig::XCB Qt6::Test
                        project_options)
  target_compile_definitions(tst_realbrowsers PRIVATE ZD_PROGRAM="$<TARGET_FILE:zentavia-desk>"
                             ZD_BROWSER_TABS="${CMAKE_CURRENT_SOURCE_DIR}/launch/browser_tabs.py")
  add_dependencies(tst_realbrowsers zentavia-desk)
  add_test(NAME tst_realbrowsers
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/launch/run_isolated.sh $<TARGET_FILE:tst_realbrowsers>)
  set_tests_properties(tst_realbrowsers PROPERTIES LABELS "x11;browsers" RESOURCE_LOCK "x11display;browsers"
                       SKIP_RETURN_CODE 77 TIMEOUT 600 ENVIRONMENT "QT_QPA_PLATFORM=xcb")
  # The same browsers as Wayland programs on each headless Wayland desktop;
  # the test itself a Wayland program there.
  # (kwin-xwayland is not among them: KWin's Xwayland, started in the test's
  # network namespace, takes over the display of the test command's Xvfb.)
  # A live scale change on sway (swaymsg) fits the window again.
  add_test(NAME tst_screens_live_scale_sway
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/with-wayland.sh sway ${CMAKE_CURRENT_SOURCE_DIR}/app/live_scale.sh
                   $<TARGET_FILE:tst_screens>)
  set_tests_properties(tst_screens_live_scale_sway PROPERTIES LABELS wayland SKIP_RETURN_CODE 77
                       ENVIRONMENT "QT_QPA_PLATFORM=wayland")
  # The progress window above the browsers: kept there by KWin when asked
  # by script, floating on sway.
  add_executable(tst_keptabove app/tst_keptabove.cpp)
  target_link_libraries(tst_keptabove PRIVATE zd_app zd_platform zd_testsupport Qt6::Test project_options)
  foreach(desktop kwin sway)
    add_test(NAME tst_keptabove_${desktop}
             COMMAND dbus-run-session -- ${PROJECT_SOURCE_DIR}/scripts/with-wayland.sh ${desktop}
                     $<TARGET_FILE:tst_keptabove>)
    set_tests_properties(tst_keptabove_${desktop} PROPERTIES LABELS wayland SKIP_RETURN_CODE 77
                         ENVIRONMENT "QT_QPA_PLATFORM=wayland")
  endforeach()
  foreach(desktop sway kwin mutter weston)
    add_test(NAME tst_realbrowsers_wayland_${desktop}
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/launch/run_isolated.sh ${PROJECT_SOURCE_DIR}/scripts/with-wayland.sh
                     ${desktop} $<TARGET_FILE:tst_realbrowsers> waylandDesktop programRunsAsAWaylandProgram)
    set_tests_properties(tst_realbrowsers_wayland_${desktop} PROPERTIES LABELS "wayland;browsers"
                         RESOURCE_LOCK browsers SKIP_RETURN_CODE 77 TIMEOUT 300
                         ENVIRONMENT "QT_QPA_PLATFORM=wayland")
  endforeach()
endif()

# Installing and packaging; the sanitizer build is no package.
if(NOT ZD_SANITIZE)
  add_test(NAME package COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/packaging/test_package.sh ${PROJECT_BINARY_DIR})
  set_tests_properties(package PROPERTIES LABELS x11 RESOURCE_LOCK x11display)
endif()
