#pragma once

#include "launch/windowsystem.h"

namespace zd {

/// The desktop's top-level windows through user32: EnumWindows from the
/// topmost down, each with its title, class, process and owner; placed
/// with SetWindowPlacement, or ShowWindowAsync where the system refuses
/// that for another program's window, and read back.
class Win32WindowSystem final : public WindowSystem
{
public:
    WindowCapabilities capabilities() override;
    std::vector<TopLevelWindow> topLevelWindows() override;
    bool place(WindowId window, ShowState state) override;

    /// How long place() waits to read back a request made asynchronously:
    /// no longer than the window may be held.
    static constexpr int kReadBackMs = 50;
};

} // namespace zd
