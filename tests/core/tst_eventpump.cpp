#include "core/eventpump.h"

#include <QTimer>
#include <QtTest>

using zd::ThrottledEventPump;

class TestEventPump : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void pumpsOnlyWhenTheIntervalHasPassed();
    void idleKeepsTheLoopTurning();
};

void TestEventPump::pumpsOnlyWhenTheIntervalHasPassed()
{
    int delivered = 0;
    QTimer::singleShot(0, this, [&] { ++delivered; });
    ThrottledEventPump slow(60'000);
    for (int i = 0; i < 1000; ++i)
        slow.pump(); // a clock check only
    QCOMPARE(delivered, 0);
    slow.pumpNow();
    QCOMPARE(delivered, 1);

    QTimer::singleShot(0, this, [&] { ++delivered; });
    ThrottledEventPump eager(0);
    eager.pump();
    QCOMPARE(delivered, 2);
}

void TestEventPump::idleKeepsTheLoopTurning()
{
    int delivered = 0;
    QTimer::singleShot(0, this, [&] { ++delivered; });
    zd::idleInEventLoop(20);
    QCOMPARE(delivered, 1);
    // No wait: returns at once, without a turn of the loop.
    QTimer::singleShot(0, this, [&] { ++delivered; });
    zd::idleInEventLoop(0);
    QCOMPARE(delivered, 1);
}

QTEST_GUILESS_MAIN(TestEventPump)
#include "tst_eventpump.moc"
