#pragma once

#include "extract/proxyroute.h"

#include <mutex>

namespace zd {

/// The proxy the desktop's own settings name for an address (GNOME's,
/// KDE's, a configuration script, detection), through libproxy and its
/// plugins, as the desktop's own programs take them. A proxy variable of
/// libcurl's, where set, wins. Without libproxy, or with nothing set,
/// pages go direct.
class DesktopProxies final : public ProxyResolver
{
public:
    ProxyRoute routeFor(const QUrl &url) const override;

private:
    // Made at the first address, so that start-up does not load libproxy
    // and its plugins (a JavaScript engine among them). Never freed: that
    // unloads the script engine's library while the engine's own threads
    // still run in it (a crash on the next address or at exit).
    mutable std::once_flag m_made;
    mutable void *m_factory = nullptr;
    // libproxy's plugins are not all safe to ask from two threads at once.
    mutable std::mutex m_asking;
};

} // namespace zd
