#include "launch/windowsystem.h"

#include <algorithm>

namespace zd {

namespace {

bool placeMatching(WindowSystem &windows, const BrowserWindows &browser, ShowState state, bool *refused)
{
    bool found = false;
    bool taken = false;
    for (const TopLevelWindow &window : windows.topLevelWindows()) {
        if (browser.matches(window)) {
            found = true;
            taken = windows.place(window.id, state) || taken;
        }
    }
    if (refused)
        *refused = found && !taken;
    return found;
}

} // namespace

CombinedWindowSystem::CombinedWindowSystem(WindowSystem &x11, WindowSystem &wayland)
    : m_x11(x11), m_wayland(wayland)
{
}

WindowCapabilities CombinedWindowSystem::capabilities()
{
    WindowCapabilities both = m_wayland.capabilities();
    both.otherDisplays = false;
    return both;
}

std::vector<TopLevelWindow> CombinedWindowSystem::topLevelWindows()
{
    std::vector<TopLevelWindow> all = m_x11.topLevelWindows();
    const auto xCount = static_cast<std::ptrdiff_t>(all.size());
    for (TopLevelWindow window : m_wayland.topLevelWindows()) {
        // The desktop lists Xwayland's windows too, by the same title and
        // their class as app_id: the X side knows more of them (pid, type).
        const bool seen = std::any_of(all.begin(), all.begin() + xCount, [&](const TopLevelWindow &x) {
            return x.title == window.title
                   && (x.className.compare(window.className, Qt::CaseInsensitive) == 0
                       || x.instanceName.compare(window.className, Qt::CaseInsensitive) == 0);
        });
        if (seen)
            continue;
        window.id |= kWaylandBit;
        all.push_back(std::move(window));
    }
    return all;
}

bool CombinedWindowSystem::place(WindowId window, ShowState state)
{
    if (window & kWaylandBit)
        return m_wayland.place(window & ~kWaylandBit, state);
    return m_x11.place(window, state);
}

bool BrowserWindows::hasClass(const TopLevelWindow &window) const
{
    if (classes.isEmpty())
        return true;
    return classes.contains(window.instanceName, Qt::CaseInsensitive)
           || classes.contains(window.className, Qt::CaseInsensitive);
}

bool BrowserWindows::matches(const TopLevelWindow &window) const
{
    // A title that only mentions the browser ("notes about Chromium") is
    // not enough: the window must be of the browser's class too.
    return isCandidateWindow(window) && hasClass(window)
           && window.title.contains(titleWord, Qt::CaseSensitive);
}

bool isCandidateWindow(const TopLevelWindow &window)
{
    return !window.title.isEmpty() && window.visible && !window.owned && !window.dialog;
}

bool maximizeMatchingWindows(WindowSystem &windows, const BrowserWindows &browser, bool *refused)
{
    return placeMatching(windows, browser, ShowState::Maximized, refused);
}

bool minimizeMatchingWindows(WindowSystem &windows, const BrowserWindows &browser, bool *refused)
{
    return placeMatching(windows, browser, ShowState::Minimized, refused);
}

} // namespace zd
