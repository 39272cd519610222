#pragma once

#include "launch/browserlauncher.h"
#include "launch/runmonitor.h"
#include "launch/runtally.h"
#include "launch/runwaits.h"
#include "launch/windowsystem.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace zd {

class Clock;
class Options;
class Procedure;
class SiteListModel;
class UiServices;

/// "Start Opening": every address of the list to the chosen browser, whose
/// windows are then placed as chosen.
class LaunchRun
{
public:
    /// Runs of more addresses than this are confirmed first.
    static constexpr int kConfirmAbove = 20;
    /// The delay between sites when none is stored, for Chrome and Firefox;
    /// the default browser gets none.
    static constexpr double kDefaultPlacedDelay = 0.5;
    /// At delay 0, a browser that takes several addresses in one start gets
    /// up to this many at a time, so that Stop waits well under a second for
    /// the batch in flight and its tabs open in about one (bench/batch_size.sh:
    /// at 50, Chromium's hand-over alone takes up to 1.4 s).
    static constexpr int kBatchSize = 25;

    LaunchRun(UiServices &ui, Clock &clock, BrowserLauncher &launcher, WindowSystem &windows,
              Options &options, const SiteListModel &list, RunMonitor &monitor);

    /// "Start Opening", from item \a first on ("Open From Here"); ignored
    /// while a run is under way.
    void openAll(int first = 1);
    /// The item a stopped run did not open, to go on from; 0 when the last
    /// run was not stopped.
    int resumeAt() const { return qMax(0, m_run.tally.stoppedAt); }
    /// Ends the run after the address in flight (never half-way through a
    /// launch); its waits end at once. The run ends as usual, with a summary.
    void requestStop() { m_run.stopRequested = true; }
    /// Holds the run before its next address until resumed.
    void setPaused(bool paused) { m_run.paused = paused; }
    /// Waits \a seconds on a monotonic clock, sleeping in the event loop.
    void pauseFor(double seconds) { m_waits.delay(seconds); }

private:
    /// The addresses of one start: consecutive items from \a first.
    struct Batch
    {
        int first = 0;
        QStringList addresses;
        /// As the list holds them: the browser gets these bytes.
        QList<QByteArray> bytes;
    };
    // Everything one run keeps, set back by one assignment when the next begins.
    struct RunState
    {
        RunTally tally;
        RunProgress progress;
        QMap<Browser, std::optional<ResolvedBrowser>> resolved;
        /// The browser's windows, placed once more at the end: the default
        /// browser's, and those a batch went to.
        std::optional<std::pair<BrowserWindows, ShowState>> finalPlacement;
        /// The chosen browser is not installed, or shows only a message:
        /// nothing more is started.
        bool halted = false;
        bool stopRequested = false;
        bool paused = false;
        /// Read when the run starts, so that a box ticked or cleared under it
        /// never mixes private and normal windows in one run.
        bool privateWindow = false;
        /// The private window is up: later starts go to it.
        bool privateWindowUp = false;
        /// The last item of the stretch before the run's next pause of its
        /// own; 0 when it makes none.
        int pauseAfter = 0;
    };
    enum class Launched { HandedOver, WindowUp, Skipped, Halted, NotConfirmed };

    void openEach(Procedure &procedure, int first);
    /// Asks before a large run: after how many sites it pauses itself (0:
    /// never), or nullopt when the user cancelled.
    std::optional<int> confirmLargeRun(Browser browser, int count);
    /// After the item before \a next, the run pauses itself when a stretch
    /// of the user's chosen length has ended there.
    void pauseAtStretchEnd(int next);
    void noteStop(int index, const QString &address);
    /// Opens item \a index, with the items after it that go in the same
    /// start; how many items it took, 0 when the run ends before it.
    int openFrom(Procedure &procedure, int index);
    /// Starts the browser with \a batch (grown where the browser takes
    /// several), waits for its delivery and writes the outcome down.
    Launched launch(Procedure &procedure, int label, Browser browser, Batch &batch, BrowserWindows *windows);
    /// Adds the items after \a batch that one start of \a resolved can take.
    void extend(Batch &batch, const ResolvedBrowser &resolved, Browser browser);
    /// The browser found for \a browser this run; nullptr (the run halted,
    /// the user told) when there is none.
    const ResolvedBrowser *resolvedBrowser(Browser browser);
    /// A started browser program and what became of the address.
    struct Started
    {
        qint64 pid = 0;
        RunWaits::Delivery delivery = RunWaits::Delivery::NotConfirmed;
        QString dialogTitle;
    };
    /// Starts the program and waits for the delivery, once more after a
    /// failure; false when the address cannot be passed at all.
    bool start(const ResolvedBrowser &resolved, const Batch &batch, const BrowserWindows &windows,
               Started *started);
    /// What the delivery means for the run, noted in its tally.
    Launched judge(const Started &started, const Batch &batch, const QString &program);
    /// Why an address is not started, noted in the tally; nullopt when it
    /// may be.
    std::optional<Launched> refuse(const QString &address, const QByteArray &bytes);
    void openInPlacedBrowser(Procedure &procedure, int firstLabel, Browser browser, Batch &batch);
    void openInDefaultBrowser(Procedure &procedure, Batch &batch);
    void placeBrowserWindows(const BrowserWindows &windows, ShowState state);
    void waitBetweenSites(Browser browser, qint64 launchedAt);
    bool browserChosen() const;
    Browser chosenBrowser() const;
    double delayFor(Browser browser) const;
    void report(const QString &waitingFor = {}, qint64 waitedMs = 0, qint64 leftMs = -1);

    UiServices &m_ui;
    Clock &m_clock;
    BrowserLauncher &m_launcher;
    WindowSystem &m_windows;
    Options &m_options;
    const SiteListModel &m_list;
    RunMonitor &m_monitor;
    RunState m_run;
    RunWaits m_waits;
    bool m_running = false;
};

/// False for an address the system cannot hand to a program as one
/// argument: one holding a NUL, or of 128 KiB or more.
bool passableAsArgument(QByteArrayView address);

/// True for an address a browser would read as an option.
bool looksLikeOption(const QString &address);

} // namespace zd
