#include "support/listchecks.h"
#include "fakes/fakeuiservices.h"
#include "extract/linknormalizer.h"
#include "extract/scanners.h"
#include "sitelist/sitelistmodel.h"
#include "support/scanning.h"

#include <QtTest>

#include <cstring>

using namespace zd;
using namespace zd::test;

namespace {

// Scanned in one piece; chunkedScanEqualsWholeScan covers the pieces.
QStringList scan(const QByteArray &bytes, bool hrefs)
{
    FakeUiServices ui;
    LinkNormalizer links;
    links.setPageUrl(QStringLiteral("host/dir/"));
    const auto kind = hrefs ? StreamScanner::Kind::Hrefs : StreamScanner::Kind::TextUrls;
    return scanInChunks(kind, bytes, links, ui, qMax<qsizetype>(bytes.size(), 1));
}

// The fuzz target's oracle must agree with every row too.
QStringList reference(const QByteArray &bytes, bool hrefs)
{
    LinkNormalizer links;
    links.setPageUrl(QStringLiteral("host/dir/"));
    return referenceScan(hrefs ? StreamScanner::Kind::Hrefs : StreamScanner::Kind::TextUrls, bytes, links);
}

} // namespace

class TestScanners : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void hrefs_data();
    void hrefs();
    void textUrls_data();
    void textUrls();
    void overlongValuesAreSkipped();
    void matchesAcrossVectorBlocks();
    void chunkedScanEqualsWholeScan_data();
    void chunkedScanEqualsWholeScan();
};

void TestScanners::hrefs_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QStringList>("items");
    const QString b = QStringLiteral("http://host/dir/");
    QTest::newRow("two anchors, second in capitals")
        << QByteArray("<a href=\"one.html\">1</a><A HREF=\"two.html\">2</A>")
        << QStringList{b + "one.html", b + "two.html"};
    QTest::newRow("same link twice") << QByteArray("href=\"x\" href=\"x\"") << QStringList{b + "x", b + "x"};
    QTest::newRow("spaces, single quotes, no quotes")
        << QByteArray("href = \"a\" href='b' href=c") << QStringList();
    QTest::newRow("data-href") << QByteArray("<div data-href=\"x.html\">") << QStringList{b + "x.html"};
    QTest::newRow("empty value") << QByteArray("href=\"\"") << QStringList{b};
    // As browsers read it: a saved list must not split it in two.
    QTest::newRow("value over a line break") << QByteArray("href=\"a\r\nb\"") << QStringList{b + "ab"};
    QTest::newRow("planted line") << QByteArray("href=\"http://a/x\nfile:///etc/passwd\"")
                                  << QStringList{"http://a/xfile:///etc/passwd"};
    QTest::newRow("tabs and breaks only") << QByteArray("href=\"\t\r\n\"") << QStringList{b};
    QTest::newRow("other control bytes kept")
        << QByteArray("href=\"a\x01\x1F\x7F\"") << QStringList{b + QStringLiteral("a\u0001\u001F\u007F")};
    QTest::newRow("tab in a UTF-8 value")
        << QByteArray("href=\"\xC3\xBC\t\xC3\xBC\"") << QStringList{b + QStringLiteral("\u00FC\u00FC")};
    QTest::newRow("entity kept") << QByteArray("href=\"a?x=1&amp;y=2\"") << QStringList{b + "a?x=1&amp;y=2"};
    QTest::newRow("16-bit encoding") << QByteArray("h\0r\0e\0f\0=\0\"\0x\0\"\0", 16) << QStringList();
    QTest::newRow("ends with href=") << QByteArray("<a href=") << QStringList();
    QTest::newRow("ends with href=\" (no closing quote)") << QByteArray("<a href=\"") << QStringList();
    QTest::newRow("unclosed value dropped")
        << QByteArray("href=\"a\" href=\"unclosed") << QStringList{b + "a"};
    QTest::newRow("match inside a value is found again")
        << QByteArray("href=\"href=\"x\"") << QStringList{b + "href=", b + "x"};
    QTest::newRow("absolute link") << QByteArray("href=\"https://e.org/\"") << QStringList{"https://e.org/"};
    QTest::newRow("value of the longest length") << "href=\"" + QByteArray(kMaxFoundLength, 'v') + '"'
                                                 << QStringList{b + QString(kMaxFoundLength, u'v')};
    QTest::newRow("value a byte longer")
        << "href=\"" + QByteArray(kMaxFoundLength + 1, 'v') + '"' << QStringList();
    QTest::newRow("empty buffer") << QByteArray() << QStringList();
    QTest::newRow("UTF-8 value") << QByteArray("href=\"b\xC3\xBC"
                                               "cher\"")
                                 << QStringList{b + "bücher"};
    QTest::newRow("invalid UTF-8 value: one character per byte")
        << QByteArray("href=\"caf\xE9\"") << QStringList{b + QString::fromLatin1("caf\xE9")};
}

