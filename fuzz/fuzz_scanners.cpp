// Both scanners over arbitrary bytes, read in pieces of any size, against a
// plain byte-by-byte reference: the fast scan may neither miss nor invent.
#include "extract/linknormalizer.h"
#include "extract/scanners.h"
#include "fakes/fakeuiservices.h"
#include "fuzzcheck.h"
#include "support/scanning.h"

#include <QByteArray>

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    zd::test::FakeUiServices ui;
    zd::LinkNormalizer links;
    links.setPageUrl(QStringLiteral("host/dir/"));
    const qsizetype chunk = size ? 1 + data[0] % 64 : 1;

    for (const auto kind : {zd::StreamScanner::Kind::TextUrls, zd::StreamScanner::Kind::Hrefs}) {
        const QStringList expected = zd::test::referenceScan(kind, input, links);
        const QStringList whole =
            zd::test::scanInChunks(kind, input, links, ui, qMax<qsizetype>(input.size(), 1));
        ZD_FUZZ_CHECK(whole == expected);
        ZD_FUZZ_CHECK(zd::test::scanInChunks(kind, input, links, ui, chunk) == expected);
        // Handed over in pieces as a download hands them, each its own size
        // (told by the byte it starts at): small ones gathered, larger ones
        // scanned where they lie.
        zd::test::RecordingSink fed;
        zd::StreamScanner scanner(kind, links, fed, ui);
        for (qsizetype at = 0, n = 0; at < input.size(); at += n) {
            n = std::min<qsizetype>(1 + 8 * static_cast<unsigned char>(input[at]), input.size() - at);
            scanner.feed(input.sliced(at, n));
        }
        scanner.finish();
        ZD_FUZZ_CHECK(fed.items == expected);
        for (const QString &found : whole) {
            ZD_FUZZ_CHECK(found.size() <= zd::kMaxFoundLength + links.baseUrl().size() + 1);
            if (kind == zd::StreamScanner::Kind::TextUrls)
                ZD_FUZZ_CHECK(found.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
                              || found.startsWith(QLatin1String("https://"), Qt::CaseInsensitive));
        }
    }
    return 0;
}
