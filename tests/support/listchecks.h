#pragma once

#include "core/errorreport.h"
#include "sitelist/filechannel.h"
#include "sitelist/sitelistmodel.h"
#include "sitelist/sitestore.h"

#include <QByteArrayList>
#include <QStringList>

#include <utility>

namespace zd::test {

/// Every item's text, in order.
inline QStringList textsOf(const SiteListModel &list)
{
    QStringList all;
    for (int i = 1; i <= list.count(); ++i)
        all << list.text(i);
    return all;
}

/// Appends \a items as they are; "head|tail" as a page's link, its head
/// (the page's address) kept once for the links after it.
inline void appendItems(SiteListModel &list, const QByteArrayList &items)
{
    for (const QByteArray &item : items) {
        const qsizetype bar = item.indexOf('|');
        if (bar < 0) {
            list.appendSiteBytes(item);
            continue;
        }
        SiteStore links;
        links.appendAfter(item.first(bar), item.sliced(bar + 1));
        list.appendSites(std::move(links));
    }
}

/// Whether the file channel may be claimed: no load or save holds it.
inline bool channelIsFree(FileChannel &channel)
{
    try {
        FileChannel::Claim claim(channel);
        return true;
    } catch (const Failure &) {
        return false;
    }
}

} // namespace zd::test
