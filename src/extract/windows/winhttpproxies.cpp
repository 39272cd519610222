#include "extract/windows/winhttpproxies.h"

#include <windows.h>

#include <winhttp.h>

namespace zd {

namespace {

// How long fetching a configuration script may take, per step.
constexpr int kScriptTimeoutMs = 10'000;

QString taken(LPWSTR &text)
{
    const QString value = text ? QString::fromWCharArray(text) : QString();
    if (text)
        GlobalFree(text);
    text = nullptr;
    return value;
}

} // namespace

WinHttpProxies::WinHttpProxies()
    : m_session(WinHttpOpen(L"Zentavia Desk", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                            WINHTTP_NO_PROXY_BYPASS, 0))
{
    if (m_session)
        WinHttpSetTimeouts(m_session, kScriptTimeoutMs, kScriptTimeoutMs, kScriptTimeoutMs, kScriptTimeoutMs);
}

WinHttpProxies::~WinHttpProxies()
{
    if (m_session)
        WinHttpCloseHandle(m_session);
}

ProxyRoute WinHttpProxies::routeFor(const QUrl &url) const
{
    if (proxyVariableSet(url))
        return {};
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG user = {};
    if (!WinHttpGetIEProxyConfigForCurrentUser(&user))
        return {ProxyRoute::Kind::Direct, {}};
    const QString script = taken(user.lpszAutoConfigUrl);
    const QString proxies = taken(user.lpszProxy);
    const QString bypass = taken(user.lpszProxyBypass);
    if ((user.fAutoDetect || !script.isEmpty()) && m_session) {
        const std::wstring scriptUrl = script.toStdWString();
        WINHTTP_AUTOPROXY_OPTIONS options = {};
        if (user.fAutoDetect) {
            options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
            options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
        }
        if (!script.isEmpty()) {
            options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
            options.lpszAutoConfigUrl = scriptUrl.c_str();
        }
        options.fAutoLogonIfChallenged = TRUE;
        const std::wstring address = url.toString(QUrl::FullyEncoded).toStdWString();
        WINHTTP_PROXY_INFO answer = {};
        if (WinHttpGetProxyForUrl(m_session, address.c_str(), &options, &answer)) {
            const QString scriptProxies = taken(answer.lpszProxy);
            const QString scriptBypass = taken(answer.lpszProxyBypass);
            if (answer.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && !scriptProxies.isEmpty())
                return listedProxyRoute(scriptProxies, scriptBypass, url);
            return {ProxyRoute::Kind::Direct, {}};
        }
        // No script to be had: the manual settings, as Windows falls back to,
        // and the reason, should the page not come that way.
        ProxyRoute fallback = proxies.isEmpty() ? ProxyRoute{ProxyRoute::Kind::Direct, {}}
                                                : listedProxyRoute(proxies, bypass, url);
        if (!script.isEmpty())
            fallback.problem =
                QStringLiteral("The proxy configuration script at %1 could not be fetched or run.")
                    .arg(script);
        return fallback;
    }
    if (!proxies.isEmpty())
        return listedProxyRoute(proxies, bypass, url);
    return {ProxyRoute::Kind::Direct, {}};
}

QString WinHttpProxies::unansweredMessage() const
{
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG user = {};
    if (!WinHttpGetIEProxyConfigForCurrentUser(&user))
        return ProxyResolver::unansweredMessage();
    const QString script = taken(user.lpszAutoConfigUrl);
    taken(user.lpszProxy);
    taken(user.lpszProxyBypass);
    if (!script.isEmpty())
        return QStringLiteral("The proxy configuration script at %1 did not answer.").arg(script);
    if (user.fAutoDetect)
        return QStringLiteral("Automatic proxy detection did not answer.");
    return ProxyResolver::unansweredMessage();
}

} // namespace zd
