#pragma once

#include "launch/windowsystem.h"

#include <QString>

#include <functional>
#include <vector>

namespace zd {

class BrowserLauncher;
struct ResolvedBrowser;
class Clock;
class Procedure;
class UiServices;

/// The waits of a launch run. Each sleeps in the event loop on a monotonic
/// clock, tells the progress window what it waits for, and ends at once
/// when the run is stopped.
class RunWaits
{
public:
    /// How often a wait looks again for a window.
    static constexpr int kPollMs = 50;
    /// How often the wait for a delivery walks the windows.
    static constexpr int kWindowWalkMs = 200;
    /// How long a browser that has just come up gets before the next address.
    static constexpr int kSettleMs = 500;
    /// How often a wait tells the progress window and looks for a stop.
    static constexpr int kReportMs = 100;

    /// Tells the progress window what the run waits for, and for how long.
    /// What the run waits for, how long so far and, for a wait of known
    /// length, how long is left (-1: not known).
    using Report = std::function<void(const QString &waitingFor, qint64 waitedMs, qint64 leftMs)>;

    RunWaits(UiServices &ui, Clock &clock, BrowserLauncher &launcher, WindowSystem &windows,
             const bool &stopRequested, Report report);

    /// How long the started program may show only a dialog before the run
    /// takes it for a message instead of the page.
    static constexpr int kDialogOnlyMs = 2000;

    /// How often a wait asks whether the browser is up by a sign other than
    /// a window.
    static constexpr int kSignMs = 100;
    /// A browser up by its sign shows its window a moment later, and only
    /// then opens what comes next as tabs of its own: where the desktop
    /// lists windows the wait goes on for the window this long, and where
    /// it does not the browser gets kSignSettleMs.
    static constexpr int kSignWindowMs = 5000;
    static constexpr int kSignSettleMs = 2000;
    /// How long a started program that ended gets to show that a browser
    /// took its address (one restarting itself takes a while).
    static constexpr int kEndedGraceMs = 10'000;

    /// A stop ends the wait for a delivery after the address in flight has
    /// been handed over, or after this long.
    static constexpr int kStopGraceMs = 1000;

    enum class Delivery { HandedOver, WindowUp, Ready, DialogOnly, EndedWithoutWindow, Failed, NotConfirmed };
    /// Until the started program \a pid has handed its address to the running
    /// browser and ended, or has become the browser: a window of its own is
    /// up (WindowUp; a dialog is none) or it signals that it takes addresses
    /// (Ready). DialogOnly when it shows nothing but a dialog, whose title
    /// goes to \a dialogTitle; EndedWithoutWindow when it ended and no
    /// browser of its kind is up anywhere; Failed when it ended with an
    /// exit status other than 0 or by a signal before it showed a window or
    /// its sign, whatever else runs; NotConfirmed after kWindowWaitMs
    /// or kStopGraceMs after a stop.
    Delivery delivery(qint64 pid, const ResolvedBrowser &browser, const BrowserWindows &windows,
                      const QString &browserName, QString *dialogTitle = nullptr);

    enum class Placement { Placed, TimedOut, Stopped };
    /// Tries \a place (a labelled step) until it finds a window, for
    /// kWindowWaitMs at most.
    Placement placement(Procedure &procedure, int label, const std::function<bool()> &place,
                        const QString &browserName);

    /// The delay between sites: \a seconds, or until a stop.
    void delay(double seconds);
    /// Sleeps \a ms, whatever happens.
    void idleFor(int ms);
    /// Holds while \a paused is set, until it is cleared or the run is stopped.
    void whilePaused(const bool &paused);
    /// Whether any window of the browser's class is on this display.
    bool hasWindowHere(const BrowserWindows &windows);
    /// The browser's windows now, to tell a new one by.
    std::vector<WindowId> windowsOf(const BrowserWindows &windows);
    /// Until a window of the browser's class not among \a before is up,
    /// kSignWindowMs at most; kSignSettleMs where the desktop lists none.
    void newWindow(const BrowserWindows &windows, const std::vector<WindowId> &before,
                   const QString &browserName);

private:
    /// A started program that ended handed its address to a running
    /// browser: one is up by its sign or its window, or nothing can tell.
    bool takenByRunningBrowser(const ResolvedBrowser &browser, const BrowserWindows &windows);
    /// Whether the walk of the windows finds one of \a pid's, a page or only
    /// a dialog.
    enum class OwnWindow { None, Page, DialogOnly };
    /// \a anyOfClass: without pids, any window of the browser's class is its.
    OwnWindow ownWindow(qint64 pid, const BrowserWindows &windows, bool anyOfClass, QString *dialogTitle);

    UiServices &m_ui;
    Clock &m_clock;
    BrowserLauncher &m_launcher;
    WindowSystem &m_windows;
    const bool &m_stopRequested;
    Report m_report;
};

} // namespace zd
