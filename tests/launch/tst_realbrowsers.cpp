// The launch run with Debian's real firefox-esr and chromium, each with a
// fresh profile, against a logging server on 127.0.0.1. Run by
// run_isolated.sh inside a network namespace that has only loopback.
//
// The oracle is what the user sees: the browser's own record of its tabs,
// in its tab strip's order (Firefox's session store, Chromium's session
// file). The server only checks that every address was asked for once: two
// page loads in flight go over two connections, and the order in which the
// server's threads write them down is theirs, not the browser's.
#include "app/qtrunmonitor.h"
#include "core/clock.h"
#include "core/optionchoices.h"
#include "fakes/fakelaunch.h"
#include "fakes/fakeplatform.h"
#include "fakes/fakeuiservices.h"
#include "launch/launchrun.h"
#include "launch/linux/desktopwindows.h"
#include "launch/linux/kwinwindowsystem.h"
#include "launch/linux/processlauncher.h"
#include "launch/linux/xcbwindowsystem.h"
#include "launch/windowsystem.h"
#include "sitelist/sitelistmodel.h"
#include "support/browsersessions.h"
#include "support/httptestserver.h"
#include "support/testwindows.h"

#include <QDir>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <optional>
#include <unistd.h>

using namespace zd;
using namespace zd::test;

namespace {

constexpr int kAddresses = 10;

// A pref only this file sets: found in the profile's prefs.js, it shows that
// Firefox uses the test's profile and read its user.js.
constexpr char kProfileMarker[] = "zd.test.profile";

// Settings a fresh Firefox profile needs to start straight into the page,
// and its session store written every half second, for the oracle.
const char kFirefoxUserJs[] = R"(user_pref("zd.test.profile", "in use");
user_pref("browser.sessionstore.interval", 500);
user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("browser.startup.homepage_override.mstone", "ignore");
user_pref("browser.aboutwelcome.enabled", false);
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);
user_pref("app.update.enabled", false);
user_pref("app.normandy.enabled", false);
user_pref("network.captive-portal-service.enabled", false);
user_pref("network.connectivity-service.enabled", false);
user_pref("browser.safebrowsing.update.enabled", false);
user_pref("extensions.update.enabled", false);
)";

bool writeFile(const QString &path, const QByteArray &bytes, bool executable = false)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return false;
    if (executable)
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    return true;
}

// A home of its own for one row: fresh browser profiles, the default
// browser chosen in mimeapps.list, chromium started with the flags a test
// run needs (first-run pages off; no sandbox when running as root).
class BrowserHome
{
public:
    explicit BrowserHome(const QString &defaultBrowser)
    {
        const QString home = m_dir.path();
        m_oldEnv = QProcessEnvironment::systemEnvironment();
        qputenv("HOME", QFile::encodeName(home));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/.config")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home + QStringLiteral("/.local/share")));
        qunsetenv("XDG_CURRENT_DESKTOP");
        qputenv("PATH", QFile::encodeName(home + QStringLiteral("/bin:")) + qgetenv("PATH"));
        // firefox-esr otherwise makes a profile of its own for this install
        // and never reads the one below.
        qputenv("MOZ_LEGACY_PROFILES", "1");
        m_ok = writeFile(home + QStringLiteral("/.mozilla/firefox/profiles.ini"),
                         "[Profile0]\nName=test\nIsRelative=1\nPath=test\nDefault=1\n"
                         "[General]\nStartWithLastProfile=1\n")
               && writeFile(home + QStringLiteral("/.mozilla/firefox/test/user.js"), kFirefoxUserJs);
        const QByteArray noSandbox = geteuid() == 0 ? "--no-sandbox " : "";
        const QString wrapper = home + QStringLiteral("/bin/chromium");
        m_ok = m_ok
               && writeFile(wrapper,
                            "#!/bin/sh\nexec /usr/bin/chromium " + noSandbox
                                + "--no-first-run --password-store=basic --disable-background-networking "
                                  "--disable-component-update --user-data-dir=\""
                                + QFile::encodeName(home) + "/chromium\" \"$@\"\n",
                            true)
               && writeFile(home + QStringLiteral("/.local/share/applications/chromium.desktop"),
                            "[Desktop Entry]\nType=Application\nName=Chromium\nExec="
                                + QFile::encodeName(wrapper)
                                + " %U\nStartupWMClass=chromium\nCategories=Network;WebBrowser;\n"
                                  "MimeType=text/html;x-scheme-handler/http;x-scheme-handler/https;\n");
        if (!defaultBrowser.isEmpty()) {
            const QByteArray entry = defaultBrowser.toUtf8() + ".desktop";
            m_ok = m_ok
                   && writeFile(home + QStringLiteral("/.config/mimeapps.list"),
                                "[Default Applications]\nx-scheme-handler/http=" + entry
                                    + "\nx-scheme-handler/https=" + entry + "\ntext/html=" + entry + "\n");
        }
    }
    ~BrowserHome()
    {
        endBrowsers();
        for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "PATH"})
            qputenv(name, m_oldEnv.value(QString::fromLatin1(name)).toLocal8Bit());
        qunsetenv("MOZ_LEGACY_PROFILES");
    }
    BrowserHome(const BrowserHome &) = delete;
    BrowserHome &operator=(const BrowserHome &) = delete;

    bool ok() const { return m_ok && m_dir.isValid(); }
    QString firefoxProfile() const { return m_dir.path() + QStringLiteral("/.mozilla/firefox/test"); }
    QString chromiumData() const { return m_dir.path() + QStringLiteral("/chromium"); }

    /// Processes this row started; each leads a process group of its own.
    QList<qint64> started;