void TestScanners::hrefs()
{
    QFETCH(QByteArray, page);
    QFETCH(QStringList, items);
    QCOMPARE(scan(page, true), items);
    QCOMPARE(reference(page, true), items);
}

void TestScanners::textUrls_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("sentence") << QByteArray("see http://host/x and HTTPS://other/y.")
                              << QStringList{"http://host/x", "HTTPS://other/y."};
    QTest::newRow("at position 1") << QByteArray("http://a/ b") << QStringList{"http://a/"};
    QTest::newRow("in an attribute: ends at its quote")
        << QByteArray("<a href=\"http://a/x\">t</a> next") << QStringList{"http://a/x"};
    QTest::newRow("in angle brackets") << QByteArray("mail <https://a/b> now") << QStringList{"https://a/b"};
    QTest::newRow("before a tag") << QByteArray("<p>https://a/b<br>x") << QStringList{"https://a/b"};
    QTest::newRow("closing punctuation stays")
        << QByteArray("(see https://a/b), or https://c/d.") << QStringList{"https://a/b),", "https://c/d."};
    QTest::newRow("a stop right after the scheme") << QByteArray("\"http://\"") << QStringList{"http://"};
    QTest::newRow("address inside an address")
        << QByteArray("http://r/?u=http://in/ z") << QStringList{"http://r/?u=http://in/", "http://in/"};
    QTest::newRow("twice") << QByteArray("http://a\nhttp://a\r\n") << QStringList{"http://a", "http://a"};
    QTest::newRow("secure once") << QByteArray("https://s/") << QStringList{"https://s/"};
    QTest::newRow("one slash") << QByteArray("http:/x https:/y") << QStringList();
    QTest::newRow("to the end of the file") << QByteArray("x http://end") << QStringList{"http://end"};
    QTest::newRow("single quotes are part of it, tabs dropped")
        << QByteArray("http://a/\tb'c d") << QStringList{"http://a/b'c"};
    QTest::newRow("quote ends it") << QByteArray("http://a/\tb\"c d") << QStringList{"http://a/b"};
    QTest::newRow("16-bit encoding") << QByteArray("h\0t\0t\0p\0:\0/\0/\0x\0", 16) << QStringList();
    QTest::newRow("mixed case scheme") << QByteArray("hTtP://M") << QStringList{"hTtP://M"};
    QTest::newRow("scheme only") << QByteArray("http://") << QStringList{"http://"};
    QTest::newRow("empty") << QByteArray() << QStringList();
}

void TestScanners::textUrls()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, items);
    QCOMPARE(scan(text, false), items);
    QCOMPARE(reference(text, false), items);
}

