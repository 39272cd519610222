#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QMap>
#include <QString>
#include <QStringList>

#include "launch/runmonitor.h"
#include "launch/windowsystem.h"

#include <optional>
#include <utility>

namespace zd {

class BrowserLauncher;
class Clock;
class Options;
class Procedure;
class SiteListModel;
class UiServices;
class WindowSystem;
struct ResolvedBrowser;

/// "Start Opening": every address of the list to the chosen browser, whose
/// windows are then placed as chosen.
class LaunchRun
{
public:
    /// How long a run waits for a browser window before it goes on.
    static constexpr int kWindowWaitMs = 30'000;
    /// How often the wait looks for the window.
    static constexpr int kPollMs = 50;
    /// How often the wait for a delivery looks at the windows.
    static constexpr int kWindowWalkMs = 200;
    static constexpr int kNamedInSummary = 3;
    /// How long a browser that has just come up gets before the next address.
    static constexpr int kSettleMs = 500;
    /// Runs of more addresses than this are confirmed first.
    static constexpr int kConfirmAbove = 20;
    /// How often a wait tells the progress window and looks for a stop.
    static constexpr int kReportMs = 100;
    /// The delay between sites when none is stored: the Part's half second
    /// for Chrome and Firefox, none for the default browser.
    static constexpr double kDefaultPlacedDelay = 0.5;

    LaunchRun(UiServices &ui, Clock &clock, BrowserLauncher &launcher, WindowSystem &windows,
              Options &options, const SiteListModel &list, RunMonitor &monitor);

    /// "Start Opening"; ignored while a run is under way.
    void openAll();
    /// Ends the run after the address in flight (never half-way through a
    /// launch); its waits end at once. The run ends as usual, with a summary.
    void requestStop() { m_stopRequested = true; }
    /// Holds the run before its next address until resumed.
    void setPaused(bool paused) { m_paused = paused; }
    bool paused() const { return m_paused; }
    /// Waits \a seconds on a monotonic clock, sleeping in the event loop.
    void Pause(double seconds);
    bool RunInProgress() const { return m_running; }

private:
    enum class Launched { Yes, Skipped, Stopped, NotConfirmed };
    Launched launch(Procedure &procedure, int label, const QString &programFile, const QString &address,
                    BrowserWindows *windows);
    bool waitForDelivery(qint64 pid, const BrowserWindows &windows);
    bool hasWindowHere(const BrowserWindows &windows);
    void idleFor(int ms);
    void openInPlacedBrowser(Procedure &procedure, int firstLabel, const QString &programFile,
                             const QString &address);
    void openInDefaultBrowser(Procedure &procedure, const QString &address);
    void placeDefaultBrowserWindows(const BrowserWindows &windows, ShowState state);
    void showSummary();
    void report(const QString &waitingFor = {}, qint64 waitedMs = 0);
    double delayFor(const QString &programFile) const;
    void holdWhilePaused();

    UiServices &m_ui;
    Clock &m_clock;
    BrowserLauncher &m_launcher;
    WindowSystem &m_windows;
    Options &m_options;
    const SiteListModel &m_list;
    RunMonitor &m_monitor;
    bool m_running = false;

    // Per run.
    QMap<QString, std::optional<ResolvedBrowser>> m_resolved;
    QStringList m_skipped;
    QStringList m_gaveUp;
    QStringList m_unpassable;
    QStringList m_notConfirmed;
    QStringList m_elsewhere;
    qsizetype m_blank = 0;
    int m_openedBeforeChange = -1;
    int m_stoppedAfter = -1;
    bool m_stopRequested = false;
    bool m_paused = false;
    RunProgress m_progress;
    /// The address in flight as the list holds it.
    QByteArray m_addressBytes;
    bool m_handedOver = false;
    std::optional<std::pair<BrowserWindows, ShowState>> m_finalPlacement;
    bool m_stopped = false;
};

/// What the user chose, for messages: "Chrome", "Firefox", "the default browser".
QString browserChoiceName(const QString &programFile);
/// The message when the chosen browser is not installed, with what was looked for.
QString missingBrowserMessage(const QString &programFile);

/// False for an address the system cannot hand to a program as one
/// argument: one holding a NUL, or of 128 KiB or more.
bool passableAsArgument(QByteArrayView address);

/// True for an address a browser would read as an option.
bool looksLikeOption(const QString &address);

} // namespace zd
