#include "launch/windowsystem.h"

namespace zd {

namespace {

bool placeMatching(WindowSystem &windows, const QString &word, ShowState state)
{
    bool found = false;
    for (const TopLevelWindow &window : windows.topLevelWindows()) {
        if (IsCandidateWindow(window) && window.title.contains(word, Qt::CaseSensitive)) {
            windows.place(window.id, state);
            found = true;
        }
    }
    return found;
}

} // namespace

bool IsCandidateWindow(const TopLevelWindow &window)
{
    return !window.title.isEmpty() && window.visible && !window.owned;
}

bool MaximizeMatchingWindows(WindowSystem &windows, const QString &word)
{
    return placeMatching(windows, word, ShowState::Maximized);
}

bool MinimizeMatchingWindows(WindowSystem &windows, const QString &word)
{
    return placeMatching(windows, word, ShowState::Minimized);
}

} // namespace zd
