// The window, the progress window and a message box on a real X server in
// the desktop set-up the test command chose for this run (screen size,
// scale, theme, font): everything inside the screen, every caption
// readable against its background, measured on the screen's own pixels.
#include "app/form1.h"
#include "app/qtrunmonitor.h"
#include "core/appinfo.h"
#include "core/qt/qtuiservices.h"
#include "fakes/formharness.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QCheckBox>
#include <QAbstractButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyleOptionGroupBox>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <functional>

#include <cmath>

using namespace zd;
using namespace zd::test;

namespace {

double luminance(QRgb colour)
{
    const auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(colour)) + 0.7152 * channel(qGreen(colour))
           + 0.0722 * channel(qBlue(colour));
}

double contrast(QRgb a, QRgb b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

// The contrast of the text in \a area: the commonest colour is the
// background, the pixel that differs most from it is the ink.
double textContrast(const QImage &image, const QRect &area)
{
    QHash<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[image.pixel(x, y) & RGB_MASK];
    }
    QRgb background = 0;
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            background = it.key();
        }
    }
    double best = 1.0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        best = qMax(best, contrast(background, it.key()));
    return best;
}

QRect globalRect(const QWidget *widget)
{
    return QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size());
}

// The frame as the native window has it: under load, QWidget's own copy was
// seen empty (0x0 at the window's corner) for good while the native
// window's margins were right.
QRect frameOf(const QWidget *window)
{
    return window->windowHandle() ? window->windowHandle()->frameGeometry() : window->frameGeometry();
}

// Where a rectangle in the desktop's coordinates lies in a grab of the
// screen, which is in device pixels.
QRect inShot(const QImage &shot, const QScreen *screen, const QRect &logical)
{
    const qreal ratio = shot.devicePixelRatio();
    const QRect r(logical.topLeft() - screen->geometry().topLeft(), logical.size());
    return QRect(qRound(r.x() * ratio), qRound(r.y() * ratio), qRound(r.width() * ratio),
                 qRound(r.height() * ratio))
        .intersected(shot.rect());
}

// Gives the window manager time to frame and place the window.
bool settled(QWidget *window)
{
    // A loaded machine maps a window late, as for the panel.
    if (!QTest::qWaitForWindowExposed(window, 20'000))
        return false;
    // Drawn and still: two grabs alike 200 ms apart, the window's area not of
    // one colour. A loaded machine, or Wine, paints well after the exposure.
    QImage last;
    for (int i = 0; i < 50; ++i) {
        QTest::qWait(200);
        const QImage shot = window->screen()->grabWindow(0).toImage();
        const QImage part = shot.copy(inShot(shot, window->screen(), globalRect(window)));
        bool drawn = false;
        for (int y = 0; y < part.height() && !drawn; y += 4) {
            for (int x = 0; x < part.width() && !drawn; x += 4)
                drawn = part.pixel(x, y) != part.pixel(0, 0);
        }
        if (drawn && part == last)
            return true;
        last = part;
    }
    return true; // still changing: the checks will tell
}

QString describe(const QRect &rect)
{
    return QStringLiteral("%1,%2 %3x%4").arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height());
}

} // namespace

class TestScreens : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void mainWindowFitsAndReads();
    void progressWindowFits();
    void messageBoxFits_data();
    void messageBoxFits();
    void followsALiveScaleChange();

private:
    void addPanel(int height);

    QRect m_room;
    std::unique_ptr<QWidget> m_panel;
};

