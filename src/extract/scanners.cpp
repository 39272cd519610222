#include "extract/scanners.h"

#include "extract/linknormalizer.h"
#include "sitelist/sitelistmodel.h"
#include "sitelist/sitestore.h"
#include "core/bytesearch.h"
#include "core/textcodec.h"
#include "core/uiservices.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace zd {

namespace {

// The event pump is offered a turn at least this often while scanning.
constexpr qsizetype kPumpBlock = qsizetype{64} * 1024;

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c;
}

// Whether the four bytes at p are \a word's four lower-case letters, in
// any case: a letter's case is its 0x20 bit, and only a letter's two cases
// meet in one when it is set.
inline bool isWordAnyCase(const char *p, const char (&word)[5])
{
    std::uint32_t bytes = 0;
    std::uint32_t expected = 0;
    std::memcpy(&bytes, p, 4);
    std::memcpy(&expected, word, 4);
    return (bytes | 0x20202020U) == expected;
}

// A lower-case letter as the first byte of a sequence matches either case.
inline char foldFor(char a)
{
    return (a >= 'a' && a <= 'z') ? char(0x20) : char(0);
}

// Where a 32-byte stretch at p holds a, b (and c when not 0) one after the
// other: bit k set for a match starting at p + k.
inline std::uint32_t sequenceMask(const char *p, char a, char b, char c)
{
    const char fold = foldFor(a);
#if defined(__SSE2__)
    const auto half = [&](const char *q) {
        __m128i hit = _mm_and_si128(
            _mm_cmpeq_epi8(
                _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(q)), _mm_set1_epi8(fold)),
                _mm_set1_epi8(a)),
            _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(q + 1)), _mm_set1_epi8(b)));
        if (c)
            hit = _mm_and_si128(hit, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(q + 2)),
                                                    _mm_set1_epi8(c)));
        return std::uint32_t(_mm_movemask_epi8(hit));
    };
    return half(p) | (half(p + 16) << 16);
#else
    std::uint32_t mask = 0;
    for (int k = 0; k < 32; ++k) {
        if (char(p[k] | fold) == a && p[k + 1] == b && (!c || p[k + 2] == c))
            mask |= std::uint32_t(1) << k;
    }
    return mask;
#endif
}

#if defined(__x86_64__)
// The same with one 32-byte compare, where the processor has AVX2.
__attribute__((target("avx2"))) inline std::uint32_t sequenceMaskAvx2(const char *p, char a, char b, char c)
{
    const __m256i first = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(p)),
                                          _mm256_set1_epi8(foldFor(a)));
    __m256i hit = _mm256_and_si256(
        _mm256_cmpeq_epi8(first, _mm256_set1_epi8(a)),
        _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 1)), _mm256_set1_epi8(b)));
    if (c)
        hit = _mm256_and_si256(hit,
                               _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 2)),
                                                 _mm256_set1_epi8(c)));
    return std::uint32_t(_mm256_movemask_epi8(hit));
}
#endif

// Calls found(i) for every i in [from, limit) where data[i] == a (either
// case for a lower-case letter) and
// data[i + 1] == b (and, when c is not 0, data[i + 2] == c), in ascending
// order. found returns false to stop. pump runs between blocks.
template<class Mask, class Found, class Pump>
inline void findSequenceWith(Mask &&mask32, const char *data, qsizetype size, qsizetype from, qsizetype limit,
                             char a, char b, char c, Found &&found, Pump &&pump)
{
    const qsizetype tail = c ? 2 : 1;
    qsizetype i = from;
    qsizetype nextPump = from + kPumpBlock;
    // Thirty-two bytes a turn; the pump is looked at once a block. What is
    // left near the limit goes to the byte loop below.
    const qsizetype lastStart = qMin(size - tail, limit) - 32;
    while (i <= lastStart) {
        if (i >= nextPump) {
            pump();
            nextPump = i + kPumpBlock;
        }
        const qsizetype blockLast = qMin(lastStart, nextPump - 1);
        for (; i <= blockLast; i += 32) {
            std::uint32_t mask = mask32(data + i, a, b, c);
            while (mask != 0) {
                if (!found(i + __builtin_ctz(mask)))
                    return;
                mask &= mask - 1;
            }
        }
    }
    const char fold = foldFor(a);
    for (; i + tail < size && i < limit; ++i) {
        if (char(data[i] | fold) == a && data[i + 1] == b && (!c || data[i + 2] == c)) {
            if (!found(i))
                return;
        }
    }
}

