// The page inflater: any bytes compressed as a server may send them
// (gzip, zlib-wrapped or raw deflate, in one or two gzip members) come back
// whole however they are cut into pieces; any bytes at all as a compressed
// body give the same verdict whole as in pieces, and the same output when good.
#include "extract/inflater.h"
#include "deflated.h"
#include "fuzzcheck.h"

#include <QByteArray>

#include <zlib.h>

namespace {

struct Result
{
    bool ok = true;
    bool ended = false;
    QByteArray out;
    bool operator==(const Result &) const = default;
};

Result inflateInPieces(QByteArrayView body, bool gzip, qsizetype piece)
{
    zd::Inflater inflater(gzip);
    Result result;
    for (qsizetype at = 0; at < body.size() && result.ok; at += piece)
        result.ok = inflater.feed(body.sliced(at, qMin(piece, body.size() - at)), result.out);
    result.ended = inflater.ended();
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype piece = size ? 1 + data[0] % 97 : 1;

    // Round trips: every way a server compresses.
    const QByteArrayView half = input.first(input.size() / 2);
    const QByteArray bodies[] = {
        deflated(input, 16 + MAX_WBITS), deflated(input, MAX_WBITS), deflated(input, -MAX_WBITS),
        deflated(half, 16 + MAX_WBITS) + deflated(input.sliced(half.size()), 16 + MAX_WBITS)};
    const bool gzip[] = {true, false, false, true};
    for (int i = 0; i < 4; ++i) {
        for (const qsizetype cut : {bodies[i].size() + 1, piece, qsizetype(1)}) {
            const Result result = inflateInPieces(bodies[i], gzip[i], qMax<qsizetype>(cut, 1));
            ZD_FUZZ_CHECK(result.ok && result.ended);
            ZD_FUZZ_CHECK(result.out == input);
        }
    }

    // Hostile bodies: the verdict does not depend on how the bytes arrive,
    // nor, for a good stream, what it gives (a corrupt one gives nothing
    // that is used: its page is "not found").
    for (const bool asGzip : {true, false}) {
        const Result whole = inflateInPieces(input, asGzip, qMax<qsizetype>(input.size(), 1));
        const Result pieces = inflateInPieces(input, asGzip, piece);
        ZD_FUZZ_CHECK(pieces.ok == whole.ok);
        if (whole.ok)
            ZD_FUZZ_CHECK(pieces == whole);
    }
    return 0;
}
