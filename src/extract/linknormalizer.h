#pragma once

#include <QString>

namespace zd {

/// The page address of the current extraction and the base its links are
/// joined to. Pure text rules: nothing is parsed.
class LinkNormalizer
{
public:
    /// Sets the page address from the typed text and the base from it; the
    /// base keeps its old value when the page address holds no "/".
    void setPageUrl(const QString &typed);
    /// A found link as the address to add.
    QString resolveLink(QStringView link) const;

    const QString &pageUrl() const { return m_pageUrl; }
    const QString &baseUrl() const { return m_baseUrl; }

private:
    QString m_pageUrl;
    QString m_baseUrl;
};

/// The first four characters, lower-cased, are "http".
bool beginsWithHttp(QStringView text);

} // namespace zd
