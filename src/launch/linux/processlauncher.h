#pragma once

#include "launch/browserlauncher.h"

#include <QHash>
#include <QQueue>
#include <QTemporaryDir>

#include <optional>

#include <sys/types.h>

class QSocketNotifier;

namespace zd {

/// Finds browsers on PATH (and the desktop's default browser through
/// xdg-settings) and starts them without a shell, each in a session of its
/// own. They are its children, so that it learns how they ended, and they
/// go on after it.
class ProcessBrowserLauncher final : public BrowserLauncher
{
public:
    /// At most this many children are watched through a descriptor each, so
    /// that a run of browsers that all stay cannot use up the program's
    /// descriptors; the others are reaped a few at each start.
    static constexpr int kMostWatched = 128;

    ProcessBrowserLauncher() = default;
    ~ProcessBrowserLauncher() override;
    ProcessBrowserLauncher(const ProcessBrowserLauncher &) = delete;
    ProcessBrowserLauncher &operator=(const ProcessBrowserLauncher &) = delete;

    std::optional<ResolvedBrowser> resolve(Browser browser) override;
    using BrowserLauncher::start;
    std::optional<qint64> start(const ResolvedBrowser &browser, const QList<QByteArray> &addresses) override;
    /// Each argument's bytes, its NUL and its pointer count against ARG_MAX
    /// (2 MiB with the usual stack), the environment included: half of that.
    bool fitsOneStart(const ResolvedBrowser &browser, const QList<QByteArray> &addresses) const override;
    bool running(qint64 pid) override;
    ProcessExit exitOf(qint64 pid) override;
    std::optional<bool> ready(const ResolvedBrowser &browser, qint64 pid) override;
    /// The default browser's private action where its desktop entry has one.
    ResolvedBrowser inPrivateWindow(ResolvedBrowser browser) const override;

    QString passedOver() const override { return m_passedOver; }

private:
    std::optional<ResolvedBrowser> defaultBrowser(QString *passedOver);
    std::optional<ResolvedBrowser> firstOnPath(const QStringList &names);
    void watch(pid_t pid);
    /// Reaps \a pid if it has ended; whether it has.
    bool reap(qint64 pid);

    static constexpr qsizetype kEndedKept = 256;
    /// Reaps a few of the children without a watch.
    void sweepUnwatched();

    // Running children, each with a watch on its pidfd (or none).
    QHash<qint64, QSocketNotifier *> m_children;
    int m_watched = 0;
    QQueue<qint64> m_unwatched;
    QHash<qint64, ProcessExit> m_ended;
    QQueue<qint64> m_endedOrder;

    // Empty and private: a bare name ("home") is never found as a file.
    // Made at the first start, so that a program ended by a signal before
    // it opened anything leaves nothing behind.
    std::optional<QTemporaryDir> m_workFolder;
    QString m_passedOver;
};

} // namespace zd