private:
    // Ends what this row started, by process group: a browser and its helpers.
    void endBrowsers()
    {
        for (const qint64 pid : std::as_const(started)) {
            ::kill(-pid_t(pid), SIGTERM);
            ::kill(pid_t(pid), SIGTERM);
        }
        const auto anyLeft = [this] {
            return std::any_of(started.begin(), started.end(), [](qint64 pid) {
                return ::kill(-pid_t(pid), 0) == 0 || ::kill(pid_t(pid), 0) == 0;
            });
        };
        for (int i = 0; i < 100 && anyLeft(); ++i)
            QThread::msleep(50);
        for (const qint64 pid : std::as_const(started)) {
            ::kill(-pid_t(pid), SIGKILL);
            ::kill(pid_t(pid), SIGKILL);
        }
    }

    QTemporaryDir m_dir;
    QProcessEnvironment m_oldEnv;
    bool m_ok = false;
};

QStringList visits(const QString &log)
{
    QFile file(log);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

// The accessibility bus for one row, and browsers told to use it, so that
// their windows and tabs can be read as a screen reader reads them.
class AccessibilityBus
{
public:
    AccessibilityBus()
    {
        m_launcher.setProgram(QStringLiteral("/usr/libexec/at-spi-bus-launcher"));
        m_launcher.setArguments({QStringLiteral("--launch-immediately")});
        m_launcher.setStandardOutputFile(QProcess::nullDevice());
        m_launcher.setStandardErrorFile(QProcess::nullDevice());
        // A group of its own: the bus daemon and registry it starts end with it.
        m_launcher.setChildProcessModifier([] { ::setsid(); });
        m_launcher.start();
        qputenv("GNOME_ACCESSIBILITY", "1");
    }
    ~AccessibilityBus()
    {
        qunsetenv("GNOME_ACCESSIBILITY");
        if (const qint64 pid = m_launcher.processId(); pid > 0)
            ::kill(-pid_t(pid), SIGTERM);
        m_launcher.waitForFinished(5000);
    }
    AccessibilityBus(const AccessibilityBus &) = delete;
    AccessibilityBus &operator=(const AccessibilityBus &) = delete;
    /// Once the bus answers: a browser started before it would never join it.
    bool ok()
    {
        if (!m_launcher.waitForStarted())
            return false;
        return QTest::qWaitFor(
            [] {
                QProcess ask;
                ask.start(QStringLiteral("dbus-send"),
                          {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                           QStringLiteral("--dest=org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                           QStringLiteral("org.a11y.Bus.GetAddress")});
                return ask.waitForFinished(5000) && ask.exitCode() == 0
                       && ask.readAllStandardOutput().contains("unix:");
            },
            10'000);
    }

    /// The windows ("frame\tNAME") and tabs ("tab\tNAME") of the browser
    /// whose accessible name holds \a word, in tab-strip order.
    static QStringList read(const QString &word)
    {
        QProcess reader;
        reader.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(ZD_BROWSER_TABS), word});
        reader.waitForFinished(30'000);
        return QString::fromUtf8(reader.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private:
    QProcess m_launcher;
};

// The real launcher, noting every process it starts, so that the row ends
// exactly those.
class RecordingLauncher final : public BrowserLauncher
{
public:
    explicit RecordingLauncher(QList<qint64> &started) : m_started(started) {}
    std::optional<ResolvedBrowser> resolve(Browser browser) override { return m_real.resolve(browser); }
    std::optional<qint64> start(const ResolvedBrowser &browser, const QList<QByteArray> &addresses) override
    {
        const std::optional<qint64> pid = m_real.start(browser, addresses);
        if (pid) {
            m_started << *pid;
            handed << Handed{browser.argumentsBefore, addresses};
        }
        return pid;
    }
    ResolvedBrowser inPrivateWindow(ResolvedBrowser browser) const override
    {
        return m_real.inPrivateWindow(std::move(browser));
    }
    /// What each start was given: the browser's own arguments, the addresses.
    struct Handed
    {
        QStringList arguments;
        QList<QByteArray> addresses;
    };
    QList<Handed> handed;
    bool fitsOneStart(const ResolvedBrowser &browser, const QList<QByteArray> &addresses) const override
    {
        return m_real.fitsOneStart(browser, addresses);
    }
    bool running(qint64 pid) override { return m_real.running(pid); }
    ProcessExit exitOf(qint64 pid) override { return m_real.exitOf(pid); }
    std::optional<bool> ready(const ResolvedBrowser &browser, qint64 pid) override
    {
        return m_real.ready(browser, pid);
    }

private:
    ProcessBrowserLauncher m_real;
    QList<qint64> &m_started;
};

// The test server's pages among the browser's tabs, by their names, in the
// browser's order (window after window, each window's tabs left to right).
QStringList visitedTabs(const QList<QStringList> &windows, const QString &visitBase)
{
    QStringList names;
    for (const QStringList &tabs : windows) {
        for (const QString &url : tabs) {
            if (url.startsWith(visitBase))
                names << url.mid(visitBase.size());
        }
    }
    return names;
}

// Puts \a count pages of the server in the list; their names, in order.
QStringList appendVisits(SiteListModel &list, const HttpTestServer &server, int count = kAddresses)
{
    QStringList names;
    for (int i = 1; i <= count; ++i) {
        names << QString::number(i);
        list.appendSite(server.url(QStringLiteral("/visit/%1").arg(i)));
    }
    return names;
}

// The server's pages among the tabs the browser itself has recorded.
QStringList browserTabs(const BrowserHome &home, bool firefox, const HttpTestServer &server)
{
    return visitedTabs(firefox ? firefoxSessionTabs(home.firefoxProfile())
                               : chromiumSessionTabs(home.chromiumData()),
                       server.url(QStringLiteral("/visit/")));
}

} // namespace

class TestRealBrowsers : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void everyAddressOnceInOrder_data();
    void everyAddressOnceInOrder();
    void stopClickedOverMaximizedBrowser();
    void waylandDesktop_data();
    void waylandDesktop();
    void programRunsAsAWaylandProgram();

private:
    void openedInPrivate(const BrowserHome &home, const RecordingLauncher &launcher,
                         const HttpTestServer &server, const QString &log, bool firefox,
                         const QStringList &expected, const QStringList &normalTabs);
    QTemporaryDir m_logs;
};

void TestRealBrowsers::initTestCase()
{
    if (qEnvironmentVariable("ZD_ISOLATED") != QLatin1String("1"))
        QSKIP("runs only inside run_isolated.sh (a loopback-only network namespace)");
    QVERIFY(!QStandardPaths::findExecutable(QStringLiteral("firefox-esr")).isEmpty());
    QVERIFY(!QStandardPaths::findExecutable(QStringLiteral("chromium")).isEmpty());
    QVERIFY(!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"));
}

void TestRealBrowsers::everyAddressOnceInOrder_data()
{
    QTest::addColumn<int>("browser"); // Option numbers: 1 default, 2 Chrome, 3 Firefox
    QTest::addColumn<QString>("defaultBrowser");
    QTest::addColumn<bool>("alreadyRunning");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("titleWord");
    QTest::addColumn<QStringList>("classes");
    QTest::addColumn<QString>("delay"); // stored; empty: the default
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("starts"); // how many starts the run makes; 0: one per address
    QTest::addColumn<bool>("privateWindow");
    QTest::addColumn<int>("pauseEvery");
    const QStringList firefox{QStringLiteral("firefox-esr")};
    const QStringList chromium{QStringLiteral("chromium")};
    QTest::newRow("firefox, cold start")
        << 3 << QString() << false << 4 << "Firefox" << firefox << QString() << kAddresses << 0 << false << 0;
    QTest::newRow("firefox, already running, maximized")
        << 3 << QString() << true << 6 << "Firefox" << firefox << QString() << kAddresses << 0 << false << 0;
    QTest::newRow("chromium, cold start, minimized") << 2 << QString() << false << 5 << "Chromium" << chromium
                                                     << QString() << kAddresses << 0 << false << 0;
    // Debian's firefox-esr entry takes one address (%u), chromium's several (%U).
    QTest::newRow("default firefox, maximized") << 1 << "firefox-esr" << false << 6 << "Firefox" << firefox
                                                << QString() << kAddresses << 0 << false << 0;
    QTest::newRow("default chromium, minimized") << 1 << "chromium" << false << 5 << "Chromium" << chromium
                                                 << QString() << kAddresses << 1 << false << 0;
    // At delay 0, several addresses to a start: three starts for 53.
    const int batched = 2 * LaunchRun::kBatchSize + 3;
    QTest::newRow("firefox, delay 0, cold start")
        << 3 << QString() << false << 4 << "Firefox" << firefox << "0" << batched << 3 << false << 0;
    QTest::newRow("firefox, delay 0, already running")
        << 3 << QString() << true << 4 << "Firefox" << firefox << "0" << batched << 3 << false << 0;
    QTest::newRow("chromium, delay 0, already running")
        << 2 << QString() << true << 4 << "Chromium" << chromium << "0" << batched << 3 << false << 0;
    // Private windows beside a normal one, which keeps the history the
    // private ones must not add to. Firefox takes one address a start there,
    // and this run, long enough to be asked about, pauses itself after every 8.
    QTest::newRow("firefox, private, delay 0, pause every 8, already running")
        << 3 << QString() << true << 4 << "Firefox" << firefox << "0" << LaunchRun::kConfirmAbove + 1 << 0
        << true << 8;
    // And from a cold start, placed as chosen: nothing to keep in history.
    QTest::newRow("firefox, private, delay 0, cold start, maximized")
        << 3 << QString() << false << 6 << "Firefox" << firefox << "0" << kAddresses << 0 << true << 0;
    QTest::newRow("chromium, private, delay 0, cold start, minimized")
        << 2 << QString() << false << 5 << "Chromium" << chromium << "0" << batched << 3 << true << 0;
    QTest::newRow("chromium, private, delay 0, already running")
        << 2 << QString() << true << 4 << "Chromium" << chromium << "0" << batched << 3 << true << 0;
}

void TestRealBrowsers::everyAddressOnceInOrder()
{
    QFETCH(int, browser);
    QFETCH(QString, defaultBrowser);
    QFETCH(bool, alreadyRunning);
    QFETCH(int, state);
    QFETCH(QString, titleWord);
    QFETCH(QStringList, classes);
    QFETCH(QString, delay);
    QFETCH(int, count);
    QFETCH(int, starts);
    QFETCH(bool, privateWindow);
    QFETCH(int, pauseEvery);
    std::optional<AccessibilityBus> accessibility;
    if (privateWindow) {
        accessibility.emplace();
        QVERIFY(accessibility->ok());
    }
    BrowserHome home(defaultBrowser);
    QVERIFY(home.ok());
    const QString log =
        m_logs.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), '_'));
    HttpTestServer server({QStringLiteral("--log"), log});
    QVERIFY(server.isRunning());

    // A window whose title holds the word but which is no browser's.
    TestWindows x;
    const xcb_window_t decoy = x.create("notes about " + titleWord.toStdString());
    QStringList expectedTabs;
    if (alreadyRunning) {
        QProcess warmUp;
        warmUp.setProgram(classes.first());
        warmUp.setArguments({server.url(QStringLiteral("/visit/warm-up"))});
        warmUp.setStandardOutputFile(QProcess::nullDevice());
        warmUp.setStandardErrorFile(QProcess::nullDevice());
        qint64 pid = 0;
        QVERIFY(warmUp.startDetached(&pid));
        home.started << pid;
        QTRY_COMPARE_WITH_TIMEOUT(visits(log), QStringList{QStringLiteral("warm-up")}, 60'000);
        QFile::remove(log);
        expectedTabs << QStringLiteral("warm-up");
    }

    FakeUiServices ui;
    ui.onIdle = [](int ms) { QThread::msleep(static_cast<unsigned long>(ms)); };
    MemorySettingsStore settings;
    if (!delay.isEmpty())
        settings.setValue(OptionChoices::delayKey(), delay);
    SteadyClock clock;
    RecordingLauncher launcher(home.started);
    XcbWindowSystem windows;
    SiteListModel list;
    OptionChoices choices(settings, ui);
    FakeRunMonitor monitor;
    LaunchRun run(ui, clock, launcher, windows, choices, list, monitor);
    choices.select(Option(browser));
    choices.select(Option(state));
    choices.setPrivateWindow(privateWindow);
    if (pauseEvery > 0)
        settings.setValue(OptionChoices::pauseEveryKey(), QString::number(pauseEvery));
    // At each pause of its own the run has opened what came before, and
    // nothing more comes until it goes on.
    QList<int> pauses;
    monitor.onProgress = [&](const RunProgress &shown) {
        if (shown.pausedAfter == 0 || pauses.contains(shown.pausedAfter))
            return;
        pauses << shown.pausedAfter;
        // Goes on even when a check below fails, or the run would wait for ever.
        const auto goOn = qScopeGuard([&] { run.setPaused(false); });
        const auto visited = [&] { return visits(log).size(); };
        QVERIFY(QTest::qWaitFor([&] { return visited() >= shown.pausedAfter; }, 30'000));
        QTest::qWait(1000);
        QCOMPARE(visited(), qsizetype(shown.pausedAfter));
    };
    const QStringList expected = appendVisits(list, server, count);
    const qsizetype startedBefore = home.started.size();
    run.openAll();
    QVERIFY2(ui.messages.empty(), qPrintable(ui.messages.empty() ? QString() : ui.messages[0].prompt));
    QCOMPARE(home.started.size() - startedBefore, starts == 0 ? count : starts);
    QList<int> pausesDue;
    for (int after = pauseEvery; pauseEvery > 0 && after < count; after += pauseEvery)
        pausesDue << after;
    QCOMPARE(pauses, pausesDue);
    const bool firefox = classes.first() == QLatin1String("firefox-esr");
    if (privateWindow) {
        openedInPrivate(home, launcher, server, log, firefox, expected, expectedTabs);
        if (QTest::currentTestFailed())
            return;
    } else {
        // The browser shows every address once, in the list's order.
        expectedTabs << expected;
        const auto tabs = [&] { return browserTabs(home, firefox, server); };
        QTRY_COMPARE_WITH_TIMEOUT(tabs(), expectedTabs, 30'000);
        // And asked the server for each once.
        QTRY_COMPARE_WITH_TIMEOUT(sorted(visits(log)), sorted(expected), 30'000);
        QTest::qWait(1000); // nothing more comes
        QCOMPARE(sorted(visits(log)), sorted(expected));
        QCOMPARE(tabs(), expectedTabs);
    }
    if (firefox) {
        // The profile of the test is the one Firefox uses.
        QTRY_VERIFY_WITH_TIMEOUT(
            readAll(home.firefoxProfile() + QStringLiteral("/prefs.js")).contains(kProfileMarker), 30'000);
    }

    const BrowserWindows own{titleWord, classes};
    int placed = 0;
    for (const TopLevelWindow &window : windows.topLevelWindows()) {
        if (!own.matches(window))
            continue;
        ++placed;
        if (state == 5)
            QVERIFY(x.waitUntil([&] { return x.wmState(window.id) == 3; }));
        else if (state == 6)
            QVERIFY(x.waitUntil([&] { return x.maximized(window.id); }));
    }
    QVERIFY(placed >= 1);
    // Batches join the window the browser has, as one address a start does.
    if (!privateWindow)
        QCOMPARE(placed, 1);
    QCOMPARE(x.wmState(decoy), 1u);
    QVERIFY(!x.maximized(decoy));
}

// A private run: every address was handed over in order with the private
// flag and asked for once; none is among the normal windows' tabs, which the
// browser records, nor in the profile's history (which holds a running
// browser's normal page); over AT-SPI there is one private window, and
// Firefox's tabs are the addresses in order.
void TestRealBrowsers::openedInPrivate(const BrowserHome &home, const RecordingLauncher &launcher,
                                       const HttpTestServer &server, const QString &log, bool firefox,
                                       const QStringList &expected, const QStringList &normalTabs)
{
    const QString flag = firefox ? QStringLiteral("-private-window") : QStringLiteral("--incognito");
    QStringList handed;
    for (const RecordingLauncher::Handed &start : launcher.handed) {
        QCOMPARE(start.arguments.value(start.arguments.size() - 1), flag);
        for (const QByteArray &address : start.addresses)
            handed << QString::fromUtf8(address).mid(server.url(QStringLiteral("/visit/")).size());
    }
    QCOMPARE(handed, expected);
    QTRY_COMPARE_WITH_TIMEOUT(sorted(visits(log)), sorted(expected), 30'000);
    // One start at a time, each taken before the next: asked for in order.
    if (firefox)
        QCOMPARE(visits(log), expected);
    const QString history = firefox ? home.firefoxProfile() + QStringLiteral("/places.sqlite")
                                    : home.chromiumData() + QStringLiteral("/Default/History");
    const QString table = firefox ? QStringLiteral("moz_places") : QStringLiteral("urls");
    const QString warmUp = server.url(QStringLiteral("/visit/warm-up"));
    // A running browser's normal window shows that the history is written.
    if (!normalTabs.isEmpty())
        QTRY_VERIFY_WITH_TIMEOUT(historyAddresses(history, table).contains(warmUp), 60'000);
    QTest::qWait(3000); // the browsers write their records a moment after a change
    const QStringList kept = historyAddresses(history, table);
    const QString visitBase = server.url(QStringLiteral("/visit/"));
    for (const QString &address : kept)
        QVERIFY2(!address.startsWith(visitBase) || address == warmUp, qPrintable(address));
    QCOMPARE(browserTabs(home, firefox, server), normalTabs);
    // The browser's own account, read over AT-SPI: one private window, its
    // tabs (Firefox tells them) the addresses in order.
    const auto privateWindows = [&] {
        QList<QStringList> windows;
        bool inPrivate = false;
        for (const QString &line :
             AccessibilityBus::read(firefox ? QStringLiteral("Firefox") : QStringLiteral("Chromium"))) {
            if (line.startsWith(QLatin1String("frame\t"))) {
                inPrivate =
                    line.endsWith(firefox ? QLatin1String("Private Browsing") : QLatin1String("(Incognito)"));
                if (inPrivate)
                    windows << QStringList();
            } else if (inPrivate) {
                windows.last() << line.mid(4);
            }
        }
        return windows;
    };
    QStringList titles;
    for (const QString &name : expected)
        titles << QStringLiteral("visit ") + name;
    const QList<QStringList> expectedWindows{firefox ? titles : QStringList()};
    QTRY_COMPARE_WITH_TIMEOUT(privateWindows(), expectedWindows, 30'000);
}

// The user's click on Stop goes through the X server to whichever window is
// on top at that point: the progress window must be above the browser's
// maximized window for the run to stop.
void TestRealBrowsers::stopClickedOverMaximizedBrowser()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs the X11 platform: the click goes through the X server");
    BrowserHome home({});
    QVERIFY(home.ok());
    const QString log = m_logs.filePath(QStringLiteral("stop"));
    HttpTestServer server({QStringLiteral("--log"), log});
    QVERIFY(server.isRunning());

    FakeUiServices ui;
    ui.onIdle = [](int ms) { QTest::qWait(ms); };
    MemorySettingsStore settings;
    settings.setValue(OptionChoices::delayKey(), QStringLiteral("1"));
    SteadyClock clock;
    RecordingLauncher launcher(home.started);
    XcbWindowSystem windows;
    SiteListModel list;
    OptionChoices choices(settings, ui);
    QtRunMonitor monitor(clock);
    LaunchRun run(ui, clock, launcher, windows, choices, list, monitor);
    monitor.setControls([&run] { run.requestStop(); }, [&run](bool paused) { run.setPaused(paused); });
    choices.select(Option::Chrome);
    choices.select(Option::Maximized);
    constexpr int kCount = 20;
    for (int i = 1; i <= kCount; ++i)
        list.appendSite(server.url(QStringLiteral("/visit/%1").arg(i)));

    TestWindows x;
    const BrowserWindows own{QStringLiteral("Chromium"), {QStringLiteral("chromium")}};
    const auto browserMaximized = [&] {
        const std::vector<TopLevelWindow> all = windows.topLevelWindows();
        return std::any_of(all.begin(), all.end(), [&](const TopLevelWindow &window) {
            return own.matches(window) && x.maximized(window.id);
        });
    };
    // Once a few pages are in and the browser fills the screen, the pointer
    // clicks where Stop is.
    bool clicked = false;
    int visitsAtClick = 0;
    QTimer poll;
    poll.setInterval(100);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget *progress = monitor.progressWindow();
        if (clicked || !progress || !progress->isVisible() || visits(log).size() < 3 || !browserMaximized())
            return;
        auto *stop = progress->findChild<QPushButton *>(QStringLiteral("Stop"));
        const QPoint at = stop->mapToGlobal(stop->rect().center());
        clicked =
            QProcess::startDetached(QStringLiteral("xdotool"),
                                    {QStringLiteral("mousemove"), QString::number(at.x()),
                                     QString::number(at.y()), QStringLiteral("click"), QStringLiteral("1")});
        visitsAtClick = int(visits(log).size());
    });
    poll.start();
    run.openAll();
    poll.stop();

    QVERIFY(clicked);
    QVERIFY2(
        run.resumeAt() > visitsAtClick && run.resumeAt() < kCount,
        qPrintable(
            QStringLiteral("stopped at %1, %2 visits at the click").arg(run.resumeAt()).arg(visitsAtClick)));
    const QString stoppedAt = QStringLiteral("You stopped the run at item %1 ").arg(run.resumeAt());
    QVERIFY(std::any_of(ui.messages.begin(), ui.messages.end(), [&](const FakeUiServices::Shown &shown) {
        return shown.prompt.contains(stoppedAt);
    }));
    QVERIFY(!monitor.progressWindow());
    QTest::qWait(1000); // nothing more comes
    QCOMPARE(visits(log).size(), qsizetype(run.resumeAt() - 1));
}

void TestRealBrowsers::waylandDesktop_data()
{
    QTest::addColumn<int>("browser"); // Option numbers: 2 Chrome, 3 Firefox
    QTest::addColumn<int>("state");   // 5 minimized, 6 maximized
    QTest::addColumn<QString>("titleWord");
    QTest::addColumn<QString>("appId");
    QTest::newRow("firefox, minimized") << 3 << 5 << "Firefox"
                                        << "firefox-esr";
    QTest::newRow("chromium, maximized") << 2 << 6 << "Chromium"
                                         << "chromium";
}

// On a headless Wayland desktop (scripts/with-wayland.sh), the browsers as
// Wayland programs: confirmed by their own signs, placed where the desktop
// allows it, and the truth told where it does not.
void TestRealBrowsers::waylandDesktop()
{
    const QString desktop = qEnvironmentVariable("ZD_WAYLAND_DESKTOP");
    if (desktop.isEmpty())
        QSKIP("runs on a Wayland desktop: scripts/with-wayland.sh");
    QFETCH(int, browser);
    QFETCH(int, state);
    QFETCH(QString, titleWord);
    QFETCH(QString, appId);
    BrowserHome home({});
    QVERIFY(home.ok());
    const QString log = m_logs.filePath(desktop + QLatin1Char('-') + appId);
    HttpTestServer server({QStringLiteral("--log"), log});
    QVERIFY(server.isRunning());

    FakeUiServices ui;
    ui.onIdle = [](int ms) { QTest::qWait(ms); };
    MemorySettingsStore settings;
    SteadyClock clock;
    RecordingLauncher launcher(home.started);
    DesktopWindowSystem windows;
    const QMap<QString, QString> kinds{{QStringLiteral("sway"), QStringLiteral("foreign-toplevel")},
                                       {QStringLiteral("kwin"), QStringLiteral("KWin")},
                                       {QStringLiteral("kwin-xwayland"), QStringLiteral("KWin")},
                                       {QStringLiteral("mutter"), QStringLiteral("none")},
                                       {QStringLiteral("weston"), QStringLiteral("none")}};
    QCOMPARE(windows.kind(), kinds.value(desktop));
    // On kwin-xwayland the browsers are X11 programs through Xwayland: without
    // a Wayland display to go to, both take the X server.
    const bool xwayland = desktop == QLatin1String("kwin-xwayland");
    // (Chromium, told it is in a Wayland session, would look for one and end.)
    const QByteArray waylandDisplay = qgetenv("WAYLAND_DISPLAY");
    const QByteArray sessionType = qgetenv("XDG_SESSION_TYPE");
    const auto restoreDisplay = qScopeGuard([&] {
        qputenv("WAYLAND_DISPLAY", waylandDisplay);
        qputenv("XDG_SESSION_TYPE", sessionType);
    });
    if (xwayland) {
        QVERIFY(!qEnvironmentVariableIsEmpty("DISPLAY"));
        qunsetenv("WAYLAND_DISPLAY");
        qunsetenv("XDG_SESSION_TYPE");
    }
    SiteListModel list;
    OptionChoices choices(settings, ui);
    FakeRunMonitor monitor;
    LaunchRun run(ui, clock, launcher, windows, choices, list, monitor);
    choices.select(Option(browser));
    choices.select(Option(state));
    const QStringList expected = appendVisits(list, server);
    QElapsedTimer took;
    took.start();
    run.openAll();
    const double seconds = double(took.elapsed()) / 1000.0;
    qint64 longestDelivery = 0;
    for (const RunProgress &shown : monitor.shown) {
        if (shown.waitingFor.endsWith(QLatin1String("to take the address")))
            longestDelivery = qMax(longestDelivery, shown.waitedMs);
    }
    qInfo("%s, %s: %.2f s for %d addresses, the longest wait for a delivery %lld ms; said: %s",
          qPrintable(desktop), qPrintable(appId), seconds, kAddresses, longestDelivery,
          ui.messages.empty() ? "nothing" : qPrintable(ui.messages[0].prompt));
    // Every address confirmed long before the bound.
    QVERIFY2(longestDelivery < kWindowWaitMs / 2, qPrintable(QString::number(longestDelivery)));
    const bool firefox = appId == QLatin1String("firefox-esr");
    const auto tabs = [&] { return browserTabs(home, firefox, server); };
    [[maybe_unused]] const bool settled = QTest::qWaitFor([&] { return tabs() == expected; }, 30'000);
    QVERIFY2(sorted(visits(log)) == sorted(expected), qPrintable(visits(log).join(QLatin1Char(' '))));
    QVERIFY2(tabs() == expected, qPrintable(tabs().join(QLatin1Char(' '))));

    // A Firefox hand-over that crashed was started again, and the run says
    // so; seen on sway loading its fonts.
    QStringList said =
        ui.messages.empty() ? QStringList() : ui.messages[0].prompt.split(QStringLiteral("\n\n"));
    said.removeIf(
        [](const QString &paragraph) { return paragraph.contains(QLatin1String(" failed while taking ")); });
    const QString summary = said.join(QStringLiteral("\n\n"));
    if (!desktop.startsWith(QLatin1String("kwin"))) {
        QCOMPARE(summary,
                 QStringLiteral("This desktop does not let other programs minimize or maximize windows, so "
                                "the browser keeps its own window state."));
        return;
    }
    // KWin places them: KWin itself says so.
    QVERIFY2(summary.isEmpty(), qPrintable(summary));
    KWinWindowSystem kwin;
    const BrowserWindows own{titleWord, {appId}};
    int placed = 0;
    for (const TopLevelWindow &window : kwin.topLevelWindows()) {
        if (!own.matches(window))
            continue;
        ++placed;
        QTRY_COMPARE_WITH_TIMEOUT(
            kwin.isInState(window.id, state == 5 ? ShowState::Minimized : ShowState::Maximized), true, 5'000);
    }
    QVERIFY(placed >= 1);
    // Through Xwayland each window is listed once, by the X side, with its pid.
    int listed = 0;
    for (const TopLevelWindow &window : windows.topLevelWindows()) {
        if (own.matches(window)) {
            ++listed;
            QCOMPARE(bool(window.id & CombinedWindowSystem::kWaylandBit), !xwayland);
            QVERIFY(window.pid > 0);
        }
    }
    QCOMPARE(listed, placed);
}

// Where Qt's Wayland platform is installed, the program is a Wayland
// program on a Wayland desktop, and the desktop lists its window.
void TestRealBrowsers::programRunsAsAWaylandProgram()
{
    if (qEnvironmentVariableIsEmpty("ZD_WAYLAND_DESKTOP"))
        QSKIP("runs on a Wayland desktop: scripts/with-wayland.sh");
    QTemporaryDir config;
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    program.setProcessEnvironment(env);
    program.setProgram(QStringLiteral(ZD_PROGRAM));
    program.start();
    QVERIFY(program.waitForStarted());
    const QString maps = QStringLiteral("/proc/%1/maps").arg(program.processId());
    QTRY_VERIFY_WITH_TIMEOUT(readAll(maps).contains("libQt6WaylandClient"), 10'000);
    DesktopWindowSystem windows;
    if (windows.capabilities().list) {
        const BrowserWindows own{QStringLiteral("Zentavia Desk"), {QStringLiteral("zentavia-desk")}};
        const auto listed = [&] {
            const std::vector<TopLevelWindow> all = windows.topLevelWindows();
            return std::any_of(all.begin(), all.end(),
                               [&](const TopLevelWindow &w) { return own.matches(w); });
        };
        QTRY_VERIFY_WITH_TIMEOUT(listed(), 10'000);
    }
    QCOMPARE(program.state(), QProcess::Running);
    program.terminate();
    QVERIFY(program.waitForFinished(10'000));
}

QTEST_MAIN(TestRealBrowsers)
#include "tst_realbrowsers.moc"
