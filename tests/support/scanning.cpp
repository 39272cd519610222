#include "support/scanning.h"

#include "core/textcodec.h"
#include "extract/linknormalizer.h"

#include <algorithm>
#include <cstring>

namespace zd::test {

namespace {

bool startsWithNoCase(QByteArrayView bytes, qsizetype at, QByteArrayView lowerPattern)
{
    if (bytes.size() - at < lowerPattern.size())
        return false;
    for (qsizetype i = 0; i < lowerPattern.size(); ++i) {
        char c = bytes[at + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != lowerPattern[i])
            return false;
    }
    return true;
}

void addIfShortEnough(QStringList &found, QByteArrayView value, const LinkNormalizer &links)
{
    if (value.size() > kMaxFoundLength * 4)
        return;
    QString text = decodeBytes(value);
    if (text.size() > kMaxFoundLength)
        return;
    // Tab, LF and CR are dropped from an address, as browsers drop them.
    text.remove(QLatin1Char('\t')).remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
    found << links.resolveLink(text);
}

} // namespace

QStringList scanInChunks(StreamScanner::Kind kind, QByteArrayView bytes, const LinkNormalizer &links,
                         UiServices &ui, qsizetype chunk)
{
    RecordingSink sink;
    StreamScanner scanner(kind, links, sink, ui);
    for (qsizetype at = 0; at < bytes.size(); at += chunk) {
        const qsizetype n = std::min(chunk, bytes.size() - at);
        std::memcpy(scanner.prepare(n), bytes.data() + at, static_cast<size_t>(n));
        scanner.commit(n);
    }
    scanner.finish();
    return sink.items;
}

QStringList referenceScan(StreamScanner::Kind kind, QByteArrayView bytes, const LinkNormalizer &links)
{
    // The first quote or break at or after a position stays the first for
    // every later position up to it: each is looked for once, so that the
    // reference stays linear on a line of thousands of addresses.
    qsizetype quoteAt = -1;
    qsizetype breakAt = -1;
    const auto firstFrom = [&](qsizetype from, qsizetype &memo, auto isEnd) {
        if (memo < from) {
            memo = from;
            while (memo < bytes.size() && !isEnd(bytes[memo]))
                ++memo;
        }
        return memo;
    };
    const auto isQuote = [](char c) { return c == '"'; };
    const auto isBreak = [](char c) {
        return c == ' ' || c == '\r' || c == '\n' || c == '"' || c == '<' || c == '>';
    };
    QStringList found;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (kind == StreamScanner::Kind::Hrefs) {
            if (!startsWithNoCase(bytes, i, "href=\""))
                continue;
            const qsizetype start = i + 6;
            const qsizetype end = firstFrom(start, quoteAt, isQuote);
            if (end < bytes.size())
                addIfShortEnough(found, bytes.sliced(start, end - start), links);
        } else {
            if (!startsWithNoCase(bytes, i, "http://") && !startsWithNoCase(bytes, i, "https://"))
                continue;
            const qsizetype end = firstFrom(i, breakAt, isBreak);
            addIfShortEnough(found, bytes.sliced(i, end - i), links);
        }
    }
    return found;
}

} // namespace zd::test
