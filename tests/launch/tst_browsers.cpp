// Browsers started for real: fake browser programs first on PATH record
// their arguments and open real windows under the test X server.
#include "fakes/fakelaunch.h"
#include "fakes/fakeplatform.h"
#include "fakes/fakeuiservices.h"
#include "launch/launchrun.h"
#include "core/optionchoices.h"
#include "launch/linux/processlauncher.h"
#include "sitelist/sitelistmodel.h"
#include "support/realrun.h"
#include "support/testwindows.h"
#include "launch/windowsystem.h"
#include "launch/linux/xcbwindowsystem.h"
#include "core/clock.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

using namespace zd;
using namespace zd::test;

namespace {

// Records of the fake browser's log: the arguments of each start.
QList<QStringList> readLog(const QString &path)
{
    QFile file(path);
    QList<QStringList> starts;
    if (!file.open(QIODevice::ReadOnly))
        return starts;
    const QByteArray bytes = file.readAll();
    qsizetype at = 0;
    while (at < bytes.size()) {
        const qsizetype space = bytes.indexOf(' ', at);
        const qsizetype newline = bytes.indexOf('\n', at);
        const qsizetype end = (space < 0 || (newline >= 0 && newline < space)) ? newline : space;
        const int count = bytes.mid(at, end - at).toInt();
        at = end;
        QStringList args;
        for (int i = 0; i < count; ++i) {
            ++at; // the blank
            const qsizetype colon = bytes.indexOf(':', at);
            const int length = bytes.mid(at, colon - at).toInt();
            args << QString::fromUtf8(bytes.mid(colon + 1, length));
            at = colon + 1 + length;
        }
        ++at; // the newline
        starts << args;
    }
    return starts;
}

class Sandbox
{
public:
    Sandbox()
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("bin"));
        QDir(m_dir.path()).mkpath(QStringLiteral("share/applications"));
        m_oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("share"))));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(m_dir.filePath(QStringLiteral("share"))));
        qputenv("FAKE_BROWSER_LOG", QFile::encodeName(log()));
        qputenv("FAKE_BROWSER_STOP", QFile::encodeName(m_dir.filePath(QStringLiteral("stop"))));
        qunsetenv("FAKE_BROWSER_TITLE");
    }
    ~Sandbox()
    {
        QFile stop(m_dir.filePath(QStringLiteral("stop")));
        stop.open(QIODevice::WriteOnly);
        stop.close();
        QThread::msleep(300); // the fakes notice and end
        qputenv("PATH", m_oldPath);
    }
    QString bin() const { return m_dir.filePath(QStringLiteral("bin")); }
    QString log() const { return m_dir.filePath(QStringLiteral("log")); }

    void install(const QString &name)
    {
        QVERIFY(QFile::link(QStringLiteral(ZD_FAKE_BROWSER), bin() + QLatin1Char('/') + name));
    }
    /// A desktop default browser: xdg-settings answers with an entry whose
    /// Exec line starts the fake.
    void installDefaultBrowser(const QString &exec,
                               const QByteArray &declares = "Categories=Network;WebBrowser;\n")
    {
        QFile script(bin() + QStringLiteral("/xdg-settings"));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho fakeweb.desktop\n");
        script.close();
        script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
        QFile entry(m_dir.filePath(QStringLiteral("share/applications/fakeweb.desktop")));
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nType=Application\nName=Fake Web\nExec=" + exec.toUtf8()
                    + "\nStartupWMClass=FakeWebWindows\n" + declares
                    + "[Desktop Action New]\nExec=wrong %u\n");
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldPath;
};

// The addresses of a fake Firefox's starts, each after the -new-tab that
// keeps a batch in the window it has; a start of one has none.
QStringList newTabAddresses(const QList<QStringList> &starts)
{
    QStringList addresses;
    for (const QStringList &args : starts) {
        if (args.size() == 1) {
            addresses << args;
            continue;
        }
        for (qsizetype i = 0; i < args.size(); i += 2) {
            if (args[i] != QLatin1String("-new-tab") || i + 1 == args.size())
                return {QStringLiteral("not after -new-tab: ") + args[i]};
            addresses << args[i + 1];
        }
    }
    return addresses;
}

