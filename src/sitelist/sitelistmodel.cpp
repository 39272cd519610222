#include "sitelist/sitelistmodel.h"

#include "app/core/errorreport.h"

#include <QMetaObject>

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
    if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole)
        return QStringLiteral("Site(s)");
    return {};
}

} // namespace zd
