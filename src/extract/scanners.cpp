#include "scanners.h"

#include "linknormalizer.h"
#include "sitelistmodel.h"
#include "textcodec.h"
#include "uiservices.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zd {

namespace {

// The event pump is offered a turn at least this often while scanning.
constexpr qsizetype kPumpBlock = 64 * 1024;

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
        const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, space), _mm_cmpeq_epi8(chunk, cr)),
                                         _mm_cmpeq_epi8(chunk, lf));
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

// Calls found(i) for every i where data[i] == a and data[i + 1] == b (and,
// when c is not 0, data[i + 2] == c), in ascending order. found returns
// false to stop. pump runs between blocks.
template<class Found, class Pump>
void findSequence(const char *data, qsizetype size, char a, char b, char c, Found &&found, Pump &&pump)
{
    const qsizetype tail = c ? 2 : 1;
    qsizetype i = 0;
    qsizetype nextPump = kPumpBlock;
#if defined(__SSE2__)
    const __m128i va = _mm_set1_epi8(a);
    const __m128i vb = _mm_set1_epi8(b);
    const __m128i vc = _mm_set1_epi8(c);
    for (; i + 16 + tail <= size; i += 16) {
        if (i >= nextPump) {
            pump();
            nextPump = i + kPumpBlock;
        }
        const char *p = data + i;
        __m128i hit = _mm_and_si128(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)), va),
                                    _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 1)), vb));
        if (c)
            hit = _mm_and_si128(hit, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 2)), vc));
        unsigned mask = unsigned(_mm_movemask_epi8(hit));
        while (mask != 0) {
            if (!found(i + __builtin_ctz(mask)))
                return;
            mask &= mask - 1;
        }
    }
#endif
    for (; i + tail < size; ++i) {
        if (data[i] == a && data[i + 1] == b && (!c || data[i + 2] == c)) {
            if (!found(i))
                return;
        }
    }
}

// Adds a found value unless it is too long to be an address.
void addFound(QByteArrayView bytes, const LinkNormalizer &links, SiteSink &list, UiServices &ui)
{
    ui.pumpEvents();
    if (bytes.size() > kMaxFoundLength * 4)
        return;
    const QString value = decodeBytes(bytes);
    if (value.size() > kMaxFoundLength)
        return;
    list.AppendSite(links.ResolveLink(value));
}

} // namespace

std::optional<QByteArrayView> ReadQuotedValue(QByteArrayView buffer, qsizetype start)
{
    if (start < 0 || start > buffer.size())
        return std::nullopt;
    const void *quote = std::memchr(buffer.data() + start, '"', size_t(buffer.size() - start));
    if (!quote)
        return std::nullopt;
    return buffer.sliced(start, static_cast<const char *>(quote) - (buffer.data() + start));
}

QByteArrayView ReadUrlToBreak(QByteArrayView buffer, qsizetype start)
{
    if (start < 0 || start >= buffer.size())
        return {};
    const qsizetype end = findBreak(buffer.data(), buffer.size(), start);
    return buffer.sliced(start, end - start);
}

void ScanHrefs(QByteArrayView buffer, const LinkNormalizer &links, SiteSink &list, UiServices &ui)
{
    const char *data = buffer.data();
    const qsizetype size = buffer.size();
    // Matches come in ascending order, so the next closing quote is found
    // once and reused: every byte is searched at most once.
    qsizetype closing = -1;
    findSequence(
        data, size, '=', '"', 0,
        [&](qsizetype equals) {
            if (equals < 4 || !equalsLower(data + equals - 4, "href", 4))
                return true;
            const qsizetype start = equals + 2;
            if (closing < start) {
                const void *quote = start < size ? std::memchr(data + start, '"', size_t(size - start)) : nullptr;
                if (!quote)
                    return false; // no later value can be closed either
                closing = static_cast<const char *>(quote) - data;
            }
            const qsizetype length = closing - start;
            if (length <= kMaxFoundLength * 4)
                addFound(QByteArrayView(data + start, length), links, list, ui);
            return true;
        },
        [&] { ui.pumpEvents(); });
}

void ScanTextUrls(QByteArrayView buffer, const LinkNormalizer &links, SiteSink &list, UiServices &ui)
{
    const char *data = buffer.data();
    const qsizetype size = buffer.size();
    qsizetype nextBreak = -1;
    findSequence(
        data, size, ':', '/', '/',
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
                addFound(QByteArrayView(data + start, length), links, list, ui);
            return true;
        },
        [&] { ui.pumpEvents(); });
}

} // namespace zd
