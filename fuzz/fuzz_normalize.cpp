// The page-address and link rules over arbitrary text.
#include "fuzzcheck.h"
#include "extract/linknormalizer.h"
#include "core/textcodec.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype split = input.indexOf('\n');
    const QString typed =
        zd::decodeBytes(split < 0 ? QByteArrayView(input) : QByteArrayView(input).first(split));
    const QString link = split < 0 ? QString() : zd::decodeBytes(QByteArrayView(input).sliced(split + 1));

    zd::LinkNormalizer links;
    if (!typed.isEmpty()) {
        links.setPageUrl(typed);
        const QString &page = links.pageUrl();
        ZD_FUZZ_CHECK(zd::beginsWithHttp(page));
        const QString prefixed = zd::beginsWithHttp(typed) ? typed : QStringLiteral("http://") + typed;
        ZD_FUZZ_CHECK(page == prefixed || page == prefixed + QLatin1Char('/'));
        ZD_FUZZ_CHECK(page.endsWith(QLatin1Char('/')) || typed.endsWith(QLatin1String("htm"))
                      || typed.endsWith(QLatin1String("tml")));
        if (page.contains(QLatin1Char('/')))
            ZD_FUZZ_CHECK(page.startsWith(links.baseUrl() + QLatin1Char('/')));
    }
    const QString address = links.resolveLink(link);
    const QStringView rest = link.startsWith(QLatin1Char('/')) ? QStringView(link).mid(1) : QStringView(link);
    if (zd::beginsWithHttp(rest))
        ZD_FUZZ_CHECK(address == rest);
    else
        ZD_FUZZ_CHECK(address == links.baseUrl() + QLatin1Char('/') + rest.toString());
    return 0;
}
