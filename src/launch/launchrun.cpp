#include "launch/launchrun.h"

#include "core/clock.h"
#include "core/errorreport.h"
#include "core/optionchoices.h"
#include "core/textcodec.h"
#include "core/uiservices.h"
#include "sitelist/sitelistmodel.h"

#include <QFileInfo>
#include <QScopeGuard>

#include <utility>

namespace zd {

namespace {

// Linux passes one argument of at most this many bytes, its NUL included.
constexpr qsizetype kMaxArgumentBytes = qsizetype{128} * 1024;

} // namespace

bool passableAsArgument(QByteArrayView address)
{
    return !address.contains('\0') && address.size() < kMaxArgumentBytes;
}

bool looksLikeOption(const QString &address)
{
    for (const QChar c : address) {
        if (!c.isSpace())
            return c == QLatin1Char('-');
    }
    return false;
}

namespace {

// Why a run does not start an item; None when it does.
enum class NotStarted { None, OptionLike, Blank, Unpassable };

NotStarted whyNotStarted(const QString &address, QByteArrayView bytes)
{
    // No "--" can make an option-like address safe for every browser.
    if (looksLikeOption(address))
        return NotStarted::OptionLike;
    // A blank item would open an empty window or a folder listing.
    if (address.trimmed().isEmpty())
        return NotStarted::Blank;
    if (!passableAsArgument(bytes))
        return NotStarted::Unpassable;
    return NotStarted::None;
}

} // namespace

LaunchRun::LaunchRun(UiServices &ui, Clock &clock, BrowserLauncher &launcher, WindowSystem &windows,
                     Options &options, const SiteListModel &list, RunMonitor &monitor)
    : m_ui(ui), m_clock(clock), m_launcher(launcher), m_windows(windows), m_options(options), m_list(list),
      m_monitor(monitor), m_waits(ui, clock, launcher, windows, m_run.stopRequested,
                                  [this](const QString &waitingFor, qint64 waitedMs, qint64 leftMs) {
                                      report(waitingFor, waitedMs, leftMs);
                                  })
{
}

void LaunchRun::openAll(int first)
{
    if (m_running)
        return;
    // Cleared however the run ends, so that the next click always starts one.
    m_running = true;
    const auto notRunning = qScopeGuard([this] { m_running = false; });
    m_run = RunState{};
    // The progress window goes however the run ends, before its last word.
    bool monitorDone = false;
    const auto finishMonitor = [&] {
        if (!std::exchange(monitorDone, true))
            m_monitor.finished();
    };
    const auto finished = qScopeGuard(finishMonitor);
    Procedure procedure(m_ui, locationTag(QStringLiteral("Form1"), QStringLiteral("PushButton4_Click")));
    // With no browser chosen every address would be skipped: the run ends
    // at once and silently, without asking first.
    if (m_list.count() == 0)
        procedure.step(168, [&] { m_ui.messageBox(QStringLiteral("No sites added.")); });
    else if (browserChosen())
        openEach(procedure, first >= 1 && first <= m_list.count() ? first : 1);
    finishMonitor();
    procedure.step(170, [&] {
        const QString message = closingMessage(m_run.tally);
        if (!message.isEmpty())
            m_ui.messageBox(message);
    });
}

void LaunchRun::openEach(Procedure &procedure, int first)
{
    const int count = m_list.count();
    const Browser browser = chosenBrowser();
    m_run.tally.count = count;
    m_run.progress.count = count;
    m_run.progress.browser = browserChoiceName(browser);
    m_run.progress.delaySeconds = delayFor(browser);
    m_run.privateWindow = m_options.privateWindow();
    // A thousand browser windows are no click's intent: ask first. Only a
    // run whose question showed the pause after every few sites makes one.
    if (count - first + 1 > kConfirmAbove) {
        const std::optional<int> pauseEvery = confirmLargeRun(browser, count - first + 1);
        if (!pauseEvery)
            return;
        m_run.progress.pauseEvery = *pauseEvery;
    }
    if (m_run.progress.pauseEvery > 0)
        m_run.pauseAfter = first - 1 + m_run.progress.pauseEvery;
    for (int index = first; index <= count && !m_run.halted;) {
        const int taken = openFrom(procedure, index);
        if (taken == 0)
            break;
        index += taken;
        pauseAtStretchEnd(index);
    }
    // Twice, a settle apart: Chromium, cold, was seen showing its window
    // again after the first, as it opened the last batch's tabs.
    for (int round = 0; round < 2 && m_run.finalPlacement; ++round) {
        m_waits.idleFor(RunWaits::kSettleMs);
        placeBrowserWindows(m_run.finalPlacement->first, m_run.finalPlacement->second);
    }
}

std::optional<int> LaunchRun::confirmLargeRun(Browser browser, int count)
{
    const double delay = delayFor(browser);
    const int pauseEvery = m_options.pauseEvery();
    // "Open 1,000 sites in a private window of Firefox?": said before it starts.
    const QString where = m_run.privateWindow
                              ? QStringLiteral("a private window of %1").arg(m_run.progress.browser)
                              : m_run.progress.browser;
    const std::optional<RunChoices> chosen = m_monitor.confirm(count, where, RunChoices{delay, pauseEvery});
    if (!chosen)
        return std::nullopt;
    if (!qFuzzyCompare(chosen->delaySeconds + 1.0, delay + 1.0))
        m_options.setDelaySeconds(chosen->delaySeconds);
    if (chosen->pauseEvery != pauseEvery)
        m_options.setPauseEvery(chosen->pauseEvery);
    m_run.progress.delaySeconds = delayFor(browser);
    return chosen->pauseEvery;
}

void LaunchRun::pauseAtStretchEnd(int next)
{
    // Batches end at a stretch's end, so every stretch ends on an item.
    if (m_run.pauseAfter == 0 || next - 1 < m_run.pauseAfter)
        return;
    m_run.pauseAfter += m_run.progress.pauseEvery;
    // Nothing is left to go on to, or the run is ending anyway.
    if (next > m_run.tally.count || m_run.halted || m_run.stopRequested)
        return;
    m_run.paused = true;
    m_run.progress.pausedAfter = next - 1;
    report();
}

int LaunchRun::openFrom(Procedure &procedure, int index)
{
    m_waits.whilePaused(m_run.paused);
    m_run.progress.pausedAfter = 0;
    if (m_run.stopRequested) {
        noteStop(index, decodeBytes(m_list.bytes(index).joined()));
        return 0;
    }
    // Items removed under the run (Clear List, Delete): the ones it has not
    // reached are gone, so it ends here, rather than report each missing one
    // and open the previous address again.
    if (m_list.count() < m_run.tally.count) {
        m_run.tally.listChangedAfter = index - 1;
        return 0;
    }
    Batch batch{index, {}, {}};
    procedure.step(108, [&] {
        // The browser gets the item's own bytes; the text is for people.
        batch.bytes << m_list.bytes(index).toByteArray();
        batch.addresses << decodeBytes(batch.bytes.constFirst());
    });
    if (batch.bytes.isEmpty())
        return 1; // the step failed and was reported
    m_run.progress.index = index;
    m_run.progress.last = index;
    m_run.progress.address = batch.addresses.constFirst();
    report();
    // The choice is read anew for every address: it may change during a run.
    if (m_options.isSelected(Option::InternetExplorer))
        openInDefaultBrowser(procedure, batch);
    else if (m_options.isSelected(Option::Chrome))
        openInPlacedBrowser(procedure, 128, Browser::Chrome, batch);
    else if (m_options.isSelected(Option::Firefox))
        openInPlacedBrowser(procedure, 148, Browser::Firefox, batch);
    // A pause after the batch shows the last address it opened.
    m_run.progress.address = batch.addresses.constLast();
    // Even the launch-only path keeps the window alive on long lists.
    m_ui.pumpEvents();
    return int(batch.addresses.size());
}

std::optional<LaunchRun::Launched> LaunchRun::refuse(const QString &address, const QByteArray &bytes)
{
    switch (whyNotStarted(address, bytes)) {
    case NotStarted::None:
        return std::nullopt;
    case NotStarted::OptionLike:
        m_run.tally.optionLike << address;
        break;
    case NotStarted::Blank:
        ++m_run.tally.blank;
        break;
    case NotStarted::Unpassable:
        m_run.tally.unpassable << address;
        break;
    }
    return Launched::Skipped;
}

LaunchRun::Launched LaunchRun::launch(Procedure &procedure, int label, Browser browser, Batch &batch,
                                      BrowserWindows *windows)
{
    Launched outcome = Launched::Skipped;
    procedure.step(label, [&] {
        if (const std::optional<Launched> refused =
                refuse(batch.addresses.constFirst(), batch.bytes.constFirst())) {
            outcome = *refused;
            return;
        }
        const ResolvedBrowser *resolved = resolvedBrowser(browser);
        if (!resolved) {
            outcome = Launched::Halted;
            return;
        }
        extend(batch, *resolved, browser);
        *windows = BrowserWindows{resolved->titleWord, resolved->windowClasses};
        Started started;
        if (!start(*resolved, batch, *windows, &started)) {
            const QString why = m_launcher.startError();
            if (why.isEmpty()) {
                m_run.tally.unpassable << batch.addresses;
                return;
            }
            // The program cannot run: no address would fare better.
            m_run.halted = true;
            m_run.tally.endedAddress = batch.addresses.constFirst();
            m_run.tally.endedProgram = resolved->program;
            m_run.tally.startError = why;
            outcome = Launched::Halted;
            return;
        }
        outcome = judge(started, batch, QFileInfo(resolved->program).fileName());
    });
    return outcome;
}

void LaunchRun::extend(Batch &batch, const ResolvedBrowser &resolved, Browser browser)
{
    // With a delay, each address has its own start, as the user asked.
    if (!resolved.takesSeveral || delayFor(browser) > 0)
        return;
    // A batch ends where the run pauses itself.
    const int last = m_run.pauseAfter > 0 ? qMin(m_list.count(), m_run.pauseAfter) : m_list.count();
    for (int index = batch.first + int(batch.bytes.size()); index <= last && batch.bytes.size() < kBatchSize;
         ++index) {
        const QByteArray bytes = m_list.bytes(index).toByteArray();
        const QString address = decodeBytes(bytes);
        // An item not started ends the batch: it is told in its own turn.
        if (whyNotStarted(address, bytes) != NotStarted::None)
            break;
        batch.bytes << bytes;
        if (!m_launcher.fitsOneStart(resolved, batch.bytes)) {
            batch.bytes.removeLast();
            break;
        }
        batch.addresses << address;
    }
    if (batch.addresses.size() > 1) {
        m_run.progress.last = batch.first + int(batch.addresses.size()) - 1;
        report();
    }
}

const ResolvedBrowser *LaunchRun::resolvedBrowser(Browser browser)
{
    if (!m_run.resolved.contains(browser)) {
        std::optional<ResolvedBrowser> found = m_launcher.resolve(browser);
        if (found) {
            if (m_run.privateWindow)
                found = m_launcher.inPrivateWindow(*std::move(found));
            m_run.tally.browserNote = found->note;
        }
        m_run.resolved[browser] = std::move(found);
    }
    const std::optional<ResolvedBrowser> &resolved = m_run.resolved[browser];
    if (!resolved || !resolved->refusal.isEmpty()) {
        m_run.halted = true;
        QString message =
            resolved ? resolved->refusal : missingBrowserMessage(browser, m_launcher.lookedFor(browser));
        // Why the desktop's own was not used, also when nothing else was found.
        if (const QString why = m_launcher.passedOver(); !resolved && !why.isEmpty())
            message += QStringLiteral("\r\n") + why;
        m_ui.messageBox(message);
        return nullptr;
    }
    return &*resolved;
}

bool LaunchRun::start(const ResolvedBrowser &resolved, const Batch &batch, const BrowserWindows &windows,
                      Started *started)
{
    // A running browser opens its private window only after the start that
    // asked for it has ended; what comes sooner Firefox puts in that window
    // out of order, or loses: the first private start waits for the window.
    const bool opensPrivateWindow = m_run.privateWindow && !m_run.privateWindowUp;
    const std::vector<WindowId> before =
        opensPrivateWindow ? m_waits.windowsOf(windows) : std::vector<WindowId>{};
    std::optional<qint64> pid = m_launcher.start(resolved, batch.bytes);
    if (!pid)
        return false;
    started->pid = *pid;
    started->delivery =
        m_waits.delivery(*pid, resolved, windows, m_run.progress.browser, &started->dialogTitle);
    // A failure is seldom the address's fault (Firefox's crash handler
    // ends it with a status): the browser gets it once more.
    if (started->delivery == RunWaits::Delivery::Failed && !m_run.stopRequested) {
        if (const std::optional<qint64> again = m_launcher.start(resolved, batch.bytes)) {
            started->pid = *again;
            started->delivery =
                m_waits.delivery(*again, resolved, windows, m_run.progress.browser, &started->dialogTitle);
        }
        // A second failure is said where the run ended.
        if (started->delivery != RunWaits::Delivery::Failed) {
            m_run.tally.restarted << batch.addresses;
            m_run.tally.restartedProgram = QFileInfo(resolved.program).fileName();
        }
    }
    if (opensPrivateWindow) {
        if (started->delivery == RunWaits::Delivery::HandedOver)
            m_waits.newWindow(windows, before, m_run.progress.browser);
        m_run.privateWindowUp = started->delivery == RunWaits::Delivery::HandedOver
                                || started->delivery == RunWaits::Delivery::WindowUp
                                || started->delivery == RunWaits::Delivery::Ready;
    }
    return true;
}

LaunchRun::Launched LaunchRun::judge(const Started &started, const Batch &batch, const QString &program)
{
    // What names one address names the batch's first.
    const QString &address = batch.addresses.constFirst();
    switch (started.delivery) {
    case RunWaits::Delivery::HandedOver:
        return Launched::HandedOver;
    case RunWaits::Delivery::WindowUp:
    case RunWaits::Delivery::Ready:
        return Launched::WindowUp;
    case RunWaits::Delivery::Failed:
        if (m_run.stopRequested) {
            noteStop(batch.first, address);
            return Launched::NotConfirmed;
        }
        [[fallthrough]];
    case RunWaits::Delivery::EndedWithoutWindow:
        // Nothing took the address; the next would fare no better.
        m_run.halted = true;
        m_run.tally.endedAddress = address;
        m_run.tally.endedProgram = program;
        m_run.tally.endedExit = m_launcher.exitOf(started.pid);
        return Launched::Halted;
    case RunWaits::Delivery::DialogOnly:
        // It would show the same for every address: stop here and say so.
        m_run.halted = true;
        m_run.tally.dialogAddress = address;
        m_run.tally.dialogBrowser = m_run.progress.browser;
        m_run.tally.dialogTitle = started.dialogTitle;
        return Launched::Halted;
    case RunWaits::Delivery::NotConfirmed:
        // A stop during the wait: stopped, not unconfirmed.
        if (m_run.stopRequested)
            noteStop(batch.first, address);
        else
            m_run.tally.notConfirmed << batch.addresses;
        return Launched::NotConfirmed;
    }
    return Launched::NotConfirmed;
}

void LaunchRun::waitBetweenSites(Browser browser, qint64 launchedAt)
{
    // The delay counts from the launch: the wait for the delivery is part of it.
    const double waited = static_cast<double>(m_clock.nowMs() - launchedAt) / 1000.0;
    m_waits.delay(qMax(0.0, delayFor(browser) - waited));
}

void LaunchRun::openInPlacedBrowser(Procedure &procedure, int first, Browser browser, Batch &batch)
{
    BrowserWindows windows;
    const qint64 launchedAt = m_clock.nowMs();
    const Launched launched = launch(procedure, first + 2, browser, batch, &windows);
    if (launched != Launched::HandedOver && launched != Launched::WindowUp)
        return;
    procedure.step(first + 4, [&] { waitBetweenSites(browser, launchedAt); });

    const bool minimize = m_options.isSelected(Option::Minimized);
    if ((!minimize && !m_options.isSelected(Option::Maximized)) || windows.titleWord.isEmpty())
        return;
    bool refused = false;
    const auto place = [&] {
        return minimize ? minimizeMatchingWindows(m_windows, windows, &refused)
                        : maximizeMatchingWindows(m_windows, windows, &refused);
    };
    const WindowCapabilities desktop = m_windows.capabilities();
    if (!desktop.place) {
        // No wait for what cannot come; an X11 browser (Xwayland) may still
        // be placed.
        if (!place() || refused)
            m_run.tally.desktopCannotPlace = true;
        return;
    }
    // Handed to a browser with no window here (on X11: it runs on another
    // display): no window of it will come.
    if (launched == Launched::HandedOver && !m_waits.hasWindowHere(windows)) {
        m_run.tally.elsewhere << batch.addresses;
        m_run.tally.elsewhereOnOtherDisplay = desktop.otherDisplays;
        return;
    }
    const int label = minimize ? first + 8 : first + 14;
    const RunWaits::Placement placed = m_waits.placement(procedure, label, place, m_run.progress.browser);
    if (placed == RunWaits::Placement::TimedOut)
        m_run.tally.notPlaced << batch.addresses;
    else if (refused)
        m_run.tally.desktopCannotPlace = true;
    // Chromium shows its window again as it opens the tabs of a batch, a
    // moment after it took them: placed once more when the run ends.
    if (placed == RunWaits::Placement::Placed && !refused && batch.addresses.size() > 1)
        m_run.finalPlacement = {windows, minimize ? ShowState::Minimized : ShowState::Maximized};
}

void LaunchRun::openInDefaultBrowser(Procedure &procedure, Batch &batch)
{
    // "Default" keeps the state the browser chooses: nothing is placed.
    std::optional<ShowState> state;
    if (!m_options.isSelected(Option::SameState)) {
        if (m_options.isSelected(Option::Minimized))
            state = ShowState::Minimized;
        else if (m_options.isSelected(Option::Maximized))
            state = ShowState::Maximized;
    }
    BrowserWindows windows;
    const qint64 launchedAt = m_clock.nowMs();
    const Launched launched = launch(procedure, 124, Browser::Default, batch, &windows);
    // None by default: a delay only when the user set one.
    if (launched == Launched::HandedOver || launched == Launched::WindowUp
        || launched == Launched::NotConfirmed)
        waitBetweenSites(Browser::Default, launchedAt);
    if ((launched != Launched::HandedOver && launched != Launched::WindowUp) || !state)
        return;
    // The launch keeps the chosen state: the default browser's windows,
    // found by class alone, get it once the address is delivered. No wait
    // for a window beyond that, as for this choice there never was one.
    windows.titleWord.clear();
    placeBrowserWindows(windows, *state);
    // A browser raises its window when it opens the page, a moment after it
    // took the address: place once more when the run ends.
    m_run.finalPlacement = {windows, *state};
}

void LaunchRun::placeBrowserWindows(const BrowserWindows &windows, ShowState state)
{
    bool refused = false;
    const bool found = state == ShowState::Minimized ? minimizeMatchingWindows(m_windows, windows, &refused)
                                                     : maximizeMatchingWindows(m_windows, windows, &refused);
    if (refused || (!found && !m_windows.capabilities().place))
        m_run.tally.desktopCannotPlace = true;
}

void LaunchRun::noteStop(int index, const QString &address)
{
    if (m_run.tally.stoppedAt > 0)
        return; // the first item not opened is where to go on
    m_run.tally.stoppedAt = index;
    m_run.tally.stoppedAddress = address;
}

bool LaunchRun::browserChosen() const
{
    return m_options.isSelected(Option::InternetExplorer) || m_options.isSelected(Option::Chrome)
           || m_options.isSelected(Option::Firefox);
}

Browser LaunchRun::chosenBrowser() const
{
    if (m_options.isSelected(Option::Chrome))
        return Browser::Chrome;
    if (m_options.isSelected(Option::Firefox))
        return Browser::Firefox;
    return Browser::Default;
}

double LaunchRun::delayFor(Browser browser) const
{
    if (const std::optional<double> stored = m_options.delaySeconds())
        return *stored;
    return browser == Browser::Default ? 0.0 : kDefaultPlacedDelay;
}

void LaunchRun::report(const QString &waitingFor, qint64 waitedMs, qint64 leftMs)
{
    m_run.progress.waitingFor = waitingFor;
    m_run.progress.waitedMs = waitedMs;
    m_run.progress.leftMs = leftMs;
    m_run.progress.paused = m_run.paused;
    m_run.progress.skipped = m_run.tally.skipped();
    m_run.progress.notConfirmed = m_run.tally.notConfirmed.size();
    m_monitor.progress(m_run.progress);
}

} // namespace zd