// Starts the fake firefox through the real launcher with one setting of
// the fake's for this start only.
std::optional<qint64> startFirefox(ProcessBrowserLauncher &launcher, const char *setting,
                                   const QByteArray &value)
{
    const std::optional<ResolvedBrowser> browser = launcher.resolve(Browser::Firefox);
    if (!browser)
        return std::nullopt;
    qputenv(setting, value);
    const std::optional<qint64> pid = launcher.start(*browser, "www.example.org");
    qunsetenv(setting);
    return pid;
}

using RunHarness = RealRun<ProcessBrowserLauncher, XcbWindowSystem>;

} // namespace

class TestBrowsers : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void resolve_data();
    void resolve();
    void desktopExecLines_data();
    void desktopExecLines();
    void defaultBrowserFromDesktopEntry();
    void onlyAWebBrowserIsTheDefault_data();
    void onlyAWebBrowserIsTheDefault();
    void privateWindowOfTheDefaultBrowser_data();
    void privateWindowOfTheDefaultBrowser();
    void hostileAddressesArriveAsOneArgument();
    void browserInheritsNothingOfOurs();
    void howAStartedProgramEnded_data();
    void howAStartedProgramEnded();
    void aBrowserThatEndsLaterLeavesNoZombie();
    void manyBrowsersThatStayHoldFewDescriptors();
    void aCrashedStartIsStartedAgain();
    void endToEnd_data();
    void endToEnd();
    void aBrowserShowingOnlyAMessageStopsTheRun();
    void tenThousandAddresses();
};

void TestBrowsers::resolve_data()
{
    QTest::addColumn<Browser>("choice");
    QTest::addColumn<QStringList>("installed");
    QTest::addColumn<QString>("program"); // empty: none
    QTest::addColumn<QString>("word");
    QTest::newRow("chrome stable first")
        << Browser::Chrome << QStringList{"chromium", "google-chrome-stable"} << "google-chrome-stable"
        << "Chrome";
    QTest::newRow("chromium") << Browser::Chrome << QStringList{"chromium"} << "chromium"
                              << "Chromium";
    QTest::newRow("chromium-browser")
        << Browser::Chrome << QStringList{"chromium-browser"} << "chromium-browser"
        << "Chromium";
    QTest::newRow("firefox-esr") << Browser::Firefox << QStringList{"firefox-esr"} << "firefox-esr"
                                 << "Firefox";
    QTest::newRow("firefox first") << Browser::Firefox << QStringList{"firefox-esr", "firefox"} << "firefox"
                                   << "Firefox";
    QTest::newRow("no chrome") << Browser::Chrome << QStringList{"firefox"} << ""
                               << "";
    QTest::newRow("iexplore without a desktop default")
        << Browser::Default << QStringList{"firefox-esr"} << "firefox-esr"
        << "Firefox";
    QTest::newRow("nothing at all") << Browser::Default << QStringList() << ""
                                    << "";
}

void TestBrowsers::resolve()
{
    QFETCH(Browser, choice);
    QFETCH(QStringList, installed);
    QFETCH(QString, program);
    QFETCH(QString, word);
    Sandbox sandbox;
    for (const QString &name : installed)
        sandbox.install(name);
    ProcessBrowserLauncher launcher;
    const std::optional<ResolvedBrowser> browser = launcher.resolve(choice);
    QCOMPARE(browser.has_value(), !program.isEmpty());
    if (browser) {
        QCOMPARE(QFileInfo(browser->program).fileName(), program);
        QCOMPARE(browser->titleWord, word);
    }
}

