#include "app/sitelistview.h"

#include "app/accessibility.h"
#include "sitelist/sitelistmodel.h"

#include <QAccessible>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QDropEvent>
#include <QUrl>
#include <QPainter>
#include <QScrollBar>
#include <QProxyStyle>
#include <QStyleOptionFocusRect>
#include <QStyleOptionHeader>

namespace zd {

namespace {

// Draws the header's one section across the list, however narrow the
// column, so that no style shows the room right of it as a second section.
class SpanningHeaderStyle final : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        if (element == CE_HeaderEmptyArea && (option->state & State_Horizontal))
            return; // the section covers it
        const auto *section = qstyleoption_cast<const QStyleOptionHeader *>(option);
        // Not the section alone: the whole header item clips it to its rectangle.
        if (element == CE_Header && section && section->orientation == Qt::Horizontal && widget
            && section->rect.right() < widget->rect().right()) {
            QStyleOptionHeader spanning = *section;
            spanning.rect.setRight(widget->rect().right());
            spanning.position = QStyleOptionHeader::OnlyOneSection;
            QProxyStyle::drawControl(CE_HeaderSection, &spanning, painter, widget);
            QStyleOptionHeader label = *section;
            label.rect = subElementRect(SE_HeaderLabel, section, widget);
            if (label.rect.isValid())
                QProxyStyle::drawControl(CE_HeaderLabel, &label, painter, widget);
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

} // namespace

SiteListView::SiteListView(SiteListModel &model, QWidget *parent)
    : QAbstractScrollArea(parent), m_model(model), m_header(new QHeaderView(Qt::Horizontal, this))
{
    installAccessibility();
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    viewport()->setAcceptDrops(true);
    m_header->setModel(&model);
    m_header->setSectionsClickable(false);
    m_header->setHighlightSections(false);
    m_header->setStretchLastSection(false);
    auto *headerStyle = new SpanningHeaderStyle(m_header->style()->name());
    headerStyle->setParent(m_header);
    m_header->setStyle(headerStyle);
    m_header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalScrollBar()->setSingleStep(20);
    verticalScrollBar()->setSingleStep(1);
    connect(m_header, &QHeaderView::sectionResized, this, [this] {
        updateGeometries();
        viewport()->update();
    });
    connect(&model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int, int last) { rowsInserted(last); });
    connect(&model, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex &, int first, int last) { rowsRemoved(first, last); });
    connect(&model, &QAbstractItemModel::modelReset, this, &SiteListView::reset);
    updateGeometries();
}

void SiteListView::setColumnWidth(int width)
{
    m_header->resizeSection(0, width);
}

int SiteListView::columnWidth() const
{
    return m_header->sectionSize(0);
}

int SiteListView::rowHeight() const
{
    return fontMetrics().height() + 4;
}

int SiteListView::rowCount() const
{
    return m_model.rowCount();
}

QString SiteListView::rowText(int row) const
{
    return row >= 0 && row < rowCount() ? m_model.displayText(row) : QString();
}

QRect SiteListView::visualRect(int row) const
{
    // The row spans the list even where the column is narrower.
    const int left = -horizontalScrollBar()->value();
    return QRect(left, (row - firstVisibleRow()) * rowHeight(),
                 qMax(columnWidth(), viewport()->width() - left), rowHeight());
}

QString SiteListView::headerText() const
{
    return m_model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString();
}

int SiteListView::visibleRows() const
{
    return qMax(1, viewport()->height() / rowHeight());
}

int SiteListView::firstVisibleRow() const
{
    return verticalScrollBar()->value();
}

int SiteListView::rowAt(QPoint point) const
{
    if (point.y() < 0 || point.x() < 0 || point.x() >= viewport()->width())
        return -1;
    const qint64 row = qint64(firstVisibleRow()) + point.y() / rowHeight();
    return row < rowCount() ? int(row) : -1;
}

void SiteListView::selectRow(int row)
{
    m_selected = m_current = (row >= 0 && row < rowCount()) ? row : -1;
    if (m_selected >= 0)
        scrollToRow(m_selected);
    viewport()->update();
    announceSelection();
}

void SiteListView::announceSelection()
{
    if (!QAccessible::isActive() || m_selected < 0)
        return;
    QAccessibleEvent selection(this, QAccessible::Selection);
    selection.setChild(m_selected);
    QAccessible::updateAccessibility(&selection);
    if (hasFocus()) {
        QAccessibleEvent focus(this, QAccessible::Focus);
        focus.setChild(m_selected);
        QAccessible::updateAccessibility(&focus);
    }
}

void SiteListView::scrollToRow(int row)
{
    QScrollBar *bar = verticalScrollBar();
    if (row < bar->value())
        bar->setValue(row);
    else if (row >= bar->value() + visibleRows())
        bar->setValue(row - visibleRows() + 1);
}

void SiteListView::scrollToTop(int row)
{
    verticalScrollBar()->setValue(row);
}

