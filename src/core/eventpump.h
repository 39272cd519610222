#pragma once

#include <QElapsedTimer>

namespace zd {

/// Processes pending events at most every interval; a clock check otherwise,
/// so loops may call it once per byte, line or item.
class ThrottledEventPump
{
public:
    explicit ThrottledEventPump(int intervalMs = 15);
    void pump();
    /// Processes events now, whatever the interval.
    void pumpNow();

private:
    QElapsedTimer m_sinceLast;
    int m_intervalMs;
};

/// Sleeps inside a local event loop, so the window keeps working meanwhile.
void idleInEventLoop(int ms);

} // namespace zd
