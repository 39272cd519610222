#include "fakes/fakelaunch.h"
#include "fakes/fakeplatform.h"
#include "fakes/fakeuiservices.h"
#include "launch/launchrun.h"
#include "launch/runwaits.h"
#include "core/optionchoices.h"
#include "sitelist/sitelistmodel.h"
#include "launch/windowsystem.h"

#include <QtTest>

#include <algorithm>

using namespace zd;
using namespace zd::test;

namespace {

struct Harness
{
    Harness() : choices(settings, ui), run(ui, clock, launcher, windows, choices, list, monitor)
    {
        launcher.windowClasses = {QStringLiteral("browser")};
        // Time passes only while the run sleeps in the event loop.
        ui.onIdle = [this](int ms) { clock.now += ms; };
    }
    void choose(int browser, int state)
    {
        choices.select(Option(browser));
        choices.select(Option(state));
    }
    /// Chrome, default state, and the list "a", "b", "c".
    void chromeWithABC()
    {
        choose(2, 4);
        for (const char *address : {"a", "b", "c"})
            list.appendSite(QString::fromLatin1(address));
    }
    /// The first start's window is up, a Chrome window of its own.
    void showChromeWindowOf(const FakeBrowserLauncher::Launch &launch)
    {
        windows.windows = {TopLevelWindow{5, QStringLiteral("a - Chrome"), true, false,
                                          QStringLiteral("browser"), QStringLiteral("browser"), launch.pid}};
    }
    QStringList launchedAddresses() const
    {
        QStringList addresses;
        for (const auto &launch : launcher.launches)
            addresses << launch.address;
        return addresses;
    }

    FakeUiServices ui;
    MemorySettingsStore settings;
    FakeClock clock;
    FakeBrowserLauncher launcher;
    FakeWindowSystem windows;
    SiteListModel list;
    OptionChoices choices;
    FakeRunMonitor monitor;
    LaunchRun run;
};

// Windows are of the fake browser's class unless said otherwise.
TopLevelWindow window(WindowId id, const QString &title, bool visible = true, bool owned = false,
                      const QString &className = QStringLiteral("browser"), qint64 pid = 0)
{
    return TopLevelWindow{id, title, visible, owned, className.toLower(), className, pid};
}

// A run that has ended, however, lets the next click start another.
bool nextClickStartsARun(Harness &h)
{
    const int finished = h.monitor.finishedCalls;
    h.run.openAll();
    return h.monitor.finishedCalls == finished + 1;
}

} // namespace

class TestLaunchRun : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void emptyListSaysSo();
    void defaultBrowserKeepsTheChosenState_data();
    void defaultBrowserKeepsTheChosenState();
    void placedBrowsers_data();
    void placedBrowsers();
    void waitIsBoundedAndReported();
    void lowerCaseTitleDoesNotEndTheWait();
    void noBrowserChosenSkipsSilently();
    void secondClickDuringRunIsIgnored();
    void optionLikeAddressesAreNeverLaunched();
    void messagesNameTheChoiceAndCountRight();
    void missingBrowserStopsTheRunAtOnce();
    void aBrowserThatCannotTakeAddressesStopsTheRun_data();
    void aBrowserThatCannotTakeAddressesStopsTheRun();
    void manyAddressesEachOnceInOrder();
    void severalAddressesGoInOneStartAtNoDelay_data();
    void severalAddressesGoInOneStartAtNoDelay();
    void optionsAreReadAnewForEveryAddress();
    void itemsRemovedMidRunAreReported_data();
    void itemsRemovedMidRunAreReported();
    void pauseUsesTheMonotonicClock();
    void deliveryIsConfirmedBeforeTheNextAddress();
    void aDialogIsNoDelivery_data();
    void aDialogIsNoDelivery();
    void addressesNoProgramCanTakeAreReported();
    void browserOnAnotherDisplayEndsTheWaitAtOnce();
    void desktopsThatShowLittle_data();
    void desktopsThatShowLittle();
    void aBrowserThatEndsWithoutAWindowStopsTheRun();
    void aHandOverThatCrashedOrFailedTookNothing_data();
    void aHandOverThatCrashedOrFailedTookNothing();
    void combinedWindowsCountOnceAndPlaceOnTheirSide();
    void placementRules();
    void largeRunsAreConfirmed_data();
    void largeRunsAreConfirmed();
    void chosenDelayIsStoredAndUsed();
    void stopEndsTheRunAfterTheAddressInFlight();
    void stopEndsAWaitAtOnce();
    void stopDuringADeliveryIsAStopAndTheRunGoesOnFromThere();
    void aStopWaitsForTheHandOverInFlight();
    void pauseHoldsTheRunUntilResumed();
    void runPausesItselfAfterEveryFew_data();
    void runPausesItselfAfterEveryFew();
    void privateWindowForEveryStart_data();
    void privateWindowForEveryStart();
    void firstPrivateStartWaitsForItsWindow();
    void aBatchsWindowsArePlacedOnceMoreAtTheEnd();
};

void TestLaunchRun::emptyListSaysSo()
{
    Harness h;
    h.run.openAll();
    QCOMPARE(h.ui.plainMessages(), QStringList{QStringLiteral("No sites added.")});
    h.run.openAll();
    QCOMPARE(h.ui.plainMessages().size(), 2);
    QVERIFY(nextClickStartsARun(h));
}

void TestLaunchRun::defaultBrowserKeepsTheChosenState_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("placed"); // -1 none
    QTest::newRow("default") << 4 << -1;
    QTest::newRow("minimized") << 5 << int(ShowState::Minimized);
    QTest::newRow("maximized") << 6 << int(ShowState::Maximized);
}

void TestLaunchRun::defaultBrowserKeepsTheChosenState()
{
    QFETCH(int, state);
    QFETCH(int, placed);
    Harness h;
    h.choose(1, state);
    // Found by class alone: any title; a window of another class is left be.
    h.windows.windows = {
        window(7, QStringLiteral("Some page")),
        window(8, QStringLiteral("notes about browser"), true, false, QStringLiteral("Editor"))};
    h.list.appendSite(QStringLiteral("www.a b.org/\"q\""));
    h.run.openAll();
    QCOMPARE(h.launcher.launches.size(), size_t(1));
    QCOMPARE(h.launcher.launches[0].browser, Browser::Default);
    QCOMPARE(h.launcher.launches[0].address, QStringLiteral("www.a b.org/\"q\""));
    // No pause and no wait for a window on this path; a placement ends the
    // run with two last placements, a moment's settle before each.
    QCOMPARE(h.ui.idledMs, placed < 0 ? 0 : 2 * RunWaits::kSettleMs);
    if (placed < 0) {
        QVERIFY(h.windows.placed.empty());
    } else {
        const std::pair<WindowId, ShowState> expected{7, ShowState(placed)};
        QCOMPARE(h.windows.placed, std::vector(3, expected));
    }
    QVERIFY(h.ui.messages.empty());
}

void TestLaunchRun::placedBrowsers_data()
{
    QTest::addColumn<int>("browser");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("placements"); // -1: no walk at all
    QTest::addColumn<int>("expectedState");
    QTest::newRow("chrome default: pause only") << 2 << 4 << "x - Google Chrome" << -1 << 0;
    QTest::newRow("chrome minimized") << 2 << 5 << "x - Google Chrome" << 1 << int(ShowState::Minimized);
    QTest::newRow("chrome maximized") << 2 << 6 << "x - Google Chrome" << 1 << int(ShowState::Maximized);
    QTest::newRow("firefox maximized") << 3 << 6 << "x — Mozilla Firefox" << 1 << int(ShowState::Maximized);
    QTest::newRow("firefox minimized") << 3 << 5 << "x — Mozilla Firefox" << 1 << int(ShowState::Minimized);
}

