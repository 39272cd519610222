#include "extract/linux/desktopproxies.h"

#include <QLibrary>
#include <QStringList>

#include <mutex>

namespace zd {

namespace {

struct LibProxy
{
    void *(*factoryNew)() = nullptr;
    char **(*getProxies)(void *factory, const char *url) = nullptr;
    void (*freeProxies)(char **proxies) = nullptr;
};

// nullptr when libproxy is not installed or lacks a function.
const LibProxy *libProxy()
{
    static const LibProxy *const api = []() -> const LibProxy * {
        static QLibrary library(QStringLiteral("proxy"), 1);
        if (!library.load())
            return nullptr;
        static LibProxy loaded;
        loaded.factoryNew =
            reinterpret_cast<decltype(loaded.factoryNew)>(library.resolve("px_proxy_factory_new"));
        loaded.getProxies =
            reinterpret_cast<decltype(loaded.getProxies)>(library.resolve("px_proxy_factory_get_proxies"));
        loaded.freeProxies =
            reinterpret_cast<decltype(loaded.freeProxies)>(library.resolve("px_proxy_factory_free_proxies"));
        if (!loaded.factoryNew || !loaded.getProxies || !loaded.freeProxies)
            return nullptr;
        return &loaded;
    }();
    return api;
}

// libproxy answers in order of preference ("http://host:port",
// "socks://host:port", "direct://"); libcurl takes one, the first it can use.
ProxyRoute routeOf(const QStringList &answers)
{
    for (const QString &answer : answers) {
        const qsizetype separator = answer.indexOf(QLatin1String("://"));
        const QString scheme = answer.left(separator).toLower();
        const QString authority = answer.mid(separator + 3).section(QLatin1Char('/'), 0, 0);
        if (scheme == QLatin1String("direct"))
            return {ProxyRoute::Kind::Direct, {}};
        if (separator <= 0 || authority.isEmpty())
            continue;
        if (scheme == QLatin1String("http"))
            return {ProxyRoute::Kind::Proxy, authority};
        // A SOCKS proxy of no stated version is taken as SOCKS 5, which
        // resolves the name at the proxy, as a desktop's own programs do.
        if (scheme == QLatin1String("socks") || scheme == QLatin1String("socks5"))
            return {ProxyRoute::Kind::Proxy, QStringLiteral("socks5h://") + authority};
        if (scheme == QLatin1String("socks4") || scheme == QLatin1String("socks4a")
            || scheme == QLatin1String("https"))
            return {ProxyRoute::Kind::Proxy, scheme + QStringLiteral("://") + authority};
    }
    return {ProxyRoute::Kind::Direct, {}};
}

} // namespace

ProxyRoute DesktopProxies::routeFor(const QUrl &url) const
{
    if (proxyVariableSet(url))
        return {};
    std::call_once(m_made, [this] {
        if (const LibProxy *api = libProxy())
            m_factory = api->factoryNew();
    });
    if (!m_factory)
        return {ProxyRoute::Kind::Direct, {}};
    const LibProxy &api = *libProxy();
    QStringList answers;
    {
        const std::lock_guard lock(m_asking);
        char **proxies = api.getProxies(
            m_factory, url.toString(QUrl::FullyEncoded | QUrl::RemoveUserInfo).toUtf8().constData());
        for (char **proxy = proxies; proxy && *proxy; ++proxy)
            answers << QString::fromUtf8(*proxy);
        if (proxies)
            api.freeProxies(proxies);
    }
    return routeOf(answers);
}

} // namespace zd
