// Runs with the real Windows launcher and window walk under Wine: a fake
// browser registered under App Paths as firefox.exe and chrome.exe writes
// down what it got and opens windows of the real browsers' classes.
#include "core/clock.h"
#include "core/optionchoices.h"
#include "fakes/fakelaunch.h"
#include "fakes/fakeplatform.h"
#include "fakes/fakeuiservices.h"
#include "launch/launchrun.h"
#include "launch/windows/processlauncher.h"
#include "launch/windows/win32windowsystem.h"
#include "sitelist/sitelistmodel.h"
#include "support/realrun.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <windows.h>

#include <algorithm>
#include <memory>

using namespace zd;
using namespace zd::test;

namespace {

const wchar_t kAppPaths[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

// The addresses the fake browsers wrote down, in the order they got them.
QStringList readLog(const QString &path)
{
    QFile file(path);
    QStringList addresses;
    if (!file.open(QIODevice::ReadOnly))
        return addresses;
    const QByteArray bytes = file.readAll();
    for (qsizetype at = 0; at < bytes.size();) {
        const qsizetype colon = bytes.indexOf(':', at);
        if (colon < 0)
            break;
        const int length = bytes.mid(at, colon - at).toInt();
        addresses << QString::fromUtf8(bytes.mid(colon + 1, length));
        at = colon + 1 + length + 1; // and the newline
    }
    return addresses;
}

// The fake installed as the browsers, for one test; every instance ends
// with it.
class Sandbox
{
public:
    const QStringList kNames{QStringLiteral("firefox.exe"), QStringLiteral("chrome.exe"),
                             QStringLiteral("msedge.exe")};

    Sandbox()
    {
        for (const QString &name : kNames) {
            const QString copy = m_dir.filePath(name);
            QFile::copy(QStringLiteral(ZD_FAKE_BROWSER), copy);
            const std::wstring key = kAppPaths + name.toStdWString();
            const std::wstring value = QDir::toNativeSeparators(copy).toStdWString();
            RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), nullptr, REG_SZ, value.c_str(),
                            DWORD((value.size() + 1) * sizeof(wchar_t)));
        }
        qputenv("ZD_FAKE_LOG", QFile::encodeName(QDir::toNativeSeparators(log())));
        qputenv("ZD_FAKE_STOP",
                QFile::encodeName(QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("stop")))));
    }
    ~Sandbox()
    {
        QFile stop(m_dir.filePath(QStringLiteral("stop")));
        stop.open(QIODevice::WriteOnly);
        stop.close();
        // The fakes notice and end; their copies can go once they have.
        for (int waited = 0; waited < 5000; waited += 100) {
            const bool gone = std::all_of(kNames.begin(), kNames.end(), [this](const QString &name) {
                return !QFile::exists(m_dir.filePath(name)) || QFile::remove(m_dir.filePath(name));
            });
            if (gone)
                break;
            QThread::msleep(100);
        }
        for (const wchar_t *name : {L"firefox.exe", L"chrome.exe", L"msedge.exe"})
            RegDeleteKeyW(HKEY_CURRENT_USER, (std::wstring(kAppPaths) + name).c_str());
        qunsetenv("ZD_FAKE_DIALOG");
        qunsetenv("ZD_FAKE_CRASH_ONCE");
    }
    QString log() const { return m_dir.filePath(QStringLiteral("log")); }
    QString file(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

bool writeFileBytes(const QString &path, const QByteArray &bytes)
{
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
}

// Runs without a delay between sites: the fakes need none.
struct RunHarness : RealRun<WindowsBrowserLauncher, Win32WindowSystem>
{
    RunHarness() { settings.setValue(QStringLiteral("Delay"), QStringLiteral("0")); }
};

// How the windows of a class are shown: 'n'ormal, 'm'inimized, 'M'aximized.
QString placementsOf(const wchar_t *className)
{
    QString shown;
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, className, nullptr))) {
        WINDOWPLACEMENT placement = {};
        placement.length = sizeof placement;
        GetWindowPlacement(window, &placement);
        shown += placement.showCmd == SW_SHOWMINIMIZED   ? QLatin1Char('m')
                 : placement.showCmd == SW_SHOWMAXIMIZED ? QLatin1Char('M')
                                                         : QLatin1Char('n');
    }
    return shown;
}

} // namespace

class TestWindowsBrowsers : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void addressesArriveOnceInOrderAndWindowsArePlaced_data();
    void addressesArriveOnceInOrderAndWindowsArePlaced();
    void aBrowserShowingOnlyAMessageStopsTheRun();
    void aCrashedStartIsStartedAgain();
    void aMissingBrowserIsNamed();
    void onlyAProgramFileGetsAddresses_data();
    void onlyAProgramFileGetsAddresses();
    void internetExplorerMeansTheDefaultWebBrowser();
};

