#include "core/appinfo.h"
#include "core/help.h"
#include "fakes/fakeuiservices.h"

#include <QtTest>

using namespace zd;
using zd::test::FakeUiServices;

class TestHelp : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void applicationTitleCutsTrailingWords_data();
    void applicationTitleCutsTrailingWords();
    void helpShowsContactOnce();
    void failingHelpIsReportedUnderItsButton();
};

void TestHelp::applicationTitleCutsTrailingWords_data()
{
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("title");
    QTest::newRow("product") << QStringLiteral("Zentavia Desk") << QStringLiteral("Zentavia");
    QTest::newRow("three words") << QStringLiteral("A B C") << QStringLiteral("A B");
    QTest::newRow("long") << QStringLiteral("Word ").repeated(12).trimmed()
                          << QStringLiteral("Word ").repeated(8).trimmed();
}

void TestHelp::applicationTitleCutsTrailingWords()
{
    QFETCH(QString, product);
    QFETCH(QString, title);
    QCOMPARE(applicationTitleFor(product), title);
}

void TestHelp::helpShowsContactOnce()
{
    FakeUiServices ui;
    showHelp(ui);
    showHelp(ui);
    QCOMPARE(ui.messages.size(), size_t(2));
    for (const auto &shown : ui.messages) {
        QCOMPARE(shown.prompt, QStringLiteral("Questions? Please contact Team Quillmoor at ") + kContactPage);
        QVERIFY(shown.title.isEmpty());
        QCOMPARE(shown.style, MessageStyle::OkOnly);
    }
}

void TestHelp::failingHelpIsReportedUnderItsButton()
{
    FakeUiServices ui;
    ui.failingMessages = 1;
    showHelp(ui);
    const QStringList lines = ui.errorReports().value(0).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.value(0), QStringLiteral("Boom"));
    // One space between the tag and "at", as users quote it.
    QCOMPARE(lines.value(1).section(QLatin1Char('\r'), 0, 0),
             QStringLiteral("in Zentavia2021/08/31.Form1.PushButton9_Click at line 100"));
}

QTEST_GUILESS_MAIN(TestHelp)
#include "tst_help.moc"
