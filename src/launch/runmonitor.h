#pragma once

#include <QString>

#include <optional>

namespace zd {

/// Where a run stands, for the progress window.
struct RunProgress
{
    /// The address in flight, from 1, of count; with several in one start,
    /// the first, and last the last of them.
    int index = 0;
    int last = 0;
    int count = 0;
    QString address;
    /// "Firefox", "Chrome", "the default browser".
    QString browser;
    /// What the run waits for ("the Firefox window"); empty when nothing.
    QString waitingFor;
    qint64 waitedMs = 0;
    /// What is left of a wait of known length (the delay); -1 otherwise.
    qint64 leftMs = -1;
    double delaySeconds = 0;
    qsizetype skipped = 0;
    qsizetype notConfirmed = 0;
    bool paused = false;
    /// Set while the run has paused itself after this item (the user's
    /// own pause leaves it 0); it goes on for pauseEvery more.
    int pausedAfter = 0;
    int pauseEvery = 0;
};

/// What the user may change when a large run is confirmed.
struct RunChoices
{
    double delaySeconds = 0;
    /// After how many sites the run pauses itself; 0: never.
    int pauseEvery = 0;
    bool operator==(const RunChoices &) const = default;
};

/// What a run shows while it goes, and the user's say in it.
class RunMonitor
{
public:
    virtual ~RunMonitor() = default;
    /// Asked once before a large run, with the choices it would use: those
    /// to use, or nullopt when the user cancels.
    virtual std::optional<RunChoices> confirm(int count, const QString &browser,
                                              const RunChoices &offered) = 0;
    /// Called at every step of a run; cheap, shows what it will.
    virtual void progress(const RunProgress &state) = 0;
    /// The run has ended, however.
    virtual void finished() = 0;
};

} // namespace zd
