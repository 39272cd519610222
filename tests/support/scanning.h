#pragma once

#include "extract/scanners.h"
#include "sitelist/sitelistmodel.h"

#include <QByteArray>
#include <QStringList>

namespace zd {
class LinkNormalizer;
class UiServices;
} // namespace zd

namespace zd::test {

/// Keeps every found address, in order.
class RecordingSink final : public SiteSink
{
public:
    QStringList items;
    void appendSite(const QString &text) override { items << text; }
};

/// Counts found addresses without keeping them: the scan's own cost.
class CountingSink final : public SiteSink
{
public:
    qsizetype count = 0;
    void appendSite(const QString &) override { ++count; }
};

/// The stream scanner over \a bytes fed in pieces of \a chunk bytes.
QStringList scanInChunks(StreamScanner::Kind kind, QByteArrayView bytes, const LinkNormalizer &links,
                         UiServices &ui, qsizetype chunk);

/// What the scanners must find, written plainly: every position is tried
/// with a byte-by-byte comparison, in time linear in the input. An oracle
/// for tests and fuzzing.
QStringList referenceScan(StreamScanner::Kind kind, QByteArrayView bytes, const LinkNormalizer &links);

} // namespace zd::test
