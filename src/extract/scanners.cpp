#include "extract/scanners.h"

#include "extract/linknormalizer.h"
#include "sitelist/sitelistmodel.h"
#include "app/core/textcodec.h"
#include "app/core/uiservices.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zd {

namespace {

// The event pump is offered a turn at least this often while scanning.
constexpr qsizetype kPumpBlock = qsizetype{64} * 1024;

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c;
}

bool equalsLower(const char *text, const char *pattern, qsizetype length)
{
    for (qsizetype i = 0; i < length; ++i) {
        if (lower(text[i]) != pattern[i])
            return false;
    }
    return true;
}

bool isBreak(char c)
{
    return c == ' ' || c == '\r' || c == '\n';
}

// First position >= from holding a space, CR or LF; size when none.
qsizetype findBreak(const char *data, qsizetype size, qsizetype from)
{
    qsizetype i = from;
#if defined(__SSE2__)
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; i + 16 <= size; i += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i));
        const __m128i hit = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(chunk, space), _mm_cmpeq_epi8(chunk, cr)), _mm_cmpeq_epi8(chunk, lf));
        const int mask = _mm_movemask_epi8(hit);
        if (mask != 0)
            return i + __builtin_ctz(unsigned(mask));
    }
#endif
    for (; i < size; ++i) {
        if (isBreak(data[i]))
            return i;
    }
    return size;
}

// Calls found(i) for every i in [from, limit) where data[i] == a and
// data[i + 1] == b (and, when c is not 0, data[i + 2] == c), in ascending
// order. found returns false to stop. pump runs between blocks.
template<class Found, class Pump>
void findSequence(const char *data, qsizetype size, qsizetype from, qsizetype limit, char a, char b, char c,
                  Found &&found, Pump &&pump)
{
    const qsizetype tail = c ? 2 : 1;
    qsizetype i = from;
    qsizetype nextPump = from + kPumpBlock;
#if defined(__SSE2__)
    const __m128i va = _mm_set1_epi8(a);
    const __m128i vb = _mm_set1_epi8(b);
    const __m128i vc = _mm_set1_epi8(c);
    for (; i + 16 + tail <= size && i < limit; i += 16) {
        if (i >= nextPump) {
            pump();
            nextPump = i + kPumpBlock;
        }
        const char *p = data + i;
        __m128i hit =
            _mm_and_si128(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)), va),
                          _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 1)), vb));
        if (c)
            hit = _mm_and_si128(
                hit, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 2)), vc));
        unsigned mask = unsigned(_mm_movemask_epi8(hit));
        if (limit - i < 16)
            mask &= (1u << (limit - i)) - 1;
        while (mask != 0) {
            if (!found(i + __builtin_ctz(mask)))
                return;
            mask &= mask - 1;
        }
    }
#endif
    for (; i + tail < size && i < limit; ++i) {
        if (data[i] == a && data[i + 1] == b && (!c || data[i + 2] == c)) {
            if (!found(i))
                return;
        }
    }
}

bool isAscii(QByteArrayView bytes)
{
    unsigned char any = 0;
    for (const char c : bytes)
        any |= static_cast<unsigned char>(c);
    return any < 0x80;
}

// The address for a found ASCII value, built in one allocation; the same
// result as decoding it and resolving the text.
QString resolveAscii(QByteArrayView value, const LinkNormalizer &links)
{
    if (value.startsWith('/'))
        value = value.sliced(1);
    if (value.size() >= 4 && equalsLower(value.data(), "http", 4))
        return QString::fromLatin1(value);
    const QString &base = links.baseUrl();
    QString address(base.size() + 1 + value.size(), Qt::Uninitialized);
    QChar *out = address.data();
    std::memcpy(static_cast<void *>(out), base.constData(), size_t(base.size()) * sizeof(QChar));
    out += base.size();
    *out++ = QLatin1Char('/');
    for (const char c : value)
        *out++ = QLatin1Char(c);
    return address;
}

// Adds found values unless they are too long to be addresses; offers the
// event loop a turn every so many of them.
class FoundSink
{
public:
    FoundSink(const LinkNormalizer &links, SiteSink &list, UiServices &ui)
        : m_links(links), m_list(list), m_ui(ui)
    {
    }

