#pragma once

#include <QAbstractListModel>
#include <QString>

#include <functional>
#include <vector>

namespace zd {

/// Where found and loaded addresses go.
class SiteSink
{
public:
    virtual ~SiteSink() = default;
    /// Adds one item at the end, the text unchanged.
    virtual void AppendSite(const QString &text) = 0;
};

/// The site list: items numbered from 1, one column "Site(s)". Appends are
/// announced to views in batches when the event loop turns, so loading a
/// million lines costs one view update per batch instead of one per line.
class SiteListModel final : public QAbstractListModel, public SiteSink
{
    Q_OBJECT
public:
    /// Longest text handed to views; the item itself keeps its whole text.
    static constexpr qsizetype kDisplayLimit = 4096;

    explicit SiteListModel(QObject *parent = nullptr);

    void AppendSite(const QString &text) override;
    /// Number of items, including those not yet announced to views.
    int count() const { return int(m_items.size()); }
    /// The text of item \a index, 1 to count(); throws Failure otherwise.
    const QString &text(int index) const;
    /// Removes item \a index, 1 to count(); throws Failure otherwise.
    void remove(int index);
    void clear();
    /// Keeps only the items \a keep says yes to, in order, in one pass;
    /// the number removed.
    qsizetype retainIf(const std::function<bool(const QString &)> &keep);
    const std::vector<QString> &items() const { return m_items; }

    /// Announces pending appends to views now.
    void flushPending();

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<QString> m_items;
    int m_announced = 0;
    bool m_flushQueued = false;
};

} // namespace zd
