#include "app/form1.h"

#include "app/accessibility.h"
#include "app/indicatorstyle.h"
#include "app/appicon.h"
#include "app/sitelistview.h"
#include "core/appinfo.h"
#include "sitelist/clipboardexport.h"
#include "core/errorreport.h"
#include "extract/extraction.h"
#include "core/filehelpers.h"
#include "core/help.h"
#include "launch/launchrun.h"
#include "core/optionchoices.h"
#include "sitelist/sitefiles.h"
#include "sitelist/siteedits.h"
#include "sitelist/sitelistmodel.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QCoreApplication>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QWindow>
#include <QShortcut>
#include <QStyle>
#include <QScrollBar>

namespace zd {

namespace {

// Layout positions are in twips, 15 to a pixel at the desktop's usual
// font size; \a scale grows them with a larger one.
int px(int twips, double scale)
{
    return qRound(twips * scale / 15.0);
}

QRect twipsRect(int left, int top, int width, int height, double scale)
{
    return QRect(px(left, scale), px(top, scale), px(width, scale), px(height, scale));
}

// The largest size desktops give their font by default (GNOME's 11 pt):
// up to it the window keeps its own size; a user's larger font grows it.
constexpr double kUsualDesktopPoints = 11.0;

double desktopFontScale()
{
    const double points = QApplication::font().pointSizeF();
    return points > kUsualDesktopPoints ? points / kUsualDesktopPoints : 1.0;
}

// A control of the layout: its number in the object name, caption, twips.
struct ControlLayout
{
    int number;
    const char *caption;
    int left, top, width, height;
};

constexpr ControlLayout kButtons[] = {
    {9, "Help", 120, 120, 7800, 405},
    {6, "Add Single URL", 120, 3250, 3840, 405},
    {3, "Load List Of Sites From Text File", 4080, 3250, 3840, 405},
    {1, "Extract URLs From Web Page", 120, 3760, 3840, 405},
    {2, "Extract URLs From Text File", 4080, 3760, 3840, 405},
    {7, "Save Sites As Text File", 120, 4270, 3840, 405},
    {8, "Copy Sites To Clipboard", 4080, 4270, 3840, 405},
    {5, "Clear List", 120, 4780, 3840, 405},
    {10, "Load Sample/Example Sites", 4080, 4780, 3840, 405},
    {4, "Start Opening", 120, 8145, 7800, 405},
};

constexpr ControlLayout kOptions[] = {
    {1, "Internet Explorer", 240, 300, 1935, 225},
    {2, "Chrome", 240, 650, 1935, 225},
    {3, "Firefox", 240, 1000, 1935, 225},
    {4, "Default (same state/size as when it was last opened)", 240, 300, 5295, 225},
    {5, "Minimized", 240, 650, 1935, 225},
    {6, "Maximized", 240, 1000, 1935, 225},
};

const QString kListToolTip = QStringLiteral(
    "Drag and drop files here. Double-click item to remove it. Move | line to right and out of "
    "window to reveal full names.");

QFont arialBold(double points)
{
    QFont font(QStringLiteral("Arial"));
    // Its metric twins where Arial is missing (Wine, a Linux without an
    // alias for it), never a serif fallback.
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")});
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

// White under the desktop palette's own dark text; a dark palette keeps its
// colours, or its light text would stand on white. Only the two colours are
// set, so that everything else follows the desktop.
void paintWhite(QWidget *widget)
{
    QPalette white;
    if (!isDarkPalette(QApplication::palette(widget))) {
        white.setColor(QPalette::Window, Qt::white);
        white.setColor(QPalette::Button, Qt::white);
    } else {
        // The desktop's own field and button colours for every control: some
        // dark palettes (Qt's on Windows) give the options and buttons their
        // own, which fill every radio button with the accent colour, checked
        // or not, and put white captions on a mid grey.
        const QPalette desktop = QApplication::palette();
        for (const QPalette::ColorRole role :
             {QPalette::Base, QPalette::Text, QPalette::Button, QPalette::ButtonText})
            white.setColor(role, desktop.color(role));
    }
    widget->setPalette(white);
    widget->setAutoFillBackground(true);
}

// The list keeps at least this many rows when the window must shrink.
constexpr int kFewestListRows = 3;

} // namespace

bool isDarkPalette(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

QPoint windowPositionWithin(const QRect &frame, const QRect &available)
{
    QRect placed = frame;
    placed.moveCenter(available.center());
    return {qMax(placed.left(), available.left()), qMax(placed.top(), available.top())};
}

QFont fontFitting(QFont font, const QString &caption, int width)
{
    while (font.pointSizeF() > 6.0 && QFontMetrics(font).horizontalAdvance(caption) > width)
        font.setPointSizeF(font.pointSizeF() - 0.25);
    return font;
}

Form1::Form1(const Form1Services &services, QWidget *parent)
    : QWidget(parent), m_services(services), m_sites(services.sites), m_choices(services.choices),
      m_scale(desktopFontScale())
{
    setObjectName(QStringLiteral("Form1"));
    buildControls();
    connectHandlers();
}

Form1::~Form1() = default;

void Form1::buildControls()
{
    paintWhite(this);
    setFont(arialBold(9 * m_scale));

    m_list = new SiteListView(m_sites, this);
    m_list->setObjectName(QStringLiteral("ListView1"));
    m_list->setToolTip(kListToolTip);
    m_list->viewport()->installEventFilter(this);
    m_list->viewport()->setMouseTracking(true);

    for (const ControlLayout &control : kButtons) {
        auto *button = new QPushButton(QString::fromLatin1(control.caption), this);
        button->setObjectName(QStringLiteral("PushButton%1").arg(control.number));
        button->resize(twipsRect(control.left, control.top, control.width, control.height, m_scale).size());
        // Room for the button's own frame and padding.
        button->setFont(fontFitting(arialBold(11.25 * m_scale), button->text(), button->width() - 8));
        button->setMouseTracking(true);
        button->installEventFilter(this);
        m_buttons[size_t(control.number - 1)] = button;
    }

    m_frame1 = new QGroupBox(QStringLiteral("Which Browser?"), this);
    m_frame1->setObjectName(QStringLiteral("Frame1"));
    m_frame2 = new QGroupBox(QStringLiteral("Open Browser As"), this);
    m_frame2->setObjectName(QStringLiteral("Frame2"));
    for (QGroupBox *frame : {m_frame1, m_frame2}) {
        paintWhite(frame);
        frame->setMouseTracking(true);
        frame->installEventFilter(this);
    }
    // The options' indicators with an outline that shows on any theme.
    auto *indicators = new IndicatorStyle(style()->name());
    indicators->setParent(this);
    for (const ControlLayout &control : kOptions) {
        QGroupBox *frame = control.number <= 3 ? m_frame1 : m_frame2;
        auto *option = new OptionButton(QString::fromLatin1(control.caption), frame);
        option->setStyle(indicators);
        option->setObjectName(QStringLiteral("Option%1").arg(control.number));
        option->setGeometry(twipsRect(control.left, control.top, control.width, control.height, m_scale));
        // The choices object decides what is selected; the buttons mirror it.
        option->setAutoExclusive(false);
        // No background of its own: the frame's shows through.
        option->setAutoFillBackground(false);
        option->installEventFilter(this);
        const int indicator =
            option->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, option)
            + option->style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, option);
        option->setFont(fontFitting(font(), option->text(), option->width() - indicator));
        m_options[size_t(control.number - 1)] = option;
    }
    // Right of the window-state options, level with "Minimized": the room
    // the long "Default (...)" caption leaves free.
    m_private = new QCheckBox(QStringLiteral("Private window"), m_frame2);
    m_private->setObjectName(QStringLiteral("Private"));
    m_private->setStyle(indicators);
    m_private->setGeometry(twipsRect(5625, 650, 1935, 225, m_scale));
    m_private->setAutoFillBackground(false);
    m_private->setToolTip(QStringLiteral("Open the sites in a private window of the browser, which keeps "
                                         "no history of them."));
    const int box = m_private->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, m_private)
                    + m_private->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, m_private);
    m_private->setFont(fontFitting(font(), m_private->text(), m_private->width() - box));
    placeControls();
    setMouseTracking(true);
    installEventFilter(this);

    const auto button = [this](int n) { return m_buttons[size_t(n - 1)]; };
    const auto option = [this](int n) { return m_options[size_t(n - 1)]; };
    // Top to bottom, left to right; each option group is one stop (see
    // syncOptionButtons), arrows move within it.
    QWidget *const order[] = {button(9), m_list,    button(6), button(3),  button(1), button(2),
                              button(7), button(8), button(5), button(10), option(1), option(2),
                              option(3), option(4), option(5), option(6),  m_private, button(4)};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
    m_list->setFocus();
}

