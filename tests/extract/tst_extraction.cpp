#include "extract/extractionsuite.h"
#include "support/listchecks.h"
#include "extract/extraction.h"
#include "fakes/fakedownloader.h"
#include "fakes/fakeplatform.h"
#include "fakes/fakeuiservices.h"
#include "support/httptestserver.h"
#include "extract/networkdownloader.h"
#include "sitelist/filechannel.h"
#include "sitelist/sitefiles.h"
#include "sitelist/sitelistmodel.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTimer>

#include <zlib.h>

#include <algorithm>

#include "support/platformfiles.h"
#include "support/testfiles.h"

#include <QtTest>

using namespace zd;
using namespace zd::test;

namespace {

QStringList itemsOf(const SiteListModel &model)
{
    return zd::test::textsOf(model);
}

} // namespace

class TestExtraction : public ExtractionSuite
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void pageLinksAreAppendedInOrder();
    void typedHostBecomesPageAddress();
    void selectedItemIsTheSuggestion();
    void cancelChangesNothing();
    void failures_data();
    void failures();
    void outcomeOfAnEndedAnswer_data();
    void outcomeOfAnEndedAnswer();
    void pagesReadWhole_data();
    void pagesReadWhole();
    void largePage();
    void memoryRunningOutIsReportedAndKeepsWhatWasFound();
    void compressedPageIsInflated_data();
    void compressedPageIsInflated();
    void oneExtractionAtATime();
    void textFiles();
    void textFileProblems_data();
    void textFileProblems();
    void endlessBodyStopsAtTheSizeBound();
    void headersCountAgainstTheSizeBound_data();
    void headersCountAgainstTheSizeBound();
    void linksAcrossPieceBoundariesAreFoundOnce_data();
    void linksAcrossPieceBoundariesAreFoundOnce();
    void nothingIsAddedUntilThePageIsWhole();
    void pageIsReadAsABrowserReadsIt_data();
    void pageIsReadAsABrowserReadsIt();
    void downloadCanBeStopped_data();
    void downloadCanBeStopped();
    void compressedBodyIsWrittenInSlices_data();
    void compressedBodyIsWrittenInSlices();
    void eachAddressGoesTheWayTheProxySettingsSay_data();
    void eachAddressGoesTheWayTheProxySettingsSay();
    void proxyListsAsWindowsKeepsThem_data();
    void proxyListsAsWindowsKeepsThem();
};

void TestExtraction::initTestCase()
{
    startServer();
}

void TestExtraction::pageLinksAreAppendedInOrder()
{
    Run run;
    NetworkDownloader downloader(5'000, 20'000);
    Extraction extraction(run.ui, downloader, run.dialogs, run.list);
    run.list.appendSite(QStringLiteral("existing"));
    const QString page = m_server->url(QStringLiteral("/dir/links.html"));
    for (int i = 0; i < 2; ++i) {
        run.ui.nextInputs.push_back(page);
        extraction.extractFromWebPage(QString());
    }
    const QString base = m_server->url(QStringLiteral("/dir/"));
    const QStringList three{base + "one.html", base + "two.html", "http://other.example/x"};
    QCOMPARE(itemsOf(run.list), QStringList{"existing"} + three + three);
    QVERIFY(run.ui.messages.empty());
    QCOMPARE(run.ui.pointerHistory, (std::vector<Pointer>{Pointer::Hourglass, Pointer::Default,
                                                          Pointer::Hourglass, Pointer::Default}));
    QCOMPARE(run.ui.inputPrompts.value(0),
             QStringLiteral("Enter url to extract from (i.e. www.example.com):"));
    QVERIFY(QDir(m_temp.path()).isEmpty());

    // Redirects are followed.
    run.ui.nextInputs.push_back(m_server->url(QStringLiteral("/redirect")));
    extraction.extractFromWebPage(QString());
    QCOMPARE(run.list.count(), 10);
}

void TestExtraction::typedHostBecomesPageAddress()
{
    Run run;
    FakeDownloader downloader;
    Extraction extraction(run.ui, downloader, run.dialogs, run.list);
    downloader.pages.insert(QStringLiteral("http://www.host.org/"), "<a href=\"/a.html\">");
    QVERIFY(extraction.getUrls(QStringLiteral("www.host.org")));
    QCOMPARE(downloader.requested, QStringList{QStringLiteral("http://www.host.org/")});
    QCOMPARE(itemsOf(run.list), QStringList{QStringLiteral("http://www.host.org/a.html")});
}

void TestExtraction::selectedItemIsTheSuggestion()
{
    Run run;
    FakeDownloader downloader;
    Extraction extraction(run.ui, downloader, run.dialogs, run.list);
    extraction.extractFromWebPage(QStringLiteral("www.selected.org"));
    extraction.extractFromWebPage(QString());
    QCOMPARE(run.ui.inputDefaults, (QStringList{QStringLiteral("www.selected.org"), QString()}));
}

