# The Windows layer: the registry, Win32 files, processes and windows.
zd_library(zd_platform ${zd_qt_platform_sources} extract/windows/curlapi.cpp extract/windows/winhttpproxies.cpp
  core/windows/registrysettingsstore.cpp
  launch/windows/commandlinequoting.cpp launch/windows/processlauncher.cpp launch/windows/win32windowsystem.cpp)
target_link_libraries(zd_platform PUBLIC zd_extract zd_launch Qt6::Widgets PRIVATE CURL::libcurl shlwapi winhttp crypt32 secur32)