template<class F>
void Form1::runHandler(F &&handler)
{
    ++m_handlerDepth;
    try {
        handler();
    } catch (const StopRequested &) {
        // The window was closed under the handler; it has unwound.
    }
    --m_handlerDepth;
    if (m_quitWhenIdle && m_handlerDepth == 0)
        QCoreApplication::quit();
}

void Form1::connectHandlers()
{
    UiServices &ui = m_services.ui;
    const auto onClick = [this](int n, auto handler) {
        connect(m_buttons[size_t(n - 1)], &QPushButton::clicked, this,
                [this, handler] { runHandler(handler); });
    };
    onClick(1, [this] {
        const int selected = selectedIndex();
        m_services.extraction.extractFromWebPage(selected > 0 ? m_sites.text(selected) : QString());
    });
    onClick(2, [this] { m_services.extraction.extractFromTextFiles(); });
    onClick(3, [this, &ui] {
        const int before = m_sites.rowCount();
        loadListFromTextFiles(ui, m_services.dialogs, m_services.channel, m_sites);
        showFirstNew(before);
    });
    onClick(4, [this] { openFrom(1); });
    onClick(5, [this, &ui] { clearList(ui, m_sites); });
    onClick(6, [this, &ui] { addSingleUrl(ui, m_sites); });
    onClick(7, [this, &ui] { saveListAsTextFile(ui, m_services.dialogs, m_services.channel, m_sites); });
    onClick(8, [this, &ui] { copySitesToClipboard(ui, m_services.clipboard, m_sites); });
    onClick(9, [&ui] { showHelp(ui); });
    onClick(10, [this, &ui] { loadSampleSites(ui, m_sites); });

    for (size_t i = 0; i < kAllOptions.size(); ++i) {
        // clicked is the user's action only; state set from code arrives via changed().
        connect(m_options[i], &QRadioButton::clicked, this, [this, option = kAllOptions[i]] {
            m_choices.select(option);
            syncOptionButtons();
        });
    }
    // clicked: the user's own change, which is remembered.
    connect(m_private, &QCheckBox::clicked, this,
            [this](bool checked) { m_choices.setPrivateWindow(checked); });
    connect(&m_choices, &OptionChoices::changed, this, &Form1::syncOptionButtons);
    addListActions();
    connect(m_list, &SiteListView::removeRequested, this, &Form1::removeSelectedSite);
    connect(m_list, &SiteListView::filesDropped, this, [this](const QStringList &paths) {
        runHandler([&] {
            const int before = m_sites.rowCount();
            loadDroppedFiles(m_services.ui, m_services.channel, m_sites, paths);
            showFirstNew(before);
        });
    });
    // Esc stops a run after the address in flight, and a download at once,
    // as the progress window's Stop does.
    auto *stop = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(stop, &QShortcut::activated, this, [this] {
        m_services.launch.requestStop();
        m_services.extraction.stopDownload();
    });
}