void TestScanners::overlongValuesAreSkipped()
{
    const QByteArray fits = "http://" + QByteArray(kMaxFoundLength - 7, 'a');
    const QByteArray tooLong = "http://" + QByteArray(kMaxFoundLength - 6, 'a');
    QCOMPARE(scan(fits + " " + tooLong, false), QStringList{QString::fromLatin1(fits)});

    // A minified file: matches with no blank after them add nothing, and
    // the scan stays linear (it would take minutes otherwise).
    QByteArray minified;
    for (int i = 0; i < 200'000; ++i)
        minified += "{\"u\":\"http://x/\",\"h\":\"<a\thref=\"";
    minified += QByteArray(kMaxFoundLength + 1, 'z'); // the last match runs past the limit too
    QByteArray unquoted = minified;
    QVERIFY(scan(unquoted.replace('"', '\'').replace('<', '{'), false).isEmpty());
    const QStringList values = scan(minified, true);
    QCOMPARE(values.size(), 199'999); // the last value is never closed
    QCOMPARE(values.first(), QStringLiteral("http://host/dir/{"));
}

void TestScanners::matchesAcrossVectorBlocks()
{
    // Every offset against the 16-byte blocks of the search.
    for (int pad = 0; pad < 40; ++pad) {
        const QByteArray text = QByteArray(pad, 'z') + "HTTP://p" + QByteArray::number(pad) + " href=\"v\"";
        QCOMPARE(scan(text, false), QStringList{QStringLiteral("HTTP://p%1").arg(pad)});
        QCOMPARE(scan(text, true), QStringList{QStringLiteral("http://host/dir/v")});
    }
}

void TestScanners::chunkedScanEqualsWholeScan_data()
{
    QTest::addColumn<QList<int>>("pieces"); // their sizes, repeated to the end
    QTest::addColumn<bool>("fed");          // handed over whole, as a download hands its pieces
    // Small pieces are gathered, larger ones scanned where they lie; a
    // download's come 16 KiB at a time.
    for (int chunk : {1, 7, 255, 256, 4096, 16'384, 33'000, 100'000, 1 << 20}) {
        QTest::newRow(qPrintable(QStringLiteral("chunk %1").arg(chunk))) << QList<int>{chunk} << false;
        QTest::newRow(qPrintable(QStringLiteral("fed %1").arg(chunk))) << QList<int>{chunk} << true;
    }
    QTest::newRow("fed in mixed sizes") << QList<int>{1, 300, 16'384, 5, 40'000, 256, 255, 3} << true;
}

void TestScanners::chunkedScanEqualsWholeScan()
{
    QFETCH(QList<int>, pieces);
    QFETCH(bool, fed);
    // Values and addresses right at the length limit and far past it, so
    // that they straddle chunk and window boundaries.
    QByteArray input;
    for (int i = 0; i < 12; ++i) {
        const int length = kMaxFoundLength - 20 + i * 10;
        input += "x href=\"" + QByteArray(length, 'v') + "\" https://" + QByteArray(length, 'u') + ' ';
        input += "HREF=\"short" + QByteArray::number(i) + "\"\nhttp://s/" + QByteArray::number(i) + "\r";
        input += QByteArray(i * 7000, i % 2 ? ' ' : 'z');
    }
    // Values of four-byte characters, whose byte length may reach four
    // times the limit, waiting for their end across several pieces.
    const QByteArray emoji = "\xF0\x9F\x98\x80";
    for (const int characters :
         {kMaxFoundLength - 8, kMaxFoundLength - 7, kMaxFoundLength, kMaxFoundLength + 1}) {
        input += "href=\"" + emoji.repeated(characters) + "\" ";
        input += "https://" + emoji.repeated(characters - 8) + "\n";
    }
    // Anchors every few bytes: a piece's edge always falls next to one.
    input += QByteArray("href=\"h\"http://t ").repeated(20'000);
    input += "href=\"" + QByteArray(100, 'q') + " tail http://end-of-file";
    for (const auto kind : {StreamScanner::Kind::Hrefs, StreamScanner::Kind::TextUrls}) {
        const bool hrefs = kind == StreamScanner::Kind::Hrefs;
        FakeUiServices ui;
        LinkNormalizer links;
        links.setPageUrl(QStringLiteral("host/dir/"));
        SiteListModel streamed;
        StreamScanner scanner(kind, links, streamed, ui);
        qsizetype n = 0;
        for (qsizetype at = 0, piece = 0; at < input.size(); at += n, ++piece) {
            n = qMin<qsizetype>(pieces[piece % pieces.size()], input.size() - at);
            if (fed) {
                scanner.feed(QByteArrayView(input.constData() + at, n));
            } else {
                std::memcpy(scanner.prepare(n), input.constData() + at, size_t(n));
                scanner.commit(n);
            }
        }
        scanner.finish();
        const QStringList whole = scan(input, hrefs);
        QVERIFY(whole.size() > 20'000);
        QCOMPARE(zd::test::textsOf(streamed), whole);
    }
}

QTEST_GUILESS_MAIN(TestScanners)
#include "tst_scanners.moc"
