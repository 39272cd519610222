#pragma once

#include "extract/downloader.h"
#include "launch/runmonitor.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace zd {

class Clock;

/// The run's progress window: a small modeless window beside the main
/// window, shown once a run has lasted a second, updated a few times a
/// second, with Pause/Resume and Stop; a pause of the run's own shows it at
/// once, its button reading Continue. The large-run question is a dialog
/// with the delay between sites. A download that lasts a second shows the
/// same window with the bytes received and Stop.
class QtRunMonitor final : public RunMonitor, public DownloadMonitor
{
public:
    /// Shown after a run has lasted this long.
    static constexpr qint64 kShowAfterMs = 1000;
    /// Updated at most this often.
    static constexpr qint64 kUpdateMs = 500;

    explicit QtRunMonitor(Clock &clock) : m_clock(clock) {}
    ~QtRunMonitor() override;

    /// \\a window owns the dialogs; the buttons call \\a stop and \\a pause.
    void setWindow(QWidget *window) { m_window = window; }
    void setControls(std::function<void()> stop, std::function<void(bool)> pause);
    /// Asks the desktop to keep the shown progress window above the
    /// browsers' (true once done), where its stay-on-top hint is not enough.
    void setKeepAbove(std::function<bool(QWidget *)> keepAbove) { m_keepAbove = std::move(keepAbove); }

    std::optional<RunChoices> confirm(int count, const QString &browser, const RunChoices &offered) override;
    void progress(const RunProgress &state) override;
    void finished() override;

    void downloadProgress(const QString &url, qint64 received, qint64 expected) override;
    bool downloadStopRequested() const override { return m_downloadStopRequested; }
    void downloadFinished() override;
    /// A sign-in box, as browsers show for a proxy.
    std::optional<ProxyCredentials> proxyCredentials(const QString &proxy) override;

    /// The progress window while it exists (tests look at it).
    QWidget *progressWindow() const { return m_progress; }

private:
    /// Whether to show now: a second into a run, then every kUpdateMs;
    /// always when \a atOnce is set.
    bool due(bool atOnce = false);
    void build();
    /// Places and shows a window just built, once it holds its texts.
    void revealIfNew();
    void place();
    void show(const RunProgress &state);

    Clock &m_clock;
    QPointer<QWidget> m_window;
    std::function<void()> m_stop;
    std::function<void(bool)> m_pause;
    std::function<bool(QWidget *)> m_keepAbove;
    // Asked again at each update until the desktop has the window.
    int m_keepAboveTries = 0;
    bool m_revealPending = false;
    qint64 m_startedAt = -1;
    qint64 m_shownAt = -1;
    QPointer<QWidget> m_progress;
    QLabel *m_heading = nullptr;
    QLabel *m_address = nullptr;
    QLabel *m_waiting = nullptr;
    QLabel *m_counts = nullptr;
    QProgressBar *m_bar = nullptr;
    QPushButton *m_pauseButton = nullptr;
    bool m_paused = false;
    int m_shownPausedAfter = 0;
    bool m_downloading = false;
    bool m_downloadStopRequested = false;
};

} // namespace zd
