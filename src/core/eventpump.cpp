#include "core/eventpump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace zd {

ThrottledEventPump::ThrottledEventPump(int intervalMs) : m_intervalMs(intervalMs)
{
    m_sinceLast.start();
}

void ThrottledEventPump::pump()
{
    if (m_sinceLast.elapsed() >= m_intervalMs)
        pumpNow();
}

void ThrottledEventPump::pumpNow()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    m_sinceLast.restart();
}

void idleInEventLoop(int ms)
{
    if (ms <= 0)
        return;
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace zd
