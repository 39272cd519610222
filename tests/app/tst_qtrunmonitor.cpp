#include "app/qtrunmonitor.h"
#include "fakes/fakelaunch.h"
#include "fakes/formharness.h"

#include <QApplication>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

using namespace zd;
using zd::test::FakeClock;

namespace {

RunProgress at(int index)
{
    RunProgress state;
    state.index = index;
    state.count = 1000;
    state.address = QStringLiteral("http://example.com/%1").arg(index);
    state.browser = QStringLiteral("Firefox");
    return state;
}

QString heading(QWidget *window)
{
    for (QLabel *label : window->findChildren<QLabel *>()) {
        if (label->text().startsWith(QLatin1String("Opening")))
            return label->text();
    }
    return {};
}

} // namespace

class TestQtRunMonitor : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void fastRunShowsNothing();
    void slowRunShowsProgressAFewTimesASecond();
    void buttonsStopAndPause();
    void confirmationOffersTheDelay();
    void slowDownloadShowsItsBytesAndStops();
    void escAndCloseStopBesideTheMainWindow_data();
    void escAndCloseStopBesideTheMainWindow();
};

void TestQtRunMonitor::fastRunShowsNothing()
{
    FakeClock clock;
    QtRunMonitor monitor(clock);
    for (int i = 1; i <= 5; ++i) {
        monitor.progress(at(i));
        clock.now += 150;
    }
    QVERIFY(!monitor.progressWindow());
    monitor.finished();
    QVERIFY(!monitor.progressWindow());
}

void TestQtRunMonitor::slowRunShowsProgressAFewTimesASecond()
{
    QWidget main;
    FakeClock clock;
    QtRunMonitor monitor(clock);
    monitor.setWindow(&main);
    monitor.progress(at(1));
    clock.now += 1200;
    monitor.progress(at(37));
    QWidget *window = monitor.progressWindow();
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QCOMPARE(heading(window), QStringLiteral("Opening 37 of 1,000 in Firefox"));
    clock.now += 100; // too soon for another update
    monitor.progress(at(38));
    QCOMPARE(heading(window), QStringLiteral("Opening 37 of 1,000 in Firefox"));
    clock.now += QtRunMonitor::kUpdateMs;
    monitor.progress(at(39));
    QCOMPARE(heading(window), QStringLiteral("Opening 39 of 1,000 in Firefox"));
    // Closed by the user, it stops the run as Stop does, and stays until
    // the run has ended after the address in flight.
    int stops = 0;
    monitor.setControls([&] { ++stops; }, [](bool) {});
    QVERIFY(!window->close());
    QCOMPARE(stops, 1);
    clock.now += QtRunMonitor::kUpdateMs;
    monitor.progress(at(40));
    QVERIFY(window->isVisible());
    monitor.finished();
    QVERIFY(!monitor.progressWindow());
}

void TestQtRunMonitor::buttonsStopAndPause()
{
    FakeClock clock;
    QtRunMonitor monitor(clock);
    int stops = 0;
    QList<bool> pauses;
    monitor.setControls([&] { ++stops; }, [&](bool paused) { pauses << paused; });
    monitor.progress(at(1));
    clock.now += 2000;
    monitor.progress(at(2));
    QVERIFY(monitor.progressWindow());
    auto *pause = monitor.progressWindow()->findChild<QPushButton *>(QStringLiteral("Pause"));
    QTest::mouseClick(pause, Qt::LeftButton);
    QCOMPARE(pause->text(), QStringLiteral("Resume"));
    QTest::mouseClick(pause, Qt::LeftButton);
    QCOMPARE(pauses, (QList<bool>{true, false}));
    QTest::mouseClick(monitor.progressWindow()->findChild<QPushButton *>(QStringLiteral("Stop")),
                      Qt::LeftButton);
    QCOMPARE(stops, 1);
    // It stays above the browsers; Esc in it stops as Stop does.
    QVERIFY(monitor.progressWindow()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    monitor.progressWindow()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(monitor.progressWindow()));
    QTest::keyClick(monitor.progressWindow(), Qt::Key_Escape);
    QCOMPARE(stops, 2);
    // Paused, it says so and for how long.
    RunProgress paused = at(3);
    paused.paused = true;
    paused.waitingFor = QStringLiteral("you to resume");
    paused.waitedMs = 3'400;
    clock.now += 1000;
    monitor.progress(paused);
    QStringList texts;
    for (const QLabel *label : monitor.progressWindow()->findChildren<QLabel *>())
        texts << label->text();
    QVERIFY2(texts.contains(QStringLiteral("Paused for 3 s")), qPrintable(texts.join(QLatin1Char('|'))));
    // The delay between sites counts down, in whole seconds up.
    RunProgress delay = at(4);
    delay.waitingFor = QStringLiteral("the delay between sites");
    delay.waitedMs = 200;
    delay.leftMs = 800;
    clock.now += 1000;
    monitor.progress(delay);
    texts.clear();
    for (const QLabel *label : monitor.progressWindow()->findChildren<QLabel *>())
        texts << label->text();
    QVERIFY2(texts.contains(QStringLiteral("waiting for the delay between sites, 1 s left")),
             qPrintable(texts.join(QLatin1Char('|'))));
    monitor.finished();

    // A pause of the run's own shows at once, even in a run's first second;
    // Continue, or Enter in the window, goes on; Enter unpaused does nothing.
    pauses.clear();
    RunProgress own = at(20);
    own.paused = true;
    own.pausedAfter = 20;
    own.pauseEvery = 20;
    monitor.progress(own);
    QVERIFY(monitor.progressWindow());
    texts.clear();
    for (const QLabel *label : monitor.progressWindow()->findChildren<QLabel *>())
        texts << label->text();
    QVERIFY2(texts.contains(QStringLiteral("Paused after 20 of 1,000 sites."))
                 && texts.contains(QStringLiteral("Continue opens the next 20.")),
             qPrintable(texts.join(QLatin1Char('|'))));
    pause = monitor.progressWindow()->findChild<QPushButton *>(QStringLiteral("Pause"));
    QCOMPARE(pause->text(), QStringLiteral("Continue"));
    monitor.progressWindow()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(monitor.progressWindow()));
    QTest::keyClick(monitor.progressWindow(), Qt::Key_Return);
    QCOMPARE(pauses, QList<bool>{false});
    QCOMPARE(pause->text(), QStringLiteral("Pause"));
    QTest::keyClick(monitor.progressWindow(), Qt::Key_Enter);
    QCOMPARE(pauses, QList<bool>{false});
}

