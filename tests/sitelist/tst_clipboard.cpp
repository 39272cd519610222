#include "sitelist/clipboardexport.h"
#include "fakes/fakeplatform.h"
#include "fakes/fakeuiservices.h"
#include "support/listchecks.h"
#include "sitelist/sitelistmodel.h"

#include <QtTest>

using namespace zd;
using zd::test::FakeClipboard;
using zd::test::FakeUiServices;

namespace {
const QString kCopiedMessage = QStringLiteral(
    "Results have been copied to the clipboard.\r\rClick a text area where you normally type and press "
    "Ctrl+V to paste the clipboard.");
}

class TestClipboard : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void composition_data();
    void composition();
    void emptyListLeavesClipboardButShowsMessage();
    void retriesWhileLocked_data();
    void retriesWhileLocked();
    void listChangingDuringCopyIsSafe();
};

void TestClipboard::composition_data()
{
    QTest::addColumn<QByteArrayList>("items"); // the items' own bytes
    QTest::addColumn<QByteArray>("text");      // the clipboard's UTF-8
    QTest::newRow("padding removed again") << QByteArrayList{"a", "abc"} << QByteArray("a\r\nabc\r\n");
    QTest::newRow("trailing blanks go, tabs stay")
        << QByteArrayList{"b  ", "c\t "} << QByteArray("b\r\nc\t\r\n");
    QTest::newRow("leading blanks stay") << QByteArrayList{"  x"} << QByteArray("  x\r\n");
    QTest::newRow("empty item") << QByteArrayList{""} << QByteArray("\r\n");
    QTest::newRow("only blanks") << QByteArrayList{"   "} << QByteArray("\r\n");
    QTest::newRow("UTF-8 as it is") << QByteArrayList{"b\xC3\xBC"
                                                      "cher.de "}
                                    << QByteArray("b\xC3\xBC"
                                                  "cher.de\r\n");
    QTest::newRow("other bytes as the characters shown")
        << QByteArrayList{"caf\xE9 ", "x"} << QByteArray("caf\xC3\xA9\r\nx\r\n");
    QTest::newRow("a page's links, each whole")
        << QByteArrayList{"http://p/|x", "http://p/|y ", "http://p/|", "http://p/|caf\xE9"}
        << QByteArray("http://p/x\r\nhttp://p/y\r\nhttp://p/\r\nhttp://p/caf\xC3\xA9\r\n");
    QTest::newRow("trailing blanks go into the page's address")
        << QByteArrayList{"a |  "} << QByteArray("a\r\n");
    QTest::newRow("byte-order mark kept") << QByteArrayList{"\xEF\xBB\xBF"
                                                            "a"}
                                          << QByteArray("\xEF\xBB\xBF"
                                                        "a\r\n");
}

void TestClipboard::composition()
{
    QFETCH(QByteArrayList, items);
    QFETCH(QByteArray, text);
    FakeUiServices ui;
    FakeClipboard clipboard;
    SiteListModel model;
    zd::test::appendItems(model, items);
    copySitesToClipboard(ui, clipboard, model);
    QCOMPARE(clipboard.bytes, text);
    QCOMPARE(ui.plainMessages(), QStringList{kCopiedMessage});
}

void TestClipboard::emptyListLeavesClipboardButShowsMessage()
{
    FakeUiServices ui;
    FakeClipboard clipboard;
    SiteListModel model;
    copySitesToClipboard(ui, clipboard, model);
    QCOMPARE(clipboard.text, QStringLiteral("old content"));
    QCOMPARE(clipboard.clearCalls + clipboard.setCalls, 0);
    QCOMPARE(ui.plainMessages(), QStringList{kCopiedMessage});
}

void TestClipboard::retriesWhileLocked_data()
{
    QTest::addColumn<int>("locked");
    QTest::addColumn<int>("clearCalls");
    QTest::addColumn<int>("setCalls");
    QTest::addColumn<bool>("placed");
    QTest::newRow("free") << 0 << 1 << 1 << true;
    QTest::newRow("clear succeeds at the last try") << 999 << 1000 << 1 << true;
    QTest::newRow("clear gives up, set succeeds at once") << 1000 << 1000 << 1 << true;
    QTest::newRow("set succeeds at the last try") << 1999 << 1000 << 1000 << true;
    QTest::newRow("locked for good") << 2000 << 1000 << 1000 << false;
}

void TestClipboard::retriesWhileLocked()
{
    QFETCH(int, locked);
    QFETCH(int, clearCalls);
    QFETCH(int, setCalls);
    QFETCH(bool, placed);
    FakeClipboard clipboard;
    clipboard.lockedAttempts = locked;
    clearClipboard(clipboard);
    const bool result = setClipboardText(clipboard, QByteArrayLiteral("t"));
    QCOMPARE(clipboard.clearCalls, clearCalls);
    QCOMPARE(clipboard.setCalls, setCalls);
    QCOMPARE(result, placed);
    QCOMPARE(clipboard.text == QLatin1String("t"), placed);
}

void TestClipboard::listChangingDuringCopyIsSafe()
{
    FakeUiServices ui;
    FakeClipboard clipboard;
    SiteListModel model;
    for (int i = 0; i < 1000; ++i)
        model.appendSite(QString::number(i));
    int pumps = 0;
    ui.onPump = [&] {
        if (++pumps == 10)
            model.clear();
        else
            model.appendSite(QStringLiteral("late"));
    };
    copySitesToClipboard(ui, clipboard, model);
    QVERIFY(clipboard.text.startsWith(QStringLiteral("0\r\n1\r\n")));
    QCOMPARE(clipboard.text.count(QStringLiteral("\r\n")), 1000);
}

QTEST_GUILESS_MAIN(TestClipboard)
#include "tst_clipboard.moc"
