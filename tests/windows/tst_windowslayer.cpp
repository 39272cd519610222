// The Windows layer on a Windows system (Wine on the build machine): the
// registry as the settings store, files replaced the Windows way, command
// lines that hand a browser each address whole, and pages fetched the way
// the user's proxy settings say.
#include "core/errorreport.h"
#include "core/optionchoices.h"
#include "core/windows/registrysettingsstore.h"
#include "extract/networkdownloader.h"
#include "extract/windows/winhttpproxies.h"
#include "fakes/fakeuiservices.h"
#include "support/httptestserver.h"
#include "launch/windows/commandlinequoting.h"
#include "support/savechecks.h"
#include "support/testfiles.h"

#include <QBuffer>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <shellapi.h>

using namespace zd;
using zd::test::FakeUiServices;
using zd::test::readFile;
using zd::test::saveTo;
using zd::test::writeTestFile;

namespace {

const QString kKey =
    RegistrySettingsStore::keyPath(QStringLiteral("Quillmoor"), QStringLiteral("Zentavia Desk"));

// reg.exe, as a person or a script would use it on the key.
QString reg(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("reg.exe"), arguments);
    if (!process.waitForFinished(30'000))
        return QStringLiteral("<reg.exe did not end>");
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// The proxy settings as Internet Options and Settings > Network > Proxy
// store them for the user: one binary value, its strings each after their
// length. Flags: 1 direct, 2 a proxy, 4 a configuration script, 8 detection.
void setUserProxySettings(DWORD flags, const QByteArray &proxy, const QByteArray &bypass,
                          const QByteArray &script)
{
    QByteArray value;
    const auto put = [&value](DWORD word) {
        value.append(reinterpret_cast<const char *>(&word), sizeof word);
    };
    put(0x46);
    put(1);
    put(flags);
    for (const QByteArray &text : {proxy, bypass, script}) {
        put(DWORD(text.size()));
        value += text;
    }
    value += QByteArray(32, '\0');
    RegSetKeyValueW(HKEY_CURRENT_USER,
                    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections",
                    L"DefaultConnectionSettings", REG_BINARY, value.constData(), DWORD(value.size()));
}

QString startUp(FakeUiServices &ui, QString *stored = nullptr)
{
    RegistrySettingsStore store(QStringLiteral("Quillmoor"), QStringLiteral("Zentavia Desk"));
    OptionChoices choices(store, ui);
    Procedure procedure(ui, QStringLiteral("in P "));
    choices.restore(procedure);
    QString selected;
    QStringList values;
    for (const Option option : kAllOptions) {
        selected += choices.isSelected(option) ? QLatin1Char('1') : QLatin1Char('0');
        values << store.value(OptionChoices::keyFor(option)).value_or(QStringLiteral("-"));
    }
    if (stored)
        *stored = values.join(QLatin1Char(','));
    return selected;
}

std::wstring native(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

// A file's access list in the system's own notation; empty when unreadable.
QString accessList(const QString &path)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(native(path).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, nullptr, nullptr, &descriptor)
        != ERROR_SUCCESS)
        return {};
    wchar_t *text = nullptr;
    QString list;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                             DACL_SECURITY_INFORMATION, &text, nullptr)) {
        list = QString::fromWCharArray(text);
        LocalFree(text);
    }
    LocalFree(descriptor);
    return list;
}

bool setAccessList(const QString &path, const QString &sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.toStdWString().c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return false;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    const bool set = SetNamedSecurityInfoW(const_cast<wchar_t *>(native(path).c_str()), SE_FILE_OBJECT,
                                           DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                           nullptr, nullptr, dacl, nullptr)
                     == ERROR_SUCCESS;
    LocalFree(descriptor);
    return set;
}

QStringList parsedBack(const QString &line)
{
    int count = 0;
    QStringList arguments;
    if (wchar_t **argv = CommandLineToArgvW(line.toStdWString().c_str(), &count)) {
        for (int i = 0; i < count; ++i)
            arguments << QString::fromWCharArray(argv[i]);
        LocalFree(argv);
    }
    return arguments;
}

} // namespace

