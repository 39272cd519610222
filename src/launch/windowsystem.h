#pragma once

#include <QString>

#include <cstdint>
#include <vector>

namespace zd {

using WindowId = std::uint32_t;

struct TopLevelWindow
{
    WindowId id = 0;
    QString title;
    /// Normal or iconic (minimized windows count as visible).
    bool visible = false;
    /// A transient of another window, such as a dialog.
    bool owned = false;
};

enum class ShowState { Maximized, Minimized };

/// The desktop's top-level windows and their placement.
class WindowSystem
{
public:
    virtual ~WindowSystem() = default;
    /// Top-level windows from the topmost down; empty without a desktop.
    virtual std::vector<TopLevelWindow> topLevelWindows() = 0;
    virtual void place(WindowId window, ShowState state) = 0;
};

/// Titled, visible and unowned.
bool IsCandidateWindow(const TopLevelWindow &window);
/// Maximizes every candidate whose title holds \a word (case-sensitive);
/// true when any was.
bool MaximizeMatchingWindows(WindowSystem &windows, const QString &word);
/// Minimizes every candidate whose title holds \a word; true when any was.
bool MinimizeMatchingWindows(WindowSystem &windows, const QString &word);

} // namespace zd
