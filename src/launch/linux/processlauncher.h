#pragma once

#include "launch/browserlauncher.h"

#include <QTemporaryDir>

namespace zd {

/// Finds browsers on PATH (and the desktop's default browser through
/// xdg-settings) and starts them detached, without a shell.
class ProcessBrowserLauncher final : public BrowserLauncher
{
public:
    std::optional<ResolvedBrowser> resolve(Browser browser) override;
    std::optional<qint64> start(const ResolvedBrowser &browser, const QByteArray &address) override;
    bool running(qint64 pid) override;
    std::optional<bool> ready(const ResolvedBrowser &browser, qint64 pid) override;

private:
    std::optional<ResolvedBrowser> defaultBrowser(QString *passedOver);
    std::optional<ResolvedBrowser> firstOnPath(const QStringList &names);

    // Empty and private: a bare name ("home") is never found as a file.
    QTemporaryDir m_workFolder;
};

} // namespace zd
