#pragma once

#include "launch/browserlauncher.h"

#include <QHash>
#include <QQueue>

namespace zd {

/// Finds browsers as the Windows shell finds a program by file name (the
/// App Paths key of the user, then of the machine, then PATH) and starts
/// them with CreateProcessW: one quoted argument for the address, no
/// console, no handle of ours, in an empty folder of the program's own. The process
/// handle tells how each ended.
class WindowsBrowserLauncher final : public BrowserLauncher
{
public:
    WindowsBrowserLauncher() = default;
    ~WindowsBrowserLauncher() override;
    WindowsBrowserLauncher(const WindowsBrowserLauncher &) = delete;
    WindowsBrowserLauncher &operator=(const WindowsBrowserLauncher &) = delete;

    std::optional<ResolvedBrowser> resolve(Browser browser) override;
    using BrowserLauncher::start;
    std::optional<qint64> start(const ResolvedBrowser &browser, const QList<QByteArray> &addresses) override;
    /// CreateProcessW takes a command line of at most 32,767 characters.
    bool fitsOneStart(const ResolvedBrowser &browser, const QList<QByteArray> &addresses) const override;
    bool running(qint64 pid) override;
    ProcessExit exitOf(qint64 pid) override;
    /// Windows browsers give no sign but their windows.
    std::optional<bool> ready(const ResolvedBrowser &, qint64) override { return std::nullopt; }
    QStringList lookedFor(Browser browser) const override;
    QString passedOver() const override { return m_passedOver; }
    QString startError() const override { return m_startError; }

    /// The program the shell would start for \a fileName ("firefox.exe");
    /// empty when there is none.
    static QString findProgram(const QString &fileName);

private:
    static QString startLine(const ResolvedBrowser &browser, const QList<QByteArray> &addresses);
    std::optional<ResolvedBrowser> byFileName(const QString &fileName);
    std::optional<ResolvedBrowser> defaultBrowser(QString *passedOver);
    /// Takes the exit of \a pid if it has ended; whether it has.
    bool reap(qint64 pid);
    /// Empty and of the program's own: a bare name ("home") is never found
    /// as a file.
    static QString workFolder();

    static constexpr qsizetype kEndedKept = 256;
    QHash<qint64, void *> m_children; // process handles
    QHash<qint64, ProcessExit> m_ended;
    QQueue<qint64> m_endedOrder;
    QString m_startError;
    QString m_passedOver;
};

} // namespace zd
