#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <functional>
#include <memory>

namespace zd {

class LinkNormalizer;
class SiteSink;
class UiServices;

/// Longest href value or address that is added; longer ones are skipped, so
/// a file without blanks cannot make the scan quadratic.
inline constexpr qsizetype kMaxFoundLength = 8192;

/// Every href=" (any case), or every http:// or https:// (any case) up to
/// the next space, CR, LF, '"', '<' or '>', at every position, over bytes read in chunks,
/// so that a page of any size needs only a small buffer. Read into prepare(), then commit() what was
/// read; finish() at the end.
class StreamScanner
{
public:
    enum class Kind { Hrefs, TextUrls };
    /// Offers \a ui's event loop a turn now and then during a long scan.
    StreamScanner(Kind kind, const LinkNormalizer &links, SiteSink &list, UiServices &ui);
    /// Calls \a pump (if any) now and then instead; for a scan fed from
    /// inside the event loop, which must not turn it again.
    StreamScanner(Kind kind, const LinkNormalizer &links, SiteSink &list, std::function<void()> pump);
    ~StreamScanner();
    StreamScanner(const StreamScanner &) = delete;
    StreamScanner &operator=(const StreamScanner &) = delete;

    char *prepare(qsizetype bytes);
    void commit(qsizetype bytes);
    /// As prepare() and commit() of a copy of \a bytes; but a piece of more
    /// than a few hundred bytes is scanned where it lies, and only what may
    /// still hold a link is kept.
    void feed(QByteArrayView bytes);
    void finish();
    /// Scans all of \a bytes in place, instead of prepare/commit/finish, a
    /// slice at a time; \a slice hears of each before it is scanned: where
    /// it begins (nothing before is looked at again) and where its anchors end.
    void scanWhole(QByteArrayView bytes, const std::function<void(qsizetype, qsizetype)> &slice = {});

private:
    struct Sink;
    /// Scans the window's anchors from m_from up to \a limit and moves
    /// m_from to where they go on; true when a value without its end yet
    /// stopped them.
    bool scanWindow(qsizetype limit, bool whole);
    void scan();
    void keepFromResume();
    void waitFor(bool pending);

    Kind m_kind;
    std::function<void()> m_pump;
    std::unique_ptr<Sink> m_sink;
    /// Bytes kept for anchors not looked at yet, and those behind them.
    QByteArray m_window;
    qsizetype m_filled = 0;
    qsizetype m_from = 0;
    /// The window is scanned again once it holds this many bytes.
    qsizetype m_wait = 0;
    /// A value in the window waits for its end.
    bool m_pending = false;
};

} // namespace zd