void TestWindowsBrowsers::addressesArriveOnceInOrderAndWindowsArePlaced_data()
{
    QTest::addColumn<int>("browser");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("windowClass");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("privateFlag"); // empty: a normal window
    QTest::newRow("Firefox, maximized")
        << int(Option::Firefox) << int(Option::Maximized) << QStringLiteral("MozillaWindowClass")
        << QStringLiteral("M") << QString();
    QTest::newRow("Chrome, minimized")
        << int(Option::Chrome) << int(Option::Minimized) << QStringLiteral("Chrome_WidgetWin_1")
        << QStringLiteral("m") << QString();
    // Firefox's flag takes the one address after it: a start each, to the
    // one window of the browser that is up.
    QTest::newRow("Firefox, private, maximized")
        << int(Option::Firefox) << int(Option::Maximized) << QStringLiteral("MozillaWindowClass")
        << QStringLiteral("M") << QStringLiteral("-private-window");
    QTest::newRow("Chrome, private, minimized")
        << int(Option::Chrome) << int(Option::Minimized) << QStringLiteral("Chrome_WidgetWin_1")
        << QStringLiteral("m") << QStringLiteral("--incognito");
}

void TestWindowsBrowsers::addressesArriveOnceInOrderAndWindowsArePlaced()
{
    QFETCH(int, browser);
    QFETCH(int, state);
    QFETCH(QString, windowClass);
    QFETCH(QString, shown);
    QFETCH(QString, privateFlag);
    Sandbox sandbox;
    const QString folderLog = sandbox.file(QStringLiteral("folder"));
    qputenv("ZD_FAKE_FOLDER_LOG", QFile::encodeName(QDir::toNativeSeparators(folderLog)));
    auto h = std::make_unique<RunHarness>();
    h->choices.select(Option(browser));
    h->choices.select(Option(state));
    h->choices.setPrivateWindow(!privateFlag.isEmpty());
    QStringList addresses;
    for (int i = 0; i < 19; ++i)
        addresses << QStringLiteral("http://site%1.example/").arg(i);
    // One that a plain quoted command line would break in two or cut short.
    addresses.insert(7, QStringLiteral("http://a.example/x y\" --new-window \"%25^&|<>\\"));
    for (const QString &address : std::as_const(addresses))
        h->list.appendSite(address);
    h->run.openAll();
    QVERIFY2(h->ui.messages.empty(),
             qPrintable(h->ui.messages.empty() ? QString() : h->ui.messages[0].prompt));
    // What the fakes were given: the private flag before each start's
    // addresses (one start for the twenty at delay 0), and Firefox's -new-tab
    // before each of a batch's, which keeps them in the window it has.
    QStringList given = addresses;
    if (privateFlag.isEmpty() && windowClass == QLatin1String("MozillaWindowClass")) {
        given.clear();
        for (const QString &address : std::as_const(addresses))
            given << QStringLiteral("-new-tab") << address;
    } else if (privateFlag == QLatin1String("--incognito")) {
        given.prepend(privateFlag);
    } else if (!privateFlag.isEmpty()) {
        given.clear();
        for (const QString &address : std::as_const(addresses))
            given << privateFlag << address;
    }
    QCOMPARE(readLog(sandbox.log()), given);
    QTRY_COMPARE(placementsOf(reinterpret_cast<const wchar_t *>(windowClass.utf16())), shown);
    // Started in one empty folder of the program's own, which stays when the
    // browser outlives the program: nothing is left to remove.
    h.reset();
    qunsetenv("ZD_FAKE_FOLDER_LOG");
    QFile logged(folderLog);
    QVERIFY(logged.open(QIODevice::ReadOnly));
    const QByteArray bytes = logged.readAll();
    const QString folder =
        QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData()), bytes.size() / 2);
    const QString expected = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                             + QStringLiteral("/Zentavia Desk/Empty");
    QCOMPARE(QDir::cleanPath(QDir::fromNativeSeparators(folder)).toLower(),
             QDir::cleanPath(expected).toLower());
    QVERIFY(QDir(expected).exists() && QDir(expected).isEmpty());
    // Held a moment: with-x-states.sh looks from the X side every 0.2 s,
    // and one start for all the addresses leaves it little time.
    QTest::qWait(600);
}