void TestScreens::initTestCase()
{
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        QSKIP("needs a real screen: the test command runs it under Xvfb");
    if (const int points = qEnvironmentVariableIntValue("ZD_TEST_FONT_PT"); points > 0) {
        QFont font = QApplication::font();
        font.setPointSize(points);
        QApplication::setFont(font);
    }
    // A run meant for a dark theme must really have one.
    if (qEnvironmentVariable("ZD_EXPECT_DARK") == QLatin1String("1"))
        QVERIFY2(isDarkPalette(QApplication::palette()), "the dark theme did not load");
    if (const int panel = qEnvironmentVariableIntValue("ZD_TEST_PANEL"); panel > 0)
        addPanel(panel);
    m_room = QGuiApplication::primaryScreen()->availableGeometry();
    qInfo("screen %s, scale %s, room %s, dark %d",
          qPrintable(describe(QGuiApplication::primaryScreen()->geometry())),
          qPrintable(qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1"))),
          qPrintable(describe(m_room)), int(isDarkPalette(QApplication::palette())));
}

// A desktop panel along the top that windows must keep clear of, as the
// window manager is told by the panel's strut.
void TestScreens::addPanel(int height)
{
    const int before = QGuiApplication::primaryScreen()->availableGeometry().height();
    m_panel = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
    m_panel->setGeometry(0, 0, QGuiApplication::primaryScreen()->geometry().width(), height);
    const QString id = QString::number(m_panel->winId());
    const auto xprop = [&](const QStringList &arguments) {
        return QProcess::execute(QStringLiteral("xprop"), QStringList{QStringLiteral("-id"), id} + arguments)
               == 0;
    };
    QVERIFY(xprop({QStringLiteral("-f"), QStringLiteral("_NET_WM_WINDOW_TYPE"), QStringLiteral("32a"),
                   QStringLiteral("-set"), QStringLiteral("_NET_WM_WINDOW_TYPE"),
                   QStringLiteral("_NET_WM_WINDOW_TYPE_DOCK")}));
    m_panel->show();
    // The window manager maps a dock in its own time: under the sanitizers,
    // with another suite beside it, once more than the default 5 s.
    QVERIFY(QTest::qWaitForWindowExposed(m_panel.get(), 20'000));
    QVERIFY(xprop({QStringLiteral("-f"), QStringLiteral("_NET_WM_STRUT"), QStringLiteral("32c"),
                   QStringLiteral("-set"), QStringLiteral("_NET_WM_STRUT"),
                   QStringLiteral("0,0,%1,0").arg(height)}));
    QTRY_VERIFY(QGuiApplication::primaryScreen()->availableGeometry().height() < before);
}

void TestScreens::mainWindowFitsAndReads()
{
    Harness h;
    h.form.initialize();
    h.form.show();
    QVERIFY(settled(&h.form));
    QVERIFY2(m_room.contains(frameOf(&h.form)),
             qPrintable(describe(frameOf(&h.form)) + QStringLiteral(" in ") + describe(m_room)));
    for (QWidget *control : h.form.findChildren<QWidget *>()) {
        if (control->isVisibleTo(&h.form) && !control->objectName().isEmpty())
            QVERIFY2(m_room.contains(globalRect(control)), qPrintable(control->objectName()));
    }
    // The list keeps a few rows however small the screen.
    QVERIFY(h.control<SiteListView>("ListView1")->viewport()->height()
            >= 3 * h.control<SiteListView>("ListView1")->rowHeight());
    // The desktop's usual font sizes keep the window's own; a larger one
    // grows it and its captions in proportion, bold kept.
    const double grown = qMax(1.0, QApplication::font().pointSizeF() / 11.0);
    QCOMPARE(h.form.width(), qRound(536 * grown));
    const QFont startFont = h.control("PushButton4")->font();
    QVERIFY2(startFont.bold() && startFont.pointSizeF() >= 11.25 * grown * 0.99,
             qPrintable(QString::number(startFont.pointSizeF())));

    // Device pixels of the whole screen, as a person sees them.
    const QImage shot = h.form.screen()->grabWindow(0).toImage();
    const auto inShot = [&](const QRect &logical) { return ::inShot(shot, h.form.screen(), logical); };
    for (QPushButton *button : h.form.findChildren<QPushButton *>()) {
        const double ratioFound = textContrast(shot, inShot(globalRect(button).adjusted(4, 4, -4, -4)));
        QVERIFY2(ratioFound >= 4.5, qPrintable(QStringLiteral("%1: %2").arg(button->text()).arg(ratioFound)));
    }
    for (QRadioButton *option : h.form.findChildren<QRadioButton *>()) {
        // The caption, right of the indicator.
        const int indicator =
            option->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, option);
        const QRect caption = globalRect(option).adjusted(indicator + 4, 0, 0, 0);
        const double ratioFound = textContrast(shot, inShot(caption));
        QVERIFY2(ratioFound >= 4.5, qPrintable(QStringLiteral("%1: %2").arg(option->text()).arg(ratioFound)));
    }
    // "Private window" reads as well, beside the options, not over them.
    auto *privateBox = h.control<QCheckBox>("Private");
    const int box = privateBox->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, privateBox);
    const double boxRatio = textContrast(shot, inShot(globalRect(privateBox).adjusted(box + 4, 0, 0, 0)));
    QVERIFY2(boxRatio >= 4.5, qPrintable(QString::number(boxRatio)));
    QVERIFY2(
        privateBox->sizeHint().width() <= privateBox->width(),
        qPrintable(QStringLiteral("%1 > %2").arg(privateBox->sizeHint().width()).arg(privateBox->width())));
    for (QRadioButton *option : h.form.findChildren<QRadioButton *>()) {
        const QRect caption(option->mapToGlobal(QPoint()), option->sizeHint().boundedTo(option->size()));
        QVERIFY2(!caption.intersects(globalRect(privateBox)), qPrintable(option->text()));
    }
    // A checked option is told from an unchecked one at a glance: the middle
    // of its indicator (the dot) stands 3:1 or more from the unchecked one's.
    for (QGroupBox *frame : h.form.findChildren<QGroupBox *>()) {
        const QList<QRadioButton *> options = frame->findChildren<QRadioButton *>();
        const auto checked =
            std::find_if(options.begin(), options.end(), [](auto *o) { return o->isChecked(); });
        const auto unchecked =
            std::find_if(options.begin(), options.end(), [](auto *o) { return !o->isChecked(); });
        QVERIFY(checked != options.end() && unchecked != options.end());
        const auto middle = [&](QRadioButton *option) {
            QStyleOptionButton style;
            style.initFrom(option);
            const QRect indicator =
                option->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &style, option);
            const QRect onScreen = inShot(QRect(option->mapToGlobal(indicator.topLeft()), indicator.size()));
            return shot.pixel(onScreen.center());
        };
        const double apart = contrast(middle(*checked), middle(*unchecked));
        QVERIFY2(apart >= 3.0, qPrintable(QStringLiteral("%1: %2").arg(frame->title()).arg(apart)));
    }
    // Every option's indicator, checked or not, shows its outline 3:1 or
    // more from the window around it (non-text contrast): the pixel of the
    // indicator that stands out most, against the corner beyond it.
    QList<QAbstractButton *> indicators;
    for (QRadioButton *option : h.form.findChildren<QRadioButton *>())
        indicators << option;
    indicators << privateBox;
    for (QAbstractButton *option : indicators) {
        QStyleOptionButton style;
        style.initFrom(option);
        const bool radio = qobject_cast<QRadioButton *>(option) != nullptr;
        const QRect indicator = option->style()->subElementRect(
            radio ? QStyle::SE_RadioButtonIndicator : QStyle::SE_CheckBoxIndicator, &style, option);
        const QRect onScreen = inShot(QRect(option->mapToGlobal(indicator.topLeft()), indicator.size()));
        const QRgb around = shot.pixel(onScreen.topLeft() - QPoint(2, 2));
        double outline = 1.0;
        for (int y = onScreen.top(); y <= onScreen.bottom(); ++y) {
            for (int x = onScreen.left(); x <= onScreen.right(); ++x)
                outline = qMax(outline, contrast(around, shot.pixel(x, y)));
        }
        QVERIFY2(outline >= 3.0, qPrintable(QStringLiteral("%1 (%2): %3")
                                                .arg(option->text())
                                                .arg(option->isChecked() ? "checked" : "unchecked")
                                                .arg(outline)));
    }
    for (QGroupBox *frame : h.form.findChildren<QGroupBox *>()) {
        QStyleOptionGroupBox option;
        option.initFrom(frame);
        option.text = frame->title();
        option.subControls = QStyle::SC_GroupBoxLabel;
        const QRect label =
            frame->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, frame);
        const QRect global(frame->mapToGlobal(label.topLeft()), label.size());
        const double ratioFound = textContrast(shot, inShot(global));
        QVERIFY2(ratioFound >= 4.5, qPrintable(QStringLiteral("%1: %2").arg(frame->title()).arg(ratioFound)));
    }
}

