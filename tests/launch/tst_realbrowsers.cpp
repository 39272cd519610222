// The launch run with Debian's real firefox-esr and chromium, each with a
// fresh profile, against a logging server on 127.0.0.1. Run by
// run_isolated.sh inside a network namespace that has only loopback (and a
// PID namespace of its own, so that ending the browsers ends only ours).
#include "core/clock.h"
#include "core/optionchoices.h"
#include "fakes/fakelaunch.h"
#include "fakes/fakeplatform.h"
#include "fakes/fakeuiservices.h"
#include "launch/launchrun.h"
#include "launch/linux/processlauncher.h"
#include "launch/linux/xcbwindowsystem.h"
#include "launch/windowsystem.h"
#include "sitelist/sitelistmodel.h"
#include "support/httptestserver.h"
#include "support/testwindows.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <unistd.h>

using namespace zd;
using namespace zd::test;

namespace {

constexpr int kAddresses = 10;

// Settings a fresh Firefox profile needs to start straight into the page.
const char kFirefoxUserJs[] = R"(user_pref("browser.shell.checkDefaultBrowser", false);
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
                                + QFile::encodeName(wrapper) + " %U\nStartupWMClass=chromium\n");
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
    }
    BrowserHome(const BrowserHome &) = delete;
    BrowserHome &operator=(const BrowserHome &) = delete;

    bool ok() const { return m_ok && m_dir.isValid(); }

    // The PID namespace holds only this test's processes.
    static void endBrowsers()
    {
        for (const char *name : {"firefox-esr", "chromium"})
            QProcess::execute(QStringLiteral("pkill"), {QStringLiteral("-f"), QString::fromLatin1(name)});
        QThread::msleep(500);
    }

private:
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

} // namespace

class TestRealBrowsers : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void everyAddressOnceInOrder_data();
    void everyAddressOnceInOrder();

private:
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
    const QStringList firefox{QStringLiteral("firefox-esr")};
    const QStringList chromium{QStringLiteral("chromium")};
    QTest::newRow("firefox, cold start") << 3 << QString() << false << 4 << "Firefox" << firefox;
    QTest::newRow("firefox, already running, maximized")
        << 3 << QString() << true << 6 << "Firefox" << firefox;
    QTest::newRow("chromium, cold start, minimized")
        << 2 << QString() << false << 5 << "Chromium" << chromium;
    QTest::newRow("default firefox, maximized") << 1 << "firefox-esr" << false << 6 << "Firefox" << firefox;
    QTest::newRow("default chromium, minimized") << 1 << "chromium" << false << 5 << "Chromium" << chromium;
}

void TestRealBrowsers::everyAddressOnceInOrder()
{
    QFETCH(int, browser);
    QFETCH(QString, defaultBrowser);
    QFETCH(bool, alreadyRunning);
    QFETCH(int, state);
    QFETCH(QString, titleWord);
    QFETCH(QStringList, classes);
    BrowserHome home(defaultBrowser);
    QVERIFY(home.ok());
    const QString log =
        m_logs.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), '_'));
    HttpTestServer server({QStringLiteral("--log"), log});
    QVERIFY(server.isRunning());

    // A window whose title holds the word but which is no browser's.
    TestWindows x;
    const xcb_window_t decoy = x.create("notes about " + titleWord.toStdString());
    if (alreadyRunning) {
        QVERIFY(QProcess::startDetached(classes.first(), {server.url(QStringLiteral("/visit/warm-up"))}));
        QTRY_COMPARE_WITH_TIMEOUT(visits(log), QStringList{QStringLiteral("warm-up")}, 60'000);
        QFile::remove(log);
    }

    FakeUiServices ui;
    ui.onIdle = [](int ms) { QThread::msleep(static_cast<unsigned long>(ms)); };
    MemorySettingsStore settings;
    SteadyClock clock;
    ProcessBrowserLauncher launcher;
    XcbWindowSystem windows;
    SiteListModel list;
    OptionChoices choices(settings, ui);
    FakeRunMonitor monitor;
    LaunchRun run(ui, clock, launcher, windows, choices, list, monitor);
    choices.select(Option(browser));
    choices.select(Option(state));
    QStringList expected;
    for (int i = 1; i <= kAddresses; ++i) {
        expected << QString::number(i);
        list.appendSite(server.url(QStringLiteral("/visit/%1").arg(i)));
    }
    run.openAll();
    QVERIFY2(ui.messages.empty(), qPrintable(ui.messages.empty() ? QString() : ui.messages[0].prompt));
    // Every address requested once, in the list's order.
    QTRY_COMPARE_WITH_TIMEOUT(visits(log).size(), kAddresses, 30'000);
    QTest::qWait(1000); // nothing more comes
    QCOMPARE(visits(log), expected);

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
    QCOMPARE(x.wmState(decoy), 1u);
    QVERIFY(!x.maximized(decoy));
}

QTEST_GUILESS_MAIN(TestRealBrowsers)
#include "tst_realbrowsers.moc"