void TestWindowsBrowsers::aBrowserShowingOnlyAMessageStopsTheRun()
{
    Sandbox sandbox;
    qputenv("ZD_FAKE_DIALOG", "1");
    RunHarness h;
    h.choices.select(Option::Firefox);
    h.choices.select(Option::Minimized);
    for (const char *address : {"first", "second", "third"})
        h.list.appendSite(QString::fromLatin1(address));
    h.run.openAll();
    // One start, given all three at delay 0; none after it.
    QCOMPARE(readLog(sandbox.log()),
             (QStringList{"-new-tab", "first", "-new-tab", "second", "-new-tab", "third"}));
    QCOMPARE(h.ui.plainMessages().size(), 1);
    QVERIFY2(h.ui.plainMessages()[0].startsWith(
                 QStringLiteral("Firefox showed a message instead of the page: first - Close Firefox")),
             qPrintable(h.ui.plainMessages()[0]));
    // The message was left as it was.
    const HWND dialog = FindWindowW(L"#32770", L"first - Close Firefox");
    QVERIFY(dialog);
    QVERIFY(!IsIconic(dialog));
}

void TestWindowsBrowsers::aCrashedStartIsStartedAgain()
{
    Sandbox sandbox;
    qputenv("ZD_FAKE_CRASH_ONCE",
            QFile::encodeName(QDir::toNativeSeparators(sandbox.file(QStringLiteral("crashed")))));
    RunHarness h;
    h.choices.select(Option::Chrome);
    h.choices.select(Option::SameState);
    const QStringList addresses{QStringLiteral("http://one.example/"), QStringLiteral("http://two.example/")};
    for (const QString &address : addresses)
        h.list.appendSite(address);
    h.run.openAll();
    QVERIFY(QFile::exists(sandbox.file(QStringLiteral("crashed"))));
    QCOMPARE(readLog(sandbox.log()), addresses);
    QCOMPARE(h.ui.plainMessages().size(), 1);
    QVERIFY2(h.ui.plainMessages()[0].contains(QStringLiteral("http://one.example/")),
             qPrintable(h.ui.plainMessages()[0]));
}

void TestWindowsBrowsers::aMissingBrowserIsNamed()
{
    RunHarness h;
    h.choices.select(Option::Firefox);
    h.list.appendSite(QStringLiteral("http://a.example/"));
    h.run.openAll();
    QCOMPARE(h.ui.plainMessages(),
             QStringList{QStringLiteral(
                 "Firefox is not installed, so no site was opened.\r\nLooked for: firefox.exe")});
}

void TestWindowsBrowsers::onlyAProgramFileGetsAddresses_data()
{
    QTest::addColumn<QString>("file"); // what "firefox.exe" is found as
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("machine"); // App Paths of the machine, not the user's
    QTest::addColumn<QString>("said"); // after the file's path
    const QByteArray logsItsArguments = "@echo %* >> \"%~dp0batlog.txt\"\r\n";
    const QString batch = QStringLiteral(" is a batch file; addresses are passed only to browser programs "
                                         "ending in .exe, so no site was opened.");
    QTest::newRow("a batch file, App Paths of the user")
        << "firefox.bat" << logsItsArguments << false << batch;
    QTest::newRow("a command file, App Paths of the machine")
        << "firefox.cmd" << logsItsArguments << true << batch;
    QTest::newRow("a script of another kind")
        << "firefox.vbs" << QByteArray("WScript.Echo 1") << false
        << " is not a program file; addresses are passed only to browser "
           "programs ending in .exe, so no site was opened.";
    QTest::newRow("an empty program file")
        << "firefox.exe" << QByteArray() << false << " could not be started: ";
}

void TestWindowsBrowsers::onlyAProgramFileGetsAddresses()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(bool, machine);
    QFETCH(QString, said);
    QTemporaryDir dir;
    const QString program = QDir::toNativeSeparators(dir.filePath(file));
    QVERIFY(writeFileBytes(program, content));
    const HKEY root = machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    const std::wstring key = std::wstring(kAppPaths) + L"firefox.exe";
    const std::wstring value = program.toStdWString();
    RegSetKeyValueW(root, key.c_str(), nullptr, REG_SZ, value.c_str(),
                    DWORD((value.size() + 1) * sizeof(wchar_t)));
    const auto unregister = qScopeGuard([&] { RegDeleteKeyW(root, key.c_str()); });
    RunHarness h;
    h.choices.select(Option::Firefox);
    h.choices.select(Option::SameState);
    // A line a page's links may hold: it would run a command in a batch file.
    const QString hostile = QStringLiteral("http://a.test/\"&echo pwned>")
                            + QDir::toNativeSeparators(dir.filePath(QStringLiteral("pwned.txt")))
                            + QStringLiteral("&rem \"");
    h.list.appendSite(hostile);
    h.list.appendSite(QStringLiteral("http://a.test/%USERNAME%/"));
    h.run.openAll();
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("pwned.txt"))));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("batlog.txt"))));
    const QString message = h.ui.plainMessages().value(0);
    QVERIFY2(message.startsWith(program + said), qPrintable(message));
    // Windows' own words for why, its insert filled in.
    QVERIFY2(!message.contains(QLatin1String("Unknown error")) && !message.contains(QLatin1String("%1")),
             qPrintable(message));
    if (said.contains(QLatin1String("could not be started")))
        QVERIFY2(message.mid(program.size() + said.size()).contains(file), qPrintable(message));
    QVERIFY2(!message.contains(QStringLiteral("128 KiB")), qPrintable(message));
}