class TestWindowsLayer : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void settingsLiveInTheRegistry();
    void saveTheWindowsWay_data();
    void saveTheWindowsWay();
    void everyAddressIsOneArgument();
    void pagesComeThroughTheUsersProxy_data();
    void pagesComeThroughTheUsersProxy();

private:
    QTemporaryDir m_dir;
};

void TestWindowsLayer::settingsLiveInTheRegistry()
{
    reg({QStringLiteral("delete"), kKey, QStringLiteral("/f")});
    // First start: the defaults, written as the first platform wrote them.
    FakeUiServices ui;
    QString stored;
    QCOMPARE(startUp(ui, &stored), QStringLiteral("100100"));
    QCOMPARE(stored, QStringLiteral("True,False,False,True,False,False"));
    const QString query = reg({QStringLiteral("query"), kKey});
    QVERIFY2(query.contains(QRegularExpression(QStringLiteral("Option1\\s+REG_SZ\\s+True"))),
             qPrintable(query));
    QVERIFY2(query.contains(QRegularExpression(QStringLiteral("Option6\\s+REG_SZ\\s+False"))),
             qPrintable(query));

    // Choices another program stored there carry over: a number counts, an
    // empty value is not a missing one, binary data is no choice.
    const auto add = [](const char *name, const char *type, const char *data) {
        reg({QStringLiteral("add"), kKey, QStringLiteral("/v"), QLatin1String(name), QStringLiteral("/t"),
             QLatin1String(type), QStringLiteral("/d"), QLatin1String(data), QStringLiteral("/f")});
    };
    add("Option1", "REG_SZ", "0");
    add("Option2", "REG_DWORD", "0");
    add("Option3", "REG_SZ", "-1");
    add("Option4", "REG_SZ", "");
    add("Option5", "REG_BINARY", "01");
    add("Option6", "REG_SZ", "TRUE");
    FakeUiServices again;
    QCOMPARE(startUp(again, &stored), QStringLiteral("001001"));
    QCOMPARE(again.reportLabels(), (QStringList{QStringLiteral("138"), QStringLiteral("140")}));
    QCOMPARE(stored, QStringLiteral("False,False,True,False,False,True"));
    QVERIFY(reg({QStringLiteral("query"), kKey, QStringLiteral("/v"), QStringLiteral("Option5")})
                .contains(QRegularExpression(QStringLiteral("Option5\\s+REG_SZ\\s+False"))));
}

void TestWindowsLayer::saveTheWindowsWay_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("refusal"); // empty: the save succeeds
    QTest::newRow("new file") << m_dir.filePath(QStringLiteral("new.txt")) << QString();
    QTest::newRow("over a file with an access list")
        << m_dir.filePath(QStringLiteral("acl.txt")) << QString();
    QTest::newRow("over a read-only file")
        << m_dir.filePath(QStringLiteral("readonly.txt")) << QStringLiteral("is read-only");
    QTest::newRow("a device's name") << m_dir.filePath(QStringLiteral("nul.txt"))
                                     << QStringLiteral("is a device");
    QTest::newRow("a device path") << QStringLiteral("\\\\.\\COM1") << QStringLiteral("is a device");
    QTest::newRow("a folder") << m_dir.path() << QStringLiteral("is a folder");
    QTest::newRow("a long path") << m_dir.filePath(QString(120, QLatin1Char('d')) + QLatin1Char('/')
                                                   + QString(120, QLatin1Char('e')) + QLatin1Char('/')
                                                   + QString(40, QLatin1Char('f')) + QStringLiteral(".txt"))
                                 << QString();
    // A small full disk, mapped as a drive of its own by the test command.
    if (const QString full = qEnvironmentVariable("ZD_FULL_DRIVE"); !full.isEmpty())
        QTest::newRow("onto a full disk") << full + QStringLiteral("/list.txt") << QStringLiteral("disk");
}

