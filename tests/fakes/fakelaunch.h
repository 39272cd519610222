#pragma once

#include "launch/browserlauncher.h"
#include "core/clock.h"
#include "launch/runmonitor.h"
#include "launch/windowsystem.h"

#include <QMap>
#include <algorithm>
#include <deque>
#include <functional>
#include <vector>

namespace zd::test {
/// A clock that moves only when told.
class FakeClock final : public Clock
{
public:
    qint64 now = 1'000;
    qint64 nowMs() override { return now; }
};

/// Records launches; "installed" names the browsers that resolve, with their title words.
class FakeBrowserLauncher final : public BrowserLauncher
{
public:
    struct Launch
    {
        Browser browser;
        QString address; // the first, as UTF-8, for comparing with texts
        qint64 pid;
        QByteArray bytes;      // what a real browser would receive
        ProcessExit exit;      // once it has ended
        QStringList batch;     // every address of the start
        QStringList arguments; // the browser's own, before the addresses
    };
    /// How the starts of an address end, one after another; Success when
    /// none is left.
    QMap<QString, QList<ProcessExit>> endings;
    QMap<Browser, QString> installed{{Browser::Default, QString()},
                                     {Browser::Chrome, QStringLiteral("Chrome")},
                                     {Browser::Firefox, QStringLiteral("Firefox")}};
    std::vector<Launch> launches;
    int startsTried = 0;
    std::function<void(const Launch &)> onLaunch;
    /// Window classes the resolved browsers declare; empty: any class.
    QStringList windowClasses;
    /// Started processes stay (as a browser that never shows a window);
    /// otherwise each hands its address over and ends at once.
    bool keepRunning = false;
    /// Addresses that cannot be started at all.
    QStringList failToStart;
    /// Set: the program itself cannot run (the system's reason), whatever
    /// the address.
    QString cannotRun;
    /// Why the resolved browsers are never started (a batch file).
    QString refusal;
    /// The resolved browsers open several addresses of one start.
    bool takesSeveral = false;
    /// At most this many bytes of addresses fit one start.
    qsizetype commandRoom = qsizetype{1} << 20;

    std::optional<ResolvedBrowser> resolve(Browser browser) override
    {
        if (!installed.contains(browser))
            return std::nullopt;
        ResolvedBrowser resolved{
            browserChoiceName(browser), {}, {}, installed.value(browser), windowClasses, {}};
        resolved.takesSeveral = takesSeveral;
        resolved.refusal = refusal;
        return resolved;
    }
    QString startError() const override { return m_startError; }
    using BrowserLauncher::start;
    std::optional<qint64> start(const ResolvedBrowser &browser, const QList<QByteArray> &given) override
    {
        QStringList batch;
        for (const QByteArray &one : given)
            batch << QString::fromUtf8(one);
        const QString address = batch.value(0);
        const QByteArray bytes = given.value(0);
        ++startsTried;
        m_startError = cannotRun;
        if (failToStart.contains(address) || !cannotRun.isEmpty())
            return std::nullopt;
        const QList<Browser> all = installed.keys();
        const auto chosen = std::find_if(all.begin(), all.end(),
                                         [&](Browser b) { return browserChoiceName(b) == browser.program; });
        ProcessExit exit{ProcessExit::Kind::Success, 0};
        if (!endings.value(address).isEmpty())
            exit = endings[address].takeFirst();
        launches.push_back(
            {*chosen, address, 1000 + qint64(launches.size()), bytes, exit, batch, browser.argumentsBefore});
        if (onLaunch)
            onLaunch(launches.back());
        return launches.back().pid;
    }
    bool fitsOneStart(const ResolvedBrowser &, const QList<QByteArray> &given) const override
    {
        qsizetype used = 0;
        for (const QByteArray &one : given)
            used += one.size();
        return used <= commandRoom;
    }
    /// The first process started stays and is the browser; later ones hand
    /// their address to it and end.
    bool firstBecomesBrowser = false;
    bool running(qint64 pid) override
    {
        return keepRunning || (firstBecomesBrowser && !launches.empty() && pid == launches.front().pid);
    }
    ProcessExit exitOf(qint64 pid) override
    {
        if (running(pid) || pid < 1000 || pid - 1000 >= qint64(launches.size()))
            return {};
        return launches[size_t(pid - 1000)].exit;
    }
    /// The sign that a browser takes addresses: nullopt, a browser that
    /// gives none; false, none is up; true, the first process started is
    /// up as the browser.
    std::optional<bool> readySign;
    std::optional<bool> ready(const ResolvedBrowser &, qint64 pid) override
    {
        if (!readySign || !*readySign)
            return readySign;
        return !launches.empty() && (pid == 0 || pid == launches.front().pid);
    }

private:
    QString m_startError;
};

/// Windows in a list, topmost first; placements recorded.
class FakeWindowSystem final : public WindowSystem
{
public:
    std::vector<TopLevelWindow> windows;
    std::vector<std::pair<WindowId, ShowState>> placed;
    int walks = 0;
    /// An X11 desktop's by default.
    WindowCapabilities can{.list = true, .place = true, .pids = true, .otherDisplays = true};

    WindowCapabilities capabilities() override { return can; }

    std::vector<TopLevelWindow> topLevelWindows() override
    {
        ++walks;
        return windows;
    }
    /// The desktop ignores placements (sway's refusal).
    bool refusePlacing = false;
    bool place(WindowId window, ShowState state) override
    {
        placed.emplace_back(window, state);
        return !refusePlacing;
    }
};

/// Answers the confirmation from a queue (Open with what is offered when
/// empty) and records what the run shows.
class FakeRunMonitor final : public RunMonitor
{
public:
    struct Asked
    {
        int count;
        QString browser;
        double delaySeconds;
        int pauseEvery;
    };
    std::vector<Asked> asked;
    /// A delay alone keeps the offered pause.
    std::deque<std::optional<RunChoices>> answers;
    std::vector<RunProgress> shown;
    int finishedCalls = 0;
    std::function<void(const RunProgress &)> onProgress;

    std::optional<RunChoices> confirm(int count, const QString &browser, const RunChoices &offered) override
    {
        asked.push_back({count, browser, offered.delaySeconds, offered.pauseEvery});
        if (answers.empty())
            return offered;
        const std::optional<RunChoices> answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void progress(const RunProgress &state) override
    {
        shown.push_back(state);
        if (onProgress)
            onProgress(state);
    }
    void finished() override { ++finishedCalls; }
};

} // namespace zd::test