void TestWindowsBrowsers::internetExplorerMeansTheDefaultWebBrowser()
{
    Sandbox sandbox;
    const auto run = [](bool privateWindow = false) {
        RunHarness h;
        h.choices.select(Option::InternetExplorer);
        h.choices.select(Option::SameState);
        h.choices.setPrivateWindow(privateWindow);
        h.list.appendSite(QStringLiteral("http://a.example/"));
        h.run.openAll();
        return h.ui.plainMessages().join(QLatin1Char('|'));
    };
    // Wine's own default for http only hands addresses on: no web browser,
    // passed over for the first browser found.
    QString said = run();
    QVERIFY2(said.contains(QStringLiteral("was passed over: it is not a web browser")), qPrintable(said));
    QVERIFY2(said.contains(QStringLiteral("Internet Explorer is retired")), qPrintable(said));
    QCOMPARE(readLog(sandbox.log()), QStringList{QStringLiteral("http://a.example/")});

    // A web browser registered as such and made the default is the one.
    const std::wstring firefox =
        QDir::toNativeSeparators(sandbox.file(QStringLiteral("firefox.exe"))).toStdWString();
    const std::wstring command = L"\"" + firefox + L"\" \"%1\"";
    const auto setString = [](HKEY root, const wchar_t *key, const std::wstring &value) {
        RegSetKeyValueW(root, key, nullptr, REG_SZ, value.c_str(),
                        DWORD((value.size() + 1) * sizeof(wchar_t)));
    };
    // Wine reads the classes of the machine only (Windows merges the user's
    // over them): the machine's handler is put back afterwards.
    const wchar_t *httpCommand = L"Software\\Classes\\http\\shell\\open\\command";
    wchar_t before[1024] = {};
    DWORD size = sizeof before;
    RegGetValueW(HKEY_LOCAL_MACHINE, httpCommand, nullptr, RRF_RT_REG_SZ, nullptr, before, &size);
    setString(HKEY_CURRENT_USER, L"Software\\Clients\\StartMenuInternet\\FakeFox\\shell\\open\\command",
              command);
    setString(HKEY_LOCAL_MACHINE, httpCommand, command);
    said = run();
    // Private, the default browser gets its own flag: Edge's, once it is the one.
    const QString saidPrivate = run(true);
    const std::wstring edge =
        QDir::toNativeSeparators(sandbox.file(QStringLiteral("msedge.exe"))).toStdWString();
    const std::wstring edgeCommand = L"\"" + edge + L"\" \"%1\"";
    setString(HKEY_CURRENT_USER, L"Software\\Clients\\StartMenuInternet\\FakeEdge\\shell\\open\\command",
              edgeCommand);
    setString(HKEY_LOCAL_MACHINE, httpCommand, edgeCommand);
    const QString saidEdge = run(true);
    setString(HKEY_LOCAL_MACHINE, httpCommand, before);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Clients\\StartMenuInternet\\FakeFox");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Clients\\StartMenuInternet\\FakeEdge");
    QVERIFY2(saidPrivate.contains(QStringLiteral("went to Firefox")), qPrintable(saidPrivate));
    QVERIFY2(saidEdge.contains(QStringLiteral("went to Edge")), qPrintable(saidEdge));
    QVERIFY2(!said.contains(QStringLiteral("passed over")), qPrintable(said));
    QVERIFY2(
        said.contains(QStringLiteral("Internet Explorer is retired on this version of Windows, so the sites "
                                     "went to Firefox.")),
        qPrintable(said));
    QCOMPARE(readLog(sandbox.log()), (QStringList{"http://a.example/", "http://a.example/", "-private-window",
                                                  "http://a.example/", "-inprivate", "http://a.example/"}));
}

QTEST_GUILESS_MAIN(TestWindowsBrowsers)
#include "tst_windowsbrowsers.moc"
