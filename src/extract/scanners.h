#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <memory>

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

/// The same scans over a file read in chunks, so that a page of any size
/// needs only a small buffer. Read into prepare(), then commit() what was
/// read; finish() at the end.
class StreamScanner
{
public:
    enum class Kind { Hrefs, TextUrls };
    StreamScanner(Kind kind, const LinkNormalizer &links, SiteSink &list, UiServices &ui);
    ~StreamScanner();
    StreamScanner(const StreamScanner &) = delete;
    StreamScanner &operator=(const StreamScanner &) = delete;

    char *prepare(qsizetype bytes);
    void commit(qsizetype bytes);
    void finish();

private:
    struct Sink;
    void scan(bool last);

    Kind m_kind;
    UiServices &m_ui;
    std::unique_ptr<Sink> m_sink;
    QByteArray m_window;
    qsizetype m_filled = 0;
    qsizetype m_from = 0;
};

} // namespace zd