void Form1::addListActions()
{
    // The list's helpers, in its context menu and on their usual keys.
    const auto add = [this](const char *name, const QString &text, const QKeySequence &keys, auto handler) {
        auto *action = new QAction(text, m_list);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WidgetShortcut);
        connect(action, &QAction::triggered, this, [this, handler] { runHandler(handler); });
        m_list->addAction(action);
    };
    UiServices &ui = m_services.ui;
    add("PasteAddresses", QStringLiteral("Paste addresses"), QKeySequence::Paste,
        [this, &ui] { pasteAddresses(ui, m_sites, m_services.clipboard.readText()); });
    add("OpenFromHere", QStringLiteral("Open From Here"), QKeySequence(),
        [this] { openFrom(qMax(1, selectedIndex())); });
    add("RemoveDuplicates", QStringLiteral("Remove duplicates"), QKeySequence(),
        [this, &ui] { removeDuplicateSites(ui, m_sites); });
    add("RemoveBlankLines", QStringLiteral("Remove blank lines"), QKeySequence(),
        [this, &ui] { removeBlankSites(ui, m_sites); });
    // Delete has its own key handling (any modifier); the menu only shows it.
    add("DeleteSite", QStringLiteral("Delete"), QKeySequence(), [this] { removeSelectedSite(); });
    m_list->setContextMenuPolicy(Qt::ActionsContextMenu);
    // What needs items is offered only when there are some.
    const auto offerWhatApplies = [this] {
        const bool any = m_sites.rowCount() > 0;
        for (QAction *action : m_list->actions()) {
            if (action->objectName() != QLatin1String("PasteAddresses"))
                action->setEnabled(any);
        }
    };
    connect(&m_sites, &QAbstractItemModel::rowsInserted, this, offerWhatApplies);
    connect(&m_sites, &QAbstractItemModel::rowsRemoved, this, offerWhatApplies);
    connect(&m_sites, &QAbstractItemModel::modelReset, this, offerWhatApplies);
    offerWhatApplies();
}

