#pragma once

#include "extract/proxyroute.h"

#include <memory>

namespace zd {

/// The proxy the desktop's own settings name for an address (GNOME's,
/// KDE's, a configuration script, detection), through libproxy and its
/// plugins, as the desktop's own programs take them. A proxy variable of
/// libcurl's, where set, wins. Without libproxy, or with nothing set,
/// pages go direct.
class DesktopProxies final : public ProxyResolver
{
public:
    DesktopProxies();
    ~DesktopProxies() override;
    DesktopProxies(const DesktopProxies &) = delete;
    DesktopProxies &operator=(const DesktopProxies &) = delete;

    ProxyRoute routeFor(const QUrl &url) const override;

private:
    struct Factory;
    // Made at the first address, so that start-up does not load libproxy
    // and its plugins (a JavaScript engine among them).
    std::unique_ptr<Factory> m_factory;
};

} // namespace zd
