#pragma once

#include "launch/windowsystem.h"

#include <memory>

namespace zd {

/// The running X11 window manager through xcb and EWMH: the managed client
/// windows of _NET_CLIENT_LIST_STACKING, topmost first.
class XcbWindowSystem final : public WindowSystem
{
public:
    /// \a display as for xcb_connect; empty means $DISPLAY.
    explicit XcbWindowSystem(const QByteArray &display = {});
    ~XcbWindowSystem() override;

    /// Everything, where the window manager keeps the client list; nothing
    /// without one (no window manager, or Weston's).
    WindowCapabilities capabilities() override;
    std::vector<TopLevelWindow> topLevelWindows() override;
    bool place(WindowId window, ShowState state) override;

    /// The X connection and its atoms; known only to the implementation.
    struct Connection;

private:
    Connection *connection();

    QByteArray m_display;
    std::unique_ptr<Connection> m_connection;
};

} // namespace zd
