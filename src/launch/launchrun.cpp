#include "launch/launchrun.h"

#include "launch/browserlauncher.h"
#include "core/clock.h"
#include "core/errorreport.h"
#include "core/optionchoices.h"
#include "sitelist/sitelistmodel.h"
#include "core/textcodec.h"
#include "core/uiservices.h"
#include "launch/windowsystem.h"

#include <algorithm>
#include <cmath>

namespace zd {

namespace {

// Linux passes one argument of at most this many bytes, its NUL included.
constexpr qsizetype kMaxArgumentBytes = qsizetype{128} * 1024;

QString listed(const QStringList &addresses, int named)
{
    QStringList shown = addresses.mid(0, named);
    for (QString &address : shown) {
        if (address.size() > 80)
            address = address.left(77) + QStringLiteral("...");
    }
    QString text = shown.join(QLatin1Char('\n'));
    if (addresses.size() > named)
        text += QStringLiteral("\n(and %1 more)").arg(addresses.size() - named);
    return text;
}

// "1 address", "2 addresses".
QString addressCount(qsizetype count)
{
    return count == 1 ? QStringLiteral("1 address") : QStringLiteral("%1 addresses").arg(count);
}

// "1 address was", "2 addresses were".
QString addresses(qsizetype count, const char *singularVerb, const char *pluralVerb)
{
    return addressCount(count) + QLatin1Char(' ') + QLatin1String(count == 1 ? singularVerb : pluralVerb);
}

} // namespace

QString browserChoiceName(const QString &programFile)
{
    const QString name = programFile.toLower();
    if (name == QLatin1String("chrome.exe"))
        return QStringLiteral("Chrome");
    if (name == QLatin1String("firefox.exe"))
        return QStringLiteral("Firefox");
    return QStringLiteral("the default browser");
}

QString missingBrowserMessage(const QString &programFile)
{
    QStringList names = candidatePrograms(programFile);
    if (names.isEmpty()) // the default browser: the desktop's, else any of them
        names << QStringLiteral("the desktop's default web browser")
              << candidatePrograms(QStringLiteral("chrome.exe"))
                     + candidatePrograms(QStringLiteral("firefox.exe"));
    QString chosen = browserChoiceName(programFile);
    chosen[0] = chosen[0].toUpper();
    return QStringLiteral("%1 is not installed, so no site was opened.\r\nLooked for: %2")
        .arg(chosen, names.join(QStringLiteral(", ")));
}

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

LaunchRun::LaunchRun(UiServices &ui, Clock &clock, BrowserLauncher &launcher, WindowSystem &windows,
                     Options &options, const SiteListModel &list, RunMonitor &monitor)
    : m_ui(ui), m_clock(clock), m_launcher(launcher), m_windows(windows), m_options(options), m_list(list),
      m_monitor(monitor)
{
}

void LaunchRun::Pause(double seconds)
{
    const qint64 start = m_clock.nowMs();
    const qint64 length = std::llround(seconds * 1000.0);
    // Sleeps in the event loop, looking up now and then for a stop and to
    // show the wait.
    for (qint64 elapsed = 0; elapsed < length && !m_stopRequested; elapsed = m_clock.nowMs() - start) {
        report(QStringLiteral("the delay between sites"), elapsed);
        m_ui.idle(static_cast<int>(qMin<qint64>(length - elapsed, kReportMs)));
    }
}

LaunchRun::Launched LaunchRun::launch(Procedure &procedure, int label, const QString &programFile,
                                      const QString &address, BrowserWindows *windows)
{
    Launched outcome = Launched::Skipped;
    procedure.step(label, [&] {
        // No "--" can make an option-like address safe for every browser.
        if (looksLikeOption(address)) {
            m_skipped << address;
            return;
        }
        // A blank item would open an empty window or a folder listing.
        if (address.trimmed().isEmpty()) {
            ++m_blank;
            return;
        }
        if (!passableAsArgument(m_addressBytes)) {
            m_unpassable << address;
            return;
        }
        if (!m_resolved.contains(programFile))
            m_resolved.insert(programFile, m_launcher.resolve(programFile));
        const std::optional<ResolvedBrowser> &browser = m_resolved[programFile];
        if (!browser) {
            m_stopped = true;
            outcome = Launched::Stopped;
            m_ui.messageBox(missingBrowserMessage(programFile));
            return;
        }
        *windows = BrowserWindows{browser->titleWord, browser->windowClasses};
        const std::optional<qint64> pid = m_launcher.start(*browser, m_addressBytes);
        if (!pid) {
            m_unpassable << address;
            return;
        }
        outcome = waitForDelivery(*pid, *windows) ? Launched::Yes : Launched::NotConfirmed;
        if (outcome == Launched::NotConfirmed)
            m_notConfirmed << address;
    });
    return outcome;
}

bool LaunchRun::waitForDelivery(qint64 pid, const BrowserWindows &windows)
{
    // Delivered once the started program has handed the address to the
    // running browser and ended, or has become the browser itself: a window
    // of its own is up. Until then the browser may drop or reorder what
    // comes next.
    m_handedOver = false;
    const qint64 start = m_clock.nowMs();
    const qint64 deadline = start + kWindowWaitMs;
    // A hand-over takes a few milliseconds: look again soon at first. The
    // windows, a walk over the X server, are looked at less often.
    int pollMs = 1;
    qint64 nextWalk = start + kWindowWalkMs;
    for (;;) {
        if (!m_launcher.running(pid)) {
            m_handedOver = true;
            return true;
        }
        if (m_clock.nowMs() >= nextWalk) {
            nextWalk = m_clock.nowMs() + kWindowWalkMs;
            for (const TopLevelWindow &window : m_windows.topLevelWindows()) {
                if (window.pid == pid && window.visible && windows.hasClass(window)) {
                    // Its first window is up; give it a moment to take more.
                    idleFor(kSettleMs);
                    return true;
                }
            }
        }
        if (m_clock.nowMs() >= deadline || m_stopRequested)
            return false;
        report(QStringLiteral("%1 to take the address").arg(m_progress.browser), m_clock.nowMs() - start);
        m_ui.idle(pollMs);
        pollMs = qMin(pollMs * 2, kPollMs);
    }
}

bool LaunchRun::hasWindowHere(const BrowserWindows &windows)
{
    const std::vector<TopLevelWindow> all = m_windows.topLevelWindows();
    return std::any_of(all.begin(), all.end(), [&](const TopLevelWindow &w) { return windows.hasClass(w); });
}

void LaunchRun::idleFor(int ms)
{
    const qint64 start = m_clock.nowMs();
    for (qint64 elapsed = 0; elapsed < ms; elapsed = m_clock.nowMs() - start)
        m_ui.idle(static_cast<int>(qMin<qint64>(ms - elapsed, kPollMs)));
}

void LaunchRun::openInPlacedBrowser(Procedure &procedure, int first, const QString &programFile,
                                    const QString &address)
{
    procedure.step(first, [] {});
    BrowserWindows windows;
    const qint64 launchedAt = m_clock.nowMs();
    if (launch(procedure, first + 2, programFile, address, &windows) != Launched::Yes)
        return;
    // The delay between addresses counts from the launch: the wait for the
    // delivery is part of it.
    const double delay = delayFor(programFile);
    procedure.step(first + 4, [&] {
        Pause(qMax(0.0, delay - static_cast<double>(m_clock.nowMs() - launchedAt) / 1000.0));
    });

    const auto waitFor = [&](int label, auto place) {
        if (windows.titleWord.isEmpty())
            return;
        // Handed to a browser with no window on this display: it runs on
        // another one, and no window of it will come here.
        if (m_handedOver && !hasWindowHere(windows)) {
            m_elsewhere << address;
            return;
        }
        const qint64 deadline = m_clock.nowMs() + kWindowWaitMs;
        bool placed = false;
        procedure.step(label, [&] { placed = place(m_windows, windows); });
        while (!placed) {
            if (m_stopRequested)
                return;
            if (m_clock.nowMs() >= deadline) {
                m_gaveUp << address;
                return;
            }
            report(QStringLiteral("the %1 window").arg(m_progress.browser),
                   kWindowWaitMs - (deadline - m_clock.nowMs()));
            procedure.step(label + 2, [&] { m_ui.idle(kPollMs); });
            procedure.step(label, [&] { placed = place(m_windows, windows); });
        }
    };
    if (procedure.condition(first + 6, [&] { return m_options.isSelected(Option::Minimized); }))
        waitFor(first + 8, MinimizeMatchingWindows);
    else if (procedure.condition(first + 12, [&] { return m_options.isSelected(Option::Maximized); }))
        waitFor(first + 14, MaximizeMatchingWindows);
}

void LaunchRun::openInDefaultBrowser(Procedure &procedure, const QString &address)
{
    ShowState state = ShowState::Maximized;
    bool place = false;
    if (procedure.condition(112, [&] { return m_options.isSelected(Option::SameState); })) {
        procedure.step(114, [] {});
    } else if (procedure.condition(116, [&] { return m_options.isSelected(Option::Minimized); })) {
        procedure.step(118, [&] { state = ShowState::Minimized, place = true; });
    } else if (procedure.condition(120, [&] { return m_options.isSelected(Option::Maximized); })) {
        procedure.step(122, [&] { state = ShowState::Maximized, place = true; });
    }
    BrowserWindows windows;
    const qint64 launchedAt = m_clock.nowMs();
    const Launched launched = launch(procedure, 124, QStringLiteral("iexplore.exe"), address, &windows);
    // None by default: a delay only when the user set one.
    if (launched == Launched::Yes || launched == Launched::NotConfirmed)
        Pause(qMax(0.0, delayFor(QStringLiteral("iexplore.exe"))
                            - static_cast<double>(m_clock.nowMs() - launchedAt) / 1000.0));
    if (launched != Launched::Yes || !place)
        return;
    // The launch keeps the chosen state: the default browser's windows,
    // found by class alone, get it once the address is delivered. No wait
    // for a window beyond that, as for this choice there never was one.
    windows.titleWord.clear();
    placeDefaultBrowserWindows(windows, state);
    // A browser raises its window when it opens the page, a moment after it
    // took the address: place once more when the run ends.
    m_finalPlacement = {windows, state};
}

void LaunchRun::placeDefaultBrowserWindows(const BrowserWindows &windows, ShowState state)
{
    if (state == ShowState::Minimized)
        MinimizeMatchingWindows(m_windows, windows);
    else
        MaximizeMatchingWindows(m_windows, windows);
}

void LaunchRun::openAll()
{
    if (m_running)
        return;
    m_running = true;
    m_resolved.clear();
    m_skipped.clear();
    m_gaveUp.clear();
    m_unpassable.clear();
    m_notConfirmed.clear();
    m_elsewhere.clear();
    m_blank = 0;
    m_openedBeforeChange = -1;
    m_finalPlacement.reset();
    m_stoppedAfter = -1;
    m_stopRequested = false;
    m_paused = false;
    m_progress = RunProgress();
    m_stopped = false;
    Procedure procedure(m_ui, locationTag(QStringLiteral("Form1"), QStringLiteral("PushButton4_Click")));
    // Cleared however the run ends, so the next click always starts one.
    struct ClearFlag
    {
        bool &flag;
        ~ClearFlag() { flag = false; }
    } clearFlag{m_running};
    // The progress window goes however the run ends.
    struct Finish
    {
        RunMonitor &monitor;
        ~Finish() { monitor.finished(); }
    } finish{m_monitor};

    if (procedure.condition(104, [&] { return m_list.count() > 0; })) {
        int count = 0;
        procedure.step(106, [&] { count = m_list.count(); });
        const QString programFile = m_options.isSelected(Option::Chrome)    ? QStringLiteral("chrome.exe")
                                    : m_options.isSelected(Option::Firefox) ? QStringLiteral("firefox.exe")
                                                                            : QStringLiteral("iexplore.exe");
        m_progress.count = count;
        m_progress.browser = browserChoiceName(programFile);
        m_progress.delaySeconds = delayFor(programFile);
        // A thousand browser windows are no click's intent: ask first.
        if (count > kConfirmAbove) {
            const double delay = delayFor(programFile);
            const std::optional<double> chosen = m_monitor.confirm(count, m_progress.browser, delay);
            if (!chosen)
                return;
            if (!qFuzzyCompare(*chosen + 1.0, delay + 1.0))
                m_options.setDelaySeconds(*chosen);
            m_progress.delaySeconds = delayFor(programFile);
        }
        QString address;
        for (int index = 1; index <= count && !m_stopped; ++index) {
            holdWhilePaused();
            if (m_stopRequested) {
                m_stoppedAfter = index - 1;
                break;
            }
            // Items removed under the run (Clear List, Delete): the ones it
            // has not reached are gone, so it ends here, rather than report
            // each missing one and open the previous address again.
            if (m_list.count() < count) {
                m_openedBeforeChange = index - 1;
                break;
            }
            procedure.step(108, [&] {
                // The browser gets the item's own bytes; the text is for people.
                m_addressBytes = m_list.bytes(index).toByteArray();
                address = decodeBytes(m_addressBytes);
            });
            m_progress.index = index;
            m_progress.address = address;
            report();
            if (procedure.condition(110, [&] { return m_options.isSelected(Option::InternetExplorer); })) {
                openInDefaultBrowser(procedure, address);
            } else if (procedure.condition(126, [&] { return m_options.isSelected(Option::Chrome); })) {
                openInPlacedBrowser(procedure, 128, QStringLiteral("chrome.exe"), address);
            } else if (procedure.condition(146, [&] { return m_options.isSelected(Option::Firefox); })) {
                openInPlacedBrowser(procedure, 148, QStringLiteral("firefox.exe"), address);
            }
            // Even the launch-only path keeps the window alive on long lists.
            m_ui.pumpEvents();
        }
        if (m_finalPlacement) {
            idleFor(kSettleMs);
            placeDefaultBrowserWindows(m_finalPlacement->first, m_finalPlacement->second);
        }
    } else {
        procedure.step(168, [&] { m_ui.messageBox(QStringLiteral("No sites added.")); });
    }
    procedure.step(170, [&] { showSummary(); });
}

double LaunchRun::delayFor(const QString &programFile) const
{
    if (const std::optional<double> stored = m_options.delaySeconds())
        return *stored;
    return programFile == QLatin1String("iexplore.exe") ? 0.0 : kDefaultPlacedDelay;
}

void LaunchRun::holdWhilePaused()
{
    while (m_paused && !m_stopRequested) {
        report(QStringLiteral("you to resume"));
        m_ui.idle(kReportMs);
    }
}

void LaunchRun::report(const QString &waitingFor, qint64 waitedMs)
{
    m_progress.waitingFor = waitingFor;
    m_progress.waitedMs = waitedMs;
    m_progress.paused = m_paused;
    m_progress.skipped = m_skipped.size() + m_blank + m_unpassable.size();
    m_progress.notConfirmed = m_notConfirmed.size();
    m_monitor.progress(m_progress);
}

void LaunchRun::showSummary()
{
    QStringList parts;
    if (m_stoppedAfter >= 0) {
        parts << QStringLiteral("You stopped the run after %1 of %2. To go on, start again from item %3.")
                     .arg(m_stoppedAfter)
                     .arg(addressCount(m_progress.count))
                     .arg(m_stoppedAfter + 1);
    }
    if (m_openedBeforeChange >= 0) {
        parts << QStringLiteral("The list was changed during the run, so it stopped after %1.")
                     .arg(addressCount(m_openedBeforeChange));
    }
    if (!m_skipped.isEmpty()) {
        const bool one = m_skipped.size() == 1;
        parts << QStringLiteral("%1 not opened because %2 with \"-\", which a browser would take for an "
                                "option:\n%3")
                     .arg(addresses(m_skipped.size(), "was", "were"),
                          one ? QStringLiteral("it begins") : QStringLiteral("they begin"),
                          listed(m_skipped, kNamedInSummary));
    }
    if (m_blank > 0) {
        parts << QStringLiteral("%1 not opened because %2 blank.")
                     .arg(addresses(m_blank, "was", "were"),
                          m_blank == 1 ? QStringLiteral("it is") : QStringLiteral("they are"));
    }
    if (!m_unpassable.isEmpty()) {
        parts << QStringLiteral("%1 not opened because the system cannot hand %2 to a program (longer than "
                                "128 KiB, or holding a NUL character):\n%3")
                     .arg(addresses(m_unpassable.size(), "was", "were"),
                          m_unpassable.size() == 1 ? QStringLiteral("it") : QStringLiteral("them"),
                          listed(m_unpassable, kNamedInSummary));
    }
    if (!m_notConfirmed.isEmpty()) {
        parts << QStringLiteral("For %1 the browser did not confirm within %2 seconds that it took %3:\n%4")
                     .arg(addressCount(m_notConfirmed.size()))
                     .arg(kWindowWaitMs / 1000)
                     .arg(m_notConfirmed.size() == 1 ? QStringLiteral("it") : QStringLiteral("them"),
                          listed(m_notConfirmed, kNamedInSummary));
    }
    if (!m_elsewhere.isEmpty()) {
        parts << QStringLiteral("%1 handed to a browser that has no window on this display (it runs on "
                                "another one), so %2 not placed:\n%3")
                     .arg(addresses(m_elsewhere.size(), "was", "were"),
                          m_elsewhere.size() == 1 ? QStringLiteral("its window was")
                                                  : QStringLiteral("their windows were"),
                          listed(m_elsewhere, kNamedInSummary));
    }
    if (!m_gaveUp.isEmpty()) {
        const bool one = m_gaveUp.size() == 1;
        parts << QStringLiteral("For %1 no browser window appeared within %2 seconds, so %3 not "
                                "placed:\n%4")
                     .arg(addressCount(m_gaveUp.size()))
                     .arg(kWindowWaitMs / 1000)
                     .arg(one ? QStringLiteral("its window was") : QStringLiteral("their windows were"),
                          listed(m_gaveUp, kNamedInSummary));
    }
    if (!parts.isEmpty())
        m_ui.messageBox(parts.join(QStringLiteral("\n\n")));
}

} // namespace zd