void Form1::syncOptionButtons()
{
    for (size_t i = 0; i < kAllOptions.size(); ++i)
        m_options[i]->setChecked(m_choices.isSelected(kAllOptions[i]));
    m_private->setChecked(m_choices.privateWindow());
    // Tab stops at one button of a group: the selected one, else its first.
    for (size_t first : {size_t(0), size_t(3)}) {
        size_t stop = first;
        for (size_t i = first; i < first + 3; ++i) {
            if (m_options[i]->isChecked())
                stop = i;
        }
        for (size_t i = first; i < first + 3; ++i)
            m_options[i]->setFocusPolicy(i == stop ? Qt::StrongFocus : Qt::ClickFocus);
    }
}

void Form1::loadFromCommandLine(const QStringList &paths, bool start)
{
    runHandler([&] {
        const int before = m_sites.rowCount();
        loadDroppedFiles(m_services.ui, m_services.channel, m_sites, paths);
        showFirstNew(before);
        if (start)
            openFrom(1);
    });
}

void Form1::showFirstNew(int before)
{
    m_sites.flushPending();
    // A load shows its first item, not its last: the list is read from the top.
    if (m_sites.rowCount() > before)
        m_list->scrollToTop(before);
}

int Form1::selectedIndex() const
{
    return m_list->selectedRow() + 1;
}

void Form1::initialize()
{
    UiServices &ui = m_services.ui;
    Procedure procedure(ui, locationTag(QStringLiteral("Form1"), QStringLiteral("Form_Load")));
    procedure.step(100, [&] { applySkin(); });
    const QString cursorPath = m_services.programFolder + QStringLiteral("/HAND-M.CUR");
    if (procedure.condition(102, [&] { return fileExists(cursorPath); }))
        procedure.step(104, [&] {
            if (!ui.loadCustomPointer(cursorPath))
                throw Failure(QStringLiteral("Invalid picture"));
        });
    procedure.step(106, [&] {
        setWindowTitle(kProductName);
        setWindowIcon(appIcon());
        ui.setApplicationTitle(applicationTitleFor(kProductName));
    });
    procedure.step(128, [&] { m_list->header()->setVisible(true); });
    procedure.step(130, [&] { m_list->setColumnWidth(px(7000, m_scale)); });
    m_choices.restore(procedure);

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        fitInto(screen->availableGeometry());
}

