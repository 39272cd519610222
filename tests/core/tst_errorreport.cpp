#include "core/appinfo.h"
#include "core/errorreport.h"
#include "fakes/fakeuiservices.h"

#include <QtTest>

using namespace zd;
using zd::test::FakeUiServices;

namespace {

// A routine below a step: fails halfway, so its second half must not run.
void failingRoutine(QStringList &trace)
{
    trace << QStringLiteral("routine start");
    throw Failure(QStringLiteral("Deep failure"));
}

} // namespace

class TestErrorReport : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void reportTextIsExact();
    void twoFailingStepsGiveTwoReportsInOrder();
    void failingConditionRunsGuardedBlock();
    void failureDeepInRoutineSkipsOnlyThatRoutine();
    void unexpectedExceptionsAreReportedToo();
};

void TestErrorReport::reportTextIsExact()
{
    const QString text =
        errorReportText(QStringLiteral("Type mismatch"),
                        locationTag(QStringLiteral("Form1"), QStringLiteral("Form_Load")), 104);
    QCOMPARE(text, QStringLiteral("Type mismatch\r\nin Zentavia2021/08/31.Form1.Form_Load at line 104\r\r"
                                  "Please email screenshot of this message to ")
                       + kSupportEmail);
    FakeUiServices ui;
    reportError(ui, QStringLiteral("x"), QStringLiteral("in T "), 7);
    QCOMPARE(ui.messages.size(), size_t(1));
    QCOMPARE(ui.messages[0].title, QStringLiteral("Application Error"));
    QCOMPARE(ui.messages[0].style, MessageStyle::Exclamation);
}

void TestErrorReport::twoFailingStepsGiveTwoReportsInOrder()
{
    FakeUiServices ui;
    Procedure procedure(ui, QStringLiteral("in P "));
    QStringList ran;
    QVERIFY(!procedure.step(100, [] { throw Failure(QStringLiteral("first")); }));
    QVERIFY(procedure.step(102, [&] { ran << QStringLiteral("102"); }));
    QVERIFY(!procedure.step(104, [] { throw Failure(QStringLiteral("second")); }));
    QVERIFY(procedure.step(106, [&] { ran << QStringLiteral("106"); }));
    const QStringList reports = ui.errorReports();
    QCOMPARE(reports.size(), 2);
    QVERIFY(reports[0].startsWith(QStringLiteral("first\r\nin P at line 100\r\r")));
    QVERIFY(reports[1].startsWith(QStringLiteral("second\r\nin P at line 104\r\r")));
    QCOMPARE(ran, (QStringList{QStringLiteral("102"), QStringLiteral("106")}));
}

void TestErrorReport::failingConditionRunsGuardedBlock()
{
    FakeUiServices ui;
    Procedure procedure(ui, QStringLiteral("in P "));
    QString ran;
    if (procedure.condition(100, []() -> bool { throw Failure(QStringLiteral("bad test")); }))
        ran = QStringLiteral("guarded");
    else
        ran = QStringLiteral("alternative");
    QCOMPARE(ran, QStringLiteral("guarded"));
    QCOMPARE(ui.errorReports().size(), 1);
    QVERIFY(ui.errorReports()[0].contains(QStringLiteral("at line 100")));
}

void TestErrorReport::failureDeepInRoutineSkipsOnlyThatRoutine()
{
    FakeUiServices ui;
    Procedure procedure(ui, QStringLiteral("in P "));
    QStringList trace;
    procedure.step(110, [&] {
        failingRoutine(trace);
        trace << QStringLiteral("after routine in the same step");
    });
    procedure.step(112, [&] { trace << QStringLiteral("next step"); });
    QCOMPARE(trace, (QStringList{QStringLiteral("routine start"), QStringLiteral("next step")}));
    QVERIFY(ui.errorReports().value(0).startsWith(QStringLiteral("Deep failure\r\nin P at line 110")));
}

void TestErrorReport::unexpectedExceptionsAreReportedToo()
{
    FakeUiServices ui;
    Procedure procedure(ui, QStringLiteral("in P "));
    procedure.step(100, [] { throw std::runtime_error("runtime trouble"); });
    procedure.step(102, [] { throw std::bad_alloc(); });
    const QStringList reports = ui.errorReports();
    QCOMPARE(reports.size(), 2);
    QVERIFY(reports[0].startsWith(QStringLiteral("runtime trouble\r\n")));
    QVERIFY(reports[1].startsWith(QStringLiteral("Out of memory\r\n")));
}

QTEST_GUILESS_MAIN(TestErrorReport)
#include "tst_errorreport.moc"