void SiteListView::updateGeometries()
{
    const int headerHeight = m_header->isHidden() ? 0 : m_header->sizeHint().height();
    setViewportMargins(0, headerHeight, 0, 0);
    const QRect area = viewport()->geometry();
    m_header->setGeometry(area.left(), area.top() - headerHeight, area.width(), headerHeight);
    // Scrolled by whole rows: the range is a row count, whatever the list's size.
    QScrollBar *vertical = verticalScrollBar();
    vertical->setRange(0, qMax(0, rowCount() - visibleRows()));
    vertical->setPageStep(visibleRows());
    QScrollBar *horizontal = horizontalScrollBar();
    horizontal->setRange(0, qMax(0, columnWidth() - area.width()));
    horizontal->setPageStep(area.width());
}

void SiteListView::rowsInserted(int last)
{
    updateGeometries();
    // What was just added, pasted or loaded comes into view.
    scrollToRow(last);
    viewport()->update();
}

void SiteListView::rowsRemoved(int first, int last)
{
    const int removed = last - first + 1;
    const auto shift = [&](int row) {
        if (row > last)
            return row - removed;
        if (row >= first)
            return -2; // was removed
        return row;
    };
    const int selected = shift(m_selected);
    m_selected = selected == -2 ? -1 : selected;
    const int current = shift(m_current);
    // Keys go on from the row that took the removed one's place.
    m_current = current == -2 ? qMin(first, rowCount() - 1) : current;
    updateGeometries();
    viewport()->update();
}

void SiteListView::reset()
{
    m_selected = m_current = -1;
    verticalScrollBar()->setValue(0);
    updateGeometries();
    viewport()->update();
}

void SiteListView::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    const int height = rowHeight();
    const int first = firstVisibleRow() + event->rect().top() / height;
    const int last = qMin(rowCount() - 1, firstVisibleRow() + event->rect().bottom() / height);
    const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    if (rowCount() == 0 && hasFocus())
        paintFocusOfEmptyList(painter);
    for (int row = first; row <= last; ++row) {
        const QRect rect = visualRect(row);
        const bool selected = row == m_selected;
        if (selected)
            painter.fillRect(rect, palette().brush(group, QPalette::Highlight));
        painter.setPen(palette().color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        painter.drawText(rect.adjusted(margin, 0, -margin, 0),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, m_model.displayText(row));
        // Where the keyboard is: the current row, else the first shown.
        if (row == (m_current >= 0 ? m_current : firstVisibleRow()) && hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = rect;
            focus.backgroundColor = palette().color(group, selected ? QPalette::Highlight : QPalette::Base);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
        }
    }
}

void SiteListView::paintFocusOfEmptyList(QPainter &painter)
{
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = viewport()->rect().adjusted(1, 1, -1, -1);
    focus.backgroundColor = palette().color(QPalette::Base);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
}

void SiteListView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateGeometries();
}

std::optional<int> SiteListView::rowForKey(int key) const
{
    switch (key) {
    case Qt::Key_Up:
        return m_current < 0 ? 0 : m_current - 1;
    case Qt::Key_Down:
        return m_current + 1;
    case Qt::Key_PageUp:
        return qMax(0, m_current) - visibleRows();
    case Qt::Key_PageDown:
        return qMax(0, m_current) + visibleRows();
    case Qt::Key_Home:
        return 0;
    case Qt::Key_End:
        return rowCount() - 1;
    default:
        return std::nullopt;
    }
}

void SiteListView::keyPressEvent(QKeyEvent *event)
{
    // With any modifier: Qt's key values are not the list's key codes.
    if (event->key() == Qt::Key_Delete) {
        Q_EMIT removeRequested();
        event->accept();
        return;
    }
    const std::optional<int> row = rowForKey(event->key());
    if (!row) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    if (rowCount() > 0)
        selectRow(qBound(0, *row, rowCount() - 1));
    event->accept();
}

void SiteListView::mousePressEvent(QMouseEvent *event)
{
    // A press below the last row keeps the selection, so that the
    // double-click it starts removes the selected item.
    const int row = rowAt(event->position().toPoint());
    if (row >= 0 && (event->button() == Qt::LeftButton || event->button() == Qt::RightButton))
        selectRow(row);
    event->accept();
}

void SiteListView::mouseMoveEvent(QMouseEvent *event)
{
    // Dragging with the button down moves the selection, as in any list.
    if (event->buttons() & Qt::LeftButton) {
        const int row = rowAt(event->position().toPoint());
        if (row >= 0 && row != m_selected)
            selectRow(row);
    }
    QAbstractScrollArea::mouseMoveEvent(event);
}

void SiteListView::mouseDoubleClickEvent(QMouseEvent *event)
{
    Q_EMIT removeRequested();
    event->accept();
}

void SiteListView::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void SiteListView::dragMoveEvent(QDragMoveEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void SiteListView::dropEvent(QDropEvent *event)
{
    QStringList paths;
    for (const QUrl &url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            paths << url.toLocalFile();
    }
    event->acceptProposedAction();
    Q_EMIT filesDropped(paths);
}

void SiteListView::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void SiteListView::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void SiteListView::scrollContentsBy(int, int)
{
    m_header->setOffset(horizontalScrollBar()->value());
    viewport()->update();
}

} // namespace zd