void Form1::placeControls()
{
    setFixedSize(px(8040, m_scale), px(8670, m_scale));
    m_list->setGeometry(twipsRect(120, 630, 7800, 2535, m_scale));
    for (const ControlLayout &control : kButtons)
        m_buttons[size_t(control.number - 1)]->setGeometry(
            twipsRect(control.left, control.top, control.width, control.height, m_scale));
    m_frame1->setGeometry(twipsRect(120, 5205, 7800, 1400, m_scale));
    m_frame2->setGeometry(twipsRect(120, 6630, 7800, 1400, m_scale));
}

void Form1::followScreen()
{
    QWindow *window = windowHandle();
    if (!window)
        return;
    if (!m_watchingWindow) {
        m_watchingWindow = true;
        connect(window, &QWindow::screenChanged, this, [this] {
            followScreen();
            if (m_followedScreen)
                fitInto(m_followedScreen->availableGeometry());
        });
    }
    if (m_followedScreen == window->screen())
        return;
    if (m_followedScreen)
        disconnect(m_followedScreen, nullptr, this, nullptr);
    m_followedScreen = window->screen();
    if (!m_followedScreen)
        return;
    // A scale change or a panel that grows changes the room: fitted again
    // by the rules of start-up.
    connect(m_followedScreen, &QScreen::availableGeometryChanged, this, &Form1::fitInto);
}

void Form1::fitInto(const QRect &available)
{
    // Laid out in full first: a screen that grew gives the list its rows back.
    placeControls();
    // The title bar and borders: the window manager's once the window is
    // up, a generous guess before.
    const int frameHeight =
        qMax(frameGeometry().height() - height(), style()->pixelMetric(QStyle::PM_TitleBarHeight) + 12);
    const int listFloor = m_list->header()->sizeHint().height() + kFewestListRows * m_list->rowHeight()
                          + 2 * m_list->frameWidth();
    const int shrink = qBound(0, height() + frameHeight - available.height(), m_list->height() - listFloor);
    if (shrink > 0) {
        // Only the list can do with less height: what is below it moves up.
        const int listBottom = m_list->geometry().bottom();
        for (QWidget *child : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
            if (child->y() > listBottom)
                child->move(child->x(), child->y() - shrink);
        }
        m_list->resize(m_list->width(), m_list->height() - shrink);
        setFixedSize(width(), height() - shrink);
    }
    move(windowPositionWithin(QRect(pos(), QSize(width(), height() + frameHeight)), available));
}

bool Form1::event(QEvent *event)
{
    const bool done = QWidget::event(event);
    if (event->type() == QEvent::Show)
        followScreen();
    // The desktop's theme changed under us, light or dark: follow it.
    if (event->type() == QEvent::ApplicationPaletteChange)
        followTheme();
    return done;
}

void Form1::followTheme()
{
    for (QWidget *widget :
         {static_cast<QWidget *>(this), static_cast<QWidget *>(m_frame1), static_cast<QWidget *>(m_frame2)})
        paintWhite(widget);
    if (m_skinned)
        paintSkin();
}

void Form1::applySkin()
{
    // No skinning component on Linux: the skin only changes the colours.
    if (!QFile::exists(m_services.programFolder + QStringLiteral("/x/o.cjs")))
        return;
    m_skinned = true;
    paintSkin();
}

