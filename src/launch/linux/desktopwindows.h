#pragma once

#include "launch/linux/xcbwindowsystem.h"
#include "launch/windowsystem.h"

#include <memory>

namespace zd {

/// The windows of the desktop the program runs on, chosen when first asked
/// (not at start-up: finding KWin takes a script's round trip): on
/// X11 the window manager's; where $WAYLAND_DISPLAY is set the Wayland
/// desktop's own list (foreign toplevels, KWin's scripting, or none) beside
/// Xwayland's windows.
class DesktopWindowSystem final : public WindowSystem
{
public:
    DesktopWindowSystem();
    ~DesktopWindowSystem() override;
    DesktopWindowSystem(const DesktopWindowSystem &) = delete;
    DesktopWindowSystem &operator=(const DesktopWindowSystem &) = delete;

    WindowCapabilities capabilities() override { return active().capabilities(); }
    std::vector<TopLevelWindow> topLevelWindows() override { return active().topLevelWindows(); }
    bool place(WindowId window, ShowState state) override { return active().place(window, state); }
    bool keepAbove(qint64 pid, const QString &title) override { return active().keepAbove(pid, title); }

    /// What stands for the desktop's own list: "X11", "foreign-toplevel",
    /// "KWin" or "none"; for tests and benchmarks.
    QString kind()
    {
        active();
        return m_kind;
    }

private:
    WindowSystem &active();

    XcbWindowSystem m_x11;
    std::unique_ptr<WindowSystem> m_wayland;
    std::unique_ptr<CombinedWindowSystem> m_combined;
    WindowSystem *m_active = nullptr;
    QString m_kind;
};

} // namespace zd
