#pragma once

#include <QByteArrayView>

#include <optional>

namespace zd {

class LinkNormalizer;
class SiteSink;
class UiServices;

/// Longest href value or address that is added; longer ones are skipped, so
/// a file without blanks cannot make the scan quadratic.
inline constexpr qsizetype kMaxFoundLength = 8192;

/// The bytes from \a start up to the first double quote; nullopt when no
/// quote follows before the end.
std::optional<QByteArrayView> ReadQuotedValue(QByteArrayView buffer, qsizetype start);

/// The bytes from \a start up to the first space, CR or LF, or to the end.
QByteArrayView ReadUrlToBreak(QByteArrayView buffer, qsizetype start);

/// Every href=" (any case), at every position: its value resolved and added.
void ScanHrefs(QByteArrayView buffer, const LinkNormalizer &links, SiteSink &list, UiServices &ui);

/// Every http:// or https:// (any case), at every position, up to the next
/// space, CR or LF (or the end): added unchanged.
void ScanTextUrls(QByteArrayView buffer, const LinkNormalizer &links, SiteSink &list, UiServices &ui);

} // namespace zd