void TestLaunchRun::placedBrowsers()
{
    QFETCH(int, browser);
    QFETCH(int, state);
    QFETCH(QString, title);
    QFETCH(int, placements);
    QFETCH(int, expectedState);
    Harness h;
    h.choose(browser, state);
    h.windows.windows = {window(7, title), window(8, QStringLiteral("Terminal"))};
    h.list.appendSite(QStringLiteral("a"));
    h.run.openAll();
    QCOMPARE(h.launcher.launches.size(), size_t(1));
    QCOMPARE(h.ui.idledMs, 500);
    if (placements < 0) {
        QCOMPARE(h.windows.walks, 0);
    } else {
        // One look whether the browser has a window here at all, then the
        // window already exists: the first attempt ends the wait.
        QCOMPARE(h.windows.walks, 2);
        QCOMPARE(h.windows.placed.size(), size_t(placements));
        QCOMPARE(h.windows.placed[0].first, WindowId(7));
        QCOMPARE(int(h.windows.placed[0].second), expectedState);
    }
    QVERIFY(h.ui.messages.empty());
}

void TestLaunchRun::waitIsBoundedAndReported()
{
    Harness h;
    h.choose(2, 6);
    // The browser has a window here, but none of the address ever comes.
    h.windows.windows = {window(9, QStringLiteral("Settings"))};
    for (int i = 0; i < 5; ++i)
        h.list.appendSite(QStringLiteral("site%1").arg(i));
    h.run.openAll();
    QCOMPARE(h.launcher.launches.size(), size_t(5));
    // Polls about every 50 ms for 30 s per address, sleeping in between.
    QVERIFY(h.windows.walks >= 5 * 500 && h.windows.walks <= 5 * 700);
    const QStringList messages = h.ui.plainMessages();
    QCOMPARE(messages.size(), 1);
    QVERIFY(messages[0].contains(
        QStringLiteral("For 5 addresses no browser window appeared within 30 seconds, so their windows were "
                       "not placed")));
    QVERIFY(messages[0].contains(QStringLiteral("site0\nsite1\nsite2\n(and 2 more)")));
    QVERIFY(nextClickStartsARun(h));
}

void TestLaunchRun::lowerCaseTitleDoesNotEndTheWait()
{
    Harness h;
    h.choose(2, 5);
    h.windows.windows = {window(1, QStringLiteral("about chrome")),
                         window(2, QStringLiteral("Chrome"), false),
                         window(3, QStringLiteral("Chrome dialog"), true, true)};
    int polls = 0;
    h.ui.onPump = [&] {
        if (++polls == 20) // the browser's window turns up later
            h.windows.windows.push_back(window(4, QStringLiteral("New Tab - Google Chrome")));
    };
    h.list.appendSite(QStringLiteral("a"));
    h.run.openAll();
    QCOMPARE(h.windows.placed.size(), size_t(1));
    QCOMPARE(h.windows.placed[0].first, WindowId(4));
    QVERIFY(h.ui.plainMessages().isEmpty());
}

void TestLaunchRun::noBrowserChosenSkipsSilently()
{
    Harness h;
    // More than a large run: nothing is asked either, as nothing would start.
    for (int i = 0; i <= LaunchRun::kConfirmAbove; ++i)
        h.list.appendSite(QStringLiteral("a"));
    h.run.openAll();
    QVERIFY(h.launcher.launches.empty());
    QVERIFY(h.ui.messages.empty());
    QVERIFY(h.monitor.asked.empty());
    QVERIFY(nextClickStartsARun(h));
}

void TestLaunchRun::secondClickDuringRunIsIgnored()
{
    Harness h;
    h.choose(2, 4);
    h.list.appendSite(QStringLiteral("a"));
    h.list.appendSite(QStringLiteral("b"));
    bool clicked = false;
    h.ui.onPump = [&] {
        if (!clicked) {
            clicked = true;
            h.run.openAll();
        }
    };
    h.run.openAll();
    QVERIFY(clicked);
    QCOMPARE(h.launchedAddresses(), (QStringList{"a", "b"}));
}

void TestLaunchRun::optionLikeAddressesAreNeverLaunched()
{
    Harness h;
    h.choose(1, 4);
    const QStringList hostile{
        "--gpu-launcher=x", "-profile /tmp/x", " --flag ",  "\t-x",      "a-b", "\" --flag \"",
        "with blanks",      "tab\there",       "new\nline", "bücher.de", ""};
    for (const QString &address : hostile)
        h.list.appendSite(address);
    h.run.openAll();
    QCOMPARE(h.launchedAddresses(),
             (QStringList{"a-b", "\" --flag \"", "with blanks", "tab\there", "new\nline", "bücher.de"}));
    const QStringList messages = h.ui.plainMessages();
    QCOMPARE(messages.size(), 1);
    QVERIFY(messages[0].startsWith(QStringLiteral("4 addresses were not opened because they begin with")));
    QVERIFY(messages[0].contains(QStringLiteral("--gpu-launcher=x")));
}

void TestLaunchRun::messagesNameTheChoiceAndCountRight()
{
    Harness h;
    QCOMPARE(
        missingBrowserMessage(Browser::Chrome, h.launcher.lookedFor(Browser::Chrome)),
        QStringLiteral("Chrome is not installed, so no site was opened.\r\nLooked for: google-chrome-stable, "
                       "google-chrome, chromium, chromium-browser"));
    QVERIFY(missingBrowserMessage(Browser::Default, h.launcher.lookedFor(Browser::Default))
                .startsWith(
                    QStringLiteral("The default browser is not installed, so no site was opened.\r\nLooked "
                                   "for: the desktop's default web browser, google-chrome-stable")));
    h.choose(2, 6);
    h.windows.windows = {window(9, QStringLiteral("Settings"))};
    h.list.appendSite(QStringLiteral("-x"));
    h.list.appendSite(QStringLiteral("never-shows"));
    h.run.openAll();
    const QString summary = h.ui.plainMessages().value(0);
    QVERIFY2(summary.startsWith(QStringLiteral("1 address was not opened because it begins with \"-\"")),
             qPrintable(summary));
    QVERIFY2(
        summary.contains(QStringLiteral("For 1 address no browser window appeared within 30 seconds, so its "
                                        "window was not placed:\nnever-shows")),
        qPrintable(summary));
}

void TestLaunchRun::missingBrowserStopsTheRunAtOnce()
{
    Harness h;
    h.launcher.installed.remove(Browser::Firefox);
    h.choose(3, 6);
    for (int i = 0; i < 3; ++i)
        h.list.appendSite(QStringLiteral("a"));
    h.run.openAll();
    QVERIFY(h.launcher.launches.empty());
    QCOMPARE(h.windows.walks, 0);
    QCOMPARE(h.ui.messages.size(), size_t(1));
    QCOMPARE(h.ui.messages[0].prompt, QStringLiteral("Firefox is not installed, so no site was opened.\r\n"
                                                     "Looked for: firefox, firefox-esr"));
    QVERIFY(nextClickStartsARun(h));
}