void TestQtRunMonitor::slowDownloadShowsItsBytesAndStops()
{
    FakeClock clock;
    QtRunMonitor monitor(clock);
    int runStops = 0;
    monitor.setControls([&] { ++runStops; }, [](bool) {});
    const QString url = QStringLiteral("http://example.com/page.html");
    monitor.downloadProgress(url, 0, -1);
    clock.now += 900;
    monitor.downloadProgress(url, 1000, -1);
    QVERIFY(!monitor.progressWindow());
    clock.now += 200;
    monitor.downloadProgress(url, 1'234'567, 5'000'000);
    QVERIFY(monitor.progressWindow());
    QStringList texts;
    for (const QLabel *label : monitor.progressWindow()->findChildren<QLabel *>())
        texts << label->text();
    QVERIFY2(texts.contains(QStringLiteral("1,234,567 of 5,000,000 bytes received")) && texts.contains(url),
             qPrintable(texts.join(QLatin1Char('|'))));
    QVERIFY(!monitor.progressWindow()->findChild<QPushButton *>(QStringLiteral("Pause"))->isVisible());
    // Stop and Esc stop the download, not a run.
    QVERIFY(!monitor.downloadStopRequested());
    monitor.progressWindow()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(monitor.progressWindow()));
    QTest::keyClick(monitor.progressWindow(), Qt::Key_Escape);
    QVERIFY(monitor.downloadStopRequested());
    QCOMPARE(runStops, 0);
    monitor.downloadFinished();
    QVERIFY(!monitor.progressWindow());
    QVERIFY(!monitor.downloadStopRequested());
    // The next run's Stop is the run's again.
    monitor.progress(at(1));
    clock.now += 2000;
    monitor.progress(at(2));
    QTest::mouseClick(monitor.progressWindow()->findChild<QPushButton *>(QStringLiteral("Stop")),
                      Qt::LeftButton);
    QCOMPARE(runStops, 1);
    QVERIFY(!monitor.downloadStopRequested());
}