void TestScreens::progressWindowFits()
{
    Harness h;
    h.form.initialize();
    h.form.show();
    QVERIFY(settled(&h.form));
    QtRunMonitor monitor(h.clock);
    monitor.setWindow(&h.form);
    RunProgress state;
    state.index = 9'999'999;
    state.count = 10'000'000;
    state.skipped = 1'000'000;
    state.notConfirmed = 1'000'000;
    state.delaySeconds = 60;
    state.browser = QStringLiteral("the default browser");
    state.waitingFor = QStringLiteral("the default browser");
    state.waitedMs = 29'000;
    state.address = QStringLiteral("https://example.com/") + QString(300, QLatin1Char('x'));
    monitor.progress(state);
    h.clock.now += 2000;
    monitor.progress(state);
    // Going, then paused by the run itself ("Paused after ...", Continue).
    for (const bool paused : {false, true}) {
        if (paused) {
            state.paused = true;
            state.pausedAfter = 9'999'999;
            state.pauseEvery = 1'000'000;
            monitor.progress(state);
        }
        QWidget *window = monitor.progressWindow();
        QVERIFY(window);
        QVERIFY(settled(window));
        QVERIFY2(m_room.contains(frameOf(window)),
                 qPrintable(describe(frameOf(window)) + QStringLiteral(" in ") + describe(m_room)));
        // Beside the main window or below it, never over it where the screen
        // has room for both.
        const QRect main = frameOf(&h.form);
        if (frameOf(window).width() < m_room.right() - main.right()
            || frameOf(window).height() < m_room.bottom() - main.bottom())
            QVERIFY2(!frameOf(window).intersects(main),
                     qPrintable(describe(frameOf(window)) + QStringLiteral(" over ") + describe(main)));
        for (QLabel *label : window->findChildren<QLabel *>()) {
            // Each text has the room it asks for.
            QVERIFY2(label->sizeHint().width() <= label->width()
                         && label->sizeHint().height() <= label->height(),
                     qPrintable(label->text()));
        }
        for (QPushButton *button : window->findChildren<QPushButton *>()) {
            QVERIFY2(m_room.contains(globalRect(button)), qPrintable(button->text()));
            QVERIFY2(button->sizeHint().width() <= button->width(), qPrintable(button->text()));
        }
    }
    monitor.finished();
}

