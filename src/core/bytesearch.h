#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zd {

/// The first byte in [p, end) that is one of \a Stops (or, with
/// \a NonAscii, at or above 0x80), or end: sixteen bytes at a time where the
/// processor can. Inlined: it is called once for every value found.
template<bool NonAscii, char... Stops>
inline __attribute__((always_inline)) const char *findStop(const char *p, const char *end)
{
#if defined(__SSE2__)
    for (; end - p >= 16; p += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        __m128i hit = NonAscii ? chunk : _mm_setzero_si128();
        ((hit = _mm_or_si128(hit, _mm_cmpeq_epi8(chunk, _mm_set1_epi8(Stops)))), ...);
        if (const int mask = _mm_movemask_epi8(hit))
            return p + __builtin_ctz(static_cast<unsigned>(mask));
    }
#endif
    while (p != end && !(NonAscii && static_cast<unsigned char>(*p) >= 0x80) && ((*p != Stops) && ...))
        ++p;
    return p;
}

template<char... Stops>
const char *findAnyOf(const char *p, const char *end)
{
    return findStop<false, Stops...>(p, end);
}

/// Copies \a bytes to \a out without any of \a Dropped; how many bytes
/// it wrote (at most bytes.size()).
template<char... Dropped>
qsizetype copyWithout(char *out, QByteArrayView bytes)
{
    const char *p = bytes.data();
    const char *const end = p + bytes.size();
    char *const start = out;
    for (;;) {
        const char *stop = findAnyOf<Dropped...>(p, end);
        if (stop != p)
            std::memcpy(out, p, size_t(stop - p));
        out += stop - p;
        if (stop == end)
            return out - start;
        p = stop + 1;
    }
}

/// Appends \a bytes to \a out without any of \a Dropped.
template<char... Dropped>
void appendWithout(QByteArray &out, QByteArrayView bytes)
{
    const qsizetype at = out.size();
    out.resize(at + bytes.size());
    out.truncate(at + copyWithout<Dropped...>(out.data() + at, bytes));
}

} // namespace zd