void TestQtRunMonitor::confirmationOffersTheDelay()
{
    FakeClock clock;
    QtRunMonitor monitor(clock);
    QString question;
    RunChoices offered{-1, -1};
    QString pauseShown;
    const auto answer = [&](bool open) {
        QTimer::singleShot(0, [&, open] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            for (QLabel *label : dialog->findChildren<QLabel *>()) {
                if (label->text().startsWith(QLatin1String("Open")))
                    question = label->text();
            }
            auto *delay = dialog->findChild<QDoubleSpinBox *>(QStringLiteral("Delay"));
            auto *pause = dialog->findChild<QSpinBox *>(QStringLiteral("PauseEvery"));
            offered = RunChoices{delay->value(), pause->value()};
            pauseShown = pause->text();
            delay->setValue(2.5);
            pause->setValue(20);
            if (open)
                dialog->accept();
            else
                dialog->reject();
        });
    };
    answer(true);
    QCOMPARE(monitor.confirm(1000, QStringLiteral("Firefox"), RunChoices{0.5, 0}), (RunChoices{2.5, 20}));
    QCOMPARE(question, QStringLiteral("Open 1,000 sites in Firefox?"));
    QCOMPARE(offered, (RunChoices{0.5, 0}));
    QCOMPARE(pauseShown, QStringLiteral("never"));
    answer(false);
    QCOMPARE(monitor.confirm(21, QStringLiteral("Chrome"), RunChoices{0.5, 7}), std::optional<RunChoices>());
    QCOMPARE(offered, (RunChoices{0.5, 7}));
    QCOMPARE(pauseShown, QStringLiteral("7 sites"));

    // A proxy's sign-in box: what is typed, or nothing when cancelled; the
    // password is never shown.
    for (const bool signIn : {true, false}) {
        QTimer::singleShot(0, [&, signIn] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QVERIFY(dialog->findChild<QLabel *>()->text().contains(QLatin1String("proxy.corp:3128")));
            dialog->findChild<QLineEdit *>(QStringLiteral("User"))->setText(QStringLiteral("ann"));
            auto *password = dialog->findChild<QLineEdit *>(QStringLiteral("Password"));
            QCOMPARE(password->echoMode(), QLineEdit::Password);
            password->setText(QStringLiteral("s3cret"));
            if (signIn)
                dialog->accept();
            else
                dialog->reject();
        });
        const std::optional<ProxyCredentials> typed =
            monitor.proxyCredentials(QStringLiteral("proxy.corp:3128"));
        QCOMPARE(typed.has_value(), signIn);
        if (signIn)
            QVERIFY(typed->user == QLatin1String("ann") && typed->password == QLatin1String("s3cret"));
    }
}

void TestQtRunMonitor::escAndCloseStopBesideTheMainWindow_data()
{
    QTest::addColumn<bool>("download");
    QTest::addColumn<bool>("paused");
    QTest::addColumn<QString>("how"); // "esc", "close", "esc in main"
    QTest::newRow("run: Esc") << false << false << "esc";
    QTest::newRow("run paused by itself: Esc") << false << true << "esc";
    QTest::newRow("run: closed") << false << false << "close";
    QTest::newRow("run paused by itself: closed") << false << true << "close";
    QTest::newRow("download: Esc") << true << false << "esc";
    QTest::newRow("download: closed") << true << false << "close";
    QTest::newRow("run: Esc in the main window") << false << false << "esc in main";
}

// The progress window is a tool window of the real main window, which has
// an Esc of its own: each window's Esc fires, never neither.
void TestQtRunMonitor::escAndCloseStopBesideTheMainWindow()
{
    QFETCH(bool, download);
    QFETCH(bool, paused);
    QFETCH(QString, how);
    zd::test::Harness h;
    h.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&h.form));
    auto *mainEsc = h.form.findChild<QShortcut *>();
    QVERIFY(mainEsc && mainEsc->key() == QKeySequence(Qt::Key_Escape));
    QSignalSpy mainStops(mainEsc, &QShortcut::activated);
    FakeClock clock;
    QtRunMonitor monitor(clock);
    monitor.setWindow(&h.form);
    int stops = 0;
    monitor.setControls([&] { ++stops; }, [](bool) {});
    if (download) {
        monitor.downloadProgress(QStringLiteral("http://example.com/"), 0, -1);
        clock.now += 2000;
        monitor.downloadProgress(QStringLiteral("http://example.com/"), 10, -1);
    } else {
        RunProgress state = at(20);
        state.paused = paused;
        state.pausedAfter = paused ? 20 : 0;
        state.pauseEvery = 20;
        monitor.progress(state);
        clock.now += 2000;
        monitor.progress(state);
    }
    QWidget *window = monitor.progressWindow();
    QVERIFY(window && window->parentWidget() == &h.form);
    QWidget *active = how == QLatin1String("esc in main") ? &h.form : window;
    active->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(active));
    if (how == QLatin1String("close"))
        QVERIFY(!window->close());
    else
        QTest::keyClick(active, Qt::Key_Escape);
    const int expected = how == QLatin1String("esc in main") ? 0 : 1;
    QCOMPARE(download ? int(monitor.downloadStopRequested()) : stops, expected);
    QCOMPARE(int(mainStops.size()), 1 - expected);
    // Stopping, it stays until what it shows has ended.
    QVERIFY(window->isVisible());
    if (download)
        monitor.downloadFinished();
    else
        monitor.finished();
    QVERIFY(!monitor.progressWindow());
}

QTEST_MAIN(TestQtRunMonitor)
#include "tst_qtrunmonitor.moc"
