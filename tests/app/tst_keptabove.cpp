// The progress window on KWin's Wayland session, where a program's own
// stay-on-top hint does not reach: the program asks KWin by script.
#include "app/qtrunmonitor.h"
#include "fakes/fakelaunch.h"
#include "launch/linux/desktopwindows.h"
#include "launch/linux/kwinwindowsystem.h"

#include <QApplication>
#include <QtTest>

using namespace zd;

class TestKeptAbove : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void progressWindowIsKeptAboveTheBrowsers();
};

void TestKeptAbove::progressWindowIsKeptAboveTheBrowsers()
{
    if (qEnvironmentVariable("ZD_WAYLAND_DESKTOP") != QLatin1String("kwin"))
        QSKIP("needs KWin's Wayland session (with-wayland.sh kwin)");
    DesktopWindowSystem desktop;
    QCOMPARE(desktop.kind(), QStringLiteral("KWin"));
    test::FakeClock clock;
    QtRunMonitor monitor(clock);
    monitor.setKeepAbove([&](QWidget *window) {
        return desktop.keepAbove(QCoreApplication::applicationPid(), window->windowTitle());
    });
    RunProgress state;
    state.index = 1;
    state.count = 50;
    state.browser = QStringLiteral("Firefox");
    monitor.progress(state);
    clock.now += 2000;
    monitor.progress(state);
    QVERIFY(monitor.progressWindow());
    QVERIFY(QTest::qWaitForWindowExposed(monitor.progressWindow()));
    KWinWindowSystem kwin;
    const qint64 pid = QCoreApplication::applicationPid();
    // KWin lists the window a little after it is shown; not above by itself.
    QTRY_VERIFY(kwin.keptAbove(pid, QStringLiteral("Opening sites")).has_value());
    QCOMPARE(kwin.keptAbove(pid, QStringLiteral("Opening sites")), std::optional<bool>(false));
    // The next updates ask KWin until it has the window.
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            clock.now += 600;
            monitor.progress(state);
            return kwin.keptAbove(pid, QStringLiteral("Opening sites")) == std::optional<bool>(true);
        }(),
        10'000);
}

QTEST_MAIN(TestKeptAbove)
#include "tst_keptabove.moc"
