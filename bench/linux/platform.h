#pragma once

// The Linux classes the benchmark drives, under the names it uses.
#include "launch/linux/desktopwindows.h"
#include "launch/linux/processlauncher.h"
#include "sitelist/linux/qtclipboard.h"

namespace zd::bench {
using Launcher = ProcessBrowserLauncher;
using Windows = DesktopWindowSystem;
using SystemClipboard = QtClipboard;
/// Where the window is drawn unless QT_QPA_PLATFORM says otherwise.
constexpr char kDefaultPlatform[] = "offscreen";
} // namespace zd::bench
