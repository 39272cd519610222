#include "extract/extractionsuite.h"
#include "support/listchecks.h"
#include "extract/extraction.h"
#include "fakes/fakedownloader.h"
#include "fakes/fakeplatform.h"
#include "fakes/fakeuiservices.h"
#include "support/httptestserver.h"
#include "extract/linux/desktopproxies.h"
#include "extract/networkdownloader.h"
#include "sitelist/sitelistmodel.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <QElapsedTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include "support/faultyfilesystems.h"
#include "support/testfiles.h"

#include <QtTest>

#include <atomic>
#include <csignal>

#include <sys/stat.h>

namespace {
std::atomic<int> g_strayBusErrors{0};
} // namespace

using namespace zd;
using namespace zd::test;

class TestExtractionPosix : public ExtractionSuite
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void fileShortenedWhileScannedIsReported_data();
    void fileShortenedWhileScannedIsReported();
    void straySignalWithNoHandlerEndsTheProgram();
    void pageNeedsNoDiskSpace_data();
    void pageNeedsNoDiskSpace();
    void memoryRunningOutDuringTheDownloadIsReported();
    void selfSignedTlsIsRefused();
    void pagesComeThroughTheDesktopsProxy_data();
    void pagesComeThroughTheDesktopsProxy();
    void endlessHeadersEndAtTheirBound();
    void stopDuringANameLookupIsAtOnce();
};

void TestExtractionPosix::initTestCase()
{
    // A handler of SIGBUS before the mapped files' guard, to see that a
    // stray signal reaches it (Qt Test's own would take it for a crash).
    ::signal(SIGBUS, [](int) { ++g_strayBusErrors; });
    startServer();
}

void TestExtractionPosix::selfSignedTlsIsRefused()
{
    QTemporaryDir keys;
    const QString cert = keys.filePath(QStringLiteral("cert.pem"));
    const QString key = keys.filePath(QStringLiteral("key.pem"));
    const int made = QProcess::execute(QStringLiteral("openssl"),
                                       {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj",
                                        "/CN=127.0.0.1", "-days", "1", "-keyout", key, "-out", cert});
    if (made != 0)
        QSKIP("openssl is not available to make a certificate");
    HttpTestServer tls({QStringLiteral("--tls"), cert, key});
    QVERIFY(tls.isRunning());
    Run run;
    NetworkDownloader downloader(3'000, 10'000);
    Extraction extraction(run.ui, downloader, run.dialogs, run.list);
    QVERIFY(!extraction.getUrls(tls.url(QStringLiteral("/links.html"), QStringLiteral("https"))));
    QCOMPARE(run.list.count(), 0);
    QCOMPARE(run.ui.plainMessages(),
             QStringList{QStringLiteral("URL not found\r\nThe site's certificate could not be verified.")});
}

// The desktop's own settings as GNOME (GSettings' keyfile store) and KDE
// (kioslaverc, read by kreadconfig5) keep them in a home of the test's, read
// through libproxy; the test server is the proxy, and the .invalid hosts
// resolve nowhere else.
void TestExtractionPosix::pagesComeThroughTheDesktopsProxy_data()
{
    const QString port = QString::number(QUrl(m_server->url(QStringLiteral("/"))).port());
    const QString script = m_server->url(QStringLiteral("/proxy.pac"));
    const QString gnomeManual = QStringLiteral("[system/proxy]\nmode='manual'\nignore-hosts=['localhost', "
                                               "'%1']\n[system/proxy/http]\nhost='127.0.0.1'\nport=%2\n");
    const QString gnomeScript =
        QStringLiteral("[system/proxy]\nmode='auto'\nautoconfig-url='%1'\n").arg(script);
    const QString kdeManual = QStringLiteral("[Proxy Settings]\nProxyType=1\nhttpProxy=http://127.0.0.1 %2\n"
                                             "NoProxyFor=localhost,%1\n");
    const QString kdeScript =
        QStringLiteral("[Proxy Settings]\nProxyType=2\nProxy Config Script=%1\n").arg(script);
    const QString proxied = QStringLiteral("http://zd-proxy.invalid/links.html");
    const QString byScript = QStringLiteral("http://via-proxy.invalid/links.html");
    const QString notFound = QStringLiteral("URL not found");
    QTest::addColumn<QString>("desktop"); // the session's variable that libproxy reads
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QByteArray>("variable"); // http_proxy
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("said"); // empty: the page's three links
    const QString gnome = QStringLiteral("DESKTOP_SESSION=gnome");
    const QString kde = QStringLiteral("KDE_FULL_SESSION=true");
    QTest::newRow("GNOME, manual") << gnome << gnomeManual.arg("direct.invalid", port) << QByteArray()
                                   << proxied << "";
    QTest::newRow("GNOME, a host it ignores goes direct")
        << gnome << gnomeManual.arg("zd-proxy.invalid", port) << QByteArray() << proxied << notFound;
    QTest::newRow("GNOME, a script's proxy") << gnome << gnomeScript << QByteArray() << byScript << "";
    QTest::newRow("GNOME, a script's DIRECT") << gnome << gnomeScript << QByteArray() << proxied << notFound;
    QTest::newRow("KDE, manual") << kde << kdeManual.arg("direct.invalid", port) << QByteArray() << proxied
                                 << "";
    QTest::newRow("KDE, a host it ignores goes direct")
        << kde << kdeManual.arg("zd-proxy.invalid", port) << QByteArray() << proxied << notFound;
    QTest::newRow("KDE, a script's proxy") << kde << kdeScript << QByteArray() << byScript << "";
    QTest::newRow("a variable wins over the desktop")
        << gnome << gnomeManual.arg("direct.invalid", port) << QByteArrayLiteral("127.0.0.1:1") << proxied
        << notFound + QStringLiteral("\r\nThe proxy 127.0.0.1:1 could not be reached.");
    QTest::newRow("settings of a desktop not running go unread")
        << "" << gnomeManual.arg("direct.invalid", port) << QByteArray() << proxied << notFound;
}

