#pragma once

#include <QAbstractScrollArea>

#include <optional>

class QHeaderView;

namespace zd {

class SiteListModel;

/// The site list's control: one column under a "Site(s)" header, one row per
/// item, one row selected at a time. Every row has the same height, so the
/// view works out what to draw from the scroll position alone and only the
/// rows on screen cost anything: appending a million items or clearing them
/// is as cheap for it as one.
class SiteListView final : public QAbstractScrollArea
{
    Q_OBJECT
public:
    explicit SiteListView(SiteListModel &model, QWidget *parent = nullptr);

    QHeaderView *header() const { return m_header; }
    void setColumnWidth(int width);
    int columnWidth() const;
    int rowHeight() const;

    /// Row under a point of the viewport, from 0; -1 below the last row.
    int rowAt(QPoint point) const;
    /// The selected row, from 0, or -1.
    int selectedRow() const { return m_selected; }
    /// Selects \a row and brings it into view; -1 selects nothing.
    void selectRow(int row);
    /// Where keys move from; -1 before the first move.
    int currentRow() const { return m_current; }
    int rowCount() const;
    /// The row's text as shown, and its rectangle in the viewport.
    QString rowText(int row) const;
    QRect visualRect(int row) const;
    /// The header's caption, which names the list.
    QString headerText() const;
    /// The first row shown.
    int firstVisibleRow() const;
    void scrollToRow(int row);
    /// Scrolls \a row to the top, as far as the list goes: where what was
    /// just loaded begins.
    void scrollToTop(int row);

Q_SIGNALS:
    /// Delete, or a double-click: the selected item is to go.
    void removeRequested();
    /// Local files dropped on the list, to be loaded as site lists.
    void filesDropped(const QStringList &paths);

protected:
    void paintEvent(QPaintEvent *event) override;
    void paintFocusOfEmptyList(QPainter &painter);
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void updateGeometries();
    void rowsInserted(int last);
    void rowsRemoved(int first, int last);
    void reset();
    void announceSelection();
    int visibleRows() const;
    /// Where a movement key takes the selection; nullopt for other keys.
    std::optional<int> rowForKey(int key) const;

    SiteListModel &m_model;
    QHeaderView *m_header;
    int m_selected = -1;
    // Where keys move from; it stays (unselected) where a removed row was.
    int m_current = -1;
};

} // namespace zd