#if defined(__x86_64__)
template<class Found, class Pump>
__attribute__((target("avx2"))) void findSequenceAvx2(const char *data, qsizetype size, qsizetype from,
                                                      qsizetype limit, char a, char b, char c, Found &&found,
                                                      Pump &&pump)
{
    findSequenceWith(sequenceMaskAvx2, data, size, from, limit, a, b, c, found, pump);
}
#endif

template<class Found, class Pump>
void findSequence(const char *data, qsizetype size, qsizetype from, qsizetype limit, char a, char b, char c,
                  Found &&found, Pump &&pump)
{
#if defined(__x86_64__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) {
        findSequenceAvx2(data, size, from, limit, a, b, c, found, pump);
        return;
    }
#endif
    findSequenceWith(sequenceMask, data, size, from, limit, a, b, c, found, pump);
}

// False when \a bytes surely decode to more than
// kMaxFoundLength characters, told without decoding them: a long line of
// addresses asks this of thousands of long values. Invalid UTF-8 is read one
// character per byte; valid UTF-8 has one character per lead byte, two for a
// four-byte sequence.
bool mayDecodeShortEnough(QByteArrayView bytes)
{
    if (bytes.size() <= kMaxFoundLength)
        return true;
    if (!bytes.isValidUtf8())
        return false;
    qsizetype characters = 0;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        characters += (byte & 0xC0) != 0x80;
        characters += byte >= 0xF0;
    }
    return characters <= kMaxFoundLength;
}

// Adds found values unless they are too long to be addresses; offers the
// event loop a turn every so many of them.
class FoundSink
{
public:
    FoundSink(const LinkNormalizer &links, SiteSink &list, const std::function<void()> &pump)
        : m_links(links), m_list(list), m_store(list.plainStore()), m_pump(pump),
          m_base(links.baseUrl().toUtf8())
    {
        m_base.append('/');
    }

    /// A value known to be at most kMaxFoundLength bytes of ASCII without
    /// a tab or line break.
    void addPlain(QByteArrayView bytes)
    {
        if ((++m_count & 255) == 0 && m_pump)
            m_pump();
        appendAscii(bytes);
    }

    void add(QByteArrayView bytes)
    {
        // Most values: short, ASCII and unbroken, told in one pass.
        const char *const end = bytes.data() + bytes.size();
        if (bytes.size() <= kMaxFoundLength && findStop<true, '\t', '\n', '\r'>(bytes.data(), end) == end) {
            addPlain(bytes);
            return;
        }
        if ((++m_count & 255) == 0 && m_pump)
            m_pump();
        if (bytes.size() > kMaxFoundLength * 4 || !mayDecodeShortEnough(bytes))
            return;
        // Browsers drop ASCII tab, LF and CR from an address before reading
        // it; kept, a saved list would split the value into two items.
        if (findAnyOf<'\t', '\n', '\r'>(bytes.data(), bytes.data() + bytes.size())
            != bytes.data() + bytes.size()) {
            m_unbroken.clear();
            appendWithout<'\t', '\n', '\r'>(m_unbroken, bytes);
            bytes = m_unbroken;
        }
        if (isAscii(bytes)) {
            appendAscii(bytes);
            return;
        }
        const QString value = decodeBytes(bytes);
        if (value.size() <= kMaxFoundLength)
            m_list.appendSite(m_links.resolveLink(value));
    }

private:
    // The same bytes as resolving the decoded value and storing its UTF-8,
    // without making text of it on the way.
    void appendAscii(QByteArrayView value)
    {
        if (value.startsWith('/'))
            value = value.sliced(1);
        const bool absolute = value.size() >= 4 && isWordAnyCase(value.data(), "http");
        if (m_store && absolute)
            m_store->append(value);
        else if (m_store)
            m_store->appendAfter(m_base, value); // the page's address kept once
        else
            m_list.appendSiteBytes(absolute ? QByteArrayView() : QByteArrayView(m_base), value);
    }

