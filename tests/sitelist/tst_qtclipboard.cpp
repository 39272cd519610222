// The desktop clipboard under the test X server.
#include "sitelist/clipboardexport.h"
#include "fakes/fakeuiservices.h"
#include "sitelist/linux/qtclipboard.h"
#include "sitelist/sitelistmodel.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QProcess>
#include <QtTest>

using namespace zd;

class TestQtClipboard : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void copyPutsPlainTextOnTheClipboard();
    void anotherProgramPastesTheBytes_data();
    void anotherProgramPastesTheBytes();
};

namespace {

// Runs a program to its end while this one's event loop goes on: the
// clipboard is served from that loop.
QByteArray runWhileServing(const QString &program, const QStringList &arguments, const QByteArray &input = {})
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted())
        return "not started";
    if (!input.isNull()) {
        process.write(input);
        process.closeWriteChannel();
    }
    QByteArray output;
    QObject::connect(&process, &QProcess::readyReadStandardOutput,
                     [&] { output += process.readAllStandardOutput(); });
    for (int waited = 0; waited < 60'000 && process.state() != QProcess::NotRunning; waited += 10)
        QTest::qWait(10);
    output += process.readAllStandardOutput();
    return output;
}

} // namespace

void TestQtClipboard::copyPutsPlainTextOnTheClipboard()
{
    QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"), "needs the X11 platform");
    test::FakeUiServices ui;
    QtClipboard clipboard;
    SiteListModel list;
    list.appendSite(QStringLiteral("http://a/  "));
    list.appendSite(QStringLiteral("bücher.de"));
    copySitesToClipboard(ui, clipboard, list);
    QClipboard *system = QGuiApplication::clipboard();
    QCOMPARE(system->text(), QStringLiteral("http://a/\r\nbücher.de\r\n"));
    QVERIFY(system->mimeData()->hasText());

    // An empty list leaves what was there.
    SiteListModel empty;
    copySitesToClipboard(ui, clipboard, empty);
    QCOMPARE(system->text(), QStringLiteral("http://a/\r\nbücher.de\r\n"));
}

void TestQtClipboard::anotherProgramPastesTheBytes_data()
{
    QTest::addColumn<int>("lines");
    QTest::newRow("one line") << 1;
    // Past what one X request carries: the transfer goes in pieces (INCR).
    QTest::newRow("200,000 lines") << 200'000;
}

// What another program pastes is the list's text, byte for byte, however
// long; once that program puts its own text there, ours is given up.
void TestQtClipboard::anotherProgramPastesTheBytes()
{
    QFETCH(int, lines);
    QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"), "needs the X11 platform");
    test::FakeUiServices ui;
    QtClipboard clipboard;
    SiteListModel list;
    for (int i = 0; i < lines; ++i)
        list.appendSite(QStringLiteral("https://b\u00fccher.example/%1  ").arg(i));
    copySitesToClipboard(ui, clipboard, list);
    QVERIFY(clipboard.ownsText());
    const QByteArray pasted =
        runWhileServing(QStringLiteral("xclip"),
                        {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard"),
                         QStringLiteral("-target"), QStringLiteral("UTF8_STRING")});
    QCOMPARE(pasted.size(), composeClipboardText(ui, *list.snapshot()).size());
    QVERIFY(pasted == composeClipboardText(ui, *list.snapshot()));
    QVERIFY(pasted.startsWith("https://b\xC3\xBC"
                              "cher.example/0\r\n"));

    runWhileServing(QStringLiteral("xclip"),
                    {QStringLiteral("-i"), QStringLiteral("-selection"), QStringLiteral("clipboard")},
                    "theirs");
    QTRY_VERIFY(!clipboard.ownsText());
    // And this program reads theirs, as a paste into the list does.
    QCOMPARE(clipboard.readText(), QStringLiteral("theirs"));
}

QTEST_MAIN(TestQtClipboard)
#include "tst_qtclipboard.moc"
