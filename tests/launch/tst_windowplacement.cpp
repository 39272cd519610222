// Window placement against a real X server and window manager (openbox).
#include "support/testwindows.h"
#include "launch/windowsystem.h"
#include "launch/linux/xcbwindowsystem.h"

#include <QtTest>

#include <map>

using namespace zd;
using zd::test::TestWindows;
using zd::test::TitleKind;

class TestWindowPlacement : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void titlesAndCandidates();
    void dialogsAreNoCandidates();
    void maximizePlacesEveryCandidateAndOnlyThem();
    void minimizeThenMaximizeBringsBack();
    void noMatchChangesNothing();
    void noServerMeansNoWindows();
};

void TestWindowPlacement::initTestCase()
{
    TestWindows probe;
    QVERIFY2(probe.connected(), "needs an X server with a window manager");
}

void TestWindowPlacement::titlesAndCandidates()
{
    TestWindows x;
    const xcb_window_t dash = x.create("Start — Mozilla Firefox");
    const xcb_window_t legacy = x.create("Legacy Chrome caf\xe9", TitleKind::WmNameString);
    const xcb_window_t compound = x.create("Compound Chrome", TitleKind::WmNameCompoundText);
    const xcb_window_t untitled = x.create("", TitleKind::None);
    const xcb_window_t dialog = x.create("Chrome dialog", TitleKind::NetWmName, true, dash);

    const xcb_window_t lower = x.create("made first");
    const xcb_window_t upper = x.create("made last, so on top");
    XcbWindowSystem windows;
    const std::vector<TopLevelWindow> list = windows.topLevelWindows();
    const auto find = [&](xcb_window_t id) {
        for (const TopLevelWindow &w : list) {
            if (w.id == id)
                return w;
        }
        return TopLevelWindow{};
    };
    QCOMPARE(find(dash).title, QStringLiteral("Start — Mozilla Firefox"));
    QCOMPARE(find(legacy).title, QStringLiteral("Legacy Chrome café"));
    QCOMPARE(find(compound).title, QStringLiteral("Compound Chrome"));
    QVERIFY(find(dash).visible && !find(dash).owned);
    QVERIFY(find(untitled).title.isEmpty() && !isCandidateWindow(find(untitled)));
    QVERIFY(find(dialog).owned && !isCandidateWindow(find(dialog)));
    // Topmost first.
    const auto position = [&](xcb_window_t id) {
        return std::find_if(list.begin(), list.end(), [id](const TopLevelWindow &w) { return w.id == id; });
    };
    QVERIFY(position(upper) < position(lower));
}

void TestWindowPlacement::dialogsAreNoCandidates()
{
    // A browser's message ("Close Firefox"): of its class, titled with its
    // word, but a dialog by type or a modal window.
    TestWindows x;
    x.setClassName("firefox-esr");
    const xcb_window_t page = x.create("Start — Mozilla Firefox");
    x.setWindowType("_NET_WM_WINDOW_TYPE_DIALOG");
    const xcb_window_t typed = x.create("Close Firefox");
    x.setWindowType("");
    x.setInitialState("_NET_WM_STATE_MODAL");
    const xcb_window_t modal = x.create("Firefox - Choose User Profile");
    XcbWindowSystem windows;
    std::map<WindowId, TopLevelWindow> byId;
    for (const TopLevelWindow &w : windows.topLevelWindows())
        byId[w.id] = w;
    QVERIFY(!byId[page].dialog && isCandidateWindow(byId[page]));
    QVERIFY(byId[typed].dialog && !isCandidateWindow(byId[typed]));
    QVERIFY(byId[modal].dialog && !isCandidateWindow(byId[modal]));
    QVERIFY(maximizeMatchingWindows(
        windows, BrowserWindows{QStringLiteral("Firefox"), {QStringLiteral("firefox-esr")}}));
    QVERIFY(x.waitUntil([&] { return x.maximized(page); }));
    QVERIFY(!x.maximized(typed));
    QVERIFY(!x.maximized(modal));
}

void TestWindowPlacement::maximizePlacesEveryCandidateAndOnlyThem()
{
    TestWindows x;
    const xcb_window_t page = x.create("Page - Google Chrome");
    const xcb_window_t legacy = x.create("Legacy Chrome", TitleKind::WmNameString);
    const xcb_window_t lower = x.create("about chrome");
    const xcb_window_t hidden = x.create("Hidden Chrome", TitleKind::NetWmName, false);
    const xcb_window_t dialog = x.create("Chrome dialog", TitleKind::NetWmName, true, page);
    const xcb_window_t other = x.create("Terminal");

    XcbWindowSystem windows;
    QVERIFY(maximizeMatchingWindows(windows,
                                    BrowserWindows{QStringLiteral("Chrome"), {QStringLiteral("zdtest")}}));
    QVERIFY(x.waitUntil([&] { return x.maximized(page) && x.maximized(legacy); }));
    TestWindows::sleepMs(200); // give a wrong placement time to show
    QVERIFY(!x.maximized(lower));
    QVERIFY(!x.maximized(hidden));
    QVERIFY(!x.maximized(dialog));
    QVERIFY(!x.maximized(other));
    // Already maximized still counts as found.
    QVERIFY(maximizeMatchingWindows(windows,
                                    BrowserWindows{QStringLiteral("Chrome"), {QStringLiteral("zdtest")}}));
}

void TestWindowPlacement::minimizeThenMaximizeBringsBack()
{
    TestWindows x;
    const xcb_window_t fox = x.create("Start — Mozilla Firefox");
    const xcb_window_t fox2 = x.create("Second — Mozilla Firefox");
    XcbWindowSystem windows;
    QVERIFY(minimizeMatchingWindows(windows,
                                    BrowserWindows{QStringLiteral("Firefox"), {QStringLiteral("zdtest")}}));
    QVERIFY(x.waitUntil([&] { return x.wmState(fox) == 3 && x.wmState(fox2) == 3; }));
    // Minimized windows still count as visible: maximizing brings them back.
    QVERIFY(maximizeMatchingWindows(windows,
                                    BrowserWindows{QStringLiteral("Firefox"), {QStringLiteral("zdtest")}}));
    QVERIFY(x.waitUntil([&] { return x.wmState(fox) == 1 && x.maximized(fox) && x.maximized(fox2); }));
}

void TestWindowPlacement::noMatchChangesNothing()
{
    TestWindows x;
    const xcb_window_t window = x.create("Plain window");
    XcbWindowSystem windows;
    QVERIFY(!minimizeMatchingWindows(
        windows, BrowserWindows{QStringLiteral("No such word"), {QStringLiteral("zdtest")}}));
    QVERIFY(!maximizeMatchingWindows(
        windows, BrowserWindows{QStringLiteral("plain window"), {QStringLiteral("zdtest")}}));
    TestWindows::sleepMs(200);
    QCOMPARE(x.wmState(window), 1u);
    QVERIFY(!x.maximized(window));
}

void TestWindowPlacement::noServerMeansNoWindows()
{
    XcbWindowSystem windows(QByteArrayLiteral(":4242"));
    QVERIFY(windows.topLevelWindows().empty());
    windows.place(1234, ShowState::Maximized);
    QVERIFY(!maximizeMatchingWindows(windows,
                                     BrowserWindows{QStringLiteral("Chrome"), {QStringLiteral("zdtest")}}));
}

QTEST_GUILESS_MAIN(TestWindowPlacement)
#include "tst_windowplacement.moc"