void TestExtraction::cancelChangesNothing()
{
    Run run;
    FakeDownloader downloader;
    Extraction extraction(run.ui, downloader, run.dialogs, run.list);
    run.ui.setPointer(Pointer::Custom);
    run.ui.pointerHistory.clear();
    extraction.extractFromWebPage(QString());
    QCOMPARE(run.ui.pointer(), Pointer::Custom);
    QVERIFY(run.ui.pointerHistory.empty());
    QVERIFY(downloader.requested.isEmpty());
    QVERIFY(run.ui.messages.empty());
}

void TestExtraction::failures_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("stalls"); // ended by the 1.5 s of quiet, long before the overall bound
    QTest::newRow("404") << m_server->url(QStringLiteral("/404")) << false;
    QTest::newRow("500") << m_server->url(QStringLiteral("/500")) << false;
    QTest::newRow("redirect loop") << m_server->url(QStringLiteral("/loop")) << false;
    QTest::newRow("server stalls") << m_server->url(QStringLiteral("/stall")) << true;
    QTest::newRow("server stalls after its headers") << m_server->url(QStringLiteral("/stall-body")) << true;
    QTest::newRow("headers over 256 KiB") << m_server->url(QStringLiteral("/headers?kib=300")) << false;
    QTest::newRow("body cut short") << m_server->url(QStringLiteral("/cut")) << false;
    QTest::newRow("gzip body cut short") << m_server->url(QStringLiteral("/gzip-cut")) << false;
    QTest::newRow("second gzip member cut short") << m_server->url(QStringLiteral("/gzip-two-cut")) << false;
    QTest::newRow("connection refused") << QStringLiteral("http://127.0.0.1:1/") << false;
    QTest::newRow("unknown host") << QStringLiteral("http://no-such-host.invalid/") << false;
    QTest::newRow("not http") << QStringLiteral("ftp://127.0.0.1/") << false;
}

