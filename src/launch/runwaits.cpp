#include "launch/runwaits.h"

#include "core/clock.h"
#include "core/errorreport.h"
#include "core/uiservices.h"
#include "launch/browserlauncher.h"
#include "launch/runtally.h"

#include <algorithm>
#include <cmath>

namespace zd {

RunWaits::RunWaits(UiServices &ui, Clock &clock, BrowserLauncher &launcher, WindowSystem &windows,
                   const bool &stopRequested, Report report)
    : m_ui(ui), m_clock(clock), m_launcher(launcher), m_windows(windows), m_stopRequested(stopRequested),
      m_report(std::move(report))
{
}

RunWaits::Delivery RunWaits::delivery(qint64 pid, const ResolvedBrowser &browser,
                                      const BrowserWindows &windows, const QString &browserName,
                                      QString *dialogTitle)
{
    // Until then the browser may drop or reorder what comes next.
    const qint64 start = m_clock.nowMs();
    const qint64 deadline = start + kWindowWaitMs;
    // A hand-over takes a few milliseconds: look again soon at first. The
    // windows, a walk over the X server, are looked at less often.
    int pollMs = 1;
    qint64 nextWalk = start + kWindowWalkMs;
    qint64 nextSign = start + kSignMs;
    qint64 endedAt = -1;
    qint64 readySince = -1;
    qint64 dialogSince = -1;
    qint64 stopDeadline = -1;
    const WindowCapabilities desktop = m_windows.capabilities();
    for (;;) {
        if (endedAt < 0 && !m_launcher.running(pid))
            endedAt = m_clock.nowMs();
        if (endedAt >= 0) {
            // A hand-over that crashed or failed took nothing over, even
            // where a browser of its kind is up.
            const ProcessExit::Kind how = m_launcher.exitOf(pid).kind;
            if (how == ProcessExit::Kind::Crash || how == ProcessExit::Kind::Failure)
                return Delivery::Failed;
            if (takenByRunningBrowser(browser, windows))
                return Delivery::HandedOver;
            if (m_clock.nowMs() - endedAt >= kEndedGraceMs)
                return Delivery::EndedWithoutWindow;
        } else {
            // A browser that takes addresses is as good as its window: some
            // desktops never show other programs' windows.
            if (readySince < 0 && m_clock.nowMs() >= nextSign) {
                nextSign = m_clock.nowMs() + kSignMs;
                if (m_launcher.ready(browser, pid).value_or(false))
                    readySince = m_clock.nowMs();
            }
            if (readySince >= 0 && (!desktop.list || m_clock.nowMs() - readySince >= kSignWindowMs)) {
                idleFor(desktop.list ? kSettleMs : kSignSettleMs);
                return Delivery::Ready;
            }
            if (m_clock.nowMs() >= nextWalk) {
                nextWalk = m_clock.nowMs() + kWindowWalkMs;
                QString title;
                switch (ownWindow(pid, windows, readySince >= 0 && !desktop.pids, &title)) {
                case OwnWindow::Page:
                    // Its first window is up; give it a moment to take more.
                    idleFor(kSettleMs);
                    return Delivery::WindowUp;
                case OwnWindow::None:
                    dialogSince = -1;
                    break;
                case OwnWindow::DialogOnly:
                    if (dialogSince < 0) {
                        dialogSince = m_clock.nowMs();
                    } else if (m_clock.nowMs() - dialogSince >= kDialogOnlyMs) {
                        if (dialogTitle)
                            *dialogTitle = title;
                        return Delivery::DialogOnly;
                    }
                    break;
                }
            }
        }
        // The user stops after the address in flight: a hand-over a moment
        // from its end still counts.
        if (m_stopRequested && stopDeadline < 0)
            stopDeadline = m_clock.nowMs() + kStopGraceMs;
        if (m_clock.nowMs() >= deadline || (stopDeadline >= 0 && m_clock.nowMs() >= stopDeadline))
            return Delivery::NotConfirmed;
        m_report(QStringLiteral("%1 to take the address").arg(browserName), m_clock.nowMs() - start, -1);
        m_ui.idle(pollMs);
        pollMs = qMin(pollMs * 2, kPollMs);
    }
}

bool RunWaits::takenByRunningBrowser(const ResolvedBrowser &browser, const BrowserWindows &windows)
{
    const std::optional<bool> sign = m_launcher.ready(browser, 0);
    if (!sign || *sign)
        return true;
    // A window says so on any desktop, even one that cannot list them all
    // (an X11 browser through Xwayland).
    return hasWindowHere(windows);
}

RunWaits::OwnWindow RunWaits::ownWindow(qint64 pid, const BrowserWindows &windows, bool anyOfClass,
                                        QString *dialogTitle)
{
    const std::vector<TopLevelWindow> all = m_windows.topLevelWindows();
    const auto own = [&](const TopLevelWindow &w) {
        return (w.pid == pid || anyOfClass) && w.visible && windows.hasClass(w);
    };
    if (std::any_of(all.begin(), all.end(),
                    [&](const TopLevelWindow &w) { return own(w) && !w.dialog && !w.owned; }))
        return OwnWindow::Page;
    const auto dialog = std::find_if(all.begin(), all.end(), own);
    if (dialog == all.end())
        return OwnWindow::None;
    *dialogTitle = dialog->title;
    return OwnWindow::DialogOnly;
}

RunWaits::Placement RunWaits::placement(Procedure &procedure, int label, const std::function<bool()> &place,
                                        const QString &browserName)
{
    const qint64 deadline = m_clock.nowMs() + kWindowWaitMs;
    bool placed = false;
    procedure.step(label, [&] { placed = place(); });
    while (!placed) {
        if (m_stopRequested)
            return Placement::Stopped;
        if (m_clock.nowMs() >= deadline)
            return Placement::TimedOut;
        m_report(QStringLiteral("the %1 window").arg(browserName),
                 kWindowWaitMs - (deadline - m_clock.nowMs()), -1);
        procedure.step(label + 2, [&] { m_ui.idle(kPollMs); });
        procedure.step(label, [&] { placed = place(); });
    }
    return Placement::Placed;
}

void RunWaits::delay(double seconds)
{
    const qint64 start = m_clock.nowMs();
    const qint64 length = std::llround(seconds * 1000.0);
    for (qint64 elapsed = 0; elapsed < length && !m_stopRequested; elapsed = m_clock.nowMs() - start) {
        m_report(QStringLiteral("the delay between sites"), elapsed, length - elapsed);
        m_ui.idle(static_cast<int>(qMin<qint64>(length - elapsed, kReportMs)));
    }
}

void RunWaits::idleFor(int ms)
{
    const qint64 start = m_clock.nowMs();
    for (qint64 elapsed = 0; elapsed < ms; elapsed = m_clock.nowMs() - start)
        m_ui.idle(static_cast<int>(qMin<qint64>(ms - elapsed, kPollMs)));
}

void RunWaits::whilePaused(const bool &paused)
{
    const qint64 start = m_clock.nowMs();
    while (paused && !m_stopRequested) {
        m_report(QStringLiteral("you to resume"), m_clock.nowMs() - start, -1);
        m_ui.idle(kReportMs);
    }
}

bool RunWaits::hasWindowHere(const BrowserWindows &windows)
{
    const std::vector<TopLevelWindow> all = m_windows.topLevelWindows();
    return std::any_of(all.begin(), all.end(), [&](const TopLevelWindow &w) { return windows.hasClass(w); });
}

std::vector<WindowId> RunWaits::windowsOf(const BrowserWindows &windows)
{
    std::vector<WindowId> ids;
    if (!m_windows.capabilities().list)
        return ids;
    for (const TopLevelWindow &window : m_windows.topLevelWindows()) {
        if (windows.hasClass(window))
            ids.push_back(window.id);
    }
    return ids;
}

void RunWaits::newWindow(const BrowserWindows &windows, const std::vector<WindowId> &before,
                         const QString &browserName)
{
    if (!m_windows.capabilities().list) {
        idleFor(kSignSettleMs);
        return;
    }
    const QString what = QStringLiteral("the private window of %1").arg(browserName);
    const qint64 start = m_clock.nowMs();
    for (qint64 waited = 0; waited < kSignWindowMs && !m_stopRequested; waited = m_clock.nowMs() - start) {
        for (const WindowId id : windowsOf(windows)) {
            if (std::find(before.begin(), before.end(), id) == before.end()) {
                // Up, but not yet taking tabs in order at once.
                idleFor(kSettleMs);
                return;
            }
        }
        m_report(what, waited, -1);
        m_ui.idle(kPollMs);
    }
}

} // namespace zd