    const LinkNormalizer &m_links;
    SiteSink &m_list;
    SiteStore *const m_store;
    std::function<void()> m_pump;
    QByteArray m_base; // the page's folder as UTF-8, with its "/"
    QByteArray m_unbroken;
    unsigned m_count = 0;
};

} // namespace

namespace {

// The scans look at anchors in [from, limit) of data[0, size). A value whose
// end is not in the data yet is "pending" unless the data is the whole input
// or the value is already too long to add whatever follows: the scan stops
// at its anchor, to go on from there once more bytes have come.
// The first byte that ends a value (a closing quote, or a blank) at or after
// a position. Anchors come in ascending order, so an end found is reused and
// a stretch found to hold none is not searched again, in this window or the
// next: every byte is searched at most once however small the pieces read.
class EndSearch
{
public:
    /// The end's position in [start, size), or size when there is none yet.
    template<class Find>
    qsizetype from(qsizetype start, const char *data, qsizetype size, Find &&find)
    {
        if (m_found >= start)
            return m_found;
        const qsizetype begin = m_clearFrom <= start && start < m_clearTo ? m_clearTo : start;
        const qsizetype at = find(data + begin, data + size) - data;
        if (at < size) {
            m_found = at;
            return at;
        }
        m_found = -1;
        m_clearFrom = start;
        m_clearTo = size;
        return size;
    }
    /// The window lost its first \a bytes.
    void shift(qsizetype bytes)
    {
        m_found = m_found >= bytes ? m_found - bytes : -1;
        m_clearFrom = qMax<qsizetype>(0, m_clearFrom - bytes);
        m_clearTo = qMax<qsizetype>(0, m_clearTo - bytes);
    }

private:
    qsizetype m_found = -1;
    qsizetype m_clearFrom = 0;
    qsizetype m_clearTo = 0;
};

// Where a scan stopped: the next position to look at, and whether a pending
// value stopped it there.
struct ScanEnd
{
    qsizetype resume;
    bool pending;
};

// An anchor is three bytes: the last two positions cannot be told yet.
constexpr qsizetype kAnchorTail = 2;

ScanEnd scanEnd(qsizetype from, qsizetype limit, qsizetype size, qsizetype pending)
{
    if (pending >= 0)
        return {pending, true};
    return {qMax(from, qMin(limit, size - kAnchorTail)), false};
}

// The first quote, control byte or non-ASCII byte in [p, end), or end: the
// end of a plain value, or a byte that needs a closer look. Two compares a
// stretch, where looking for the tab, LF and CR themselves took four.
inline const char *findPlainEnd(const char *p, const char *end)
{
#if defined(__SSE2__)
    for (; end - p >= 16; p += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        // Signed, the bytes at or above 0x80 are below 0x20 too.
        const __m128i hit = _mm_or_si128(_mm_cmplt_epi8(chunk, _mm_set1_epi8(0x20)),
                                         _mm_cmpeq_epi8(chunk, _mm_set1_epi8('"')));
        if (const int mask = _mm_movemask_epi8(hit))
            return p + __builtin_ctz(static_cast<unsigned>(mask));
    }
#endif
    while (p != end && *p != '"' && static_cast<unsigned char>(*p) >= 0x20
           && static_cast<unsigned char>(*p) < 0x80)
        ++p;
    return p;
}

const char *findQuote(const char *p, const char *end)
{
    const void *quote = p < end ? std::memchr(p, '"', size_t(end - p)) : nullptr;
    return quote ? static_cast<const char *>(quote) : end;
}

ScanEnd hrefWindow(const char *data, qsizetype size, qsizetype from, qsizetype limit, bool whole,
                   FoundSink &found, EndSearch &ends, const std::function<void()> &pump)
{
    qsizetype pending = -1;
    findSequence(
        data, size, from, limit, 'f', '=', '"',
        [&](qsizetype f) {
            if (f < 3 || !isWordAnyCase(data + f - 3, "href"))
                return true;
            const qsizetype start = f + 3;
            // Most values: their closing quote before any byte that needs a
            // closer look, found in the same pass. A value's pass ends at the
            // next quote at the latest, so no byte is passed over twice.
            const char *const value = data + start;
            const char *const searched = data + qMin(size, start + kMaxFoundLength + 1);
            const char *const stop = findPlainEnd(value, searched);
            if (stop != searched && *stop == '"') {
                found.addPlain(QByteArrayView(value, stop - value));
                return true;
            }
            const qsizetype closing = ends.from(start, data, size, findQuote);
            if (closing == size) {
                if (whole)
                    return false; // no later value can be closed either
                if (size - start > kMaxFoundLength * 4)
                    return true;
                pending = f;
                return false;
            }
            const qsizetype length = closing - start;
            if (length <= kMaxFoundLength * 4)
                found.add(QByteArrayView(data + start, length));
            return true;
        },
        [&] {
            if (pump)
                pump();
        });
    return scanEnd(from, limit, size, pending);
}

ScanEnd textWindow(const char *data, qsizetype size, qsizetype from, qsizetype limit, bool whole,
                   FoundSink &found, EndSearch &ends, const std::function<void()> &pump)
{
    qsizetype pending = -1;
    findSequence(
        data, size, from, limit, ':', '/', '/',
        [&](qsizetype colon) {
            qsizetype start = -1;
            if (colon >= 4 && isWordAnyCase(data + colon - 4, "http"))
                start = colon - 4;
            else if (colon >= 5 && lower(data[colon - 1]) == 's' && isWordAnyCase(data + colon - 5, "http"))
                start = colon - 5;
            if (start < 0)
                return true;
            // Nor may an address hold '"', '<' or '>' unencoded: they close
            // the attribute or tag it stands in.
            const qsizetype end = ends.from(start, data, size, findAnyOf<' ', '\r', '\n', '"', '<', '>'>);
            if (end == size && !whole && size - start <= kMaxFoundLength * 4) {
                pending = colon;
                return false;
            }
            if (end - start <= kMaxFoundLength * 4)
                found.add(QByteArrayView(data + start, end - start));
            return true;
        },
        [&] {
            if (pump)
                pump();
        });
    return scanEnd(from, limit, size, pending);
}

// A scheme ("https") stands up to five bytes before its anchor.
constexpr qsizetype kLookbehind = 8;
// Smaller pieces are gathered, this much at a time, before a scan; larger
// ones are scanned where they lie.
constexpr qsizetype kGather = 4096;
constexpr qsizetype kInPlace = 256;

} // namespace