void Form1::paintSkin()
{
    // The window is painted white already: the face colour comes from the style.
    const QPalette standard = style()->standardPalette();
    const QColor buttonFace = standard.color(QPalette::Button);
    const auto paint = [&](QWidget *widget) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::Window, buttonFace);
        // The text that goes with that face, whatever the desktop's theme.
        palette.setColor(QPalette::WindowText, standard.color(QPalette::WindowText));
        widget->setPalette(palette);
    };
    paint(this);
    paint(m_frame1);
    paint(m_frame2);
}

void Form1::onButtonPointerMove()
{
    if (m_services.ui.pointer() != Pointer::Hourglass && m_services.ui.pointer() != Pointer::Custom)
        m_services.ui.setPointer(Pointer::Custom);
}

void Form1::onBackgroundPointerMove()
{
    if (m_services.ui.pointer() != Pointer::Hourglass && m_services.ui.pointer() != Pointer::Default)
        m_services.ui.setPointer(Pointer::Default);
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    const bool isButton = std::find(m_buttons.begin(), m_buttons.end(), watched) != m_buttons.end();
    switch (event->type()) {
    case QEvent::MouseMove:
        if (isButton) {
            onButtonPointerMove();
        } else if (watched == m_list->viewport()) {
            onBackgroundPointerMove();
        } else if (watched == this || watched == m_frame1 || watched == m_frame2) {
            // Moves over a child arrive here too once the child ignores
            // them; only the bare background counts.
            auto *widget = static_cast<QWidget *>(watched);
            const auto *move = static_cast<QMouseEvent *>(event);
            if (!widget->childAt(move->position().toPoint()))
                onBackgroundPointerMove();
        }
        break;
    case QEvent::KeyPress:
        if (isButton) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            // Enter on a focused command button clicks it, as Space does.
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                static_cast<QPushButton *>(watched)->click();
                return true;
            }
        } else if (moveOptionFocus(watched, static_cast<QKeyEvent *>(event)->key())) {
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

// Arrow keys in an option group select the next or previous button, as
// option buttons do everywhere; the choice is saved as a click saves it.
bool Form1::moveOptionFocus(QObject *watched, int key)
{
    const auto found = std::find(m_options.begin(), m_options.end(), watched);
    if (found == m_options.end())
        return false;
    int step = 0;
    if (key == Qt::Key_Down || key == Qt::Key_Right)
        step = 1;
    else if (key == Qt::Key_Up || key == Qt::Key_Left)
        step = -1;
    if (step == 0)
        return false;
    const auto index = static_cast<int>(found - m_options.begin());
    const int first = index < 3 ? 0 : 3;
    const int nextIndex = first + (index - first + step + 3) % 3;
    const auto next = static_cast<size_t>(nextIndex);
    m_choices.select(kAllOptions[next]);
    syncOptionButtons();
    m_options[next]->setFocus(Qt::TabFocusReason);
    return true;
}

void Form1::openFrom(int first)
{
    m_services.launch.openAll(first);
    // A stopped run shows where to go on from.
    if (const int at = m_services.launch.resumeAt(); at > 0)
        m_list->selectRow(at - 1);
}

void Form1::removeSelectedSite()
{
    const int row = m_list->selectedRow();
    removeSite(m_services.ui, m_sites, selectedIndex());
    // The next item (or the new last one) takes its place, so that Delete
    // pressed again goes on removing.
    if (row >= 0 && m_list->selectedRow() < 0 && m_sites.rowCount() > 0)
        m_list->selectRow(qMin(row, m_sites.rowCount() - 1));
}

void Form1::closeEvent(QCloseEvent *event)
{
    event->accept();
    // A handler below us would carry on after the window is gone: stop it,
    // let it unwind (temporary files go, flags clear), then quit.
    if (m_handlerDepth > 0) {
        m_quitWhenIdle = true;
        m_services.ui.requestStop();
        // Ends every local event loop too (a download, a wait), not only
        // the main one, so that the stop is seen at once.
        QCoreApplication::quit();
    }
}

} // namespace zd
