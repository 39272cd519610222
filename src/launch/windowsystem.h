#pragma once

#include <QString>
#include <QStringList>

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
    /// WM_CLASS: the instance and class names ("Navigator", "firefox-esr").
    QString instanceName;
    QString className;
    /// _NET_WM_PID; 0 when the window does not say.
    qint64 pid = 0;
    /// A dialog by its type or a modal window: a message, never the page.
    bool dialog = false;
};

/// Which windows belong to a started browser: the class names it may give
/// its windows, and the word its titles hold (empty: any title, for the
/// default browser, whose word is not known).
struct BrowserWindows
{
    QString titleWord;
    /// WM_CLASS instance or class names, any letter case; empty: any class.
    QStringList classes;

    /// A candidate window of this browser.
    bool matches(const TopLevelWindow &window) const;
    /// A window of this browser's class, whatever its title and state.
    bool hasClass(const TopLevelWindow &window) const;
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
bool isCandidateWindow(const TopLevelWindow &window);
/// Maximizes every candidate window of \a browser (its title holds the word,
/// case-sensitive, and its class is the browser's); true when any was.
bool maximizeMatchingWindows(WindowSystem &windows, const BrowserWindows &browser);
/// Minimizes every candidate window of \a browser; true when any was.
bool minimizeMatchingWindows(WindowSystem &windows, const BrowserWindows &browser);

} // namespace zd
