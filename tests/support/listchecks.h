#pragma once

#include "core/errorreport.h"
#include "sitelist/filechannel.h"
#include "sitelist/sitelistmodel.h"

#include <QStringList>

namespace zd::test {

/// Every item's text, in order.
inline QStringList textsOf(const SiteListModel &list)
{
    QStringList all;
    for (int i = 1; i <= list.count(); ++i)
        all << list.text(i);
    return all;
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
