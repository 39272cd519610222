#pragma once

#include <QString>
#include <QUrl>

namespace zd {

/// How a download reaches one address.
struct ProxyRoute
{
    /// Default: as libcurl decides by its variables (http_proxy, https_proxy,
    /// all_proxy, no_proxy). Direct: no proxy. Proxy: through \a proxy.
    enum class Kind { Default, Direct, Proxy };
    Kind kind = Kind::Default;
    /// The proxy as libcurl takes it: "host:port", or with a scheme
    /// ("socks4://host:port").
    QString proxy;
    /// Why the route is not the one the settings meant (a configuration
    /// script that could not be fetched or run), said when the page cannot
    /// be had; empty when nothing went wrong.
    QString problem = QString();
    bool operator==(const ProxyRoute &) const = default;
};

/// The user's proxy settings, asked for every address a download goes to,
/// a redirect's too. Asked on a thread of its own: an automatic
/// configuration script may first have to be fetched and run.
class ProxyResolver
{
public:
    virtual ~ProxyResolver() = default;
    virtual ProxyRoute routeFor(const QUrl &url) const = 0;
    /// What is said when a route is not known in time: "The proxy
    /// configuration script at http://... did not answer."
    virtual QString unansweredMessage() const
    {
        return QStringLiteral("The proxy settings gave no answer in time.");
    }
};

/// The route for \a url by a proxy list as Windows keeps it ("host:port"
/// for every scheme, or "http=host:port;https=host:port;socks=host:port"),
/// or as an automatic configuration script answers ("host:port;host2:port",
/// the first taken), and a bypass list ("<local>;*.example.com;10.*",
/// where "<local>" is any name without a dot; the loopback addresses are
/// always direct unless "<-loopback>" is listed).
ProxyRoute listedProxyRoute(const QString &proxies, const QString &bypass, const QUrl &url);

/// Whether a proxy variable that libcurl reads for \a url is set: it wins
/// over the desktop's own settings.
bool proxyVariableSet(const QUrl &url);
/// The proxy variable that libcurl reads for \a url; empty when none is set.
QString proxyVariable(const QUrl &url);

} // namespace zd
