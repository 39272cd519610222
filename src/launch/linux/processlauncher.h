#pragma once

#include "launch/browserlauncher.h"

namespace zd {

/// Finds browsers on PATH (and the desktop's default browser through
/// xdg-settings) and starts them detached, without a shell.
class ProcessBrowserLauncher final : public BrowserLauncher
{
public:
    std::optional<ResolvedBrowser> resolve(const QString &programFile) override;
    bool start(const ResolvedBrowser &browser, const QString &address, int showCommand) override;

private:
    std::optional<ResolvedBrowser> defaultBrowser();
    std::optional<ResolvedBrowser> firstOnPath(const QStringList &names);
};

} // namespace zd
