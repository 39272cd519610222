// Both scanners over arbitrary bytes, with the properties every result keeps.
#include "fuzzcheck.h"
#include "linknormalizer.h"
#include "scanners.h"
#include "sitelistmodel.h"
#include "textcodec.h"
#include "uiservices.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

class SilentUi final : public zd::UiServices
{
public:
    zd::MessageResult messageBox(const QString &, zd::MessageStyle, const QString &) override
    {
        return zd::MessageResult::Ok;
    }
    QString inputBox(const QString &, const QString &) override { return {}; }
    void pumpEvents() override {}
    void idle(int) override {}
    void setApplicationTitle(const QString &) override {}
    zd::Pointer pointer() const override { return zd::Pointer::Default; }
    void setPointer(zd::Pointer) override {}
};

class Collect final : public zd::SiteSink
{
public:
    std::vector<QString> items;
    void AppendSite(const QString &text) override { items.push_back(text); }
};

// The bytes a found text came from: UTF-8, or one byte per character.
bool standsIn(const QByteArray &input, const QString &text)
{
    return input.contains(zd::encodeText(text)) || input.contains(text.toLatin1());
}

qsizetype countHrefs(const QByteArray &input)
{
    return input.toLower().count("href=\"");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    SilentUi ui;
    zd::LinkNormalizer links;
    links.SetPageUrl(QStringLiteral("host/dir/"));

    Collect urls;
    zd::ScanTextUrls(input, links, urls, ui);
    for (const QString &url : urls.items) {
        ZD_FUZZ_CHECK(url.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
                      || url.startsWith(QLatin1String("https://"), Qt::CaseInsensitive));
        ZD_FUZZ_CHECK(url.size() <= zd::kMaxFoundLength);
        ZD_FUZZ_CHECK(standsIn(input, url));
        ZD_FUZZ_CHECK(!url.contains(QLatin1Char(' ')) && !url.contains(QLatin1Char('\r'))
                      && !url.contains(QLatin1Char('\n')));
    }

    Collect hrefs;
    zd::ScanHrefs(input, links, hrefs, ui);
    ZD_FUZZ_CHECK(qsizetype(hrefs.items.size()) <= countHrefs(input));
    for (const QString &address : hrefs.items) {
        const bool absolute = address.startsWith(QLatin1String("http"), Qt::CaseInsensitive);
        ZD_FUZZ_CHECK(absolute || address.startsWith(QLatin1String("http://host/dir/")));
        ZD_FUZZ_CHECK(!address.contains(QLatin1Char('"')));
        const QString value =
            address.startsWith(QLatin1String("http://host/dir/")) ? address.mid(16) : address;
        ZD_FUZZ_CHECK(value.size() <= zd::kMaxFoundLength);
        ZD_FUZZ_CHECK(standsIn(input, value));
    }

    // Read in chunks, as files are, the scans find exactly the same.
    const size_t chunk = size ? 1 + data[0] % 64 : 1;
    for (const auto kind : {zd::StreamScanner::Kind::TextUrls, zd::StreamScanner::Kind::Hrefs}) {
        Collect streamed;
        zd::StreamScanner scanner(kind, links, streamed, ui);
        for (size_t at = 0; at < size; at += chunk) {
            const size_t n = std::min(chunk, size - at);
            std::memcpy(scanner.prepare(qsizetype(n)), data + at, n);
            scanner.commit(qsizetype(n));
        }
        scanner.finish();
        ZD_FUZZ_CHECK(streamed.items == (kind == zd::StreamScanner::Kind::Hrefs ? hrefs.items : urls.items));
    }
    return 0;
}