void TestExtractionPosix::pagesComeThroughTheDesktopsProxy()
{
    QFETCH(QString, desktop);
    QFETCH(QString, settings);
    QFETCH(QByteArray, variable);
    QFETCH(QString, address);
    QFETCH(QString, said);
    QTemporaryDir home;
    const QString config = home.filePath(QStringLiteral(".config"));
    const bool kde = desktop.startsWith(QLatin1String("KDE"));
    const QString store =
        kde ? config + QStringLiteral("/kioslaverc") : config + QStringLiteral("/glib-2.0/settings/keyfile");
    QVERIFY(QDir().mkpath(QFileInfo(store).path()));
    QVERIFY(writeTestFile(store, settings.toUtf8()));
    const QByteArrayList names{"HOME",
                               "XDG_CONFIG_HOME",
                               "GSETTINGS_BACKEND",
                               "DESKTOP_SESSION",
                               "KDE_FULL_SESSION",
                               "XDG_CURRENT_DESKTOP",
                               "http_proxy"};
    QList<std::optional<QByteArray>> before;
    for (const QByteArray &name : names)
        before << (qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
    const auto restore = qScopeGuard([&] {
        for (int i = 0; i < names.size(); ++i)
            before[i] ? qputenv(names[i], *before[i]) : qunsetenv(names[i]);
    });
    for (const QByteArray &name : names)
        qunsetenv(name);
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    qputenv("GSETTINGS_BACKEND", "keyfile");
    if (!desktop.isEmpty())
        qputenv(desktop.section(QLatin1Char('='), 0, 0).toLatin1(),
                desktop.section(QLatin1Char('='), 1).toLatin1());
    if (!variable.isEmpty())
        qputenv("http_proxy", variable);
    Run run;
    NetworkDownloader downloader(5'000, 20'000, kMaxPageBytes, std::make_shared<const DesktopProxies>());
    Extraction extraction(run.ui, downloader, run.dialogs, run.list);
    run.ui.nextInputs.push_back(address);
    extraction.extractFromWebPage(QString());
    QCOMPARE(run.ui.plainMessages(), said.isEmpty() ? QStringList() : QStringList{said});
    QCOMPARE(run.list.count(), said.isEmpty() ? 3 : 0);
}

// Linux's client reads headers as they come and stops at their bound; the
// page's size bound, far above it, is not what stops them.
void TestExtractionPosix::endlessHeadersEndAtTheirBound()
{
    Run run;
    NetworkDownloader downloader(5'000, 60'000, 4 << 20);
    Extraction extraction(run.ui, downloader, run.dialogs, run.list);
    QVERIFY(!extraction.getUrls(m_server->url(QStringLiteral("/endless-headers"))));
    QCOMPARE(run.list.count(), 0);
    QCOMPARE(run.ui.plainMessages(), QStringList{QStringLiteral("URL not found")});
}

// A name server that never answers: Stop must not wait for the lookup to
// give up (30 s). Run again in a network and mount namespace of its own,
// where the name server is ours; needs root, as the real-browser rows do.
void TestExtractionPosix::stopDuringANameLookupIsAtOnce()
{
    constexpr int kLookupGivesUpMs = 30'000;
    if (!qEnvironmentVariableIsSet("ZD_SILENT_NAME_SERVER")) {
        if (::geteuid() != 0 || QProcess::execute(QStringLiteral("unshare"), {"-n", "-m", "true"}) != 0)
            QSKIP("needs root and namespaces for a name server of its own");
        QTemporaryDir dir;
        QFile resolv(dir.filePath(QStringLiteral("resolv.conf")));
        QVERIFY(resolv.open(QIODevice::WriteOnly));
        resolv.write("nameserver 127.0.0.2\noptions timeout:30 attempts:1\n");
        resolv.close();
        QProcess inner;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("ZD_SILENT_NAME_SERVER"), QStringLiteral("1"));
        inner.setProcessEnvironment(environment);
        inner.setProcessChannelMode(QProcess::ForwardedChannels);
        inner.start(QStringLiteral("unshare"),
                    {"-n", "-m", "sh", "-c",
                     "ip link set lo up && mount --bind \"$1\" /etc/resolv.conf && exec \"$0\" "
                     "stopDuringANameLookupIsAtOnce",
                     QCoreApplication::applicationFilePath(), resolv.fileName()});
        QVERIFY(inner.waitForFinished(2 * kLookupGivesUpMs));
        QCOMPARE(inner.exitStatus(), QProcess::NormalExit);
        QCOMPARE(inner.exitCode(), 0);
        return;
    }
    // The name server: a socket that takes every query and answers none.
    const int silent = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(53);
    address.sin_addr.s_addr = htonl(0x7F000002);
    QVERIFY(::bind(silent, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);
    struct Stopper final : DownloadMonitor
    {
        QElapsedTimer since;
        void downloadProgress(const QString &, qint64, qint64) override {}
        bool downloadStopRequested() const override { return since.elapsed() > 300; }
        void downloadFinished() override {}
    } stopper;
    Run run;
    NetworkDownloader downloader(60'000, 120'000);
    Extraction extraction(run.ui, downloader, run.dialogs, run.list);
    extraction.setDownloadMonitor(&stopper);
    stopper.since.start();
    QVERIFY(!extraction.getUrls(QStringLiteral("http://never-answered.example/")));
    QCOMPARE(run.ui.plainMessages(), QStringList{QStringLiteral("You stopped the download.")});
    // Before the lookup gave up: the stop did not wait for it.
    QVERIFY(stopper.since.elapsed() < kLookupGivesUpMs);
    ::close(silent);
}

void TestExtractionPosix::fileShortenedWhileScannedIsReported()
{
    QFETCH(bool, straySignalFirst);
    // Another program empties the file while it is being scanned, as a log
    // rotation does: a mapped reader would die of it.
    QTemporaryDir dir;
    if (straySignalFirst) {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("AddressSanitizer handles a SIGBUS it is sent itself, before the program can");
#endif
        const QString small = dir.filePath(QStringLiteral("small.txt"));
        QVERIFY(writeTestFile(small, "http://a.example/\n"));
        Run first;
        FakeDownloader unused;
        Extraction(first.ui, unused, first.dialogs, first.list).scanTextFile(small);
        QCOMPARE(first.list.count(), 1);
        QCOMPARE(::kill(::getpid(), SIGBUS), 0);
        QCOMPARE(g_strayBusErrors.load(), 1);
    }
    const QString path = dir.filePath(QStringLiteral("shrinking.txt"));
    QByteArray text;
    for (int i = 0; text.size() < 8 << 20; ++i)
        text += "see http://site" + QByteArray::number(i) + ".example/ here\n";
    QVERIFY(writeTestFile(path, text));
    const int lines = int(text.count('\n'));
    Run run;
    FakeDownloader downloader;
    Extraction extraction(run.ui, downloader, run.dialogs, run.list);
    bool shortened = false;
    run.ui.onPump = [&] {
        if (!shortened)
            shortened = ::truncate(QFile::encodeName(path).constData(), 4096) == 0;
    };
    run.dialogs.nextOpen.push_back({path});
    extraction.extractFromTextFiles();
    QVERIFY(shortened);
    QCOMPARE(run.ui.errorReports().size(), 1);
    QVERIFY2(run.ui.errorReports().first().contains(QStringLiteral("became shorter while it was read")),
             qPrintable(run.ui.errorReports().first()));
    // What was read before it went is kept; nothing after it is made up.
    QVERIFY(run.list.count() > 0);
    QVERIFY(run.list.count() < lines);
    QVERIFY(run.list.text(1).startsWith(QStringLiteral("http://site0.example/")));
}

void TestExtractionPosix::straySignalWithNoHandlerEndsTheProgram()
{
    // With nothing handling SIGBUS before the guard, a sent one does what it
    // would have done without it: the process ends of the signal.
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("AddressSanitizer handles a SIGBUS it is sent itself, before the program can");
#endif
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("mapped.txt"));
    QVERIFY(writeTestFile(file, "http://a.example/\n"));
    QProcess shell;
    shell.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("\"$0\" \"$1\"; echo $?"),
                                            QStringLiteral(ZD_STRAY_BUS), file});
    QVERIFY(shell.waitForFinished(30'000));
    QCOMPARE(shell.readAllStandardOutput().trimmed(), QByteArray::number(128 + SIGBUS));
}

void TestExtractionPosix::fileShortenedWhileScannedIsReported_data()
{
    QTest::addColumn<bool>("straySignalFirst");
    QTest::newRow("first scan") << false;
    // A SIGBUS sent by another program is no fault of a file: the guard stays.
    QTest::newRow("after a stray SIGBUS") << true;
}

void TestExtractionPosix::pageNeedsNoDiskSpace_data()
{
    QTest::addColumn<bool>("fullDisk");
    QTest::newRow("file size limit") << false;
    QTest::newRow("full temporary folder") << true;
    QTest::newRow("missing temporary folder") << true;
}

// The page goes from the network straight into the scan: a temporary
// folder that is full, missing or limited changes nothing.
void TestExtractionPosix::pageNeedsNoDiskSpace()
{
    QFETCH(bool, fullDisk);
    QTemporaryDir mountPoint;
    std::optional<SmallFileSystem> disk;
    std::optional<FileSizeLimit> limit;
    if (QByteArray(QTest::currentDataTag()).startsWith("missing")) {
        qputenv("TEMP", QFile::encodeName(m_temp.filePath(QStringLiteral("gone"))));
    } else if (fullDisk) {
        disk.emplace(mountPoint.path(), 64 * 1024);
        if (!disk->mounted())
            QSKIP("mounting a small tmpfs needs root; this row runs in CI");
        qputenv("TEMP", QFile::encodeName(mountPoint.path()));
    } else {
        limit.emplace(1 << 20);
    }
    Run run;
    NetworkDownloader downloader(5'000, 120'000);
    Extraction extraction(run.ui, downloader, run.dialogs, run.list);
    // About 5 MB of page.
    QVERIFY(extraction.getUrls(m_server->url(QStringLiteral("/large?n=100000"))));
    limit.reset();
    QCOMPARE(run.list.count(), 100'000);
    QVERIFY(run.ui.messages.empty());
}

// An endless page with the address space bounded: the download stops when
// the links found no longer fit, the report says so, and what was found is
// kept.
void TestExtractionPosix::memoryRunningOutDuringTheDownloadIsReported()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("AddressSanitizer reserves more address space than any bound leaves");
#endif
    QProcess helper;
    helper.start(QStringLiteral(ZD_PAGE_UNDER_LIMIT), {QStringLiteral("96")});
    QVERIFY(helper.waitForFinished(120'000));
    QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
    QCOMPARE(helper.exitCode(), 0);
    const QStringList lines = QString::fromLocal8Bit(helper.readAllStandardOutput()).split(QLatin1Char('\n'));
    const QStringList counts = lines.value(0).split(QLatin1Char(' '));
    QCOMPARE(counts.value(0), QStringLiteral("added"));
    QVERIFY2(counts.value(1).toInt() > 10'000, qPrintable(lines.value(0)));
    QCOMPARE(counts.value(3), QStringLiteral("0"));
    QVERIFY2(lines.value(1).startsWith(QStringLiteral("Out of memory")),
             qPrintable(lines.join(QLatin1Char('|'))));
}

QTEST_GUILESS_MAIN(TestExtractionPosix)
#include "tst_extraction_posix.moc"