void TestBrowsers::desktopExecLines_data()
{
    QTest::addColumn<QString>("exec");
    QTest::addColumn<QStringList>("args");
    QTest::newRow("plain %u") << "firefox-esr %u" << QStringList{"firefox-esr", ""};
    QTest::newRow("options around") << "chromium --a %U --b" << QStringList{"chromium", "--a", "", "--b"};
    QTest::newRow("quoted program") << "\"/opt/my browser/run\" %f" << QStringList{"/opt/my browser/run", ""};
    QTest::newRow("other codes dropped") << "b %i %c %k" << QStringList{"b"};
    QTest::newRow("percent escape") << "b --x=100%%" << QStringList{"b", "--x=100%"};
    // A code inside a shell's script is no place for the address: it is never
    // put into the script's text, only added as an argument of its own.
    QTest::newRow("a code inside a quoted script")
        << "sh -c \"firefox %u\"" << QStringList{"sh", "-c", "firefox %u"};
}

void TestBrowsers::desktopExecLines()
{
    QFETCH(QString, exec);
    QFETCH(QStringList, args);
    QCOMPARE(splitDesktopExec(exec), args);
}

void TestBrowsers::defaultBrowserFromDesktopEntry()
{
    Sandbox sandbox;
    sandbox.install(QStringLiteral("fakeweb"));
    sandbox.install(QStringLiteral("firefox"));
    sandbox.installDefaultBrowser(QStringLiteral("fakeweb --new-window %u --after"));
    // The launcher's own folder is made at its first start and goes with it.
    QTemporaryDir temp;
    const QByteArray oldTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temp.path()));
    const auto restoreTemp = qScopeGuard([&] { qputenv("TMPDIR", oldTemp); });
    std::optional<ProcessBrowserLauncher> owner(std::in_place);
    ProcessBrowserLauncher &launcher = *owner;
    const std::optional<ResolvedBrowser> browser = launcher.resolve(Browser::Default);
    QVERIFY(QDir(temp.path()).isEmpty());
    QVERIFY(browser);
    QCOMPARE(QFileInfo(browser->program).fileName(), QStringLiteral("fakeweb"));
    QCOMPARE(browser->windowClasses, (QStringList{"fakeweb", "FakeWebWindows"}));
    const QString where =
        QDir(QDir::tempPath()).filePath(QStringLiteral("zd-fakebrowser-where-%1").arg(getpid()));
    qputenv("FAKE_BROWSER_WHERE", QFile::encodeName(where));
    const std::optional<qint64> pid = launcher.start(*browser, QByteArrayLiteral("www.site.org"));
    qunsetenv("FAKE_BROWSER_WHERE");
    QVERIFY(pid);
    QTRY_COMPARE(readLog(sandbox.log()).size(), 1);
    QCOMPARE(readLog(sandbox.log()).first(), (QStringList{"--new-window", "www.site.org", "--after"}));
    QTRY_VERIFY(!launcher.running(*pid));
    // It ran in an empty folder of its own, its output going nowhere.
    QFile file(where);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    file.remove();
    QCOMPARE(lines.value(1), QStringLiteral("/dev/null"));
    QCOMPARE(lines.value(2), QStringLiteral("/dev/null"));
    QVERIFY(lines.value(0) != QLatin1String("/"));
    QVERIFY(QDir(lines.value(0)).exists());
    QVERIFY(QDir(lines.value(0)).isEmpty());
    // A program that cannot be run is told apart from one that started.
    ResolvedBrowser gone = *browser;
    gone.program = sandbox.log() + QStringLiteral(".missing");
    QVERIFY(!launcher.start(gone, QByteArrayLiteral("www.site.org")));
    QCOMPARE(QFileInfo(lines.value(0)).dir().canonicalPath(), QDir(temp.path()).canonicalPath());
    owner.reset();
    QVERIFY(QDir(temp.path()).isEmpty());
}