void TestScreens::messageBoxFits_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("title"); // empty: the program's
    QTest::newRow("a long path") << QStringLiteral("File not found: ") + QString(2000, QLatin1Char('y'))
                                 << "";
    QTest::newRow("Done.") << "Done."
                           << "";
    QTest::newRow("URL not found") << "URL not found"
                                   << "";
    QTest::newRow("stopped, its own title") << "You stopped the download."
                                            << "You stopped the download.";
}

void TestScreens::messageBoxFits()
{
    Harness h;
    h.form.initialize();
    h.form.show();
    QVERIFY(settled(&h.form));
    QFETCH(QString, text);
    QFETCH(QString, title);
    QtUiServices ui;
    ui.setWindow(&h.form);
    ui.setApplicationTitle(applicationTitleFor(kProductName));
    QRect frame;
    QRect inside;
    QString shownTitle;
    // Looked at once the box is up: on a busy machine it may not yet have
    // its window when the first timer comes. Up to 20 s, as for the panel.
    int looks = 0;
    QElapsedTimer since;
    since.start();
    const auto lookAgain = [&] {
        ++looks;
        return since.elapsed() < 20'000;
    };
    std::function<void()> look = [&] {
        QWidget *box = QApplication::activeModalWidget();
        if ((!box || !box->windowHandle()) && lookAgain()) {
            QTimer::singleShot(20, look);
            return;
        }
        // A frame not yet given (an empty one) is looked at again as well.
        const bool onScreen = box && settled(box) && frameOf(box).isValid();
        if (box && !onScreen && lookAgain()) {
            // Shown but not yet on screen: a loaded machine gets more time.
            QTimer::singleShot(20, look);
            return;
        }
        if (onScreen) {
            frame = frameOf(box);
            inside = globalRect(box);
            shownTitle = box->windowTitle();
        }
        if (box)
            box->close();
    };
    QTimer::singleShot(0, look);
    ui.messageBox(text, MessageStyle::OkOnly, title);
    QVERIFY2(frame.isValid(),
             qPrintable(QStringLiteral("%1 looks, frame %2").arg(looks).arg(describe(frame))));
    QVERIFY2(m_room.contains(frame), qPrintable(describe(frame) + QStringLiteral(" in ") + describe(m_room)));
    // The whole title beside the title bar's icon and its three buttons,
    // each about as wide as the bar is high or wider (Windows: 46 px on a
    // 31 px bar at 100 %), in a bold font as many window managers draw it.
    QFont bold = QApplication::font();
    bold.setBold(true);
    const int bar = qMax(inside.top() - frame.top(), QFontMetrics(bold).height());
    const int needs = QFontMetrics(bold).horizontalAdvance(shownTitle) + 6 * bar;
    qInfo("%s: frame %s, bar %d, needs %d", qPrintable(shownTitle), qPrintable(describe(frame)), bar, needs);
    QVERIFY2(frame.width() >= needs, qPrintable(QStringLiteral("%1 < %2").arg(frame.width()).arg(needs)));
}

// A scale change while the window is up fits it again by the rules of
// start-up: Start Opening stays on the screen.
void TestScreens::followsALiveScaleChange()
{
    const QString command = qEnvironmentVariable("ZD_SCALE_COMMAND");
    if (command.isEmpty())
        QSKIP("needs a desktop whose scale a command changes (ZD_SCALE_COMMAND)");
    Harness h;
    h.form.initialize();
    h.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&h.form));
    const QRect before = h.form.screen()->availableGeometry();
    QVERIFY2(h.form.height() < before.height(), qPrintable(describe(before)));
    QCOMPARE(QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), command}), 0);
    QTRY_VERIFY(h.form.screen()->availableGeometry().height() < before.height());
    const QRect room = h.form.screen()->availableGeometry();
    QTRY_VERIFY2(h.form.height() < room.height(),
                 qPrintable(QStringLiteral("%1 high in %2").arg(h.form.height()).arg(describe(room))));
    QVERIFY(h.control("PushButton4")->geometry().bottom() < h.form.height());
    // The list kept a few rows.
    QVERIFY(h.control<SiteListView>("ListView1")->viewport()->height()
            >= 3 * h.control<SiteListView>("ListView1")->rowHeight());
}

QTEST_MAIN(TestScreens)
#include "tst_screens.moc"