void TestWindowsLayer::saveTheWindowsWay()
{
    QFETCH(QString, target);
    QFETCH(QString, refusal);
    const QByteArray old("precious\r\n");
    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    const QString folder = QFileInfo(target).absolutePath();
    if (tag.contains(QLatin1String("long path")))
        QVERIFY(QDir().mkpath(folder));
    if (!tag.contains(QLatin1String("device")) && !tag.contains(QLatin1String("folder"))
        && !tag.startsWith(QLatin1String("new")) && !tag.contains(QLatin1String("long")))
        QVERIFY(QFile::exists(target) || writeTestFile(target, old));
    const QString sddl = QStringLiteral("D:P(A;;FA;;;WD)(A;;FR;;;BU)");
    if (tag.contains(QLatin1String("access list")))
        QVERIFY(setAccessList(target, sddl));
    if (tag.contains(QLatin1String("read-only")))
        QVERIFY(SetFileAttributesW(native(target).c_str(), FILE_ATTRIBUTE_READONLY));
    const QString listBefore = accessList(target);
    const bool hasFolder = !tag.contains(QLatin1String("device path"));
    const QStringList folderBefore =
        hasFolder ? QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System) : QStringList();

    // Big enough to need more than one write where the disk is full.
    QStringList items;
    for (int i = 0; i < 20'000; ++i)
        items << QStringLiteral("http://example.com/%1").arg(i);
    const auto ui = saveTo(target, items);

    if (refusal.isEmpty()) {
        QVERIFY2(ui->plainMessages().contains(QStringLiteral("Done.")),
                 qPrintable(ui->errorReports().join('|')));
        const QByteArray saved = readFile(target);
        QCOMPARE(saved.count("\r\n"), items.size());
        QVERIFY(saved.startsWith("http://example.com/0\r\nhttp://example.com/1\r\n"));
        if (tag.contains(QLatin1String("access list")))
            QCOMPARE(accessList(target), listBefore);
        return;
    }
    // One sentence: Windows' words, then the path ("...disk: T:\list.txt").
    QVERIFY2(ui->errorReports().value(0).contains(refusal, Qt::CaseInsensitive)
                 && !ui->errorReports().value(0).contains(QLatin1String(".:")),
             qPrintable(ui->errorReports().value(0)));
    QVERIFY(!ui->plainMessages().contains(QStringLiteral("Done.")));
    if (QFileInfo(target).isFile()) {
        QCOMPARE(readFile(target), old);
        QCOMPARE(accessList(target), listBefore);
    }
    // No temporary file left behind.
    if (hasFolder)
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System), folderBefore);
    SetFileAttributesW(native(target).c_str(), FILE_ATTRIBUTE_NORMAL);
}

void TestWindowsLayer::everyAddressIsOneArgument()
{
    const QStringList addresses{
        QStringLiteral("http://a.example/"),
        QStringLiteral("http://a.example/x y"),
        QStringLiteral("http://a.example/\" --new-window http://b.example/"),
        QStringLiteral("http://a.example/dir\\"),
        QStringLiteral("http://a.example/dir\\\\"),
        QStringLiteral("http://a.example/\\\"q\\"),
        QStringLiteral("http://a.example/?q=%25&a=1^2|3<4>5"),
        QStringLiteral("http://xn--caf-dma.example/caf\u00e9/\u65e5\u672c"),
        QStringLiteral("\t http://a.example/ \t"),
        QString(),
    };
    for (const QString &address : addresses) {
        const QString program = QStringLiteral("C:\\Program Files\\Browser\\browser.exe");
        const QStringList back = parsedBack(commandLine({program, address}));
        QCOMPARE(back, (QStringList{program, address}));
    }
}