void TestBrowsers::onlyAWebBrowserIsTheDefault_data()
{
    QTest::addColumn<QString>("exec");
    QTest::addColumn<QByteArray>("declares");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("note");
    QTest::newRow("a browser") << "fakeweb %u" << QByteArray("Categories=Network;WebBrowser;\n") << "fakeweb"
                               << "";
    QTest::newRow("a handler of web addresses")
        << "fakeweb %u" << QByteArray("MimeType=text/html;x-scheme-handler/http;\n") << "fakeweb"
        << "";
    QTest::newRow("no %u in Exec") << "fakeweb --new-tab" << QByteArray("Categories=WebBrowser;\n")
                                   << "fakeweb"
                                   << "";
    QTest::newRow("a terminal program")
        << "fakeweb %F" << QByteArray("Terminal=true\nCategories=Utility;TextEditor;WebBrowser;\n")
        << "firefox"
        << "The desktop's default web browser, fakeweb.desktop, was passed over: it runs in a terminal.";
    QTest::newRow("a text editor")
        << "fakeweb %F" << QByteArray("Categories=Utility;TextEditor;\nMimeType=text/plain;\n") << "firefox"
        << "The desktop's default web browser, fakeweb.desktop, was passed over: it is not a web browser.";
    // Nothing to fall back on: the reason is said all the same.
    QTest::newRow("a text editor, and no browser else")
        << "fakeweb %F" << QByteArray("Categories=Utility;TextEditor;\nMimeType=text/plain;\n") << ""
        << "The desktop's default web browser, fakeweb.desktop, was passed over: it is not a web browser.";
}

void TestBrowsers::onlyAWebBrowserIsTheDefault()
{
    QFETCH(QString, exec);
    QFETCH(QByteArray, declares);
    QFETCH(QString, program);
    QFETCH(QString, note);
    Sandbox sandbox;
    sandbox.install(QStringLiteral("fakeweb"));
    if (!program.isEmpty())
        sandbox.install(QStringLiteral("firefox"));
    sandbox.installDefaultBrowser(exec, declares);
    ProcessBrowserLauncher launcher;
    const std::optional<ResolvedBrowser> browser = launcher.resolve(Browser::Default);
    if (program.isEmpty()) {
        QVERIFY(!browser);
        RunHarness h;
        h.choices.select(Option::InternetExplorer);
        h.list.appendSite(QStringLiteral("www.site.org"));
        h.run.openAll();
        const QString said = h.ui.plainMessages().value(0);
        QVERIFY2(said.startsWith(QLatin1String("The default browser is not installed"))
                     && said.endsWith(note),
                 qPrintable(said));
        return;
    }
    QVERIFY(browser);
    QCOMPARE(QFileInfo(browser->program).fileName(), program);
    QCOMPARE(browser->note, note);
    // The run says which entry it passed over, and why.
    RunHarness h;
    h.choices.select(Option::InternetExplorer);
    h.choices.select(Option::SameState);
    h.list.appendSite(QStringLiteral("www.site.org"));
    h.run.openAll();
    QTRY_COMPARE(readLog(sandbox.log()).size(), 1);
    QCOMPARE(readLog(sandbox.log()).first().last(), QStringLiteral("www.site.org"));
    QCOMPARE(h.ui.plainMessages(), note.isEmpty() ? QStringList() : QStringList{note});
}

void TestBrowsers::privateWindowOfTheDefaultBrowser_data()
{
    QTest::addColumn<QString>("exec");
    QTest::addColumn<QByteArray>("actions"); // the Actions key and its groups
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments"); // what the browser is given; empty: refused
    QTest::newRow("its private action")
        << "fakeweb %u"
        << QByteArray("Actions=New;new-private-window;\n[Desktop Action new-private-window]\nExec=fakeweb "
                      "--private-window %U --after\n")
        << "fakeweb" << QStringList{"--private-window", "www.site.org", "--after"};
    QTest::newRow("an incognito action without a field code")
        << "fakeweb %U"
        << QByteArray("Actions=incognito;\n[Desktop Action incognito]\nExec=fakeweb --incognito\n")
        << "fakeweb" << QStringList{"--incognito", "www.site.org"};
    QTest::newRow("an action named otherwise, told by its flag")
        << "fakeweb %u"
        << QByteArray("Actions=secret;\n[Desktop Action secret]\nExec=firefox -inprivate %u\n") << "firefox"
        << QStringList{"-inprivate", "www.site.org"};
    QTest::newRow("no private action, a browser we know")
        << "firefox %u" << QByteArray("Actions=New;\n") << "firefox"
        << QStringList{"-private-window", "www.site.org"};
    QTest::newRow("no private action, a browser we do not know")
        << "fakeweb %u" << QByteArray("Actions=New;\n") << "fakeweb" << QStringList{};
}

