# Windows only: the Windows layer itself, under Wine.
zd_add_test(tst_windowslayer WEB_SERVER SOURCES windows/tst_windowslayer.cpp LIBS zd_platform zd_sitelist)

# Browsers started for real: a fake of the browsers' own Win32 ways.
add_executable(fakebrowser WIN32 windows/fakebrowser.cpp)
target_link_libraries(fakebrowser PRIVATE project_options)
target_compile_options(fakebrowser PRIVATE -municode)
target_link_options(fakebrowser PRIVATE -municode)
# With the program's manifest: Windows then tells it its true version, as it
# tells the program (Internet Explorer is kept only before Windows 10).
# The placed windows are watched from the X side too: Wine's own state for them.
zd_add_test(tst_windowsbrowsers X11 SOURCES windows/tst_windowsbrowsers.cpp ${ZD_MANIFEST_RESOURCE} LIBS zd_platform
            WINE_WRAP ${CMAKE_CURRENT_SOURCE_DIR}/windows/with-x-states.sh firefox.exe=MAXIMIZED_VERT
                      firefox.exe=MAXIMIZED_HORZ chrome.exe=HIDDEN --)
target_compile_definitions(tst_windowsbrowsers PRIVATE ZD_FAKE_BROWSER="Z:$<TARGET_FILE:fakebrowser>")
add_dependencies(tst_windowsbrowsers fakebrowser)

# The setup program, made by scripts/build-windows.sh after the build.
set(ZD_SETUP ${PROJECT_BINARY_DIR}/zentavia-desk-${PROJECT_VERSION}-setup.exe)
add_test(NAME setup COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/test_setup.sh ${ZD_SETUP} ${PROJECT_VERSION})
set_tests_properties(setup PROPERTIES LABELS x11 RESOURCE_LOCK x11display TIMEOUT 300)

# The same lists and pages give the same items as the Linux build's, byte for
# byte (ZD_LINUX_ITEMDUMP: that build's itemdump; the test command passes it).
if(ZD_LINUX_ITEMDUMP)
  add_test(NAME same_items_as_linux
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/same_items.sh ${ZD_LINUX_ITEMDUMP} $<TARGET_FILE:itemdump>
                   ${PROJECT_SOURCE_DIR}/fuzz/corpus/linesplitter ${PROJECT_SOURCE_DIR}/fuzz/corpus/scanners)
  set_tests_properties(same_items_as_linux PROPERTIES LABELS unit ENVIRONMENT "${ZD_WINE_ENVIRONMENT}")
endif()

# The windows on the test command's X server, drawn by Wine.
add_test(NAME tst_screens_wine COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-test.sh $<TARGET_FILE:tst_screens>)
set_tests_properties(tst_screens_wine PROPERTIES LABELS x11 RESOURCE_LOCK x11display
                     ENVIRONMENT "${ZD_WINE_ENVIRONMENT}")
# At 150 %, as Settings > Display > Scale sets it.
add_test(NAME tst_screens_wine_150
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/with-scale.sh 150 ${PROJECT_SOURCE_DIR}/scripts/wine-test.sh
                 $<TARGET_FILE:tst_screens>)
set_tests_properties(tst_screens_wine_150 PROPERTIES LABELS x11 RESOURCE_LOCK x11display
                     ENVIRONMENT "${ZD_WINE_ENVIRONMENT}")
# In the dark app mode, with the arguments the program gives Qt then.
add_test(NAME tst_screens_wine_dark
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/with-dark-mode.sh ${PROJECT_SOURCE_DIR}/scripts/wine-test.sh
                 $<TARGET_FILE:tst_screens> -platform windows:darkmode=2 -style fusion)
set_tests_properties(tst_screens_wine_dark PROPERTIES LABELS x11 RESOURCE_LOCK x11display
                     ENVIRONMENT "${ZD_WINE_ENVIRONMENT};ZD_EXPECT_DARK=1")

# The program itself: --help and --version print and end; no display needed.
add_test(NAME program_prints COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows/program_prints.sh
                                     $<TARGET_FILE:zentavia-desk> ${PROJECT_VERSION})
set_tests_properties(program_prints PROPERTIES LABELS unit ENVIRONMENT "${ZD_WINE_ENVIRONMENT}")