    void add(QByteArrayView bytes)
    {
        if ((++m_count & 255) == 0)
            m_ui.pumpEvents();
        if (bytes.size() > kMaxFoundLength * 4)
            return;
        if (isAscii(bytes)) {
            if (bytes.size() <= kMaxFoundLength)
                m_list.AppendSite(resolveAscii(bytes, m_links));
            return;
        }
        const QString value = decodeBytes(bytes);
        if (value.size() <= kMaxFoundLength)
            m_list.AppendSite(m_links.ResolveLink(value));
    }

private:
    const LinkNormalizer &m_links;
    SiteSink &m_list;
    UiServices &m_ui;
    unsigned m_count = 0;
};

} // namespace

namespace {

// The scans look at anchors in [from, limit) of a window. In a window that
// is not the last, a value without its end inside the window is longer than
// kLookahead and so too long to add: the result is the same as for the
// whole buffer.
void hrefWindow(const char *data, qsizetype size, qsizetype from, qsizetype limit, bool last,
                FoundSink &found, UiServices &ui)
{
    // Matches come in ascending order, so the next closing quote is found
    // once and reused: every byte is searched at most once.
    qsizetype closing = -1;
    findSequence(
        data, size, from, limit, '=', '"', 0,
        [&](qsizetype equals) {
            if (equals < 4 || !equalsLower(data + equals - 4, "href", 4))
                return true;
            const qsizetype start = equals + 2;
            if (closing < start) {
                const void *quote =
                    start < size ? std::memchr(data + start, '"', size_t(size - start)) : nullptr;
                if (!quote)
                    return !last; // in the last window no later value can be closed either
                closing = static_cast<const char *>(quote) - data;
            }
            const qsizetype length = closing - start;
            if (length <= kMaxFoundLength * 4)
                found.add(QByteArrayView(data + start, length));
            return true;
        },
        [&] { ui.pumpEvents(); });
}

void textWindow(const char *data, qsizetype size, qsizetype from, qsizetype limit, bool /*last*/,
                FoundSink &found, UiServices &ui)
{
    qsizetype nextBreak = -1;
    findSequence(
        data, size, from, limit, ':', '/', '/',
        [&](qsizetype colon) {
            qsizetype start = -1;
            if (colon >= 4 && equalsLower(data + colon - 4, "http", 4))
                start = colon - 4;
            else if (colon >= 5 && equalsLower(data + colon - 5, "https", 5))
                start = colon - 5;
            if (start < 0)
                return true;
            if (nextBreak < start)
                nextBreak = findBreak(data, size, start);
            const qsizetype length = nextBreak - start;
            if (length <= kMaxFoundLength * 4)
                found.add(QByteArrayView(data + start, length));
            return true;
        },
        [&] { ui.pumpEvents(); });
}

// A scheme ("https") stands up to five bytes before its anchor.
constexpr qsizetype kLookbehind = 8;
constexpr qsizetype kLookahead = kMaxFoundLength * 4 + 16;

} // namespace

struct StreamScanner::Sink
{
    FoundSink found;
};

StreamScanner::StreamScanner(Kind kind, const LinkNormalizer &links, SiteSink &list, UiServices &ui)
    : m_kind(kind), m_ui(ui), m_sink(new Sink{FoundSink(links, list, ui)})
{
}

StreamScanner::~StreamScanner() = default;

char *StreamScanner::prepare(qsizetype bytes)
{
    m_window.resize(m_filled + bytes);
    return m_window.data() + m_filled;
}

void StreamScanner::commit(qsizetype bytes)
{
    m_filled += bytes;
    scan(false);
}

void StreamScanner::finish()
{
    scan(true);
    m_window.clear();
    m_filled = 0;
    m_from = 0;
}

void StreamScanner::scan(bool last)
{
    const qsizetype limit = last ? m_filled : m_filled - kLookahead;
    if (limit <= m_from)
        return;
    (m_kind == Kind::Hrefs ? hrefWindow : textWindow)(m_window.constData(), m_filled, m_from, limit, last,
                                                      m_sink->found, m_ui);
    // Keep what later anchors may still look at: the bytes before them.
    const qsizetype keep = qMax<qsizetype>(limit - kLookbehind, 0);
    std::memmove(m_window.data(), m_window.constData() + keep, size_t(m_filled - keep));
    m_filled -= keep;
    m_from = limit - keep;
}

} // namespace zd