// The default browser's private window: the action its desktop entry
// declares for it, else the flag of a browser we know, else none.
void TestBrowsers::privateWindowOfTheDefaultBrowser()
{
    QFETCH(QString, exec);
    QFETCH(QByteArray, actions);
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    Sandbox sandbox;
    sandbox.install(QStringLiteral("fakeweb"));
    sandbox.install(QStringLiteral("firefox"));
    sandbox.installDefaultBrowser(exec, "Categories=Network;WebBrowser;\n" + actions);
    ProcessBrowserLauncher launcher;
    const std::optional<ResolvedBrowser> found = launcher.resolve(Browser::Default);
    QVERIFY(found);
    const ResolvedBrowser browser = launcher.inPrivateWindow(*found);
    QCOMPARE(QFileInfo(browser.program).fileName(), program);
    if (arguments.isEmpty()) {
        // Named as the desktop's menu names it, not by its program file.
        QVERIFY2(browser.refusal.startsWith(QLatin1String("Fake Web has no private window")),
                 qPrintable(browser.refusal));
        return;
    }
    QVERIFY(browser.refusal.isEmpty());
    QVERIFY(launcher.start(browser, QByteArrayLiteral("www.site.org")));
    QTRY_COMPARE(readLog(sandbox.log()).size(), 1);
    QCOMPARE(readLog(sandbox.log()).first(), arguments);
}

void TestBrowsers::hostileAddressesArriveAsOneArgument()
{
    Sandbox sandbox;
    sandbox.install(QStringLiteral("firefox"));
    RunHarness h;
    h.choices.select(
        Option::InternetExplorer); // Internet Explorer: the desktop default, here the first browser found
    h.choices.select(Option::SameState);
    const QStringList launched{"\" --flag \"",    "with blanks", "quote\"inside",
                               "tab\there",       "new\nline",   "bücher.de/straße",
                               "$(touch /tmp/x)", "a;b|c&d",     "www.site.org"};
    const QStringList refused{"--gpu-launcher=x", "-profile /tmp/x", "  -x"};
    for (const QString &address : refused + launched)
        h.list.appendSite(address);
    // A line of a Windows-1252 list: not UTF-8, and it must stay as it is.
    h.list.appendSiteBytes("caf\xE9");
    h.run.openAll();
    QFile raw(sandbox.log());
    QVERIFY(raw.open(QIODevice::ReadOnly));
    QVERIFY(raw.readAll().endsWith(" 4:caf\xE9\n"));
    // Several to a start (no delay, a browser that takes them), each one
    // argument, in list order.
    QStringList arrived = newTabAddresses(readLog(sandbox.log()));
    QCOMPARE(arrived.size(), launched.size() + 1);
    arrived.removeLast();
    QCOMPARE(arrived, launched);
    QCOMPARE(h.ui.plainMessages().size(), 1);
    QVERIFY(h.ui.plainMessages().first().startsWith(QStringLiteral("3 addresses were not opened")));
}

