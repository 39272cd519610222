#pragma once

#include "launch/windowsystem.h"

#include <memory>

namespace zd {

/// A wlroots desktop's toplevel windows (sway, labwc, wayfire, Hyprland)
/// through its foreign-toplevel list: titles and app_ids, minimize and
/// maximize; no pids. The connection's events are read as they come, on a
/// socket notifier, and the list is brought up to date before each walk.
class WlrWindowSystem final : public WindowSystem
{
public:
    /// \a display as for wl_display_connect; empty means $WAYLAND_DISPLAY.
    explicit WlrWindowSystem(const QByteArray &display = {});
    ~WlrWindowSystem() override;
    WlrWindowSystem(const WlrWindowSystem &) = delete;
    WlrWindowSystem &operator=(const WlrWindowSystem &) = delete;

    /// Whether the desktop offers the list at all.
    bool available() const;
    WindowCapabilities capabilities() override;
    std::vector<TopLevelWindow> topLevelWindows() override;
    bool place(WindowId window, ShowState state) override;

    /// The connection and the windows it has announced.
    struct Desktop;

private:
    std::unique_ptr<Desktop> m_desktop;
};

} // namespace zd
