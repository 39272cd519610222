#include "extract/linknormalizer.h"

namespace zd {

bool beginsWithHttp(QStringView text)
{
    return text.size() >= 4 && text.left(4).compare(QLatin1String("http"), Qt::CaseInsensitive) == 0;
}

void LinkNormalizer::setPageUrl(const QString &typed)
{
    QString address = beginsWithHttp(typed) ? typed : QStringLiteral("http://") + typed;
    const QStringView ending = typed.size() >= 3 ? QStringView(typed).right(3) : QStringView();
    const bool looksLikePage = ending == QLatin1String("htm") || ending == QLatin1String("tml");
    if (!looksLikePage && !address.endsWith(QLatin1Char('/')))
        address += QLatin1Char('/');
    m_pageUrl = address;
    const qsizetype slash = m_pageUrl.lastIndexOf(QLatin1Char('/'));
    if (slash >= 0)
        m_baseUrl = m_pageUrl.left(slash);
}

QString LinkNormalizer::resolveLink(QStringView link) const
{
    if (link.startsWith(QLatin1Char('/')))
        link = link.mid(1);
    if (beginsWithHttp(link))
        return link.toString();
    QString address;
    address.reserve(m_baseUrl.size() + 1 + link.size());
    address += m_baseUrl;
    address += QLatin1Char('/');
    address += link;
    return address;
}

} // namespace zd
