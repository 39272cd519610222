#pragma once

#include "extract/proxyroute.h"

namespace zd {

/// The proxy settings of the current Windows user (Internet Options, or
/// Settings > Network > Proxy), as Windows' own downloads take them: an
/// automatic configuration script or automatic detection asked for each
/// address, else the manual proxy with its bypass list, else direct. A
/// proxy variable of libcurl's, where set, wins.
class WinHttpProxies final : public ProxyResolver
{
public:
    WinHttpProxies();
    ~WinHttpProxies() override;
    WinHttpProxies(const WinHttpProxies &) = delete;
    WinHttpProxies &operator=(const WinHttpProxies &) = delete;

    ProxyRoute routeFor(const QUrl &url) const override;
    QString unansweredMessage() const override;

private:
    void *m_session; // for the scripts: WinHTTP keeps what it fetched
};

} // namespace zd
