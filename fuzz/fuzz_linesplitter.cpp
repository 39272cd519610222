// The site-list line splitter over any bytes read in pieces of random sizes,
// against a plain reference: lines end at CR LF, CR or LF; a UTF-8
// byte-order mark at the very start is dropped; a break at the very end
// adds nothing.
#include "fuzzcheck.h"
#include "sitelist/sitefiles.h"

#include <QByteArray>
#include <QList>

namespace {

QList<QByteArray> referenceLines(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    QList<QByteArray> lines;
    QByteArray line;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            lines << line;
            line.clear();
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
        } else {
            line += c;
        }
    }
    if (!line.isEmpty())
        lines << line;
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char *>(data), qsizetype(size));
    QList<QByteArray> lines;
    zd::SiteLineSplitter splitter([&](QByteArrayView line) { lines << line.toByteArray(); });
    // Piece sizes from the input itself, 1 to 16 bytes, so that every
    // boundary falls everywhere.
    qsizetype at = 0;
    for (size_t k = 0; at < input.size(); ++k) {
        const qsizetype piece = qMin<qsizetype>(1 + data[k % size] % 16, input.size() - at);
        splitter.feed(input.sliced(at, piece));
        at += piece;
    }
    splitter.finish();
    ZD_FUZZ_CHECK(lines == referenceLines(input));
    return 0;
}