void TestLaunchRun::aBrowserThatCannotTakeAddressesStopsTheRun_data()
{
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QString>("cannotRun");
    QTest::addColumn<int>("startsTried");
    QTest::addColumn<QString>("message");
    const QString batch =
        QStringLiteral("C:\\evil\\firefox.bat is a batch file; addresses are passed only to "
                       "browser programs ending in .exe, so no site was opened.");
    QTest::newRow("a batch file: never started") << batch << QString() << 0 << batch;
    QTest::newRow("a program that cannot run: said as such, once")
        << QString() << QStringLiteral("This is not a valid Win32 application.") << 1
        << QStringLiteral(
               "Firefox could not be started: This is not a valid Win32 application.\nThe run stopped "
               "at this address, which was not opened:\nhttp://a/1");
}

void TestLaunchRun::aBrowserThatCannotTakeAddressesStopsTheRun()
{
    QFETCH(QString, refusal);
    QFETCH(QString, cannotRun);
    QFETCH(int, startsTried);
    QFETCH(QString, message);
    Harness h;
    h.launcher.refusal = refusal;
    h.launcher.cannotRun = cannotRun;
    h.choose(3, 6);
    for (int i = 1; i <= 3; ++i)
        h.list.appendSite(QStringLiteral("http://a/%1").arg(i));
    h.run.openAll();
    QVERIFY(h.launcher.launches.empty());
    QCOMPARE(h.launcher.startsTried, startsTried);
    QCOMPARE(h.ui.plainMessages(), QStringList{message});
    QVERIFY(nextClickStartsARun(h));
}

