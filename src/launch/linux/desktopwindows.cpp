#include "launch/linux/desktopwindows.h"

#include "launch/linux/kwinwindowsystem.h"
#include "launch/linux/wlrwindowsystem.h"

namespace zd {

DesktopWindowSystem::DesktopWindowSystem() = default;

WindowSystem &DesktopWindowSystem::active()
{
    if (m_active)
        return *m_active;
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        m_active = &m_x11;
        m_kind = QStringLiteral("X11");
        return *m_active;
    }
    if (auto wlr = std::make_unique<WlrWindowSystem>(); wlr->available()) {
        m_wayland = std::move(wlr);
        m_kind = QStringLiteral("foreign-toplevel");
    } else if (auto kwin = std::make_unique<KWinWindowSystem>(); kwin->available()) {
        m_wayland = std::move(kwin);
        m_kind = QStringLiteral("KWin");
    } else {
        m_wayland = std::make_unique<NoWindowSystem>();
        m_kind = QStringLiteral("none");
    }
    m_combined = std::make_unique<CombinedWindowSystem>(m_x11, *m_wayland);
    m_active = m_combined.get();
    return *m_active;
}

DesktopWindowSystem::~DesktopWindowSystem() = default;

} // namespace zd
