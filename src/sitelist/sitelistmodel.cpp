#include "sitelist/sitelistmodel.h"

#include "core/errorreport.h"
#include "core/textcodec.h"

#include <QMetaObject>

#include <algorithm>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

namespace zd {

void SiteSink::appendSiteBytes(QByteArrayView bytes)
{
    appendSite(decodeBytes(bytes));
}

void SiteSink::appendSiteBytes(QByteArrayView head, QByteArrayView tail)
{
    QByteArray joined = head.toByteArray();
    joined.append(tail);
    appendSiteBytes(joined);
}

void SiteSink::appendSites(SiteStore &&items)
{
    for (qsizetype i = 0; i < items.size(); ++i) {
        const SiteBytes item = items.at(i);
        appendSiteBytes(item.head, item.tail);
    }
    items.clear();
}

SiteListModel::SiteListModel(QObject *parent, int capacity)
    : QAbstractListModel(parent), m_store(std::make_shared<SiteStore>()), m_capacity(capacity)
{
}

SiteStore &SiteListModel::writable()
{
    if (m_store.use_count() > 1)
        m_store = std::make_shared<SiteStore>(*m_store);
    return *m_store;
}

SiteStore &SiteListModel::forAppend()
{
    if (m_store->size() >= m_capacity)
        throw std::bad_alloc();
    return writable();
}

void SiteListModel::appendSite(const QString &text)
{
    forAppend().appendUtf8(text);
    appended();
}

void SiteListModel::appendSiteBytes(QByteArrayView bytes)
{
    forAppend().append(bytes);
    appended();
}

void SiteListModel::appendSiteBytes(QByteArrayView head, QByteArrayView tail)
{
    forAppend().append(head, tail);
    appended();
}

void SiteListModel::appendSites(SiteStore &&items)
{
    // Ours from here on; the caller's store is left empty whatever happens.
    SiteStore offered;
    offered.swap(items);
    const qsizetype count = offered.size();
    const qsizetype room = qMax(qsizetype(0), qsizetype(m_capacity) - m_store->size());
    if (count > 0 && room > 0) {
        SiteStore &store = writable();
        // Into an empty list the items move whole: nothing to allocate,
        // even when memory has just run out.
        if (store.size() == 0 && count <= room)
            store.swap(offered);
        else
            store.splice(std::move(offered), room);
        appended();
    }
    if (count > room)
        throw std::bad_alloc();
}

void SiteListModel::appended()
{
    if (!m_flushQueued) {
        m_flushQueued = true;
        QMetaObject::invokeMethod(this, &SiteListModel::flushPending, Qt::QueuedConnection);
    }
}

void SiteListModel::flushPending()
{
    m_flushQueued = false;
    const int total = count();
    if (total <= m_announced)
        return;
    beginInsertRows({}, m_announced, total - 1);
    m_announced = total;
    endInsertRows();
}

void SiteListModel::checkIndex(int index) const
{
    if (index < 1 || index > count())
        throw Failure(QStringLiteral("Index out of bounds"));
}

SiteBytes SiteListModel::bytes(int index) const
{
    checkIndex(index);
    return m_store->at(index - 1);
}

QString SiteListModel::text(int index) const
{
    return decodeBytes(bytes(index).joined());
}

void SiteListModel::remove(int index)
{
    checkIndex(index);
    flushPending();
    beginRemoveRows({}, index - 1, index - 1);
    writable().erase(index - 1);
    --m_announced;
    endRemoveRows();
}

void SiteListModel::clear()
{
    if (count() == 0)
        return;
    beginResetModel();
    // Giving a big list's memory back takes a while: a thread of its own
    // does it, and the window goes on at once.
    auto old = std::exchange(m_store, std::make_shared<SiteStore>());
    try {
        std::thread([old = std::move(old)] {}).detach();
    } catch (const std::system_error &) {
        // No thread to be had: it was given back here, all the same.
    }
    m_announced = 0;
    endResetModel();
}

qsizetype SiteListModel::retainMarked(const std::vector<char> &keep)
{
    flushPending();
    // Nothing is announced until the list has closed up, and then as one
    // reset: the view lays out once. A list that loses nothing is not
    // reset, so its view keeps its place and selection.
    if (m_store->firstUnmarked(keep) == m_store->size())
        return 0;
    beginResetModel();
    const qsizetype removed = writable().retainMarked(keep);
    m_announced = count();
    endResetModel();
    return removed;
}

QString SiteListModel::displayText(int row) const
{
    const QByteArray joined = m_store->at(row).joined();
    QByteArrayView item = joined;
    if (item.size() > kDisplayLimit) {
        // Laying out a 10 MB line would freeze the view; show its start,
        // cut where a UTF-8 character begins.
        qsizetype cut = kDisplayLimit;
        for (int back = 0; back < 3 && (static_cast<unsigned char>(item[cut]) & 0xC0) == 0x80; ++back)
            --cut;
        item = item.first(cut);
    }
    return decodeBytes(item);
}

int SiteListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_announced;
}

QVariant SiteListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_announced || index.column() != 0)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return displayText(index.row());
    case Qt::EditRole:
        return decodeBytes(m_store->at(index.row()).joined());
    default:
        return {};
    }
}

QVariant SiteListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section != 0)
        return {};
    if (role == Qt::DisplayRole)
        return QStringLiteral("Site(s)");
    if (role == Qt::ToolTipRole) {
        const QString number = groupedNumber(count());
        return count() == 1 ? QStringLiteral("1 site") : QStringLiteral("%1 sites").arg(number);
    }
    return {};
}

} // namespace zd