void TestBrowsers::browserInheritsNothingOfOurs()
{
    Sandbox sandbox;
    sandbox.install(QStringLiteral("firefox"));
    const QString kept = sandbox.bin() + QStringLiteral("/../kept");
    qputenv("FAKE_BROWSER_KEPT", QFile::encodeName(kept));
    // As if started under nohup, from a script with "&", holding a
    // descriptor someone forgot to mark close-on-exec.
    const int leaked = ::open("/dev/null", O_RDONLY);
    QVERIFY(leaked > 2);
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction before[3] = {};
    const int signals[3] = {SIGHUP, SIGINT, SIGQUIT};
    for (int i = 0; i < 3; ++i)
        ::sigaction(signals[i], &ignore, &before[i]);
    ProcessBrowserLauncher launcher;
    const std::optional<ResolvedBrowser> browser = launcher.resolve(Browser::Firefox);
    QVERIFY(browser);
    const std::optional<qint64> pid = launcher.start(*browser, "www.example.org");
    for (int i = 0; i < 3; ++i)
        ::sigaction(signals[i], &before[i], nullptr);
    ::close(leaked);
    qunsetenv("FAKE_BROWSER_KEPT");
    QVERIFY(pid);
    QTRY_VERIFY(!launcher.running(*pid));
    QFile report(kept);
    QVERIFY(report.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = report.readAll().split('\n');
    QCOMPARE(lines.value(0).trimmed(), QByteArray()); // no descriptor beyond 0, 1 and 2
    QCOMPARE(lines.value(1).simplified(), QByteArray("SigBlk: 0000000000000000"));
    QCOMPARE(lines.value(2).simplified(), QByteArray("SigIgn: 0000000000000000"));
}

void TestBrowsers::howAStartedProgramEnded_data()
{
    QTest::addColumn<QByteArray>("end");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("code");
    QTest::newRow("status 0") << QByteArray("0") << int(ProcessExit::Kind::Success) << 0;
    QTest::newRow("status 3") << QByteArray("3") << int(ProcessExit::Kind::Failure) << 3;
    QTest::newRow("crash") << QByteArray("crash") << int(ProcessExit::Kind::Crash) << SIGSEGV;
}

void TestBrowsers::howAStartedProgramEnded()
{
    QFETCH(QByteArray, end);
    QFETCH(int, kind);
    QFETCH(int, code);
    Sandbox sandbox;
    sandbox.install(QStringLiteral("firefox"));
    ProcessBrowserLauncher launcher;
    const std::optional<qint64> pid = startFirefox(launcher, "FAKE_BROWSER_END", end);
    QVERIFY(pid);
    QTRY_VERIFY(!launcher.running(*pid));
    QCOMPARE(int(launcher.exitOf(*pid).kind), kind);
    QCOMPARE(launcher.exitOf(*pid).code, code);
    QCOMPARE(readLog(sandbox.log()).size(), 1);
}

void TestBrowsers::aBrowserThatEndsLaterLeavesNoZombie()
{
    // The browser the run started is closed by the user long after: nobody
    // asks about it, and it is gone all the same.
    Sandbox sandbox;
    sandbox.install(QStringLiteral("firefox"));
    ProcessBrowserLauncher launcher;
    const std::optional<qint64> pid = startFirefox(launcher, "FAKE_BROWSER_TITLE", " - Mozilla Firefox");
    QVERIFY(pid);
    const QString proc = QStringLiteral("/proc/%1").arg(*pid);
    QTRY_COMPARE(readLog(sandbox.log()).size(), 1);
    QVERIFY(QFileInfo::exists(proc));
    QFile stop(QString::fromLocal8Bit(qgetenv("FAKE_BROWSER_STOP")));
    QVERIFY(stop.open(QIODevice::WriteOnly));
    stop.close();
    QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(proc), 10'000);
    QCOMPARE(int(launcher.exitOf(*pid).kind), int(ProcessExit::Kind::Success));
}

void TestBrowsers::manyBrowsersThatStayHoldFewDescriptors()
{
    // More started programs alive at once than are watched: the program's
    // descriptors are not used up, and every one is reaped once it ends.
    const auto openDescriptors = [] { return QDir(QStringLiteral("/proc/self/fd")).count(); };
    const uint before = openDescriptors();
    ProcessBrowserLauncher launcher;
    const ResolvedBrowser sleeper{
        QStandardPaths::findExecutable(QStringLiteral("sleep")), {}, {}, {}, {}, {}};
    QVERIFY(!sleeper.program.isEmpty());
    constexpr int kCount = ProcessBrowserLauncher::kMostWatched + 12;
    QList<qint64> pids;
    for (int i = 0; i < kCount; ++i) {
        const std::optional<qint64> pid = launcher.start(sleeper, "0.5");
        QVERIFY(pid);
        pids << *pid;
    }
    QVERIFY2(openDescriptors() <= before + ProcessBrowserLauncher::kMostWatched,
             qPrintable(QString::number(openDescriptors() - before)));
    const auto gone = [&] {
        return std::none_of(pids.begin(), pids.end(), [](qint64 pid) {
            return QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
        });
    };
    // The watched ones as they end; the others at the next start.
    QTest::qWait(1500);
    const std::optional<qint64> last = launcher.start(sleeper, "0");
    QVERIFY(last);
    pids << *last;
    QTRY_VERIFY_WITH_TIMEOUT(gone(), 10'000);
    QCOMPARE(openDescriptors(), before);
}

void TestBrowsers::aCrashedStartIsStartedAgain()
{
    // The first start for an address crashes (as a Firefox hand-over on a
    // busy desktop did); the next one opens it.
    Sandbox sandbox;
    sandbox.install(QStringLiteral("firefox"));
    const QTemporaryDir marks;
    qputenv("FAKE_BROWSER_TITLE", " - Mozilla Firefox");
    qputenv("FAKE_BROWSER_END", "crash");
    qputenv("FAKE_BROWSER_END_ONCE", QFile::encodeName(marks.filePath(QStringLiteral("crashed"))));
    RunHarness h;
    h.choices.select(Option::Firefox);
    h.choices.select(Option::Minimized);
    for (const char *address : {"first", "second"})
        h.list.appendSite(QString::fromLatin1(address));
    h.run.openAll();
    for (const char *name : {"FAKE_BROWSER_TITLE", "FAKE_BROWSER_END", "FAKE_BROWSER_END_ONCE"})
        qunsetenv(name);
    QStringList arrived;
    for (const QStringList &args : readLog(sandbox.log()))
        arrived << args;
    QCOMPARE(arrived, (QStringList{"first", "first", "second"}));
    QCOMPARE(h.ui.plainMessages(),
             QStringList{QStringLiteral(
                 "firefox failed while taking 1 address and was started again for it:\nfirst")});
}

void TestBrowsers::endToEnd_data()
{
    QTest::addColumn<int>("browser");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("installed");
    QTest::addColumn<QString>("titleSuffix");
    QTest::newRow("internet explorer, maximized") << 1 << 6 << "fakeweb"
                                                  << " - Fake Web";
    QTest::newRow("chrome, default") << 2 << 4 << "google-chrome"
                                     << " - Google Chrome";
    QTest::newRow("chrome, minimized") << 2 << 5 << "google-chrome"
                                       << " - Google Chrome";
    QTest::newRow("chromium, maximized") << 2 << 6 << "chromium"
                                         << " - Chromium";
    QTest::newRow("firefox, minimized") << 3 << 5 << "firefox-esr"
                                        << " — Mozilla Firefox";
    QTest::newRow("firefox, maximized") << 3 << 6 << "firefox"
                                        << " — Mozilla Firefox";
}

void TestBrowsers::endToEnd()
{
    QFETCH(int, browser);
    QFETCH(int, state);
    QFETCH(QString, installed);
    QFETCH(QString, titleSuffix);
    Sandbox sandbox;
    sandbox.install(installed);
    if (browser == 1)
        sandbox.installDefaultBrowser(QStringLiteral("fakeweb %u"));
    qputenv("FAKE_BROWSER_TITLE", titleSuffix.toUtf8());

    RunHarness h;
    h.choices.select(Option(browser));
    h.choices.select(Option(state));
    const QStringList addresses{
        QStringLiteral("www.first-%1.org").arg(QTest::currentDataTag()).replace(' ', '_'),
        QStringLiteral("second page")};
    for (const QString &address : addresses)
        h.list.appendSite(address);
    h.run.openAll();
    QVERIFY2(h.ui.messages.empty(), qPrintable(h.ui.messages.empty() ? QString() : h.ui.messages[0].prompt));
    QTRY_COMPARE(readLog(sandbox.log()).size(), 2);
    QStringList arrived;
    for (const QStringList &args : readLog(sandbox.log()))
        arrived << args;
    QCOMPARE(arrived, addresses);

    if (browser == 1)
        return; // the show command cannot be handed to a Linux browser
    // What the window manager reports about the browser windows.
    XcbWindowSystem windows;
    TestWindows x;
    // The default state does not wait for the windows: wait for them here.
    const auto browserWindows = [&] {
        int n = 0;
        for (const TopLevelWindow &window : windows.topLevelWindows())
            n += window.title.endsWith(titleSuffix) ? 1 : 0;
        return n;
    };
    QVERIFY(x.waitUntil([&] { return browserWindows() == 2; }));
    int checked = 0;
    for (const TopLevelWindow &window : windows.topLevelWindows()) {
        if (!window.title.endsWith(titleSuffix))
            continue;
        ++checked;
        if (state == 5)
            QVERIFY(x.waitUntil([&] { return x.wmState(window.id) == 3; }));
        else if (state == 6)
            QVERIFY(x.waitUntil([&] { return x.maximized(window.id); }));
        else
            QVERIFY(x.wmState(window.id) == 1 && !x.maximized(window.id));
    }
    QCOMPARE(checked, 2);
}

void TestBrowsers::aBrowserShowingOnlyAMessageStopsTheRun()
{
    // As Firefox stuck on its start-up question: every start shows a
    // dialog of the browser's class, titled with its word, and stays.
    Sandbox sandbox;
    sandbox.install(QStringLiteral("firefox"));
    qputenv("FAKE_BROWSER_TITLE", " - Close Firefox");
    qputenv("FAKE_BROWSER_DIALOG", "1");
    RunHarness h;
    h.choices.select(Option::Firefox);
    h.choices.select(Option::Minimized);
    for (const char *address : {"first", "second", "third"})
        h.list.appendSite(QString::fromLatin1(address));
    h.run.openAll();
    qunsetenv("FAKE_BROWSER_DIALOG");
    QCOMPARE(readLog(sandbox.log()).size(), 1);
    QCOMPARE(h.ui.plainMessages().size(), 1);
    QVERIFY2(h.ui.plainMessages()[0].startsWith(
                 QStringLiteral("Firefox showed a message instead of the page: first - Close Firefox\n")),
             qPrintable(h.ui.plainMessages()[0]));
    // The message was left as it was: not minimized.
    XcbWindowSystem windows;
    int dialogs = 0;
    for (const TopLevelWindow &window : windows.topLevelWindows()) {
        if (window.title == QLatin1String("first - Close Firefox")) {
            ++dialogs;
            QVERIFY(window.dialog);
            TestWindows x;
            QCOMPARE(x.wmState(window.id), 1u);
        }
    }
    QCOMPARE(dialogs, 1);
}

void TestBrowsers::tenThousandAddresses()
{
    // A sanitized build starts each process many times slower; the full
    // volume runs in the plain build, the same path here on a tenth of it.
    constexpr int count = ZD_VOLUME_ADDRESSES;
    Sandbox sandbox;
    sandbox.install(QStringLiteral("firefox"));
    RunHarness h;
    h.choices.select(Option::InternetExplorer);
    h.choices.select(Option::SameState);
    QStringList expected;
    for (int i = 0; i < count; ++i) {
        expected << QStringLiteral("http://site%1.example/").arg(i);
        h.list.appendSite(expected.back());
    }
    h.run.openAll();
    // No delay and a browser that takes several: a batch to each start.
    constexpr int starts = (count + LaunchRun::kBatchSize - 1) / LaunchRun::kBatchSize;
    QVERIFY(h.ui.pumps >= starts);
    QTRY_COMPARE_WITH_TIMEOUT(readLog(sandbox.log()).size(), starts, 60'000);
    QCOMPARE(newTabAddresses(readLog(sandbox.log())), expected); // each exactly once, in the list's order
}

QTEST_GUILESS_MAIN(TestBrowsers)
#include "tst_browsers.moc"
