// The progress window on the Wayland desktops that let it stay above the
// browsers, where a program's own stay-on-top hint does not reach: KWin,
// asked by script, and sway, which floats it above tiled windows.
#include "app/qtrunmonitor.h"
#include "fakes/fakelaunch.h"
#include "launch/linux/desktopwindows.h"
#include "launch/linux/kwinwindowsystem.h"

#include <QApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

using namespace zd;

class TestKeptAbove : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void progressWindowIsKeptAboveTheBrowsers();
    void progressWindowFloatsOnSway();
};

namespace {

// Whether sway's tree has a floating window named \a name.
bool floatsOnSway(const QJsonObject &node, const QString &name)
{
    for (const QJsonValue floating : node.value(QStringLiteral("floating_nodes")).toArray()) {
        if (floating.toObject().value(QStringLiteral("name")).toString() == name)
            return true;
    }
    for (const QJsonValue child : node.value(QStringLiteral("nodes")).toArray()) {
        if (floatsOnSway(child.toObject(), name))
            return true;
    }
    return false;
}

} // namespace

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

void TestKeptAbove::progressWindowFloatsOnSway()
{
    if (qEnvironmentVariable("ZD_WAYLAND_DESKTOP") != QLatin1String("sway"))
        QSKIP("needs sway (with-wayland.sh sway)");
    const QFileInfoList sockets = QFileInfo(qEnvironmentVariable("WAYLAND_DISPLAY"))
                                      .dir()
                                      .entryInfoList({QStringLiteral("sway-ipc.*")}, QDir::System);
    QVERIFY(!sockets.isEmpty());
    // The main window, tiled as sway tiles every ordinary window.
    QWidget main;
    main.setWindowTitle(QStringLiteral("Zentavia Desk"));
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    test::FakeClock clock;
    QtRunMonitor monitor(clock);
    monitor.setWindow(&main);
    RunProgress state;
    state.count = 50;
    monitor.progress(state);
    clock.now += 2000;
    monitor.progress(state);
    QVERIFY(QTest::qWaitForWindowExposed(monitor.progressWindow()));
    const auto tree = [&] {
        QProcess sway;
        sway.start(QStringLiteral("swaymsg"),
                   {QStringLiteral("-s"), sockets.first().filePath(), QStringLiteral("-r"),
                    QStringLiteral("-t"), QStringLiteral("get_tree")});
        sway.waitForFinished();
        return QJsonDocument::fromJson(sway.readAllStandardOutput()).object();
    };
    QTRY_VERIFY(floatsOnSway(tree(), QStringLiteral("Opening sites")));
    QVERIFY(!floatsOnSway(tree(), QStringLiteral("Zentavia Desk")));
}

QTEST_MAIN(TestKeptAbove)
#include "tst_keptabove.moc"
