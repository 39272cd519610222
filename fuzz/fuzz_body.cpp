// A download's body from the network to the page: any bytes, under any
// Content-Encoding, cut into any pieces, against any size bound that the
// headers count against too. The target never gets more than what the
// headers leave of the bound nor a write larger than a slice of an
// inflated body; the verdict and what was written do not depend on the
// pieces; a body within what is left, plain or compressed as a server
// compresses, arrives whole.
#include "extract/downloader.h"
#include "deflated.h"
#include "fuzzcheck.h"

#include <QBuffer>
#include <QByteArray>

#include <zlib.h>

#include <array>

namespace {

// Keeps what it is given and the largest single write.
class Page final : public QIODevice
{
public:
    Page() { open(QIODevice::WriteOnly); }
    QByteArray bytes;
    qint64 largest = 0;

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        bytes.append(data, size);
        largest = qMax(largest, size);
        return size;
    }
};

struct Outcome
{
    bool going = true;
    std::optional<zd::DownloadStatus> stopped;
    bool cutShort = false;
    QByteArray written;
};

Outcome take(QByteArrayView body, QByteArrayView encoding, qint64 bound, qint64 headers, qsizetype piece)
{
    Page page;
    zd::BodyWriter writer(page, bound);
    Outcome outcome;
    outcome.going = writer.takeHeader(headers);
    ZD_FUZZ_CHECK(outcome.going == (headers <= bound));
    for (qsizetype at = 0; at < body.size() && outcome.going; at += piece)
        outcome.going = writer.take(body.sliced(at, qMin(piece, body.size() - at)), encoding);
    outcome.stopped = writer.stopped();
    outcome.cutShort = writer.cutShort();
    outcome.written = page.bytes;
    ZD_FUZZ_CHECK(page.bytes.size() + headers <= qMax(bound, headers));
    ZD_FUZZ_CHECK(writer.written() == page.bytes.size());
    ZD_FUZZ_CHECK(page.largest <= 64 * 1024 || encoding.isEmpty() || encoding == "identity");
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    static const QByteArrayView encodings[] = {"", "identity", "gzip", "x-gzip", " Deflate ", "br"};
    const QByteArrayView encoding = encodings[data[0] % 6];
    const qsizetype piece = 1 + data[1] % 97;
    const qint64 bound = 1 + qint64(data[2]) * 64;
    // None, half the bound, or all of it and a byte more.
    const qint64 headers = std::array<qint64, 3>{0, bound / 2, bound + 1}[data[1] / 97];
    const QByteArrayView input(reinterpret_cast<const char *>(data) + 3, qsizetype(size) - 3);

    // Hostile bytes: stopped or not however they arrive (why may differ:
    // a corrupt stream past the bound is found either way first), and the
    // same page; a stopped one as far as each got.
    const Outcome whole = take(input, encoding, bound, headers, qMax<qsizetype>(input.size(), 1));
    const Outcome pieces = take(input, encoding, bound, headers, piece);
    ZD_FUZZ_CHECK(pieces.stopped.has_value() == whole.stopped.has_value());
    if (whole.stopped) {
        ZD_FUZZ_CHECK(whole.written.startsWith(pieces.written) || pieces.written.startsWith(whole.written));
    } else {
        ZD_FUZZ_CHECK(pieces.written == whole.written && pieces.cutShort == whole.cutShort);
    }

    // A body a server sends: whole when within the bound, else too large.
    const int windowBits[] = {0, 0, 16 + MAX_WBITS, 16 + MAX_WBITS, MAX_WBITS, 0};
    if (encoding == "br")
        return 0;
    const QByteArray body =
        windowBits[data[0] % 6] ? deflated(input, windowBits[data[0] % 6]) : input.toByteArray();
    const Outcome sent = take(body, encoding, bound, headers, piece);
    if (input.size() + headers <= bound) {
        ZD_FUZZ_CHECK(!sent.stopped && !sent.cutShort);
        ZD_FUZZ_CHECK(sent.written == input);
    } else {
        ZD_FUZZ_CHECK(sent.stopped == zd::DownloadStatus::TooLarge);
    }
    return 0;
}
