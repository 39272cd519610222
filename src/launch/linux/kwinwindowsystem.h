#pragma once

#include "launch/windowsystem.h"

#include <QObject>
#include <QString>

#include <map>
#include <optional>

namespace zd {

/// Runs JavaScript inside KWin (Plasma's window manager) through its
/// scripting interface on the session bus. The script reports back with
/// reply(text), which calls this object over the bus.
class KWinScripts final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "local.zentavia.KWinScripts")
public:
    KWinScripts();
    ~KWinScripts() override;
    KWinScripts(const KWinScripts &) = delete;
    KWinScripts &operator=(const KWinScripts &) = delete;

    /// Whether KWin runs scripts on this session's bus.
    bool available();
    /// What the script passed to reply(); nullopt when KWin did not run it
    /// or did not answer in time.
    std::optional<QString> run(const QString &body);

public Q_SLOTS:
    /// Called by the scripts over the bus.
    void reply(const QString &token, const QString &text);

private:
    QString m_path;
    bool m_registered = false;
    std::optional<bool> m_available;
    quint64 m_nextToken = 1;
    QString m_awaited;
    std::optional<QString> m_answer;
};

/// KWin's windows (X11 and Wayland alike), listed and placed by scripts:
/// titles, classes, pids, dialogs, minimized and maximized.
class KWinWindowSystem final : public WindowSystem
{
public:
    bool available() { return m_scripts.available(); }
    WindowCapabilities capabilities() override;
    std::vector<TopLevelWindow> topLevelWindows() override;
    bool place(WindowId window, ShowState state) override;
    bool keepAbove(qint64 pid, const QString &title) override;
    /// Whether KWin keeps the window of \a pid titled \a title above the
    /// others; nullopt when there is no such window.
    std::optional<bool> keptAbove(qint64 pid, const QString &title);

    /// Whether KWin itself reports the window minimized, or maximized (its
    /// frame fills the area a maximized window gets).
    std::optional<bool> isInState(WindowId window, ShowState state);

private:
    WindowId idFor(const QString &kwinId);

    KWinScripts m_scripts;
    std::map<QString, WindowId> m_ids;
    WindowId m_nextId = 1;
};

} // namespace zd
