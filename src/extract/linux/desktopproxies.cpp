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

struct DesktopProxies::Factory
{
    std::once_flag made;
    void *factory = nullptr;
    // libproxy's plugins are not all safe to ask from two threads at once.
    std::mutex asking;
};

DesktopProxies::DesktopProxies() : m_factory(std::make_unique<Factory>()) {}

// The factory is never freed: that unloads the script engine's library
// while the engine's own threads still run in it (a crash on the next
// address or at exit); one is made in a program's life.
DesktopProxies::~DesktopProxies() = default;

ProxyRoute DesktopProxies::routeFor(const QUrl &url) const
{
    if (proxyVariableSet(url))
        return {};
    std::call_once(m_factory->made, [this] {
        if (const LibProxy *api = libProxy())
            m_factory->factory = api->factoryNew();
    });
    if (!m_factory->factory)
        return {ProxyRoute::Kind::Direct, {}};
    const LibProxy &api = *libProxy();
    QStringList answers;
    {
        const std::lock_guard lock(m_factory->asking);
        char **proxies = api.getProxies(
            m_factory->factory, url.toString(QUrl::FullyEncoded | QUrl::RemoveUserInfo).toUtf8().constData());
        for (char **proxy = proxies; proxy && *proxy; ++proxy)
            answers << QString::fromUtf8(*proxy);
        if (proxies)
            api.freeProxies(proxies);
    }
    return routeOf(answers);
}

} // namespace zd
