#include "extract/proxyroute.h"

#include <utility>

namespace zd {

namespace {

// No QRegularExpression here: routes are asked on a std::thread, and on
// Windows such a thread that used one crashed as it ended, in Qt's freeing of
// its PCRE2 JIT stack (seen under Wine, most runs of the proxy rows).
QStringList entries(const QString &list)
{
    QStringList found;
    QString entry;
    for (const QChar c : list) {
        if (c == QLatin1Char(';') || c == QLatin1Char(',') || c.isSpace()) {
            if (!entry.isEmpty())
                found << std::exchange(entry, QString());
        } else {
            entry += c;
        }
    }
    if (!entry.isEmpty())
        found << entry;
    return found;
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

// 127.x.y.z: four parts of one to three digits, the first 127.
bool loopbackIpv4(const QString &host)
{
    const QStringList parts = host.split(QLatin1Char('.'));
    return parts.size() == 4 && parts.first() == QLatin1String("127")
           && std::all_of(parts.begin(), parts.end(), [](const QString &part) {
                  return !part.isEmpty() && part.size() <= 3
                         && std::all_of(part.begin(), part.end(), [](QChar c) {
                                return c >= QLatin1Char('0') && c <= QLatin1Char('9');
                            });
              });
}

bool loopback(const QString &host)
{
    return host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 || host == QLatin1String("::1")
           || loopbackIpv4(host);
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

QString proxyVariable(const QUrl &url)
{
    const QByteArray scheme = url.scheme().toLower().toLatin1();
    // libcurl takes http_proxy in lower case only; the others in either.
    const QByteArrayList names{scheme + "_proxy",
                               scheme == "http" ? QByteArray() : scheme.toUpper() + "_PROXY", "all_proxy",
                               "ALL_PROXY"};
    for (const QByteArray &name : names) {
        if (!name.isEmpty() && !qEnvironmentVariableIsEmpty(name.constData()))
            return qEnvironmentVariable(name.constData());
    }
    return {};
}

bool proxyVariableSet(const QUrl &url)
{
    return !proxyVariable(url).isEmpty();
}

} // namespace zd
