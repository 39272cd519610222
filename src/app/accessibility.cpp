#include "app/accessibility.h"

#include "app/sitelistview.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QHeaderView>
#include <QPointer>

namespace zd {

namespace {

class SiteListAccessible;

// One row, known by its index: it reads the list each time it is asked.
class SiteRowAccessible final : public QAccessibleInterface
{
public:
    SiteRowAccessible(SiteListAccessible *list, int row) : m_list(list), m_row(row) {}

    bool isValid() const override;
    QObject *object() const override { return nullptr; }
    QWindow *window() const override;
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *parent() const override;
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override;

    int row() const { return m_row; }

private:
    SiteListView *view() const;

    SiteListAccessible *m_list;
    int m_row;
};

class SiteListAccessible final : public QAccessibleWidget
{
public:
    // More row interfaces than a reader keeps around are forgotten at once.
    static constexpr qsizetype kMostRows = 4096;

    explicit SiteListAccessible(SiteListView *view) : QAccessibleWidget(view, QAccessible::List) {}
    ~SiteListAccessible() override { forgetRows(); }
    SiteListAccessible(const SiteListAccessible &) = delete;
    SiteListAccessible &operator=(const SiteListAccessible &) = delete;

    SiteListView *view() const { return static_cast<SiteListView *>(widget()); }

    int childCount() const override { return view()->rowCount(); }
    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        if (const auto found = m_rows.constFind(index); found != m_rows.cend())
            return QAccessible::accessibleInterface(*found);
        if (m_rows.size() >= kMostRows)
            forgetRows();
        auto *row = new SiteRowAccessible(const_cast<SiteListAccessible *>(this), index);
        m_rows.insert(index, QAccessible::registerAccessibleInterface(row));
        return row;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (child && child->role() == QAccessible::ListItem && child->parent() == this)
            return static_cast<const SiteRowAccessible *>(child)->row();
        return -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        const QPoint at = view()->viewport()->mapFromGlobal(QPoint(x, y));
        const int row = view()->rowAt(at);
        return row >= 0 ? child(row) : nullptr;
    }
    QAccessibleInterface *focusChild() const override
    {
        return view()->hasFocus() && view()->currentRow() >= 0 ? child(view()->currentRow()) : nullptr;
    }
    QString text(QAccessible::Text t) const override
    {
        // The header names the list.
        if (t == QAccessible::Name) {
            const QString name = QAccessibleWidget::text(t);
            return name.isEmpty() ? view()->headerText() : name;
        }
        return QAccessibleWidget::text(t);
    }

private:
    void forgetRows() const
    {
        for (const QAccessible::Id id : std::as_const(m_rows))
            QAccessible::deleteAccessibleInterface(id);
        m_rows.clear();
    }

    mutable QHash<int, QAccessible::Id> m_rows;
};

SiteListView *SiteRowAccessible::view() const
{
    return m_list->view();
}

bool SiteRowAccessible::isValid() const
{
    return m_list->isValid() && m_row < view()->rowCount();
}

QWindow *SiteRowAccessible::window() const
{
    return m_list->window();
}

QAccessibleInterface *SiteRowAccessible::parent() const
{
    return m_list;
}

QString SiteRowAccessible::text(QAccessible::Text t) const
{
    if (t != QAccessible::Name || !isValid())
        return {};
    return view()->rowText(m_row);
}

QRect SiteRowAccessible::rect() const
{
    if (!isValid())
        return {};
    const QRect row = view()->visualRect(m_row);
    return QRect(view()->viewport()->mapToGlobal(row.topLeft()), row.size());
}

QAccessible::State SiteRowAccessible::state() const
{
    QAccessible::State state;
    if (!isValid()) {
        state.invalid = true;
        return state;
    }
    SiteListView *list = view();
    state.selectable = true;
    state.focusable = true;
    state.selected = list->selectedRow() == m_row;
    state.focused = list->hasFocus() && list->currentRow() == m_row;
    if (!list->viewport()->rect().intersects(list->visualRect(m_row))) {
        state.invisible = true;
        state.offscreen = true;
    }
    return state;
}

} // namespace

namespace {

class OptionAccessible final : public QAccessibleWidget
{
public:
    explicit OptionAccessible(OptionButton *button) : QAccessibleWidget(button, QAccessible::RadioButton) {}

    OptionButton *button() const { return static_cast<OptionButton *>(widget()); }
    QString text(QAccessible::Text t) const override
    {
        // Its caption: Qt would name it after the group box it stands in,
        // which the reader says as the group already.
        if (t == QAccessible::Name) {
            const QString name = button()->accessibleName();
            return name.isEmpty() ? button()->text().remove(QLatin1Char('&')) : name;
        }
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = true;
        state.checked = button()->isChecked();
        return state;
    }
    QStringList actionNames() const override
    {
        return QStringList{pressAction()} << QAccessibleWidget::actionNames();
    }
    void doAction(const QString &action) override
    {
        if (action == pressAction())
            button()->click();
        else
            QAccessibleWidget::doAction(action);
    }
};

QAccessibleInterface *accessibleFactory(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    if (className == QLatin1String("zd::SiteListView"))
        return new SiteListAccessible(static_cast<SiteListView *>(object));
    if (className == QLatin1String("zd::OptionButton"))
        return new OptionAccessible(static_cast<OptionButton *>(object));
    return nullptr;
}

} // namespace

void installAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(accessibleFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace zd
