#pragma once

// The Windows classes the benchmark drives, under the names it uses.
#include "launch/windows/processlauncher.h"
#include "launch/windows/win32windowsystem.h"
#include "sitelist/qt/qtplainclipboard.h"

namespace zd::bench {
using Launcher = WindowsBrowserLauncher;
using Windows = Win32WindowSystem;
using SystemClipboard = QtPlainClipboard;
/// Where the window is drawn: Qt for Windows has no offscreen platform.
constexpr char kDefaultPlatform[] = "windows";
} // namespace zd::bench
