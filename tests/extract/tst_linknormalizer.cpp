#include "extract/linknormalizer.h"

#include <QtTest>

using zd::LinkNormalizer;

class TestLinkNormalizer : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void setPageUrl_data();
    void setPageUrl();
    void baseKeptWhenPageHasNoSlash();
    void resolveLink_data();
    void resolveLink();
};

void TestLinkNormalizer::setPageUrl_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("base");
    QTest::newRow("host") << "host"
                          << "http://host/"
                          << "http://host";
    QTest::newRow("host/dir") << "host/dir"
                              << "http://host/dir/"
                              << "http://host/dir";
    QTest::newRow("host/dir/") << "host/dir/"
                               << "http://host/dir/"
                               << "http://host/dir";
    QTest::newRow("html page") << "host/dir/page.html"
                               << "http://host/dir/page.html"
                               << "http://host/dir";
    QTest::newRow("htm page") << "host/dir/page.htm"
                              << "http://host/dir/page.htm"
                              << "http://host/dir";
    QTest::newRow("php page") << "host/dir/page.php"
                              << "http://host/dir/page.php/"
                              << "http://host/dir/page.php";
    QTest::newRow("upper-case HTML") << "host/dir/PAGE.HTML"
                                     << "http://host/dir/PAGE.HTML/"
                                     << "http://host/dir/PAGE.HTML";
    QTest::newRow("https") << "https://host/a"
                           << "https://host/a/"
                           << "https://host/a";
    QTest::newRow("HTTP upper case") << "HTTP://host"
                                     << "HTTP://host/"
                                     << "HTTP://host";
    QTest::newRow("two characters") << "ab"
                                    << "http://ab/"
                                    << "http://ab";
    QTest::newRow("blanks kept") << " host "
                                 << "http:// host /"
                                 << "http:// host ";
}

void TestLinkNormalizer::setPageUrl()
{
    QFETCH(QString, typed);
    QFETCH(QString, page);
    QFETCH(QString, base);
    LinkNormalizer links;
    links.setPageUrl(typed);
    QCOMPARE(links.pageUrl(), page);
    QCOMPARE(links.baseUrl(), base);
}

void TestLinkNormalizer::baseKeptWhenPageHasNoSlash()
{
    LinkNormalizer links;
    links.setPageUrl(QStringLiteral("httpx.htm"));
    QCOMPARE(links.pageUrl(), QStringLiteral("httpx.htm"));
    QCOMPARE(links.baseUrl(), QString());
    links.setPageUrl(QStringLiteral("host/dir/"));
    links.setPageUrl(QStringLiteral("httpx.htm"));
    QCOMPARE(links.baseUrl(), QStringLiteral("http://host/dir"));
}

void TestLinkNormalizer::resolveLink_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("address");
    QTest::newRow("relative") << "page2.html"
                              << "http://host/dir/page2.html";
    QTest::newRow("leading slash") << "/about.html"
                                   << "http://host/dir/about.html";
    QTest::newRow("absolute") << "http://other/x"
                              << "http://other/x";
    QTest::newRow("HTTPS upper") << "HTTPS://other/"
                                 << "HTTPS://other/";
    QTest::newRow("empty") << ""
                           << "http://host/dir/";
    QTest::newRow("slash") << "/"
                           << "http://host/dir/";
    QTest::newRow("fragment") << "#top"
                              << "http://host/dir/#top";
    QTest::newRow("dot segments") << "../up.html"
                                  << "http://host/dir/../up.html";
    QTest::newRow("two slashes") << "//cdn/x.js"
                                 << "http://host/dir//cdn/x.js";
    QTest::newRow("begins with http") << "httpd.html"
                                      << "httpd.html";
    QTest::newRow("mailto") << "mailto:someone"
                            << "http://host/dir/mailto:someone";
}

void TestLinkNormalizer::resolveLink()
{
    QFETCH(QString, link);
    QFETCH(QString, address);
    LinkNormalizer links;
    links.setPageUrl(QStringLiteral("host/dir/"));
    QCOMPARE(links.baseUrl(), QStringLiteral("http://host/dir"));
    QCOMPARE(links.resolveLink(link), address);
}

QTEST_GUILESS_MAIN(TestLinkNormalizer)
#include "tst_linknormalizer.moc"
