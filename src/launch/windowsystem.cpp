#include "launch/windowsystem.h"

namespace zd {

namespace {

bool placeMatching(WindowSystem &windows, const BrowserWindows &browser, ShowState state)
{
    bool found = false;
    for (const TopLevelWindow &window : windows.topLevelWindows()) {
        if (browser.matches(window)) {
            windows.place(window.id, state);
            found = true;
        }
    }
    return found;
}

} // namespace

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

bool maximizeMatchingWindows(WindowSystem &windows, const BrowserWindows &browser)
{
    return placeMatching(windows, browser, ShowState::Maximized);
}

bool minimizeMatchingWindows(WindowSystem &windows, const BrowserWindows &browser)
{
    return placeMatching(windows, browser, ShowState::Minimized);
}

} // namespace zd
