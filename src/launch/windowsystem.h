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

/// What the desktop lets another program do with the browsers' windows.
struct WindowCapabilities
{
    /// Its windows can be listed: a browser's window that is not listed
    /// has not appeared.
    bool list = false;
    /// They can be minimized and maximized.
    bool place = false;
    /// Each says which process it belongs to.
    bool pids = false;
    /// Other displays may hold the browser out of sight of this one (X11);
    /// a Wayland desktop has none a program could be handed to.
    bool otherDisplays = false;
};

/// The desktop's top-level windows and their placement.
class WindowSystem
{
public:
    virtual ~WindowSystem() = default;
    virtual WindowCapabilities capabilities() = 0;
    /// Top-level windows from the topmost down; empty without a desktop.
    virtual std::vector<TopLevelWindow> topLevelWindows() = 0;
    /// False when the desktop is known to have ignored the request.
    virtual bool place(WindowId window, ShowState state) = 0;
    /// Asks the desktop to keep the window of process \a pid titled \a title
    /// above the others, where the stay-on-top hint a program gives its own
    /// window does not reach (KWin on Wayland); false where it was not done.
    virtual bool keepAbove(qint64 pid, const QString &title)
    {
        Q_UNUSED(pid);
        Q_UNUSED(title);
        return false;
    }
};

/// A desktop that shows other programs nothing of its windows (GNOME on
/// Wayland, Weston).
class NoWindowSystem final : public WindowSystem
{
public:
    WindowCapabilities capabilities() override { return {}; }
    std::vector<TopLevelWindow> topLevelWindows() override { return {}; }
    bool place(WindowId, ShowState) override { return false; }
};

/// The windows of two window systems as one: an X server inside a Wayland
/// desktop (Xwayland) beside the desktop's own list. The Wayland side says
/// what the desktop can do; a window both list counts once, as the X side's.
class CombinedWindowSystem final : public WindowSystem
{
public:
    CombinedWindowSystem(WindowSystem &x11, WindowSystem &wayland);
    WindowCapabilities capabilities() override;
    std::vector<TopLevelWindow> topLevelWindows() override;
    bool place(WindowId window, ShowState state) override;
    bool keepAbove(qint64 pid, const QString &title) override { return m_wayland.keepAbove(pid, title); }

    /// Set on the ids of the Wayland side's windows.
    static constexpr WindowId kWaylandBit = WindowId{1} << 31;

private:
    WindowSystem &m_x11;
    WindowSystem &m_wayland;
};

/// Titled, visible and unowned.
bool isCandidateWindow(const TopLevelWindow &window);
/// Maximizes every candidate window of \a browser (its title holds the word,
/// case-sensitive, and its class is the browser's); true when any was
/// found. \a refused: the desktop ignored the request for every one.
bool maximizeMatchingWindows(WindowSystem &windows, const BrowserWindows &browser, bool *refused = nullptr);
/// Minimizes every candidate window of \a browser; as above.
bool minimizeMatchingWindows(WindowSystem &windows, const BrowserWindows &browser, bool *refused = nullptr);

} // namespace zd