struct StreamScanner::Sink
{
    FoundSink found;
    EndSearch ends;
};

StreamScanner::StreamScanner(Kind kind, const LinkNormalizer &links, SiteSink &list, UiServices &ui)
    : StreamScanner(kind, links, list, [&ui] { ui.pumpEvents(); })
{
}

StreamScanner::StreamScanner(Kind kind, const LinkNormalizer &links, SiteSink &list,
                             std::function<void()> pump)
    : m_kind(kind), m_pump(std::move(pump)), m_sink(new Sink{FoundSink(links, list, m_pump), EndSearch()})
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
    if (m_filled >= m_wait)
        scan();
}

void StreamScanner::feed(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return; // its data may be null, which memcpy must not get
    if (bytes.size() < kInPlace) {
        std::memcpy(prepare(bytes.size()), bytes.data(), size_t(bytes.size()));
        commit(bytes.size());
        return;
    }
    // The kept bytes' anchors, and those in the piece's first kLookbehind
    // bytes (which may need the kept ones behind them), are the window's,
    // with as much of the piece as they need; the rest of the piece is
    // scanned where it lies.
    if (m_filled > 0) {
        const qsizetype limit = m_filled + kLookbehind;
        qsizetype taken = 0;
        for (;;) {
            const qsizetype wanted = qMax(limit + kAnchorTail, m_pending ? m_wait : 0) - m_filled;
            const qsizetype take = qMin(bytes.size() - taken, wanted);
            std::memcpy(prepare(take), bytes.data() + taken, size_t(take));
            m_filled += take;
            taken += take;
            const bool pending = scanWindow(limit, false);
            waitFor(pending);
            if (!pending)
                break;
            if (taken == bytes.size()) {
                keepFromResume(); // the whole piece kept for a value not yet ended
                return;
            }
        }
    }
    EndSearch ends;
    const qsizetype from = m_filled > 0 ? kLookbehind : 0;
    const ScanEnd end = (m_kind == Kind::Hrefs ? hrefWindow : textWindow)(
        bytes.data(), bytes.size(), from, bytes.size(), false, m_sink->found, ends, m_pump);
    // What may still hold an anchor, and the bytes before it, is kept.
    const qsizetype keep = qMax<qsizetype>(0, end.resume - kLookbehind);
    m_window.resize(bytes.size() - keep);
    std::memcpy(m_window.data(), bytes.data() + keep, size_t(bytes.size() - keep));
    m_filled = bytes.size() - keep;
    m_from = end.resume - keep;
    m_sink->ends = EndSearch();
    waitFor(end.pending);
}

