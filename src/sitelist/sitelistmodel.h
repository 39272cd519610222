#pragma once

#include "sitelist/sitestore.h"

#include <QAbstractListModel>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <functional>
#include <limits>
#include <memory>

namespace zd {

/// Where found and loaded addresses go.
class SiteSink
{
public:
    virtual ~SiteSink() = default;
    /// Adds one item at the end, the text unchanged (stored as UTF-8).
    virtual void appendSite(const QString &text) = 0;
    /// Adds one item at the end as exactly these bytes.
    virtual void appendSiteBytes(QByteArrayView bytes);
    /// Adds one item made of \a head followed by \a tail.
    virtual void appendSiteBytes(QByteArrayView head, QByteArrayView tail);
    /// Adds every item of \a items at the end, in order; \a items is left
    /// empty.
    virtual void appendSites(SiteStore &&items);
    /// The store behind this sink, where appending to it is all an append
    /// does; else null. A scan adding millions of links skips a call each.
    virtual SiteStore *plainStore() { return nullptr; }
};

/// The site list: items numbered from 1, one column "Site(s)". Items keep
/// the bytes they came with and are decoded only to be shown. Appends are
/// announced to views in batches when the event loop turns, so loading a
/// million lines costs one view update per batch instead of one per line.
class SiteListModel final : public QAbstractListModel, public SiteSink
{
    Q_OBJECT
public:
    /// Longest part of an item handed to views, in bytes; the item itself
    /// keeps all of them.
    static constexpr qsizetype kDisplayLimit = 4096;

    /// The most items a list holds: its rows and indexes are ints.
    static constexpr int kMaxItems = std::numeric_limits<int>::max() - 1;

    /// A list of at most \a capacity items; appending past it throws
    /// std::bad_alloc, reported as running out of memory.
    explicit SiteListModel(QObject *parent = nullptr, int capacity = kMaxItems);

    void appendSite(const QString &text) override;
    void appendSiteBytes(QByteArrayView bytes) override;
    void appendSiteBytes(QByteArrayView head, QByteArrayView tail) override;
    /// Takes the items over without copying their bytes; past the capacity
    /// it keeps what fits and throws std::bad_alloc.
    void appendSites(SiteStore &&items) override;
    /// Number of items, including those not yet announced to views.
    int count() const { return int(m_store->size()); }
    /// The bytes of item \a index, 1 to count(), valid until the list
    /// changes; throws Failure otherwise.
    SiteBytes bytes(int index) const;
    /// Item \a index decoded as text; throws Failure outside 1 to count().
    QString text(int index) const;
    /// Removes item \a index, 1 to count(); throws Failure otherwise.
    void remove(int index);
    void clear();
    /// Keeps only the items whose mark in \a keep is not 0, in order, and
    /// those beyond its end, in one pass; the number removed. Views hear of
    /// it only when something goes.
    qsizetype retainMarked(const std::vector<char> &keep);
    /// The items as they are now, unchanged by later edits of the list.
    std::shared_ptr<const SiteStore> snapshot() const { return m_store; }

    /// What a view shows for row \a row (from 0): the decoded start of the item.
    QString displayText(int row) const;

    /// Announces pending appends to views now.
    void flushPending();

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    void checkIndex(int index) const;
    void appended();
    /// A snapshot still held keeps the old items; edits go to a copy.
    SiteStore &writable();
    /// The store, with room for one more item.
    SiteStore &forAppend();

    std::shared_ptr<SiteStore> m_store;
    int m_capacity;
    int m_announced = 0;
    bool m_flushQueued = false;
};

} // namespace zd
