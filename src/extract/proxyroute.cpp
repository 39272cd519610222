#include "extract/proxyroute.h"

#include <QRegularExpression>

namespace zd {

namespace {

QStringList entries(const QString &list)
{
    static const QRegularExpression separators(QStringLiteral("[;,\\s]+"));
    return list.split(separators, Qt::SkipEmptyParts);
}

// '*' and '?' as Windows' bypass list has them; anything else as itself.
bool wildcardMatch(QStringView pattern, QStringView text)
{
    qsizetype p = 0;
    qsizetype t = 0;
    qsizetype star = -1;
    qsizetype resume = 0;
    while (t < text.size()) {
        if (p < pattern.size()
            && (pattern[p] == QLatin1Char('?') || pattern[p].toLower() == text[t].toLower())) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
            star = p++;
            resume = t;
        } else if (star >= 0) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == QLatin1Char('*'))
        ++p;
    return p == pattern.size();
}

bool loopback(const QString &host)
{
    static const QRegularExpression ipv4(QStringLiteral("^127(\\.[0-9]{1,3}){3}$"));
    return host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 || host == QLatin1String("::1")
           || ipv4.match(host).hasMatch();
}

bool bypassed(const QString &bypass, const QUrl &url)
{
    const QString host = url.host();
    const QStringList listed = entries(bypass);
    if (!listed.contains(QLatin1String("<-loopback>"), Qt::CaseInsensitive) && loopback(host))
        return true;
    const QString scheme = url.scheme().toLower();
    const QString hostAndPort =
        host + QLatin1Char(':') + QString::number(url.port(scheme == QLatin1String("https") ? 443 : 80));
    for (QString entry : listed) {
        if (entry.compare(QLatin1String("<local>"), Qt::CaseInsensitive) == 0) {
            if (!host.contains(QLatin1Char('.')) && !host.contains(QLatin1Char(':')))
                return true;
            continue;
        }
        // "http://*.example.com" holds for that scheme only.
        if (const qsizetype colon = entry.indexOf(QLatin1String("://")); colon > 0) {
            if (entry.left(colon).compare(scheme, Qt::CaseInsensitive) != 0)
                continue;
            entry = entry.mid(colon + 3);
        }
        if (wildcardMatch(entry, host) || wildcardMatch(entry, hostAndPort))
            return true;
    }
    return false;
}

} // namespace

ProxyRoute listedProxyRoute(const QString &proxies, const QString &bypass, const QUrl &url)
{
    if (bypassed(bypass, url))
        return {ProxyRoute::Kind::Direct, {}};
    const QString scheme = url.scheme().toLower();
    QString plain;
    QString forScheme;
    QString socks;
    for (const QString &entry : entries(proxies)) {
        const qsizetype equals = entry.indexOf(QLatin1Char('='));
        if (equals < 0) {
            if (plain.isEmpty())
                plain = entry;
            continue;
        }
        const QString kind = entry.left(equals).toLower();
        const QString proxy = entry.mid(equals + 1);
        if (kind == scheme && forScheme.isEmpty())
            forScheme = proxy;
        else if (kind == QLatin1String("socks") && socks.isEmpty())
            socks = QStringLiteral("socks4://") + proxy;
    }
    for (const QString &proxy : {forScheme, plain, socks}) {
        if (!proxy.isEmpty())
            return {ProxyRoute::Kind::Proxy, proxy};
    }
    return {ProxyRoute::Kind::Direct, {}};
}

bool proxyVariableSet(const QUrl &url)
{
    const QByteArray scheme = url.scheme().toLower().toLatin1();
    // libcurl takes http_proxy in lower case only; the others in either.
    const QByteArrayList names{scheme + "_proxy",
                               scheme == "http" ? QByteArray() : scheme.toUpper() + "_PROXY", "all_proxy",
                               "ALL_PROXY"};
    return std::any_of(names.begin(), names.end(), [](const QByteArray &name) {
        return !name.isEmpty() && !qEnvironmentVariableIsEmpty(name.constData());
    });
}

} // namespace zd