void StreamScanner::finish()
{
    scanWindow(m_filled, true);
    m_window.clear();
    m_filled = 0;
    m_from = 0;
    m_wait = 0;
    m_pending = false;
    m_sink->ends = EndSearch();
}

void StreamScanner::scanWhole(QByteArrayView bytes, const std::function<void(qsizetype, qsizetype)> &slice)
{
    // In slices, each starting its anchors where the last stopped and free to
    // look past its end: the same result as one pass.
    constexpr qsizetype kSlice = qsizetype{8} << 20;
    const auto window = m_kind == Kind::Hrefs ? hrefWindow : textWindow;
    EndSearch ends;
    for (qsizetype from = 0; from < bytes.size();) {
        const qsizetype limit = qMin(bytes.size(), from + kSlice);
        if (slice)
            slice(qMax<qsizetype>(0, from - kLookbehind), limit);
        window(bytes.data(), bytes.size(), from, limit, true, m_sink->found, ends, m_pump);
        from = limit;
    }
}

bool StreamScanner::scanWindow(qsizetype limit, bool whole)
{
    const ScanEnd end = (m_kind == Kind::Hrefs ? hrefWindow : textWindow)(
        m_window.constData(), m_filled, m_from, qMin(limit, m_filled), whole, m_sink->found, m_sink->ends,
        m_pump);
    m_from = end.resume;
    return end.pending;
}

void StreamScanner::scan()
{
    const bool pending = scanWindow(m_filled, false);
    keepFromResume();
    waitFor(pending);
}

void StreamScanner::keepFromResume()
{
    // Kept: what later anchors may still look at, the bytes before them.
    const qsizetype keep = qMax<qsizetype>(m_from - kLookbehind, 0);
    std::memmove(m_window.data(), m_window.constData() + keep, size_t(m_filled - keep));
    m_filled -= keep;
    m_from -= keep;
    m_sink->ends.shift(keep);
}

void StreamScanner::waitFor(bool pending)
{
    // A pending value is looked at again once what follows its anchor has
    // doubled: each byte is scanned a bounded number of times.
    m_pending = pending;
    m_wait = m_filled + (pending ? qMax(m_filled - m_from, kGather) : kGather);
}

} // namespace zd
