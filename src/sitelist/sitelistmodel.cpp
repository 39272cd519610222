#include "sitelist/sitelistmodel.h"

#include "app/core/errorreport.h"

#include <QLocale>
#include <QMetaObject>

#include <algorithm>

namespace zd {

SiteListModel::SiteListModel(QObject *parent) : QAbstractListModel(parent) {}

void SiteListModel::AppendSite(const QString &text)
{
    m_items.push_back(text);
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

const QString &SiteListModel::text(int index) const
{
    if (index < 1 || index > count())
        throw Failure(QStringLiteral("Index out of bounds"));
    return m_items[size_t(index - 1)];
}

void SiteListModel::remove(int index)
{
    if (index < 1 || index > count())
        throw Failure(QStringLiteral("Index out of bounds"));
    flushPending();
    beginRemoveRows({}, index - 1, index - 1);
    m_items.erase(m_items.begin() + (index - 1));
    --m_announced;
    endRemoveRows();
}

void SiteListModel::clear()
{
    if (m_items.empty())
        return;
    beginResetModel();
    m_items.clear();
    m_items.shrink_to_fit();
    m_announced = 0;
    endResetModel();
}

qsizetype SiteListModel::retainIf(const std::function<bool(const QString &)> &keep)
{
    flushPending();
    // Each item is asked once, in order, before anything moves.
    size_t kept = 0;
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (!keep(m_items[i]))
            continue;
        if (kept != i)
            m_items[kept] = std::move(m_items[i]);
        ++kept;
    }
    const auto removed = static_cast<qsizetype>(m_items.size() - kept);
    if (removed == 0)
        return 0;
    // One reset instead of a removal per row: the view lays out once.
    beginResetModel();
    m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(kept), m_items.end());
    m_announced = count();
    endResetModel();
    return removed;
}

int SiteListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_announced;
}

QVariant SiteListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_announced || index.column() != 0)
        return {};
    const QString &item = m_items[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        // Laying out a 10 MB line would freeze the view; show its start.
        return item.size() > kDisplayLimit ? item.left(kDisplayLimit) : item;
    case Qt::EditRole:
        return item;
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
        const QString number = QLocale(QLocale::English).toString(count());
        return count() == 1 ? QStringLiteral("1 site") : QStringLiteral("%1 sites").arg(number);
    }
    return {};
}

} // namespace zd