void TestLaunchRun::manyAddressesEachOnceInOrder()
{
    Harness h;
    h.choose(1, 4);
    QStringList expected;
    for (int i = 0; i < 40'000; ++i) {
        expected << QStringLiteral("http://site%1/").arg(i);
        h.list.appendSite(expected.back());
    }
    h.run.openAll();
    QCOMPARE(h.launchedAddresses(), expected);
    QVERIFY(h.ui.pumps >= 40'000);
    QVERIFY(h.ui.messages.empty());
}

void TestLaunchRun::severalAddressesGoInOneStartAtNoDelay_data()
{
    QTest::addColumn<int>("browser");
    QTest::addColumn<QString>("delay"); // as stored; empty: none stored
    QTest::addColumn<bool>("takesSeveral");
    QTest::addColumn<int>("commandRoom");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<int>("stopAtStart"); // the start during which Stop is pressed; 0: none
    QTest::addColumn<QList<QStringList>>("starts");
    QTest::addColumn<QString>("said");
    QStringList sixty;
    for (int i = 1; i <= 60; ++i)
        sixty << QStringLiteral("s%1").arg(i);
    const QStringList abc{"a", "b", "c"};
    const int room = 1 << 20;
    QTest::newRow("60 at delay 0") << 3 << "0" << true << room << sixty << 0
                                   << QList<QStringList>{sixty.mid(0, 25), sixty.mid(25, 25), sixty.mid(50)}
                                   << QString();
    QTest::newRow("a delay: one each")
        << 3 << "" << true << room << abc << 0 << QList<QStringList>{{"a"}, {"b"}, {"c"}} << QString();
    QTest::newRow("browser takes one")
        << 2 << "0" << false << room << abc << 0 << QList<QStringList>{{"a"}, {"b"}, {"c"}} << QString();
    QTest::newRow("default browser, no delay by default")
        << 1 << "" << true << room << abc << 0 << QList<QStringList>{abc} << QString();
    QTest::newRow("an item not started ends a batch")
        << 2 << "0" << true << room << QStringList{"a", "b", " ", "-x", "c", "d"} << 0
        << QList<QStringList>{{"a", "b"}, {"c", "d"}}
        << "1 address was not opened because it begins with \"-\", which a browser would take for an "
           "option:\n-x\n\n1 address was not opened because it is blank.";
    QTest::newRow("command line full")
        << 3 << "0" << true << 25 << QStringList{"aaaaaaaaa1", "aaaaaaaaa2", "aaaaaaaaa3"} << 0
        << QList<QStringList>{{"aaaaaaaaa1", "aaaaaaaaa2"}, {"aaaaaaaaa3"}} << QString();
    QTest::newRow("a failed start is started again, whole")
        << 3 << "0" << true << room << QStringList{"fails once", "b", "c"} << 0
        << QList<QStringList>{{"fails once", "b", "c"}, {"fails once", "b", "c"}}
        << "Firefox failed while taking 3 addresses and was started again for them:\nfails once\nb\nc";
    QTest::newRow("stopped during the first")
        << 3 << "0" << true << room << sixty << 1 << QList<QStringList>{sixty.mid(0, 25)}
        << "You stopped the run at item 26 of 60, which was not opened:\ns26\nTo go on, select it and "
           "choose Open From Here.";
}

void TestLaunchRun::severalAddressesGoInOneStartAtNoDelay()
{
    QFETCH(int, browser);
    QFETCH(QString, delay);
    QFETCH(bool, takesSeveral);
    QFETCH(int, commandRoom);
    QFETCH(QStringList, items);
    QFETCH(int, stopAtStart);
    QFETCH(QList<QStringList>, starts);
    QFETCH(QString, said);
    Harness h;
    if (!delay.isEmpty())
        h.settings.setValue(OptionChoices::delayKey(), delay);
    h.launcher.takesSeveral = takesSeveral;
    h.launcher.commandRoom = commandRoom;
    h.launcher.endings.insert(QStringLiteral("fails once"), {{ProcessExit::Kind::Failure, 1}});
    h.launcher.onLaunch = [&](const FakeBrowserLauncher::Launch &) {
        if (int(h.launcher.launches.size()) == stopAtStart)
            h.run.requestStop();
    };
    h.choose(browser, 4);
    for (const QString &item : std::as_const(items))
        h.list.appendSite(item);
    h.run.openAll();
    QList<QStringList> started;
    for (const auto &launch : h.launcher.launches)
        started << launch.batch;
    QCOMPARE(started, starts);
    QCOMPARE(h.ui.plainMessages().value(0), said);
}

void TestLaunchRun::optionsAreReadAnewForEveryAddress()
{
    Harness h;
    h.choose(2, 4);
    h.list.appendSite(QStringLiteral("a"));
    h.list.appendSite(QStringLiteral("b"));
    h.launcher.onLaunch = [&](const FakeBrowserLauncher::Launch &launch) {
        if (launch.address == QLatin1String("a"))
            h.choose(1, 6);
    };
    h.run.openAll();
    QCOMPARE(h.launcher.launches.size(), size_t(2));
    QCOMPARE(h.launcher.launches[1].browser, Browser::Default);
}

void TestLaunchRun::itemsRemovedMidRunAreReported_data()
{
    QTest::addColumn<bool>("clear");
    QTest::newRow("Clear List") << true;
    QTest::newRow("one item ahead deleted") << false;
}

void TestLaunchRun::itemsRemovedMidRunAreReported()
{
    QFETCH(bool, clear);
    Harness h;
    h.choose(2, 4);
    for (const char *address : {"a", "b", "c"})
        h.list.appendSite(QString::fromLatin1(address));
    h.launcher.onLaunch = [&](const FakeBrowserLauncher::Launch &) {
        if (h.list.count() == 3) {
            if (clear)
                h.list.clear();
            else
                h.list.remove(3);
        }
    };
    h.run.openAll();
    // No address twice, no report per missing item: one message.
    QCOMPARE(h.launchedAddresses(), QStringList{QStringLiteral("a")});
    QVERIFY(h.ui.errorReports().isEmpty());
    QCOMPARE(
        h.ui.plainMessages(),
        QStringList{QStringLiteral("The list was changed during the run, so it stopped after 1 address.")});
    QVERIFY(nextClickStartsARun(h));
}

void TestLaunchRun::pauseUsesTheMonotonicClock()
{
    Harness h;
    h.run.pauseFor(0);
    h.run.pauseFor(-1);
    QCOMPARE(h.ui.idledMs, 0);
    h.run.pauseFor(0.5);
    QCOMPARE(h.ui.idledMs, 500);
    QCOMPARE(h.clock.now, 1'500);
}

void TestLaunchRun::deliveryIsConfirmedBeforeTheNextAddress()
{
    Harness h;
    h.choose(1, 4);
    h.launcher.keepRunning = true;
    // The first start becomes the browser: its window (its own process id)
    // turns up a second later; only then does the second address go.
    int polls = 0;
    h.ui.onPump = [&] {
        if (++polls == 20 && !h.launcher.launches.empty())
            h.windows.windows.push_back(window(5, QStringLiteral("x"), true, false, QStringLiteral("browser"),
                                               h.launcher.launches[0].pid));
    };
    h.launcher.onLaunch = [&](const FakeBrowserLauncher::Launch &launch) {
        if (launch.address == QLatin1String("b"))
            QVERIFY(polls >= 20);
    };
    h.list.appendSite(QStringLiteral("a"));
    h.list.appendSite(QStringLiteral("b"));
    h.run.openAll();
    QCOMPARE(h.launchedAddresses(), (QStringList{"a", "b"}));
    // "b" never hands over nor shows a window of its own: not confirmed.
    const QString summary = h.ui.plainMessages().value(0);
    QVERIFY2(summary.startsWith(QStringLiteral("For 1 address the browser did not confirm within 30 seconds "
                                               "that it took it:\nb")),
             qPrintable(summary));
}

void TestLaunchRun::aDialogIsNoDelivery_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("modalOnly");
    QTest::newRow("dialog, minimized") << 5 << false;
    QTest::newRow("dialog, maximized") << 6 << false;
    QTest::newRow("transient window, default state") << 4 << true;
}

void TestLaunchRun::aDialogIsNoDelivery()
{
    QFETCH(int, state);
    QFETCH(bool, modalOnly);
    // Firefox stuck on its start-up question: every start shows "Close
    // Firefox" of the browser's class and process, and nothing else.
    Harness h;
    h.choose(3, state);
    h.launcher.keepRunning = true;
    // The progress window is gone before the closing message shows.
    int finishedAtMessage = -1;
    h.ui.onMessage = [&](const QString &) { finishedAtMessage = h.monitor.finishedCalls; };
    h.launcher.onLaunch = [&](const FakeBrowserLauncher::Launch &launch) {
        TopLevelWindow message = window(7, QStringLiteral("Close Firefox"), true, modalOnly,
                                        QStringLiteral("browser"), launch.pid);
        message.dialog = !modalOnly;
        h.windows.windows.push_back(message);
    };
    for (const char *address : {"a", "b", "c"})
        h.list.appendSite(QString::fromLatin1(address));
    h.run.openAll();
    // Not taken for the browser's window, never placed, and not tried again.
    QCOMPARE(h.launchedAddresses(), QStringList{QStringLiteral("a")});
    QVERIFY(h.windows.placed.empty());
    QCOMPARE(h.ui.plainMessages().size(), 1);
    QVERIFY2(h.ui.plainMessages()[0].startsWith(QStringLiteral(
                 "Firefox showed a message instead of the page: Close Firefox\nThe run stopped at "
                 "this address, which was not opened:\na")),
             qPrintable(h.ui.plainMessages()[0]));
    // It took about the time a dialog is given, not the whole wait.
    QVERIFY(h.clock.now - 1'000 < kWindowWaitMs);
    QCOMPARE(finishedAtMessage, 1);
    QCOMPARE(h.monitor.finishedCalls, 1);
}

void TestLaunchRun::addressesNoProgramCanTakeAreReported()
{
    Harness h;
    h.choose(2, 4);
    const QString tooLong = QStringLiteral("http://x/") + QString(128 * 1024, QLatin1Char('a'));
    const QString withNul = QStringLiteral("nul-in") + QChar(0) + QStringLiteral("-middle");
    for (const QString &address : {QStringLiteral("ok"), QStringLiteral("   "), QString(), tooLong, withNul,
                                   QStringLiteral("\t"), QStringLiteral("refused")})
        h.list.appendSite(address);
    h.launcher.failToStart << QStringLiteral("refused");
    h.run.openAll();
    QCOMPARE(h.launchedAddresses(), QStringList{QStringLiteral("ok")});
    const QString summary = h.ui.plainMessages().value(0);
    QVERIFY2(summary.contains(QStringLiteral("3 addresses were not opened because they are blank.")),
             qPrintable(summary));
    QVERIFY2(
        summary.contains(QStringLiteral("3 addresses were not opened because the system cannot hand them")),
        qPrintable(summary));
    QVERIFY(summary.contains(QStringLiteral("nul-in")));
    QVERIFY(summary.contains(QStringLiteral("refused")));
    QVERIFY(passableAsArgument(QByteArray(128 * 1024 - 1, 'a')));
    QVERIFY(!passableAsArgument(QByteArray(128 * 1024, 'a')));
}

void TestLaunchRun::browserOnAnotherDisplayEndsTheWaitAtOnce()
{
    Harness h;
    h.choose(3, 6);
    // Handed over, and no window of the browser's class here at all.
    h.windows.windows = {
        window(3, QStringLiteral("x — Mozilla Firefox"), true, false, QStringLiteral("Editor"))};
    for (int i = 0; i < 3; ++i)
        h.list.appendSite(QStringLiteral("site%1").arg(i));
    h.run.openAll();
    QCOMPARE(h.launcher.launches.size(), size_t(3));
    QCOMPARE(h.ui.idledMs, 3 * 500); // the pauses only, no 30 s waits
    QVERIFY(h.windows.placed.empty());
    const QString summary = h.ui.plainMessages().value(0);
    QVERIFY2(
        summary.startsWith(QStringLiteral("3 addresses were handed to a browser that has no window on this "
                                          "display")),
        qPrintable(summary));
}

void TestLaunchRun::desktopsThatShowLittle_data()
{
    QTest::addColumn<bool>("canList");
    QTest::addColumn<bool>("canPlace");
    QTest::addColumn<bool>("refuse");
    QTest::addColumn<bool>("windowShows");
    QTest::addColumn<QString>("says");
    const QString cannot = QStringLiteral("This desktop does not let other programs minimize or maximize "
                                          "windows, so the browser keeps its own window state.");
    // GNOME on Wayland, Weston: neither a list nor placing.
    QTest::newRow("nothing") << false << false << false << false << cannot;
    // An X11 browser through Xwayland is placed even there.
    QTest::newRow("nothing, an Xwayland window") << false << false << false << true << QString();
    // sway: a list, but placing is ignored.
    QTest::newRow("list, placing ignored") << true << true << true << true << cannot;
    // KWin, labwc: both.
    QTest::newRow("list and place") << true << true << false << true << QString();
    // Handed over to a browser the list does not show: not "another display".
    // (The first, up by its sign, still gets the wait for its window.)
    QTest::newRow("list, no window")
        << true << true << false << false
        << QStringLiteral(
               "2 addresses were handed to a running browser that has no window on this desktop, so "
               "their windows were not placed:\nb\nc\n\nFor 1 address no browser window appeared "
               "within 30 seconds, so its window was not placed:\na");
}

void TestLaunchRun::desktopsThatShowLittle()
{
    QFETCH(bool, canList);
    QFETCH(bool, canPlace);
    QFETCH(bool, refuse);
    QFETCH(bool, windowShows);
    QFETCH(QString, says);
    // A Wayland desktop: the browser says it is up by a sign of its own
    // (its remote name, its socket); windows come without process ids.
    Harness h;
    h.choose(3, 5);
    h.windows.can =
        WindowCapabilities{.list = canList, .place = canPlace, .pids = false, .otherDisplays = false};
    h.windows.refusePlacing = refuse;
    h.launcher.readySign = true;
    h.launcher.firstBecomesBrowser = true;
    if (windowShows)
        h.windows.windows = {window(9, QStringLiteral("a — Mozilla Firefox"))};
    for (const char *address : {"a", "b", "c"})
        h.list.appendSite(QString::fromLatin1(address));
    h.run.openAll();
    QCOMPARE(h.launchedAddresses(), (QStringList{"a", "b", "c"}));
    // Confirmed by the sign: the settle and the delays, not the 30 s bound.
    // Where windows cannot be seen the browser gets a while to come up;
    // where they can, its window ends the wait (or, never coming, costs the
    // wait for it and then the wait to place it).
    const qint64 expectedWaits = !canList      ? RunWaits::kSignSettleMs
                                 : windowShows ? 0
                                               : RunWaits::kSignWindowMs + kWindowWaitMs;
    QVERIFY2(h.clock.now - 1'000 - expectedWaits < 2'000, qPrintable(QString::number(h.clock.now)));
    QCOMPARE(h.ui.plainMessages().value(0), says);
    QCOMPARE(!h.windows.placed.empty(), windowShows);
}

void TestLaunchRun::aBrowserThatEndsWithoutAWindowStopsTheRun()
{
    // It refused to start: it ended, no browser of its kind is up anywhere
    // and no window of it is listed. Not "handed to a browser".
    Harness h;
    h.choose(3, 6);
    h.launcher.readySign = false;
    for (const char *address : {"a", "b"})
        h.list.appendSite(QString::fromLatin1(address));
    h.run.openAll();
    QCOMPARE(h.launchedAddresses(), QStringList{QStringLiteral("a")});
    QCOMPARE(
        h.ui.plainMessages().value(0),
        QStringLiteral("Firefox ended without opening a window.\nThe run stopped at this address, which was "
                       "not opened:\na"));
    // A browser that restarts itself gets a while to come up, and then counts.
    Harness late;
    late.choose(3, 4);
    late.launcher.readySign = false;
    late.ui.onPump = [&] {
        if (late.clock.now > 4'000)
            late.launcher.readySign = true;
    };
    late.list.appendSite(QStringLiteral("a"));
    late.list.appendSite(QStringLiteral("b"));
    late.run.openAll();
    QCOMPARE(late.launchedAddresses(), (QStringList{"a", "b"}));
    QVERIFY2(late.ui.plainMessages().isEmpty(), qPrintable(late.ui.plainMessages().value(0)));
}

void TestLaunchRun::aHandOverThatCrashedOrFailedTookNothing_data()
{
    using Kind = ProcessExit::Kind;
    QTest::addColumn<QList<ProcessExit>>("endings"); // of the starts for "b"
    QTest::addColumn<QStringList>("launched");
    QTest::addColumn<QString>("said");
    const QString stopped = QStringLiteral("\nThe run stopped at this address, which was not opened:\nb");
    QTest::newRow("crashed once") << QList<ProcessExit>{{Kind::Crash, 11}} << QStringList{"a", "b", "b", "c"}
                                  << "Firefox failed while taking 1 address and was started again for it:\nb";
    QTest::newRow("failed once") << QList<ProcessExit>{{Kind::Failure, 11}} << QStringList{"a", "b", "b", "c"}
                                 << "Firefox failed while taking 1 address and was started again for it:\nb";
    QTest::newRow("crashed twice") << QList<ProcessExit>{{Kind::Crash, 11}, {Kind::Crash, 6}}
                                   << QStringList{"a", "b", "b"}
                                   << "Firefox failed twice without opening a window (ended by signal 6)."
                                          + stopped;
    QTest::newRow("crashed, then failed")
        << QList<ProcessExit>{{Kind::Crash, 11}, {Kind::Failure, 1}} << QStringList{"a", "b", "b"}
        << "Firefox failed twice without opening a window (exit status 1)." + stopped;
    QTest::newRow("ended well") << QList<ProcessExit>{{Kind::Success, 0}} << QStringList{"a", "b", "c"}
                                << QString();
}

void TestLaunchRun::aHandOverThatCrashedOrFailedTookNothing()
{
    // The browser is up (its sign, its window): a started program that
    // crashed or failed still handed nothing over.
    QFETCH(QList<ProcessExit>, endings);
    QFETCH(QStringList, launched);
    QFETCH(QString, said);
    Harness h;
    h.choose(3, 4);
    h.launcher.firstBecomesBrowser = true;
    h.launcher.readySign = true;
    h.windows.windows = {window(7, QStringLiteral("a - Firefox"))};
    h.launcher.endings.insert(QStringLiteral("b"), endings);
    for (const char *address : {"a", "b", "c"})
        h.list.appendSite(QString::fromLatin1(address));
    h.run.openAll();
    QCOMPARE(h.launchedAddresses(), launched);
    QCOMPARE(h.ui.plainMessages().value(0), said);
}

void TestLaunchRun::combinedWindowsCountOnceAndPlaceOnTheirSide()
{
    FakeWindowSystem x11;
    FakeWindowSystem wayland;
    wayland.can = WindowCapabilities{.list = true, .place = false, .pids = false, .otherDisplays = false};
    // The desktop lists Xwayland's window as well, app_id for class.
    x11.windows = {
        window(5, QStringLiteral("a — Mozilla Firefox"), true, false, QStringLiteral("firefox-esr"), 77)};
    wayland.windows = {
        window(1, QStringLiteral("a — Mozilla Firefox"), true, false, QStringLiteral("firefox-esr")),
        window(2, QStringLiteral("b — Chromium"), true, false, QStringLiteral("chromium"))};
    CombinedWindowSystem both(x11, wayland);
    const std::vector<TopLevelWindow> all = both.topLevelWindows();
    QCOMPARE(all.size(), size_t(2));
    QCOMPARE(all[0].pid, qint64(77));
    QCOMPARE(all[1].title, QStringLiteral("b — Chromium"));
    // The Wayland side says what the desktop can do; never another display.
    QVERIFY(both.capabilities().list && !both.capabilities().place && !both.capabilities().otherDisplays);
    QVERIFY(both.place(all[0].id, ShowState::Minimized));
    QVERIFY(both.place(all[1].id, ShowState::Maximized));
    wayland.refusePlacing = true;
    QVERIFY(!both.place(all[1].id, ShowState::Maximized));
    QCOMPARE(x11.placed.size(), size_t(1));
    QCOMPARE(x11.placed[0].first, WindowId(5));
    QCOMPARE(wayland.placed.size(), size_t(2));
    QCOMPARE(wayland.placed[0], std::make_pair(WindowId(2), ShowState::Maximized));
}

void TestLaunchRun::placementRules()
{
    FakeWindowSystem windows;
    windows.windows = {window(1, QStringLiteral("A - Chromium")),
                       window(2, QStringLiteral("B - Chromium")),
                       window(3, QStringLiteral("chromium lower")),
                       window(4, QString()),
                       window(5, QStringLiteral("Hidden Chromium"), false),
                       window(6, QStringLiteral("Chromium dialog"), true, true)};
    const BrowserWindows chromium{QStringLiteral("Chromium"), {QStringLiteral("browser")}};
    QVERIFY(maximizeMatchingWindows(windows, chromium));
    QCOMPARE(windows.placed.size(), size_t(2));
    QCOMPARE(windows.placed[0], (std::pair<WindowId, ShowState>{1, ShowState::Maximized}));
    QCOMPARE(windows.placed[1], (std::pair<WindowId, ShowState>{2, ShowState::Maximized}));
    windows.placed.clear();
    QVERIFY(!minimizeMatchingWindows(windows, BrowserWindows{QStringLiteral("Firefox"), {}}));
    QVERIFY(windows.placed.empty());
    // A title that merely mentions the browser, in a window of another class.
    windows.windows = {
        window(7, QStringLiteral("notes about Chromium"), true, false, QStringLiteral("Editor")),
        window(8, QStringLiteral("Firefox-talk - Chromium"), true, false, QStringLiteral("Chromium"))};
    QVERIFY(!minimizeMatchingWindows(windows, chromium));
    QVERIFY(minimizeMatchingWindows(
        windows, BrowserWindows{QStringLiteral("Chromium"), {QStringLiteral("chromium")}}));
    QCOMPARE(windows.placed.size(), size_t(1));
    QCOMPARE(windows.placed[0].first, WindowId(8));
    windows.placed.clear();
    QVERIFY(!minimizeMatchingWindows(
        windows, BrowserWindows{QStringLiteral("Firefox"), {QStringLiteral("firefox-esr")}}));
}

void TestLaunchRun::largeRunsAreConfirmed_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<int>("launched");
    QTest::newRow("20: never asked") << 20 << true << 20;
    QTest::newRow("21, Open") << 21 << false << 21;
    QTest::newRow("21, Cancel") << 21 << true << 0;
}

void TestLaunchRun::largeRunsAreConfirmed()
{
    QFETCH(int, count);
    QFETCH(bool, cancel);
    QFETCH(int, launched);
    Harness h;
    h.choose(3, 4);
    for (int i = 0; i < count; ++i)
        h.list.appendSite(QStringLiteral("s%1").arg(i));
    if (cancel)
        h.monitor.answers.push_back(std::nullopt);
    h.run.openAll();
    QCOMPARE(h.launcher.launches.size(), size_t(launched));
    if (count > LaunchRun::kConfirmAbove) {
        QCOMPARE(h.monitor.asked.size(), size_t(1));
        QCOMPARE(h.monitor.asked[0].count, count);
        QCOMPARE(h.monitor.asked[0].browser, QStringLiteral("Firefox"));
        QCOMPARE(h.monitor.asked[0].delaySeconds, 0.5);
    } else {
        QVERIFY(h.monitor.asked.empty());
    }
    QVERIFY(h.ui.messages.empty()); // Cancel: nothing happens at all
    QCOMPARE(h.monitor.finishedCalls, 1);
    QVERIFY(nextClickStartsARun(h));
}

void TestLaunchRun::chosenDelayIsStoredAndUsed()
{
    Harness h;
    h.choose(2, 4);
    for (int i = 0; i < 21; ++i)
        h.list.appendSite(QStringLiteral("s%1").arg(i));
    h.monitor.answers.push_back(RunChoices{2.0, 0});
    h.run.openAll();
    QCOMPARE(h.settings.values.value(OptionChoices::delayKey()), QStringLiteral("2"));
    QCOMPARE(h.ui.idledMs, 21 * 2000);
    // The delay counts down: what is left and what has gone make the whole.
    QList<qint64> left;
    for (const RunProgress &state : h.monitor.shown) {
        if (state.waitingFor == QLatin1String("the delay between sites")) {
            QCOMPARE(state.leftMs + state.waitedMs, 2000);
            left << state.leftMs;
        } else {
            QCOMPARE(state.leftMs, -1);
        }
    }
    QVERIFY(left.size() > 21 && left.first() == 2000 && left.last() > 0);
    // The next run offers the stored delay, and the default browser uses it too.
    h.choose(1, 4);
    h.ui.idledMs = 0;
    h.run.openAll();
    QCOMPARE(h.monitor.asked[1].delaySeconds, 2.0);
    QCOMPARE(h.ui.idledMs, 21 * 2000);
    // A stored value out of range or not a number is not a delay.
    for (const char *bad : {"61", "-1", "nan", "x"}) {
        h.settings.values.insert(OptionChoices::delayKey(), QString::fromLatin1(bad));
        QVERIFY2(!h.choices.delaySeconds(), bad);
    }
}

void TestLaunchRun::stopEndsTheRunAfterTheAddressInFlight()
{
    Harness h;
    h.chromeWithABC();
    h.launcher.onLaunch = [&](const FakeBrowserLauncher::Launch &launch) {
        if (launch.address == QLatin1String("b"))
            h.run.requestStop();
    };
    h.run.openAll();
    QCOMPARE(h.launchedAddresses(), (QStringList{"a", "b"}));
    QCOMPARE(
        h.ui.plainMessages(),
        QStringList{QStringLiteral("You stopped the run at item 3 of 3, which was not opened:\nc\nTo go on, "
                                   "select it and choose Open From Here.")});
    QCOMPARE(h.run.resumeAt(), 3);
    QCOMPARE(h.monitor.finishedCalls, 1);
    // The progress told which address was in flight, of how many, where.
    QCOMPARE(h.monitor.shown.front().index, 1);
    QCOMPARE(h.monitor.shown.front().count, 3);
    QCOMPARE(h.monitor.shown.front().address, QStringLiteral("a"));
    QCOMPARE(h.monitor.shown.front().browser, QStringLiteral("Chrome"));
    // A new run starts afresh.
    h.launcher.onLaunch = nullptr;
    h.run.openAll();
    QCOMPARE(h.launcher.launches.size(), size_t(5));
    QVERIFY(nextClickStartsARun(h));
}

void TestLaunchRun::stopEndsAWaitAtOnce()
{
    Harness h;
    h.choose(3, 6);
    h.windows.windows = {window(9, QStringLiteral("Settings"))}; // never the page's window
    h.list.appendSite(QStringLiteral("a"));
    h.list.appendSite(QStringLiteral("b"));
    h.monitor.onProgress = [&](const RunProgress &state) {
        if (state.waitingFor == QLatin1String("the Firefox window") && state.waitedMs >= 1000)
            h.run.requestStop();
    };
    h.run.openAll();
    QCOMPARE(h.launchedAddresses(), QStringList{QStringLiteral("a")});
    QVERIFY(h.ui.idledMs < 2000);
    QVERIFY(h.ui.plainMessages().value(0).startsWith(
        QStringLiteral("You stopped the run at item 2 of 2, which was not opened:\nb")));
}

void TestLaunchRun::stopDuringADeliveryIsAStopAndTheRunGoesOnFromThere()
{
    Harness h;
    h.chromeWithABC();
    h.launcher.keepRunning = true; // "b" never confirms: the user stops the wait
    h.launcher.onLaunch = [&](const FakeBrowserLauncher::Launch &launch) {
        if (launch.address == QLatin1String("a"))
            h.showChromeWindowOf(launch);
    };
    h.monitor.onProgress = [&](const RunProgress &state) {
        if (state.address == QLatin1String("b") && state.waitedMs >= 1000)
            h.run.requestStop();
    };
    h.run.openAll();
    QCOMPARE(h.launchedAddresses(), (QStringList{"a", "b"}));
    const QString message = h.ui.plainMessages().value(0);
    QVERIFY2(
        message.startsWith(QStringLiteral("You stopped the run at item 2 of 3, which was not opened:\nb")),
        qPrintable(message));
    QVERIFY2(!message.contains(QStringLiteral("did not confirm")), qPrintable(message));
    // Open From Here goes on with "b".
    h.monitor.onProgress = nullptr;
    h.launcher.keepRunning = false;
    h.run.openAll(h.run.resumeAt());
    QCOMPARE(h.launchedAddresses(), (QStringList{"a", "b", "b", "c"}));
    QCOMPARE(h.run.resumeAt(), 0);
}

void TestLaunchRun::aStopWaitsForTheHandOverInFlight()
{
    // The browser has the page; its hand-over program ends 300 ms after the
    // click on Stop. The run stops after it: "b" was opened.
    Harness h;
    h.chromeWithABC();
    h.launcher.onLaunch = [&](const FakeBrowserLauncher::Launch &launch) {
        if (launch.address == QLatin1String("a"))
            h.showChromeWindowOf(launch);
        h.launcher.keepRunning = launch.address == QLatin1String("b");
    };
    qint64 stoppedAt = -1;
    h.monitor.onProgress = [&](const RunProgress &state) {
        if (state.address == QLatin1String("b") && state.waitedMs >= 200 && stoppedAt < 0) {
            h.run.requestStop();
            stoppedAt = h.clock.now;
        }
    };
    h.ui.onIdle = [&](int ms) {
        h.clock.now += ms;
        if (stoppedAt >= 0 && h.clock.now >= stoppedAt + 300)
            h.launcher.keepRunning = false;
    };
    h.run.openAll();
    QCOMPARE(h.launchedAddresses(), (QStringList{"a", "b"}));
    QVERIFY2(h.ui.plainMessages().value(0).startsWith(
                 QStringLiteral("You stopped the run at item 3 of 3, which was not opened:\nc")),
             qPrintable(h.ui.plainMessages().value(0)));
    QVERIFY(h.clock.now - stoppedAt < RunWaits::kStopGraceMs);
}

void TestLaunchRun::pauseHoldsTheRunUntilResumed()
{
    Harness h;
    h.choose(1, 4);
    h.list.appendSite(QStringLiteral("a"));
    h.list.appendSite(QStringLiteral("b"));
    h.launcher.onLaunch = [&](const FakeBrowserLauncher::Launch &launch) {
        if (launch.address == QLatin1String("a"))
            h.run.setPaused(true);
    };
    int pausedWaits = 0;
    h.ui.onIdle = [&](int) {
        if (!h.monitor.shown.empty() && h.monitor.shown.back().paused && ++pausedWaits == 5) {
            QCOMPARE(h.launcher.launches.size(), size_t(1)); // held before "b"
            h.run.setPaused(false);
        }
    };
    h.run.openAll();
    QCOMPARE(pausedWaits, 5);
    QCOMPARE(h.launchedAddresses(), (QStringList{"a", "b"}));
    QVERIFY(std::any_of(h.monitor.shown.begin(), h.monitor.shown.end(),
                        [](const RunProgress &state) { return state.paused; }));
}

void TestLaunchRun::runPausesItselfAfterEveryFew_data()
{
    QTest::addColumn<QString>("delay"); // as stored; empty: none stored
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("first"); // Open From Here
    QTest::addColumn<int>("pauseEvery");
    QTest::addColumn<bool>("chosenWhenAsked"); // else stored before
    QTest::addColumn<bool>("stopWhilePaused");
    QTest::addColumn<QList<int>>("startSizes");
    QTest::addColumn<QList<int>>("pausedAfter");
    QTest::addColumn<QString>("said");
    const QString none;
    QTest::newRow("batches end at each pause")
        << "0" << 53 << 1 << 20 << true << false << QList<int>{20, 20, 13} << QList<int>{20, 40} << none;
    QTest::newRow("a batch of the most, then the rest of the stretch")
        << "0" << 60 << 1 << 30 << false << false << QList<int>{25, 5, 25, 5} << QList<int>{30} << none;
    const QList<int> ones(21, 1);
    QTest::newRow("one address a start")
        << "" << 21 << 1 << 8 << false << false << ones << QList<int>{8, 16} << none;
    QTest::newRow("from here, counted from there")
        << "" << 23 << 3 << 8 << false << false << ones << QList<int>{10, 18} << none;
    QTest::newRow("the list's length: no pause at its end")
        << "0" << 21 << 1 << 21 << false << false << QList<int>{21} << QList<int>{} << none;
    QTest::newRow("more than the list")
        << "0" << 21 << 1 << 30 << false << false << QList<int>{21} << QList<int>{} << none;
    // The question never showed the choice: the stored one is not used.
    QTest::newRow("a run too short to be asked about")
        << "" << 20 << 1 << 2 << false << false << QList<int>(20, 1) << QList<int>{} << none;
    QTest::newRow("from here, too few left to be asked about")
        << "0" << 53 << 34 << 10 << false << false << QList<int>{20} << QList<int>{} << none;
    QTest::newRow("never") << "0" << 53 << 1 << 0 << false << false << QList<int>{25, 25, 3} << QList<int>{}
                           << none;
    QTest::newRow("stopped while paused")
        << "0" << 53 << 1 << 20 << false << true << QList<int>{20} << QList<int>{20}
        << "You stopped the run at item 21 of 53, which was not opened:\ns21\nTo go on, select it and "
           "choose Open From Here.";
}

// The run's own pause lands after every few items, batches end there, and
// nothing else of the run changes: its starts in order, its last word.
void TestLaunchRun::runPausesItselfAfterEveryFew()
{
    QFETCH(QString, delay);
    QFETCH(int, count);
    QFETCH(int, first);
    QFETCH(int, pauseEvery);
    QFETCH(bool, chosenWhenAsked);
    QFETCH(bool, stopWhilePaused);
    QFETCH(QList<int>, startSizes);
    QFETCH(QList<int>, pausedAfter);
    QFETCH(QString, said);
    Harness h;
    if (!delay.isEmpty())
        h.settings.setValue(OptionChoices::delayKey(), delay);
    if (chosenWhenAsked)
        h.monitor.answers.push_back(RunChoices{0, pauseEvery});
    else if (pauseEvery > 0)
        h.settings.setValue(OptionChoices::pauseEveryKey(), QString::number(pauseEvery));
    h.launcher.takesSeveral = true;
    h.choose(3, 4);
    QStringList items;
    for (int i = 1; i <= count; ++i)
        items << QStringLiteral("s%1").arg(i);
    for (const QString &item : std::as_const(items))
        h.list.appendSite(item);
    // Every pause the window is told of, and what was started by then.
    QList<int> pauses;
    QList<qsizetype> startsAtPause;
    h.monitor.onProgress = [&](const RunProgress &state) {
        if (state.pausedAfter > 0 && (pauses.isEmpty() || pauses.constLast() != state.pausedAfter)) {
            pauses << state.pausedAfter;
            startsAtPause << qsizetype(h.launcher.launches.size());
            QVERIFY(state.paused);
            QCOMPARE(state.pauseEvery, pauseEvery);
            // It shows the last address opened, not its batch's first.
            QCOMPARE(state.address, items[state.pausedAfter - 1]);
        }
        // Going on, the window no longer says it is paused.
        if (!state.paused)
            QCOMPARE(state.pausedAfter, 0);
    };
    h.ui.onIdle = [&](int ms) {
        h.clock.now += ms;
        if (h.monitor.shown.back().pausedAfter == 0)
            return;
        if (stopWhilePaused)
            h.run.requestStop();
        else
            h.run.setPaused(false);
    };
    h.run.openAll(first);
    QList<int> sizes;
    QStringList opened;
    for (const auto &launch : h.launcher.launches) {
        sizes << int(launch.batch.size());
        opened << launch.batch;
    }
    QCOMPARE(sizes, startSizes);
    QCOMPARE(pauses, pausedAfter);
    // Each pause came after its stretch, with nothing of the next started.
    for (qsizetype i = 0; i < pauses.size(); ++i) {
        const qsizetype upTo = startsAtPause[i];
        QCOMPARE(h.launcher.launches[size_t(upTo - 1)].batch.constLast(), items[pauses[i] - 1]);
    }
    const int end = stopWhilePaused ? pausedAfter.value(0) : count;
    QCOMPARE(opened, items.mid(first - 1, end - first + 1));
    QCOMPARE(h.ui.plainMessages().value(0), said);
    QCOMPARE(h.run.resumeAt(), stopWhilePaused ? pausedAfter.value(0) + 1 : 0);
    if (chosenWhenAsked)
        QCOMPARE(h.settings.values.value(OptionChoices::pauseEveryKey()), QString::number(pauseEvery));
    else
        QCOMPARE(h.settings.values.contains(OptionChoices::pauseEveryKey()), pauseEvery > 0);
}

void TestLaunchRun::privateWindowForEveryStart_data()
{
    QTest::addColumn<int>("browser");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<bool>("toggledDuringRun");
    QTest::addColumn<QList<QStringList>>("starts");
    QTest::addColumn<QStringList>("flags"); // each start's own arguments, joined
    QTest::addColumn<QString>("said");
    const QStringList abc{"a", "b", "c"};
    const QString none;
    QTest::newRow("chrome: one start, incognito")
        << 2 << true << false << QList<QStringList>{abc} << QStringList{"--incognito"} << none;
    // Firefox opens only the address after its flag privately.
    QTest::newRow("firefox: a start each")
        << 3 << true << false << QList<QStringList>{{"a"}, {"b"}, {"c"}}
        << QStringList{"-private-window", "-private-window", "-private-window"} << none;
    QTest::newRow("unchecked: as ever")
        << 2 << false << false << QList<QStringList>{abc} << QStringList{""} << none;
    QTest::newRow("unchecked under the run: still private")
        << 3 << true << true << QList<QStringList>{{"a"}, {"b"}, {"c"}}
        << QStringList{"-private-window", "-private-window", "-private-window"} << none;
    QTest::newRow("checked under the run: still normal")
        << 2 << false << true << QList<QStringList>{abc} << QStringList{""} << none;
    QTest::newRow("a default browser without a private window")
        << 1 << true << false << QList<QStringList>{} << QStringList{}
        << noPrivateWindowMessage(browserChoiceName(Browser::Default));
}

void TestLaunchRun::privateWindowForEveryStart()
{
    QFETCH(int, browser);
    QFETCH(bool, checked);
    QFETCH(bool, toggledDuringRun);
    QFETCH(QList<QStringList>, starts);
    QFETCH(QStringList, flags);
    QFETCH(QString, said);
    Harness h;
    h.settings.setValue(OptionChoices::delayKey(), QStringLiteral("0"));
    h.launcher.takesSeveral = true;
    h.choose(browser, 4);
    h.choices.setPrivateWindow(checked);
    if (toggledDuringRun)
        h.launcher.onLaunch = [&](const FakeBrowserLauncher::Launch &) {
            h.choices.setPrivateWindow(!checked);
        };
    for (const char *address : {"a", "b", "c"})
        h.list.appendSite(QString::fromLatin1(address));
    h.run.openAll();
    QList<QStringList> started;
    QStringList arguments;
    for (const auto &launch : h.launcher.launches) {
        started << launch.batch;
        arguments << launch.arguments.join(QLatin1Char(' '));
    }
    QCOMPARE(started, starts);
    QCOMPARE(arguments, flags);
    QCOMPARE(h.ui.plainMessages().value(0), said);
    QVERIFY(h.monitor.asked.empty()); // three: not asked
    // A large run says before it starts where the sites will go.
    for (int i = 0; i < 20; ++i)
        h.list.appendSite(QStringLiteral("x%1").arg(i));
    h.monitor.answers.push_back(std::nullopt);
    h.run.openAll();
    QCOMPARE(h.monitor.asked.size(), size_t(1));
    const QString name = browserChoiceName(Browser(browser - 1));
    QCOMPARE(h.monitor.asked[0].browser,
             h.choices.privateWindow() ? QStringLiteral("a private window of %1").arg(name) : name);
}

// A running browser opens the private window after the start that asked
// for it has ended: the next start waits for that window, once a run.
void TestLaunchRun::firstPrivateStartWaitsForItsWindow()
{
    for (const qint64 windowAfter : {qint64(1200), qint64(-1)}) {
        Harness h;
        h.choose(3, 4);
        h.settings.setValue(OptionChoices::delayKey(), QStringLiteral("0"));
        h.choices.setPrivateWindow(true);
        // The browser's normal window, up before the run.
        h.windows.windows = {TopLevelWindow{5, QStringLiteral("x - Firefox"), true, false,
                                            QStringLiteral("browser"), QStringLiteral("browser"), 1}};
        QList<qint64> startedAt;
        h.launcher.onLaunch = [&](const FakeBrowserLauncher::Launch &) { startedAt << h.clock.now; };
        h.ui.onIdle = [&](int ms) {
            h.clock.now += ms;
            if (windowAfter >= 0 && h.windows.windows.size() == 1
                && h.clock.now >= startedAt.value(0) + windowAfter)
                h.windows.windows.push_back(TopLevelWindow{6, QStringLiteral("x - Firefox Private Browsing"),
                                                           true, false, QStringLiteral("browser"),
                                                           QStringLiteral("browser"), 1});
        };
        for (const char *address : {"a", "b", "c"})
            h.list.appendSite(QString::fromLatin1(address));
        h.run.openAll();
        QCOMPARE(h.launchedAddresses(), (QStringList{"a", "b", "c"}));
        const qint64 second = startedAt[1] - startedAt[0];
        if (windowAfter >= 0)
            QVERIFY2(second >= windowAfter + RunWaits::kSettleMs && second < RunWaits::kSignWindowMs,
                     qPrintable(QString::number(second)));
        else
            QVERIFY2(second >= RunWaits::kSignWindowMs, qPrintable(QString::number(second)));
        QVERIFY2(startedAt[2] - startedAt[1] < RunWaits::kSettleMs,
                 qPrintable(QString::number(startedAt[2] - startedAt[1])));
        QVERIFY(h.ui.plainMessages().isEmpty());
    }
}

// Chromium shows its window again as it opens a batch's tabs, after the run
// placed it: a run that started batches places their windows twice more.
void TestLaunchRun::aBatchsWindowsArePlacedOnceMoreAtTheEnd()
{
    for (const int count : {1, 3}) {
        Harness h;
        h.settings.setValue(OptionChoices::delayKey(), QStringLiteral("0"));
        h.launcher.takesSeveral = true;
        h.choose(2, 5);
        h.windows.windows = {TopLevelWindow{5, QStringLiteral("a - Chrome"), true, false,
                                            QStringLiteral("browser"), QStringLiteral("browser"), 1}};
        for (int i = 1; i <= count; ++i)
            h.list.appendSite(QStringLiteral("s%1").arg(i));
        h.run.openAll();
        QCOMPARE(h.launcher.launches.size(), size_t(1));
        const std::pair<WindowId, ShowState> minimized{5, ShowState::Minimized};
        QCOMPARE(h.windows.placed, std::vector(count > 1 ? 3 : 1, minimized));
        QVERIFY(h.ui.plainMessages().isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestLaunchRun)
#include "tst_launchrun.moc"
