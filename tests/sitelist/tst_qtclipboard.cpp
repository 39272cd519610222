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
};

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

QTEST_MAIN(TestQtClipboard)
#include "tst_qtclipboard.moc"