void TestExtraction::failures()
{
    QFETCH(QString, address);
    QFETCH(bool, stalls);
    Run run;
    NetworkDownloader downloader(1'500, stalls ? 120'000 : 10'000);
    Extraction extraction(run.ui, downloader, run.dialogs, run.list);
    run.list.appendSite(QStringLiteral("kept"));
    run.ui.nextInputs.push_back(address);
    QElapsedTimer took;
    took.start();
    extraction.extractFromWebPage(QString());
    if (stalls)
        QVERIFY2(took.elapsed() < 60'000, "ended by the quiet, not by the overall bound");
    QCOMPARE(itemsOf(run.list), QStringList{QStringLiteral("kept")});
    QCOMPARE(run.ui.plainMessages(), QStringList{QStringLiteral("URL not found")});
    QVERIFY(run.ui.errorReports().isEmpty());
    QCOMPARE(run.ui.pointer(), Pointer::Default);
    QVERIFY2(QDir(m_temp.path()).isEmpty(), "the temporary download file is removed on failure too");
}

void TestExtraction::outcomeOfAnEndedAnswer_data()
{
    QTest::addColumn<int>("httpStatus");
    QTest::addColumn<bool>("networkError");
    QTest::addColumn<qint64>("announced"); // -1: no Content-Length
    QTest::addColumn<qint64>("received");
    QTest::addColumn<bool>("streamEnded");
    QTest::addColumn<int>("expected");
    const int complete = int(DownloadStatus::Complete);
    const int notFound = int(DownloadStatus::NotFound);
    QTest::newRow("whole body") << 200 << false << qint64(10) << qint64(10) << true << complete;
    QTest::newRow("no length announced") << 200 << false << qint64(-1) << qint64(10) << true << complete;
    QTest::newRow("empty body") << 200 << false << qint64(0) << qint64(0) << true << complete;
    QTest::newRow("one byte short") << 200 << false << qint64(10) << qint64(9) << true << notFound;
    QTest::newRow("more than announced") << 200 << false << qint64(10) << qint64(11) << true << complete;
    QTest::newRow("compressed without its end")
        << 200 << false << qint64(-1) << qint64(10) << false << notFound;
    QTest::newRow("error status") << 404 << false << qint64(10) << qint64(10) << true << notFound;
    QTest::newRow("last good status") << 399 << false << qint64(-1) << qint64(0) << true << complete;
    QTest::newRow("network error") << 200 << true << qint64(10) << qint64(10) << true << notFound;
}

void TestExtraction::outcomeOfAnEndedAnswer()
{
    QFETCH(int, httpStatus);
    QFETCH(bool, networkError);
    QFETCH(qint64, announced);
    QFETCH(qint64, received);
    QFETCH(bool, streamEnded);
    QFETCH(int, expected);
    DownloadEnd end;
    end.httpStatus = httpStatus;
    end.networkError = networkError;
    if (announced >= 0)
        end.announcedBytes = announced;
    end.receivedBytes = received;
    end.streamEnded = streamEnded;
    QCOMPARE(int(downloadOutcome(end)), expected);
    // A stop while the body came says why, whatever else happened.
    end.stopped = DownloadStatus::TooLarge;
    QCOMPARE(downloadOutcome(end), DownloadStatus::TooLarge);
}

void TestExtraction::pagesReadWhole_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("last");
    QTest::newRow("empty page: nothing added, nothing said") << "/empty" << 0 << QString();
    // Only the answer's charset tells it: the downloader knows it before
    // the body's first bytes are read.
    QTest::newRow("UTF-16 told by the charset alone") << "/utf16" << 3 << "http://other.example/x";
}

void TestExtraction::pagesReadWhole()
{
    QFETCH(QString, path);
    QFETCH(int, count);
    QFETCH(QString, last);
    Run run;
    NetworkDownloader downloader(5'000, 20'000);
    Extraction extraction(run.ui, downloader, run.dialogs, run.list);
    QVERIFY(extraction.getUrls(m_server->url(path)));
    QCOMPARE(run.list.count(), count);
    if (count > 0)
        QCOMPARE(run.list.text(count), last);
    QVERIFY(run.ui.messages.empty());
    QVERIFY(QDir(m_temp.path()).isEmpty());
}

void TestExtraction::largePage()
{
    Run run;
    NetworkDownloader downloader(5'000, 60'000);
    Extraction extraction(run.ui, downloader, run.dialogs, run.list);
    QVERIFY(extraction.getUrls(m_server->url(QStringLiteral("/large?n=100000"))));
    QCOMPARE(run.list.count(), 100'000);
    // The typed address counts as a folder: links join to it.
    QCOMPARE(run.list.text(100'000), m_server->url(QStringLiteral("/large?n=100000/page99999.html")));
}

void TestExtraction::memoryRunningOutIsReportedAndKeepsWhatWasFound()
{
    // The list that cannot grow past 1,000 items, as one with no memory left.
    struct FullList final : SiteSink
    {
        SiteListModel &list;
        explicit FullList(SiteListModel &into) : list(into) {}
        void appendSite(const QString &text) override
        {
            if (list.count() == 1'000)
                throw std::bad_alloc();
            list.appendSite(text);
        }
    };
    Run run;
    FullList full(run.list);
    NetworkDownloader downloader(5'000, 60'000);
    Extraction extraction(run.ui, downloader, run.dialogs, full);
    extraction.getUrls(m_server->url(QStringLiteral("/large?n=5000")));
    QCOMPARE(run.list.count(), 1'000);
    QCOMPARE(run.ui.errorReports().size(), 1);
    QVERIFY2(run.ui.errorReports().first().contains(QStringLiteral("Out of memory")),
             qPrintable(run.ui.errorReports().first()));
    QVERIFY(QDir(m_temp.path()).isEmpty());
    QCOMPARE(run.ui.pointer(), Pointer::Default);
}

void TestExtraction::compressedPageIsInflated_data()
{
    QTest::addColumn<QString>("page");
    QTest::newRow("gzip") << "/gzip";
    QTest::newRow("deflate without the zlib header") << "/deflate-raw";
    QTest::newRow("deflate with the zlib header") << "/deflate-zlib";
    QTest::newRow("gzip in two members") << "/gzip-two";
    QTest::newRow("junk after the gzip stream") << "/gzip-trailing";
}

void TestExtraction::compressedPageIsInflated()
{
    QFETCH(QString, page);
    Run run;
    NetworkDownloader downloader(5'000, 60'000);
    Extraction extraction(run.ui, downloader, run.dialogs, run.list);
    QVERIFY(extraction.getUrls(m_server->url(page)));
    QCOMPARE(run.list.count(), 6000);
    QCOMPARE(run.list.text(6000), m_server->url(page + QStringLiteral("/g5999.html")));
    QVERIFY(run.ui.messages.empty());
}

void TestExtraction::oneExtractionAtATime()
{
    Run run;
    FakeDownloader downloader;
    Extraction extraction(run.ui, downloader, run.dialogs, run.list);
    downloader.pages.insert(QStringLiteral("http://a/"), "href=\"1\"");
    int nested = 0;
    downloader.duringDownload = [&] {
        ++nested;
        extraction.extractFromWebPage(QString());
        extraction.extractFromTextFiles();
    };
    run.ui.nextInputs.push_back(QStringLiteral("a"));
    extraction.extractFromWebPage(QString());
    QCOMPARE(nested, 1);
    QCOMPARE(run.ui.inputPrompts.size(), 1);
    QVERIFY(run.dialogs.shown.empty());
    QCOMPARE(itemsOf(run.list), QStringList{QStringLiteral("http://a/1")});
    // Over, the next one runs.
    extraction.extractFromTextFiles();
    QCOMPARE(run.dialogs.shown.size(), size_t(1));
}

void TestExtraction::textFiles()
{
    QTemporaryDir dir;
    QVERIFY(writeTestFile(dir.filePath(QStringLiteral("b.txt")), "x https://b/1 y\nhttp://b/2"));
    QVERIFY(writeTestFile(dir.filePath(QStringLiteral("a.html")), "<a href=\"http://a/1\">"));
    Run run;
    FakeDownloader downloader;
    Extraction extraction(run.ui, downloader, run.dialogs, run.list);
    run.dialogs.nextOpen.push_back(
        {dir.filePath(QStringLiteral("b.txt")), dir.filePath(QStringLiteral("a.html"))});
    extraction.extractFromTextFiles();
    QCOMPARE(itemsOf(run.list), (QStringList{"https://b/1", "http://b/2", "http://a/1"}));
    QCOMPARE(run.dialogs.shown.at(0).title,
             QStringLiteral("Add File(s) - Hold Ctrl to select multiple files"));
    QVERIFY(run.ui.messages.empty());
}

void TestExtraction::textFileProblems_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("labels");
    QTest::newRow("empty file: nothing at all") << "empty.txt" << QStringList();
    QTest::newRow("missing file") << "missing.txt" << QStringList{"132"};
    if (fileSystemHasNamedPipes())
        QTest::newRow("named pipe") << "pipe" << QStringList{"132"};
    QTest::newRow("folder") << "sub" << QStringList{"132"};
}

void TestExtraction::textFileProblems()
{
    QFETCH(QString, name);
    QFETCH(QStringList, labels);
    QTemporaryDir dir;
    QVERIFY(writeTestFile(dir.filePath(QStringLiteral("empty.txt"))));
    if (name == QLatin1String("pipe"))
        QVERIFY(makeNamedPipe(dir.filePath(name)));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    QVERIFY(writeTestFile(dir.filePath(QStringLiteral("good.txt")), "http://after/"));

    Run run;
    FakeDownloader downloader;
    Extraction extraction(run.ui, downloader, run.dialogs, run.list);
    run.dialogs.nextOpen.push_back({dir.filePath(name), dir.filePath(QStringLiteral("good.txt"))});
    extraction.extractFromTextFiles();
    QCOMPARE(run.ui.reportLabels(), labels);
    QCOMPARE(itemsOf(run.list), QStringList{QStringLiteral("http://after/")});
}

void TestExtraction::endlessBodyStopsAtTheSizeBound()
{
    Run run;
    NetworkDownloader downloader(5'000, 120'000, 4 << 20);
    Extraction extraction(run.ui, downloader, run.dialogs, run.list);
    run.list.appendSite(QStringLiteral("kept"));
    QVERIFY(!extraction.getUrls(m_server->url(QStringLiteral("/endless"))));
    QCOMPARE(itemsOf(run.list), QStringList{QStringLiteral("kept")});
    QCOMPARE(run.ui.plainMessages().size(), 1);
    QVERIFY(run.ui.plainMessages()[0].startsWith(QStringLiteral("The page is larger than 2 GiB")));
    QVERIFY(QDir(m_temp.path()).isEmpty());
}

void TestExtraction::headersCountAgainstTheSizeBound_data()
{
    QTest::addColumn<qint64>("bound");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<int>("items");
    // 100 KiB of headers before a page of 123 bytes.
    QTest::newRow("within the bound") << qint64{200 << 10} << QStringList() << 4;
    QTest::newRow("the headers alone past it")
        << qint64{64 << 10}
        << QStringList{QStringLiteral(
               "The page is larger than 2 GiB, more than Zentavia Desk reads, so no link was added.")}
        << 1;
}

void TestExtraction::headersCountAgainstTheSizeBound()
{
    QFETCH(qint64, bound);
    QFETCH(QStringList, messages);
    QFETCH(int, items);
    Run run;
    NetworkDownloader downloader(5'000, 60'000, bound);
    Extraction extraction(run.ui, downloader, run.dialogs, run.list);
    run.list.appendSite(QStringLiteral("kept"));
    QCOMPARE(extraction.getUrls(m_server->url(QStringLiteral("/headers?kib=100"))), messages.isEmpty());
    QCOMPARE(run.ui.plainMessages(), messages);
    QCOMPARE(run.list.count(), items);
}

void TestExtraction::linksAcrossPieceBoundariesAreFoundOnce_data()
{
    QTest::addColumn<int>("piece");
    for (const int piece : {1, 2, 7, 64, 4096, 65'536, 1 << 20})
        QTest::newRow(qPrintable(QStringLiteral("%1-byte pieces").arg(piece))) << piece;
}

// However the download hands the page over, the links are those of the
// whole page, each once, in order.
void TestExtraction::linksAcrossPieceBoundariesAreFoundOnce()
{
    QFETCH(int, piece);
    QByteArray page;
    QStringList expected;
    for (int i = 0; i < 3000; ++i) {
        page += "<a href=\"p" + QByteArray::number(i) + ".html\">x</a><A HREF=\"\">";
        expected << QStringLiteral("http://x/p%1.html").arg(i) << QStringLiteral("http://x/");
    }
    page += "<a href=\"unclosed";
    Run run;
    FakeDownloader downloader;
    downloader.pieceBytes = piece;
    downloader.pages.insert(QStringLiteral("http://x/"), page);
    Extraction extraction(run.ui, downloader, run.dialogs, run.list);
    QVERIFY(extraction.getUrls(QStringLiteral("http://x/")));
    QCOMPARE(itemsOf(run.list), expected);
}

void TestExtraction::nothingIsAddedUntilThePageIsWhole()
{
    Run run;
    FakeDownloader downloader;
    downloader.pieceBytes = 1000;
    // Far longer than what the scan keeps back to look ahead.
    QByteArray page;
    for (int i = 0; i < 10'000; ++i)
        page += "<a href=\"https://e/" + QByteArray::number(i) + "\">";
    downloader.pages.insert(QStringLiteral("http://x/"), page);
    // The list as the window sees it while the page comes, a piece at a time.
    int seenDuring = -1;
    downloader.afterPiece = [&](qsizetype done) {
        if (done > page.size() / 2 && seenDuring < 0)
            seenDuring = run.list.count();
    };
    Extraction extraction(run.ui, downloader, run.dialogs, run.list);
    QVERIFY(extraction.getUrls(QStringLiteral("http://x/")));
    QCOMPARE(seenDuring, 0);
    QCOMPARE(run.list.count(), 10'000);

    // A page cut off after half its links adds none of them.
    downloader.failAfterBytes = page.size() / 2;
    run.list.clear();
    QVERIFY(!extraction.getUrls(QStringLiteral("http://x/")));
    QCOMPARE(run.list.count(), 0);
    QCOMPARE(run.ui.plainMessages().last(), QStringLiteral("URL not found"));
}

void TestExtraction::pageIsReadAsABrowserReadsIt_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QStringList>("expected");
    const QString planted = QStringLiteral("<a href=\"http://a/x\nfile:///etc/passwd\">");
    const QStringList one{QStringLiteral("http://a/xfile:///etc/passwd")};
    const auto utf16 = [&](QStringConverter::Encoding encoding, bool mark) {
        QStringEncoder encoder(encoding,
                               mark ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default);
        return QByteArray(encoder(planted));
    };
    QTest::newRow("a planted second line") << planted.toUtf8() << QByteArray("text/html") << one;
    QTest::newRow("UTF-16LE with its mark") << utf16(QStringConverter::Utf16LE, true) << QByteArray() << one;
    QTest::newRow("UTF-16BE with its mark") << utf16(QStringConverter::Utf16BE, true) << QByteArray() << one;
    QTest::newRow("charset=utf-16, no mark")
        << utf16(QStringConverter::Utf16LE, false) << QByteArray("text/html; charset=utf-16") << one;
    QTest::newRow("charset=\"UTF-16BE\", no mark")
        << utf16(QStringConverter::Utf16BE, false) << QByteArray("text/html;Charset=\"UTF-16BE\"") << one;
    QTest::newRow("UTF-16 text without a mark or a charset is not read")
        << utf16(QStringConverter::Utf16LE, false) << QByteArray("text/html") << QStringList();
    QTest::newRow("one byte") << QByteArray("\xFF") << QByteArray() << QStringList();
    QTest::newRow("UTF-8 mark") << QByteArray("\xEF\xBB\xBFhref=\"\xC3\xBC\"") << QByteArray()
                                << QStringList{QStringLiteral("http://x/\u00FC")};
}

// The links of a page as a browser reads them, each one item still after
// the list is saved and loaded again; a page in pieces of 1 byte as whole.
void TestExtraction::pageIsReadAsABrowserReadsIt()
{
    QFETCH(QByteArray, page);
    QFETCH(QByteArray, contentType);
    QFETCH(QStringList, expected);
    for (const qsizetype piece : {qsizetype(0), qsizetype(1)}) {
        Run run;
        FakeDownloader downloader;
        downloader.pieceBytes = piece;
        downloader.pages.insert(QStringLiteral("http://x/"), page);
        downloader.contentTypes.insert(QStringLiteral("http://x/"), contentType);
        Extraction extraction(run.ui, downloader, run.dialogs, run.list);
        QVERIFY(extraction.getUrls(QStringLiteral("http://x/")));
        QCOMPARE(itemsOf(run.list), expected);

        QTemporaryDir dir;
        const QString saved = dir.filePath(QStringLiteral("saved.txt"));
        FileChannel channel;
        run.dialogs.nextSave.push_back(saved);
        saveListAsTextFile(run.ui, run.dialogs, channel, run.list);
        SiteListModel reloaded;
        loadSiteFile(run.ui, channel, reloaded, saved);
        QCOMPARE(itemsOf(reloaded), expected);
    }
}

void TestExtraction::downloadCanBeStopped_data()
{
    QTest::addColumn<bool>("fromTheMonitor");
    QTest::newRow("Stop in the progress window") << true;
    QTest::newRow("Esc in the main window") << false;
}

// A slow page is stopped at once, says so and leaves the list as it was.
void TestExtraction::downloadCanBeStopped()
{
    QFETCH(bool, fromTheMonitor);
    struct Monitor final : DownloadMonitor
    {
        std::vector<qint64> received;
        bool stop = false;
        int finished = 0;
        void downloadProgress(const QString &, qint64 bytes, qint64) override { received.push_back(bytes); }
        bool downloadStopRequested() const override { return stop; }
        void downloadFinished() override { ++finished; }
    };
    Run run;
    Monitor monitor;
    NetworkDownloader downloader(5'000, 60'000);
    Extraction extraction(run.ui, downloader, run.dialogs, run.list);
    extraction.setDownloadMonitor(&monitor);
    run.list.appendSite(QStringLiteral("kept"));
    QTimer::singleShot(500, [&] {
        if (fromTheMonitor)
            monitor.stop = true;
        else
            extraction.stopDownload();
    });
    QVERIFY(!extraction.getUrls(m_server->url(QStringLiteral("/trickle"))));
    QCOMPARE(run.ui.plainMessages(), QStringList{QStringLiteral("You stopped the download.")});
    QCOMPARE(itemsOf(run.list), QStringList{QStringLiteral("kept")});
    QCOMPARE(monitor.finished, 1);
    QVERIFY(monitor.received.size() > 1);
    QVERIFY(std::is_sorted(monitor.received.begin(), monitor.received.end()));
    QVERIFY(monitor.received.back() > 0);
    // The next download is not stopped by the last one's request.
    monitor.stop = false;
    QVERIFY(extraction.getUrls(m_server->url(QStringLiteral("/dir/links.html"))));
    QCOMPARE(run.list.count(), 4);
}

void TestExtraction::compressedBodyIsWrittenInSlices_data()
{
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<int>("windowBits");
    QTest::newRow("gzip") << QByteArray("gzip") << 16 + MAX_WBITS;
    QTest::newRow("deflate, zlib") << QByteArray("deflate") << MAX_WBITS;
    QTest::newRow("deflate, raw") << QByteArray("deflate") << -MAX_WBITS;
}

// However much one piece of the body inflates to, no more than a slice of it
// is held before the bounds are checked: a bomb stops at its threshold.
void TestExtraction::compressedBodyIsWrittenInSlices()
{
    QFETCH(QByteArray, encoding);
    QFETCH(int, windowBits);
    struct Counting final : QIODevice
    {
        qint64 total = 0;
        qint64 largest = 0;
        Counting() { open(QIODevice::WriteOnly); }
        qint64 readData(char *, qint64) override { return -1; }
        qint64 writeData(const char *, qint64 size) override
        {
            total += size;
            largest = qMax(largest, size);
            return size;
        }
    };
    const auto compressed = [&](qsizetype zeros) {
        z_stream stream{};
        deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 9, Z_DEFAULT_STRATEGY);
        QByteArray out;
        const QByteArray block(1 << 20, '\0');
        char buffer[1 << 16];
        for (qsizetype left = zeros; left >= 0; left -= block.size()) {
            stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(block.data()));
            stream.avail_in = uInt(qMin(left, block.size()));
            const int flush = left <= block.size() ? Z_FINISH : Z_NO_FLUSH;
            do {
                stream.next_out = reinterpret_cast<Bytef *>(buffer);
                stream.avail_out = sizeof buffer;
                deflate(&stream, flush);
                out.append(buffer, qsizetype(sizeof buffer - stream.avail_out));
            } while (stream.avail_out == 0);
            if (flush == Z_FINISH)
                break;
        }
        deflateEnd(&stream);
        return out;
    };
    // Well within the bounds, in one piece: whole, a slice at a time.
    Counting page;
    BodyWriter small(page, kMaxPageBytes);
    QVERIFY(small.take(compressed(8 << 20), encoding));
    QVERIFY(!small.cutShort());
    QCOMPARE(page.total, qint64(8) << 20);
    QVERIFY2(page.largest <= 64 * 1024, qPrintable(QString::number(page.largest)));
    // A bomb of 1 GiB in a megabyte.
    Counting bombed;
    BodyWriter bomb(bombed, kMaxPageBytes);
    const QByteArray body = compressed(qsizetype(1) << 30);
    QVERIFY(!bomb.take(body, encoding));
    QCOMPARE(bomb.stopped(), std::optional(DownloadStatus::NotFound));
    QVERIFY2(bombed.total <= kBombThreshold, qPrintable(QString::number(bombed.total)));
    QVERIFY(bombed.largest <= 64 * 1024);
}

void TestExtraction::eachAddressGoesTheWayTheProxySettingsSay_data()
{
    // The test server answers as a proxy too; these hosts resolve nowhere
    // else. It asks for a password for sign-in.invalid.
    const QString proxied = QStringLiteral("http://zd-proxy.invalid/links.html");
    const QString signIn = QStringLiteral("http://sign-in.invalid/links.html");
    const QString server = QUrl(m_server->url(QStringLiteral("/"))).authority();
    const ProxyRoute viaServer{ProxyRoute::Kind::Proxy, server};
    const ProxyRoute unreachable{ProxyRoute::Kind::Proxy, QStringLiteral("127.0.0.1:1")};
    const QString script =
        QStringLiteral("The proxy configuration script at http://pac.invalid/ could not be "
                       "fetched or run.");
    const ProxyRoute scriptFailed{ProxyRoute::Kind::Direct, {}, script};
    const QString redirect = m_server->url(QStringLiteral("/redirect-to?url=") + proxied);
    const QString notFound = QStringLiteral("URL not found");
    const QString asked =
        notFound + QStringLiteral("\r\nThe proxy %1 asked for a user name and password.").arg(server);
    const QList<QStringList> noSignIn;
    const QStringList right{QStringLiteral("user"), QStringLiteral("secret")};
    const QStringList wrong{QStringLiteral("user"), QStringLiteral("guess")};
    QTest::addColumn<QString>("address");
    QTest::addColumn<ProxyRoute>("route");           // of the .invalid hosts; any other goes direct
    QTest::addColumn<int>("answerAfterMs");          // the settings' time to answer
    QTest::addColumn<QList<QStringList>>("signIns"); // typed in turn; empty: Cancel
    QTest::addColumn<int>("links");
    QTest::addColumn<QStringList>("asked");
    QTest::addColumn<QString>("said");
    QTest::newRow("through the proxy")
        << proxied << viaServer << 0 << noSignIn << 3 << QStringList{proxied} << "";
    QTest::newRow("direct: not found") << proxied << ProxyRoute{ProxyRoute::Kind::Direct, {}} << 0 << noSignIn
                                       << 0 << QStringList{proxied} << notFound;
    QTest::newRow("a proxy that cannot be reached is named")
        << proxied << unreachable << 0 << noSignIn << 0 << QStringList{proxied}
        << notFound + QStringLiteral("\r\nThe proxy 127.0.0.1:1 could not be reached.");
    // libcurl's own variable, as on Linux where nothing else is set.
    QTest::newRow("a variable's proxy that cannot be reached is named")
        << proxied << ProxyRoute{} << 0 << noSignIn << 0 << QStringList{proxied}
        << notFound + QStringLiteral("\r\nThe proxy 127.0.0.1:1 could not be reached.");
    QTest::newRow("a redirect to another host is routed anew")
        << redirect << viaServer << 0 << noSignIn << 3 << QStringList{redirect, proxied} << "";
    QTest::newRow("a script that failed, said when the page is not had")
        << proxied << scriptFailed << 0 << noSignIn << 0 << QStringList{proxied}
        << notFound + "\r\n" + script;
    QTest::newRow("settings that do not answer in time")
        << proxied << viaServer << 5'000 << noSignIn << 0 << QStringList{proxied}
        << notFound + QStringLiteral("\r\nThe proxy settings gave no answer in time.");
    QTest::newRow("a password asked for and given")
        << signIn << viaServer << 0 << QList<QStringList>{right} << 3 << QStringList{signIn, signIn} << "";
    QTest::newRow("a wrong password, then the right one")
        << signIn << viaServer << 0 << QList<QStringList>{wrong, right} << 3
        << QStringList{signIn, signIn, signIn} << "";
    QTest::newRow("a password asked for, cancelled")
        << signIn << viaServer << 0 << QList<QStringList>{QStringList()} << 0 << QStringList{signIn} << asked;
}

void TestExtraction::eachAddressGoesTheWayTheProxySettingsSay()
{
    QFETCH(QString, address);
    QFETCH(ProxyRoute, route);
    QFETCH(int, answerAfterMs);
    QFETCH(QList<QStringList>, signIns);
    QFETCH(int, links);
    QFETCH(QStringList, asked);
    QFETCH(QString, said);
    // Asked for a sign-in, it answers the next one typed; it shows the
    // window with Stop while the settings are asked too.
    struct Monitor final : DownloadMonitor
    {
        QList<QStringList> typed;
        QStringList proxies;
        int shown = 0;
        void downloadProgress(const QString &, qint64, qint64) override { ++shown; }
        bool downloadStopRequested() const override { return false; }
        void downloadFinished() override {}
        std::optional<ProxyCredentials> proxyCredentials(const QString &proxy) override
        {
            proxies << proxy;
            const QStringList next = typed.isEmpty() ? QStringList() : typed.takeFirst();
            if (next.isEmpty())
                return std::nullopt;
            return ProxyCredentials{next[0], next[1]};
        }
    };
    Run run;
    auto proxies = std::make_shared<ScriptedProxies>();
    for (const char *host : {"zd-proxy.invalid", "sign-in.invalid"})
        proxies->byHost.insert(QString::fromLatin1(host), route);
    proxies->answerAfterMs = answerAfterMs;
    if (route.kind == ProxyRoute::Kind::Default)
        qputenv("http_proxy", "127.0.0.1:1");
    const auto unset = qScopeGuard([] { qunsetenv("http_proxy"); });
    NetworkDownloader downloader(5'000, 20'000, kMaxPageBytes, proxies, 300);
    Monitor monitor;
    monitor.typed = signIns;
    Extraction extraction(run.ui, downloader, run.dialogs, run.list);
    extraction.setDownloadMonitor(&monitor);
    run.ui.nextInputs.push_back(address);
    extraction.extractFromWebPage(QString());
    QCOMPARE(run.list.count(), links);
    QCOMPARE(run.ui.plainMessages(), said.isEmpty() ? QStringList() : QStringList{said});
    if (links)
        QCOMPARE(run.list.text(links), QStringLiteral("http://other.example/x"));
    QCOMPARE(proxies->asked(), asked);
    QCOMPARE(monitor.proxies.size(), signIns.size());
    if (answerAfterMs > 0)
        QVERIFY(monitor.shown > 0);
}

void TestExtraction::proxyListsAsWindowsKeepsThem_data()
{
    QTest::addColumn<QString>("proxies");
    QTest::addColumn<QString>("bypass");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("expected"); // the proxy; empty: direct
    const QString one = QStringLiteral("proxy.corp:8080");
    QTest::newRow("one proxy for every scheme") << one << ""
                                                << "https://a.example/" << one;
    QTest::newRow("by scheme: http") << "http=h:1;https=s:2"
                                     << ""
                                     << "http://a.example/"
                                     << "h:1";
    QTest::newRow("by scheme: https") << "http=h:1;https=s:2"
                                      << ""
                                      << "https://a.example/"
                                      << "s:2";
    QTest::newRow("no entry for the scheme: direct") << "http=h:1"
                                                     << ""
                                                     << "https://a.example/"
                                                     << "";
    QTest::newRow("socks for the rest") << "http=h:1;socks=k:3"
                                        << ""
                                        << "https://a.example/"
                                        << "socks4://k:3";
    QTest::newRow("a script's fallbacks: the first") << "p1:1; p2:2"
                                                     << ""
                                                     << "http://a.example/"
                                                     << "p1:1";
    QTest::newRow("nothing listed: direct") << ""
                                            << ""
                                            << "http://a.example/"
                                            << "";
    QTest::newRow("bypassed by a wildcard") << one << "<local>;*.example.com"
                                            << "http://www.EXAMPLE.com/"
                                            << "";
    QTest::newRow("the wildcard's domain itself is not") << one << "*.example.com"
                                                         << "http://example.com/" << one;
    QTest::newRow("<local>: a name without a dot") << one << "<local>"
                                                   << "http://intranet/"
                                                   << "";
    QTest::newRow("<local>: not a dotted name") << one << "<local>"
                                                << "http://a.example/" << one;
    QTest::newRow("by address prefix") << one << "10.*"
                                       << "http://10.1.2.3/"
                                       << "";
    QTest::newRow("by scheme and host") << one << "https://a.example"
                                        << "http://a.example/" << one;
    QTest::newRow("by host and port") << one << "a.example:8443"
                                      << "https://a.example:8443/"
                                      << "";
    QTest::newRow("loopback always direct") << one << ""
                                            << "http://127.0.0.1:8000/"
                                            << "";
    QTest::newRow("unless <-loopback> is listed") << one << "<-loopback>"
                                                  << "http://localhost/" << one;
}

void TestExtraction::proxyListsAsWindowsKeepsThem()
{
    QFETCH(QString, proxies);
    QFETCH(QString, bypass);
    QFETCH(QString, address);
    QFETCH(QString, expected);
    const ProxyRoute route = listedProxyRoute(proxies, bypass, QUrl(address));
    QCOMPARE(route.kind, expected.isEmpty() ? ProxyRoute::Kind::Direct : ProxyRoute::Kind::Proxy);
    QCOMPARE(route.proxy, expected);
}

QTEST_GUILESS_MAIN(TestExtraction)
#include "tst_extraction.moc"
