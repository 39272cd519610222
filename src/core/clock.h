#pragma once

#include <QElapsedTimer>

namespace zd {

/// A monotonic clock: pauses never jump at midnight or when the time is set.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual qint64 nowMs() = 0;
};

class SteadyClock final : public Clock
{
public:
    SteadyClock() { m_timer.start(); }
    qint64 nowMs() override { return m_timer.elapsed(); }

private:
    QElapsedTimer m_timer;
};

} // namespace zd