void TestWindowsLayer::pagesComeThroughTheUsersProxy_data()
{
    // The test server is the proxy too; these hosts resolve nowhere else.
    QTest::addColumn<int>("flags");
    QTest::addColumn<QString>("script");   // the server's path of it; empty: none
    QTest::addColumn<QString>("variable"); // https_proxy, set for the row
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("route"); // -1: not asked here, as it takes its time
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("why"); // the second line of "URL not found"; %1 the script
    const int proxy = int(ProxyRoute::Kind::Proxy);
    const int direct = int(ProxyRoute::Kind::Direct);
    const QString viaProxy = QStringLiteral("http://via-proxy.invalid/links.html");
    const QString none;
    QTest::newRow("manual proxy") << 3 << none << ""
                                  << "http://zd-proxy.invalid/links.html" << proxy << true << none;
    QTest::newRow("manual proxy, host in the bypass list")
        << 3 << none << ""
        << "http://bypass.invalid/links.html" << direct << false << none;
    QTest::newRow("script: this host through the proxy") << 5 << "/proxy.pac"
                                                         << "" << viaProxy << proxy << true << none;
    QTest::newRow("script: any other direct") << 5 << "/proxy.pac"
                                              << ""
                                              << "http://other.invalid/links.html" << direct << false << none;
    QTest::newRow("a script that does not parse: said")
        << 5 << "/broken.pac"
        << "" << viaProxy << direct << false
        << "The proxy configuration script at %1 could not be fetched or run.";
    // Given up by the program itself, however long Wine's fetch would wait.
    QTest::newRow("a script that never answers: said")
        << 5 << "/stall"
        << "" << viaProxy << -1 << false << "The proxy configuration script at %1 did not answer.";
    QTest::newRow("nothing set: direct") << 1 << none << "" << viaProxy << direct << false << none;
    // The HTTPS server beside the test shows a self-signed certificate for
    // other.invalid; Wine's schannel alone lets it through.
    const QString tlsPort = qEnvironmentVariable("ZD_TEST_HTTPS_PORT");
    const QString unverified = QStringLiteral("The site's certificate could not be verified.");
    QTest::newRow("HTTPS, a certificate that does not verify")
        << 1 << none << ""
        << "https://127.0.0.1:" + tlsPort + "/links.html" << direct << false << unverified;
    QTest::newRow("HTTPS through the proxy, a certificate that does not verify")
        << 3 << none << ""
        << "https://other.invalid:" + tlsPort + "/links.html" << proxy << false << unverified;
    QTest::newRow("a variable wins") << 3 << none << "127.0.0.1:1"
                                     << "https://zd-proxy.invalid/" << int(ProxyRoute::Kind::Default) << false
                                     << "The proxy 127.0.0.1:1 could not be reached.";
}

void TestWindowsLayer::pagesComeThroughTheUsersProxy()
{
    QFETCH(int, flags);
    QFETCH(QString, script);
    QFETCH(QString, variable);
    QFETCH(QString, address);
    QFETCH(int, route);
    QFETCH(bool, found);
    QFETCH(QString, why);
    test::HttpTestServer server;
    QVERIFY(server.isRunning());
    const QByteArray at = QUrl(server.url(QStringLiteral("/"))).authority().toLatin1();
    const QString scriptUrl = script.isEmpty() ? QString() : server.url(script);
    setUserProxySettings(DWORD(flags), at, "<local>;bypass.invalid", scriptUrl.toLatin1());
    qputenv("https_proxy", variable.toLatin1());
    const auto restore = qScopeGuard([] {
        setUserProxySettings(1, {}, {}, {});
        qunsetenv("https_proxy");
    });
    const auto proxies = std::make_shared<const WinHttpProxies>();
    if (route >= 0) {
        const ProxyRoute asked = proxies->routeFor(QUrl(address));
        QCOMPARE(int(asked.kind), route);
        if (route == int(ProxyRoute::Kind::Proxy))
            QCOMPARE(asked.proxy, QString::fromLatin1(at));
    }
    NetworkDownloader downloader(5'000, 30'000, kMaxPageBytes, proxies, 2'000);
    QBuffer page;
    page.open(QIODevice::WriteOnly);
    const DownloadStatus status = downloader.download(address, page);
    QCOMPARE(status == DownloadStatus::Complete, found);
    if (found)
        QVERIFY(page.data().contains("other.example"));
    QCOMPARE(downloader.failureReason(), why.contains(QLatin1String("%1")) ? why.arg(scriptUrl) : why);
}

QTEST_GUILESS_MAIN(TestWindowsLayer)
#include "tst_windowslayer.moc"
