#include "support/listchecks.h"
#include "extract/extraction.h"
#include "fakes/fakedownloader.h"
#include "fakes/fakelaunch.h"
#include "fakes/fakeplatform.h"
#include "fakes/fakeuiservices.h"
#include "fakes/formharness.h"
#include "sitelist/filechannel.h"
#include "app/form1.h"
#include "app/sitelistview.h"
#include "launch/launchrun.h"
#include "core/optionchoices.h"
#include "sitelist/sitelistmodel.h"

#include <QAccessible>
#include <QAction>
#include <QDir>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QMimeData>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QHeaderView>
#include "support/testfiles.h"

#include <QtTest>

using namespace zd;
using namespace zd::test;

class TestForm1 : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void layout_data();
    void layout();
    void fontsAndWindow();
    void tabOrder();
    void startUp();
    void badCursorFileIsReportedAndStartUpGoesOn();
    void handCursorFileLoadsQuietly();
    void skinChangesColours();
    void optionsShowTheirFramesBackground_data();
    void optionsShowTheirFramesBackground();
    void arrowKeysSelectLikeOptionButtons();
    void returnClicksTheFocusedButton();
    void windowStaysReachable_data();
    void windowStaysReachable();
    void captionsFitTheirButtons();
    void pointerRules();
    void listKeys_data();
    void listKeys();
    void doubleClickBelowTheLastItem();
    void closingDuringAHandlerStopsItThenQuits();
    void listContextMenuAndPaste();
    void optionButtonsSaveTheirGroup();
    void buttonsReachTheirHandlers();
    void droppedFilesAreLoaded();
    void commandLineFilesAreLoadedThenStarted();
    void listActionsApplyOnlyToItems();
    void loadedListShowsItsFirstNewItem();
    void openFromHereStartsAtTheSelectedItem();
    void millionItemsStayInOneView();
    void listViewSelection_data();
    void listViewSelection();
    void listViewShowsBytesAsText();
    void accessibleTree();
    void themeChangesAreFollowed();
};

void TestForm1::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips"); // left, top, width, height
    const auto row = [](const char *name, const char *caption, int l, int t, int w, int h) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(caption) << QRect(l, t, w, h);
    };
    row("PushButton9", "Help", 120, 120, 7800, 405);
    row("ListView1", "", 120, 630, 7800, 2535);
    row("PushButton6", "Add Single URL", 120, 3250, 3840, 405);
    row("PushButton3", "Load List Of Sites From Text File", 4080, 3250, 3840, 405);
    row("PushButton1", "Extract URLs From Web Page", 120, 3760, 3840, 405);
    row("PushButton2", "Extract URLs From Text File", 4080, 3760, 3840, 405);
    row("PushButton7", "Save Sites As Text File", 120, 4270, 3840, 405);
    row("PushButton8", "Copy Sites To Clipboard", 4080, 4270, 3840, 405);
    row("PushButton5", "Clear List", 120, 4780, 3840, 405);
    row("PushButton10", "Load Sample/Example Sites", 4080, 4780, 3840, 405);
    row("Frame1", "Which Browser?", 120, 5205, 7800, 1400);
    row("Option1", "Internet Explorer", 240, 300, 1935, 225);
    row("Option2", "Chrome", 240, 650, 1935, 225);
    row("Option3", "Firefox", 240, 1000, 1935, 225);
    row("Frame2", "Open Browser As", 120, 6630, 7800, 1400);
    row("Option4", "Default (same state/size as when it was last opened)", 240, 300, 5295, 225);
    row("Option5", "Minimized", 240, 650, 1935, 225);
    row("Option6", "Maximized", 240, 1000, 1935, 225);
    row("Private", "Private window", 5625, 650, 1935, 225);
    row("PushButton4", "Start Opening", 120, 8145, 7800, 405);
}

void TestForm1::layout()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    Harness h;
    QWidget *widget = h.form.findChild<QWidget *>(name);
    QVERIFY2(widget, qPrintable(name));
    const auto px = [](int t) { return qRound(t / 15.0); };
    QCOMPARE(widget->geometry(), QRect(px(twips.x()), px(twips.y()), px(twips.width()), px(twips.height())));
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        QCOMPARE(button->text(), caption);
    if (auto *frame = qobject_cast<QGroupBox *>(widget))
        QCOMPARE(frame->title(), caption);
    if (name.startsWith(QLatin1String("Option")) || name == QLatin1String("Private")) {
        const int k = name == QLatin1String("Private") ? 7 : name.mid(6).toInt();
        QCOMPARE(widget->parentWidget()->objectName(),
                 k <= 3 ? QStringLiteral("Frame1") : QStringLiteral("Frame2"));
    }
    const QFont font = widget->font();
    QCOMPARE(font.family(), QStringLiteral("Arial"));
    QVERIFY(font.bold());
    QCOMPARE(font.pointSizeF(), name.startsWith(QLatin1String("PushButton")) ? 11.25 : 9.0);
}

void TestForm1::fontsAndWindow()
{
    Harness h;
    QCOMPARE(h.form.size(), QSize(536, 578));
    QCOMPARE(h.form.minimumSize(), h.form.maximumSize());
    // Arial, or its metric twin, so the captions fit as laid out.
    const QString family = QFontInfo(h.control("PushButton9")->font()).family();
    QVERIFY2(family == QLatin1String("Arial") || family == QLatin1String("Liberation Sans"),
             qPrintable(family));
    QCOMPARE(h.form.palette().color(QPalette::Window), QColor(Qt::white));
    QCOMPARE(h.control("Option1")->palette().color(QPalette::Window), QColor(Qt::white));
    const QString tip = h.control("ListView1")->toolTip();
    QCOMPARE(tip,
             QStringLiteral("Drag and drop files here. Double-click item to remove it. Move | line to right "
                            "and out of window to reveal full names."));
}

// Tab goes top to bottom, left to right, one stop per option group (its
// selected button, else its first); arrows choose within a group.
void TestForm1::tabOrder()
{
    Harness h;
    h.form.initialize();
    h.form.show();
    QVERIFY(QTest::qWaitForWindowActive(&h.form));
    const auto tabs = [&](int count) {
        QStringList seen;
        for (int i = 0; i < count; ++i) {
            seen << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        return seen;
    };
    QCOMPARE(tabs(14), (QStringList{"ListView1", "PushButton6", "PushButton3", "PushButton1", "PushButton2",
                                    "PushButton7", "PushButton8", "PushButton5", "PushButton10", "Option1",
                                    "Option4", "Private", "PushButton4", "PushButton9"}));
    // Down in the first group chooses Chrome; Tab then stops there.
    h.control("Option1")->setFocus();
    QTest::keyClick(h.control("Option1"), Qt::Key_Down);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Option2"));
    QVERIFY(h.control<QRadioButton>("Option2")->isChecked());
    QVERIFY(!h.control<QRadioButton>("Option1")->isChecked());
    h.control("PushButton10")->setFocus();
    QCOMPARE(tabs(4), (QStringList{"PushButton10", "Option2", "Option4", "Private"}));
    // Space there checks "Private window", as a click does.
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("PushButton4"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QVERIFY(h.choices.privateWindow());
    // A group with nothing selected stops at its first button.
    h.choices.setSelected(Option::SameState, false);
    h.control("Option2")->setFocus();
    QCOMPARE(tabs(2), (QStringList{"Option2", "Option4"}));
}

void TestForm1::startUp()
{
    Harness h;
    h.form.initialize();
    QCOMPARE(h.form.windowTitle(), QStringLiteral("Zentavia Desk"));
    QVERIFY(!h.form.windowIcon().isNull());
    QCOMPARE(h.ui.applicationTitle, QStringLiteral("Zentavia"));
    auto *list = h.control<SiteListView>("ListView1");
    QCOMPARE(list->header()->count(), 1);
    QCOMPARE(list->header()->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Site(s)"));
    QCOMPARE(list->columnWidth(), 467);
    QVERIFY(h.ui.messages.empty());
    QVERIFY(h.control<QRadioButton>("Option1")->isChecked());
    QVERIFY(h.control<QRadioButton>("Option4")->isChecked());
    QCOMPARE(h.settings.values.size(), 6);
}

void TestForm1::badCursorFileIsReportedAndStartUpGoesOn()
{
    QTemporaryDir dir;
    QVERIFY(writeTestFile(dir.filePath(QStringLiteral("HAND-M.CUR")), "not a cursor"));
    Harness h(dir.path());
    h.form.initialize();
    QCOMPARE(h.ui.errorReports().size(), 1);
    QVERIFY(h.ui.errorReports()[0].contains(QStringLiteral("Form1.Form_Load at line 104")));
    QCOMPARE(h.form.windowTitle(), QStringLiteral("Zentavia Desk"));
}

void TestForm1::handCursorFileLoadsQuietly()
{
    QTemporaryDir dir;
    QImage hand(32, 32, QImage::Format_ARGB32);
    hand.fill(Qt::black);
    const QString path = dir.filePath(QStringLiteral("HAND-M.CUR"));
    QVERIFY(hand.save(path, "CUR"));
    Harness h(dir.path());
    h.ui.pointerImages << path;
    h.form.initialize();
    QVERIFY(h.ui.messages.empty());
    QCOMPARE(h.ui.customPointer, path);
    // Without the skin file the window stays white.
    QCOMPARE(h.form.palette().color(QPalette::Window), QColor(Qt::white));
}

void TestForm1::skinChangesColours()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("x")));
    QVERIFY(writeTestFile(dir.filePath(QStringLiteral("x/o.cjs"))));
    Harness h(dir.path());
    h.form.initialize();
    QVERIFY(h.ui.messages.empty());
    const QColor face = h.form.style()->standardPalette().color(QPalette::Button);
    QVERIFY(face != QColor(Qt::white));
    QCOMPARE(h.form.palette().color(QPalette::Window), face);
    QCOMPARE(h.control("Frame1")->palette().color(QPalette::Window), face);
    QCOMPARE(h.control("Frame2")->palette().color(QPalette::Window), face);
}

void TestForm1::optionsShowTheirFramesBackground_data()
{
    QTest::addColumn<bool>("skinned");
    QTest::newRow("white") << false;
    QTest::newRow("colour scheme") << true;
}

void TestForm1::optionsShowTheirFramesBackground()
{
    QFETCH(bool, skinned);
    QTemporaryDir dir;
    if (skinned) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("x")));
        QVERIFY(writeTestFile(dir.filePath(QStringLiteral("x/o.cjs"))));
    }
    Harness h(dir.path());
    h.form.initialize();
    h.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&h.form));
    const QImage shot = h.form.grab().toImage();
    for (const char *name : {"Option2", "Option5"}) {
        // Right of the short caption the option is bare: it must look like
        // the frame beside it, not a patch of its own.
        const QWidget *option = h.control(name);
        const QPoint inOption = option->mapTo(&h.form, QPoint(option->width() - 4, option->height() / 2));
        const QPoint besideIt = option->mapTo(&h.form, QPoint(option->width() + 20, option->height() / 2));
        QCOMPARE(shot.pixelColor(inOption), shot.pixelColor(besideIt));
    }
}

void TestForm1::arrowKeysSelectLikeOptionButtons()
{
    Harness h;
    h.form.initialize();
    h.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&h.form));
    auto *ie = h.control<QRadioButton>("Option1");
    ie->setFocus();
    QTest::keyClick(ie, Qt::Key_Down);
    QVERIFY(h.control<QRadioButton>("Option2")->isChecked());
    QVERIFY(!ie->isChecked());
    QVERIFY(h.control("Option2")->hasFocus());
    QCOMPARE(h.settings.values.value(QStringLiteral("Option2")), QStringLiteral("True"));
    QCOMPARE(h.settings.values.value(QStringLiteral("Option1")), QStringLiteral("False"));
    QTest::keyClick(h.control("Option2"), Qt::Key_Up);
    QTest::keyClick(h.control("Option1"), Qt::Key_Up); // wraps to the last of its group
    QVERIFY(h.control<QRadioButton>("Option3")->isChecked());
    QVERIFY(h.choices.isSelected(Option::Firefox));
    // The other group is untouched.
    QVERIFY(h.choices.isSelected(Option::SameState));
}

void TestForm1::returnClicksTheFocusedButton()
{
    Harness h;
    h.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&h.form));
    auto *samples = h.control<QPushButton>("PushButton10");
    samples->setFocus();
    QTest::keyClick(samples, Qt::Key_Return);
    QCOMPARE(h.sites.count(), 3);
    QTest::keyClick(samples, Qt::Key_Enter);
    QCOMPARE(h.sites.count(), 6);
}

void TestForm1::windowStaysReachable_data()
{
    QTest::addColumn<QRect>("frame");
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QPoint>("topLeft");
    QTest::newRow("fits: centred") << QRect(0, 0, 536, 600) << QRect(0, 0, 1280, 1024) << QPoint(372, 212);
    QTest::newRow("panel on top") << QRect(0, 0, 536, 600) << QRect(0, 30, 1280, 994) << QPoint(372, 227);
    QTest::newRow("too tall: title bar kept")
        << QRect(0, 0, 1072, 1200) << QRect(0, 0, 1280, 1024) << QPoint(104, 0);
    QTest::newRow("too wide and tall, panel left")
        << QRect(0, 0, 1400, 1200) << QRect(48, 24, 1232, 1000) << QPoint(48, 24);
}

void TestForm1::windowStaysReachable()
{
    QFETCH(QRect, frame);
    QFETCH(QRect, available);
    QFETCH(QPoint, topLeft);
    QCOMPARE(windowPositionWithin(frame, available), topLeft);
}

void TestForm1::captionsFitTheirButtons()
{
    QFont wide(QStringLiteral("Liberation Sans"));
    wide.setPointSizeF(30);
    const QString caption = QStringLiteral("Load List Of Sites From Text File");
    const QFont fitted = fontFitting(wide, caption, 250);
    QVERIFY(fitted.pointSizeF() < 30);
    QVERIFY(QFontMetrics(fitted).horizontalAdvance(caption) <= 250);
    QCOMPARE(fontFitting(wide, QStringLiteral("Go"), 250).pointSizeF(), 30.0);
    Harness h;
    for (QPushButton *button : h.form.findChildren<QPushButton *>())
        QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) <= button->width() - 8,
                 qPrintable(button->text()));
}

void TestForm1::pointerRules()
{
    Harness h;
    const auto moveOver = [](QWidget *widget) {
        QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), widget->mapToGlobal(QPointF(3, 3)), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &move);
    };
    moveOver(h.control("PushButton4"));
    QCOMPARE(h.ui.pointer(), Pointer::Custom);
    moveOver(h.control<SiteListView>("ListView1")->viewport());
    QCOMPARE(h.ui.pointer(), Pointer::Default);
    moveOver(h.control("PushButton9"));
    QCOMPARE(h.ui.pointer(), Pointer::Custom);
    moveOver(h.control("Frame2")); // at (3, 3): the frame's own background
    QCOMPARE(h.ui.pointer(), Pointer::Default);
    moveOver(h.control("PushButton10"));
    moveOver(&h.form);
    QCOMPARE(h.ui.pointer(), Pointer::Default);
    moveOver(h.control("PushButton10"));
    moveOver(h.control("Option5")); // option buttons have no rule of their own
    QCOMPARE(h.ui.pointer(), Pointer::Custom);

    h.ui.setPointer(Pointer::Hourglass);
    moveOver(h.control("PushButton6"));
    QCOMPARE(h.ui.pointer(), Pointer::Hourglass);
    moveOver(&h.form);
    QCOMPARE(h.ui.pointer(), Pointer::Hourglass);
}

void TestForm1::listKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("left");
    const QString removed = QStringLiteral("a,c");
    const QString kept = QStringLiteral("a,b,c");
    QTest::newRow("Delete") << int(Qt::Key_Delete) << int(Qt::NoModifier) << removed;
    QTest::newRow("Shift+Delete") << int(Qt::Key_Delete) << int(Qt::ShiftModifier) << removed;
    QTest::newRow("Ctrl+Delete") << int(Qt::Key_Delete) << int(Qt::ControlModifier) << removed;
    QTest::newRow("Alt+Delete") << int(Qt::Key_Delete) << int(Qt::AltModifier) << removed;
    QTest::newRow("keypad Delete") << int(Qt::Key_Delete) << int(Qt::KeypadModifier) << removed;
    QTest::newRow("full stop (46 in Qt)") << int(Qt::Key_Period) << int(Qt::NoModifier) << kept;
    QTest::newRow("a") << int(Qt::Key_A) << int(Qt::NoModifier) << kept;
    QTest::newRow("Backspace") << int(Qt::Key_Backspace) << int(Qt::NoModifier) << kept;
}

void TestForm1::listKeys()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, left);
    Harness h;
    auto *list = h.showList({"a", "b", "c"});
    QVERIFY(list);
    list->setFocus();
    list->selectRow(1);
    QTest::keyClick(list, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(zd::test::textsOf(h.sites).join(QLatin1Char(',')), left);
}

void TestForm1::doubleClickBelowTheLastItem()
{
    Harness h;
    auto *list = h.showList({"a", "b", "c"});
    QVERIFY(list);
    list->selectRow(0);
    // What a user's double-click delivers: a click, then the double-click.
    const QPoint below(50, list->viewport()->height() - 5);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, below);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, below);
    QCOMPARE(zd::test::textsOf(h.sites), (QStringList{"b", "c"}));
}

void TestForm1::listContextMenuAndPaste()
{
    Harness h;
    auto *list = h.showList({"a", "a", ""});
    QVERIFY(list);
    QCOMPARE(list->contextMenuPolicy(), Qt::ActionsContextMenu);
    QStringList names;
    for (QAction *action : list->actions())
        names << action->objectName();
    QCOMPARE(names, (QStringList{"PasteAddresses", "OpenFromHere", "RemoveDuplicates", "RemoveBlankLines",
                                 "DeleteSite"}));
    h.clipboard.pasteText = QStringLiteral("x\r\ny");
    list->setFocus();
    QTest::keyClick(list, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(zd::test::textsOf(h.sites), (QStringList{"a", "a", "", "x", "y"}));
    list->findChild<QAction *>(QStringLiteral("RemoveDuplicates"))->trigger();
    list->findChild<QAction *>(QStringLiteral("RemoveBlankLines"))->trigger();
    QCOMPARE(zd::test::textsOf(h.sites), (QStringList{"a", "x", "y"}));
}

void TestForm1::closingDuringAHandlerStopsItThenQuits()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("long.txt"));
    QVERIFY(writeTestFile(path, QByteArray("http://x/\n").repeated(10'000)));
    Harness h;
    h.dialogs.nextOpen.push_back({path});
    h.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&h.form));
    // Only the window's own stop may end the loop below.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    h.ui.onPump = [&] {
        if (h.sites.count() >= 100 && h.form.isVisible())
            h.form.close();
    };
    QTimer::singleShot(0, &h.form, [&] { h.click("PushButton3"); });
    QTimer::singleShot(10'000, &h.form, [] { QCoreApplication::exit(1); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(h.ui.stopRequested);
    QVERIFY(h.sites.count() >= 100);
    QVERIFY(h.sites.count() < 10'000);
    QVERIFY(h.ui.errorReports().isEmpty());
    QVERIFY(!h.form.isVisible());
    QGuiApplication::setQuitOnLastWindowClosed(true);
}

void TestForm1::optionButtonsSaveTheirGroup()
{
    Harness h;
    h.form.initialize();
    h.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&h.form));
    QTest::mouseClick(h.control<QRadioButton>("Option6"), Qt::LeftButton);
    QVERIFY(h.control<QRadioButton>("Option6")->isChecked());
    QVERIFY(!h.control<QRadioButton>("Option4")->isChecked());
    QCOMPARE(h.settings.values.value(QStringLiteral("Option4")), QStringLiteral("False"));
    QCOMPARE(h.settings.values.value(QStringLiteral("Option6")), QStringLiteral("True"));
    QCOMPARE(h.settings.values.value(QStringLiteral("Option1")), QStringLiteral("True"));
    // Clicking the selected button again keeps it selected.
    QTest::mouseClick(h.control<QRadioButton>("Option6"), Qt::LeftButton);
    QVERIFY(h.control<QRadioButton>("Option6")->isChecked());
    QVERIFY(h.choices.isSelected(Option::Maximized));

    // "Private window": nothing is written until it is clicked, then its
    // own key alone, and the next start shows it as left.
    QVERIFY(!h.settings.values.contains(OptionChoices::privateKey()));
    QVERIFY(!h.control<QCheckBox>("Private")->isChecked());
    const auto before = h.settings.values;
    QTest::mouseClick(h.control<QCheckBox>("Private"), Qt::LeftButton);
    QVERIFY(h.choices.privateWindow());
    auto after = h.settings.values;
    QCOMPARE(after.take(OptionChoices::privateKey()), QStringLiteral("True"));
    QCOMPARE(after, before);
    for (const char *stored : {"True", "true", "1", "False", "", "maybe"}) {
        Harness next;
        next.settings.values = h.settings.values;
        next.settings.values.insert(OptionChoices::privateKey(), QString::fromLatin1(stored));
        next.form.initialize();
        const bool checked = parseStoredBool(QString::fromLatin1(stored)).value_or(false);
        QVERIFY2(next.control<QCheckBox>("Private")->isChecked() == checked, stored);
        QVERIFY2(next.ui.messages.empty(), stored);
        QCOMPARE(next.settings.values.value(OptionChoices::privateKey()), QString::fromLatin1(stored));
    }
    QTest::mouseClick(h.control<QCheckBox>("Private"), Qt::LeftButton);
    QCOMPARE(h.settings.values.value(OptionChoices::privateKey()), QStringLiteral("False"));
    // The command line's --private checks it for the session, unwritten.
    h.choices.setPrivateWindow(true, false);
    QVERIFY(h.control<QCheckBox>("Private")->isChecked());
    QCOMPARE(h.settings.values.value(OptionChoices::privateKey()), QStringLiteral("False"));
}

void TestForm1::buttonsReachTheirHandlers()
{
    Harness h;
    h.form.initialize();
    h.click("PushButton9");
    QVERIFY(
        h.ui.plainMessages().value(0).startsWith(QStringLiteral("Questions? Please contact Team Quillmoor")));
    h.ui.nextInputs.push_back(QStringLiteral("www.typed.org"));
    h.click("PushButton6");
    h.click("PushButton10");
    QCOMPARE(h.sites.count(), 4);
    QCOMPARE(h.sites.text(1), QStringLiteral("www.typed.org"));
    h.click("PushButton8");
    QVERIFY(h.clipboard.text.startsWith(QStringLiteral("www.typed.org\r\n")));
    h.click("PushButton3"); // dialog cancelled
    h.click("PushButton2");
    h.click("PushButton7");
    QCOMPARE(h.dialogs.shown.size(), size_t(3));
    h.click("PushButton4");
    QCOMPARE(h.launcher.launches.size(), size_t(4));
    h.click("PushButton1"); // input cancelled
    QCOMPARE(h.ui.inputPrompts.size(), 2);
    h.click("PushButton5");
    QCOMPARE(h.sites.count(), 0);
    QVERIFY(h.ui.errorReports().isEmpty());
}

void TestForm1::droppedFilesAreLoaded()
{
    QTemporaryDir dir;
    const QString dropped = dir.filePath(QStringLiteral("drop.txt"));
    QVERIFY(writeTestFile(dropped, "http://dropped/\r\n"));
    Harness h;
    h.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&h.form));
    QWidget *viewport = h.control<SiteListView>("ListView1")->viewport();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(dropped)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &drop);
    QCOMPARE(h.sites.count(), 1);
    QCOMPARE(h.sites.text(1), QStringLiteral("http://dropped/"));
}

void TestForm1::commandLineFilesAreLoadedThenStarted()
{
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("one.txt"));
    const QString second = dir.filePath(QStringLiteral("two.txt"));
    QVERIFY(writeTestFile(first, "http://one/\r\n"));
    QVERIFY(writeTestFile(second, "http://two/\r\n"));
    Harness h;
    h.ui.onIdle = [&](int ms) { h.clock.now += ms; };
    h.choices.select(Option::Firefox);
    // A missing file is said so; the others are still loaded, in order.
    h.form.loadFromCommandLine({first, dir.filePath(QStringLiteral("missing.txt")), second}, true);
    QCOMPARE(zd::test::textsOf(h.sites), (QStringList{"http://one/", "http://two/"}));
    QCOMPARE(h.ui.plainMessages(),
             QStringList{QStringLiteral("File not found: ")
                         + QDir::toNativeSeparators(dir.filePath(QStringLiteral("missing.txt")))});
    QCOMPARE(h.launcher.launches.size(), size_t(2));
    QCOMPARE(h.launcher.launches[1].address, QStringLiteral("http://two/"));
}

// A load is read from the top: its first new item is the first shown, at
// start-up and by Load List alike; one added item comes into view.
void TestForm1::loadedListShowsItsFirstNewItem()
{
    QTemporaryDir dir;
    QByteArray lines;
    for (int i = 0; i < 500; ++i)
        lines += "http://site" + QByteArray::number(i) + "/\n";
    const QString file = dir.filePath(QStringLiteral("many.txt"));
    QVERIFY(writeTestFile(file, lines));
    Harness h;
    h.form.show();
    auto *list = h.control<SiteListView>("ListView1");
    h.form.loadFromCommandLine({file}, false);
    QCOMPARE(h.sites.rowCount(), 500);
    QCOMPARE(list->firstVisibleRow(), 0);
    h.dialogs.nextOpen.push_back({file});
    h.control<QPushButton>("PushButton3")->click();
    QCOMPARE(h.sites.rowCount(), 1000);
    QCOMPARE(list->firstVisibleRow(), 500);
    h.ui.nextInputs.push_back(QStringLiteral("http://one-more/"));
    list->scrollToTop(0);
    h.control<QPushButton>("PushButton6")->click();
    h.sites.flushPending();
    QCOMPARE(h.sites.rowCount(), 1001);
    QVERIFY(list->viewport()->rect().contains(list->visualRect(1000).topLeft()));
}

void TestForm1::listActionsApplyOnlyToItems()
{
    Harness h;
    const auto enabled = [&](const char *name) {
        return h.control<SiteListView>("ListView1")
            ->findChild<QAction *>(QString::fromLatin1(name))
            ->isEnabled();
    };
    QVERIFY(enabled("PasteAddresses"));
    for (const char *name : {"OpenFromHere", "RemoveDuplicates", "RemoveBlankLines", "DeleteSite"})
        QVERIFY2(!enabled(name), name);
    h.sites.appendSite(QStringLiteral("a"));
    h.sites.flushPending();
    for (const char *name : {"RemoveDuplicates", "RemoveBlankLines", "DeleteSite"})
        QVERIFY2(enabled(name), name);
    h.sites.clear();
    QVERIFY(!enabled("RemoveDuplicates"));
}

void TestForm1::openFromHereStartsAtTheSelectedItem()
{
    Harness h;
    h.ui.onIdle = [&](int ms) { h.clock.now += ms; };
    h.choices.select(Option::Chrome);
    for (const char *address : {"a", "b", "c"})
        h.sites.appendSite(QString::fromLatin1(address));
    h.sites.flushPending();
    auto *list = h.control<SiteListView>("ListView1");
    list->selectRow(1);
    list->findChild<QAction *>(QStringLiteral("OpenFromHere"))->trigger();
    QCOMPARE(h.launcher.launches.size(), size_t(2));
    QCOMPARE(h.launcher.launches[0].address, QStringLiteral("b"));
    // Stopped before "c": "c" is selected, to go on from.
    h.launcher.onLaunch = [&](const FakeBrowserLauncher::Launch &launch) {
        if (launch.address == QLatin1String("b"))
            h.launch.requestStop();
    };
    list->selectRow(0);
    list->findChild<QAction *>(QStringLiteral("OpenFromHere"))->trigger();
    QCOMPARE(list->selectedRow(), 2);
}

void TestForm1::millionItemsStayInOneView()
{
    Harness h;
    h.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&h.form));
    for (int i = 0; i < 1'000'000; ++i)
        h.sites.appendSite(QStringLiteral("http://site%1/").arg(i));
    QCoreApplication::processEvents();
    auto *list = h.control<SiteListView>("ListView1");
    QCOMPARE(h.sites.rowCount(), 1'000'000);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_End);
    QCOMPARE(list->selectedRow(), 999'999);
    QVERIFY(list->rowAt(QPoint(5, 5)) > 999'000);
    // Double-click removes the last item; the view follows without a reset.
    const QPoint last(20, (999'999 - list->firstVisibleRow()) * list->rowHeight() + 2);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, last);
    QCOMPARE(h.sites.count(), 999'999);
    QCOMPARE(h.sites.text(999'999), QStringLiteral("http://site999998/"));
    // The new last item takes the selection, ready for the next removal.
    QCOMPARE(list->selectedRow(), 999'998);
    QTest::keyClick(list, Qt::Key_Home);
    QCOMPARE(list->firstVisibleRow(), 0);
    QCOMPARE(list->selectedRow(), 0);
}

void TestForm1::listViewSelection_data()
{
    QTest::addColumn<int>("start"); // selected row before, -1 for none
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("selected");
    QTest::newRow("down from none") << -1 << "Down" << 0;
    QTest::newRow("down") << 3 << "Down" << 4;
    QTest::newRow("up") << 3 << "Up" << 2;
    QTest::newRow("up at top stays") << 0 << "Up" << 0;
    QTest::newRow("down at bottom stays") << 49 << "Down" << 49;
    QTest::newRow("home") << 30 << "Home" << 0;
    QTest::newRow("end") << 3 << "End" << 49;
    QTest::newRow("page down moves a screenful") << 0 << "PgDown" << -2;
    QTest::newRow("click on the third row") << -1 << "click 2" << 2;
    QTest::newRow("click below the rows keeps the selection") << 1 << "click below" << 1;
    QTest::newRow("right click selects too") << 0 << "right click 3" << 3;
    QTest::newRow("removing a row above shifts the selection") << 5 << "remove 1" << 4;
    QTest::newRow("removing the selected row clears it") << 5 << "remove 6" << -1;
    QTest::newRow("removing a row below keeps it") << 5 << "remove 7" << 5;
    QTest::newRow("clear") << 5 << "clear" << -1;
    QTest::newRow("Delete selects the next item") << 5 << "Del" << 5;
    QTest::newRow("Delete of the last selects the new last") << 49 << "Del" << 48;
    QTest::newRow("Delete twice goes on removing") << 10 << "Del,Del" << 10;
    QTest::newRow("Delete with nothing selected") << -1 << "Del" << -1;
}

void TestForm1::listViewSelection()
{
    QFETCH(int, start);
    QFETCH(QString, action);
    QFETCH(int, selected);
    Harness h;
    QStringList items;
    for (int i = 1; i <= 50; ++i)
        items << QStringLiteral("item%1").arg(i);
    // Few enough rows that a click below the last one is on the viewport.
    auto *list = h.showList(action == QLatin1String("click below") ? items.mid(0, 3) : items);
    QVERIFY(list);
    // Appending brought the last row into view.
    const QRect lastRow = list->visualRect(list->rowCount() - 1);
    QVERIFY(lastRow.top() >= 0 && lastRow.bottom() < list->viewport()->height());
    list->scrollToRow(0);
    list->setFocus();
    list->selectRow(start);
    const auto rowCentre = [list](int row) {
        return QPoint(20, (row - list->firstVisibleRow()) * list->rowHeight() + list->rowHeight() / 2);
    };
    const QStringList words = action.split(QLatin1Char(' '));
    if (action == QLatin1String("click below"))
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(20, list->viewport()->height() - 3));
    else if (words[0] == QLatin1String("click"))
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(words[1].toInt()));
    else if (words[0] == QLatin1String("right"))
        QTest::mousePress(list->viewport(), Qt::RightButton, {}, rowCentre(words[2].toInt()));
    else if (words[0] == QLatin1String("remove"))
        h.sites.remove(words[1].toInt());
    else if (words[0] == QLatin1String("clear"))
        h.sites.clear();
    else
        QTest::keySequence(list, QKeySequence::fromString(action));
    if (selected == -2) // a page: as many rows as fit, less the one kept in view
        selected = list->viewport()->height() / list->rowHeight();
    QCOMPARE(list->selectedRow(), selected);
    if (action.startsWith(QLatin1String("Del")) && start >= 0)
        QCOMPARE(h.sites.count(), 50 - int(action.count(QLatin1Char(',')) + 1));
    if (selected >= 0) {
        // The selection is on screen, and the handlers see it numbered from 1.
        QVERIFY(selected >= list->firstVisibleRow());
        QVERIFY(list->rowAt(rowCentre(selected)) == selected);
    }
}

void TestForm1::listViewShowsBytesAsText()
{
    Harness h;
    auto *list = h.showList({});
    QVERIFY(list);
    h.sites.appendSiteBytes("caf\xe9");
    h.sites.appendSiteBytes("caf\xc3\xa9");
    QCoreApplication::processEvents();
    QCOMPARE(h.sites.displayText(0), QStringLiteral("caf\u00e9"));
    QCOMPARE(h.sites.displayText(1), QStringLiteral("caf\u00e9"));
    QCOMPARE(list->header()->model()->headerData(0, Qt::Horizontal, Qt::ToolTipRole).toString(),
             QStringLiteral("2 sites"));
    // Painting decodes only what is on screen; it must not fail on either form.
    QVERIFY(!list->viewport()->grab().isNull());
}

// What a screen reader sees: a list of rows named by the header, option
// buttons in named groups, a name on every control.
void TestForm1::accessibleTree()
{
    Harness h;
    auto *list =
        h.showList({QStringLiteral("http://a/"), QStringLiteral("http://b/"), QStringLiteral("http://c/")});
    QVERIFY(list);
    QAccessibleInterface *view = QAccessible::queryAccessibleInterface(list);
    QVERIFY(view);
    QCOMPARE(view->role(), QAccessible::List);
    QCOMPARE(view->text(QAccessible::Name), QStringLiteral("Site(s)"));
    QCOMPARE(view->childCount(), 3);
    QAccessibleInterface *second = view->child(1);
    QVERIFY(second);
    QCOMPARE(second->role(), QAccessible::ListItem);
    QCOMPARE(second->text(QAccessible::Name), QStringLiteral("http://b/"));
    QCOMPARE(second->parent(), view);
    QCOMPARE(view->indexOfChild(second), 1);
    QVERIFY(!second->state().selected);
    QVERIFY(second->state().selectable);
    QVERIFY(list->viewport()->rect().contains(list->viewport()->mapFromGlobal(second->rect().center())));
    QCOMPARE(view->childAt(second->rect().center().x(), second->rect().center().y()), second);

    h.form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&h.form));
    list->setFocus();
    list->selectRow(1);
    QVERIFY(second->state().selected);
    QVERIFY(second->state().focused);
    QCOMPARE(view->focusChild(), second);
    // Rows follow the list: a removal shifts them, a row past the end is gone.
    h.sites.remove(1);
    QCOMPARE(view->childCount(), 2);
    QCOMPARE(second->text(QAccessible::Name), QStringLiteral("http://c/"));
    QVERIFY(!view->child(2));

    for (int n = 1; n <= 6; ++n) {
        QAccessibleInterface *option =
            QAccessible::queryAccessibleInterface(h.control(QStringLiteral("Option%1").arg(n).toLatin1()));
        QCOMPARE(option->role(), QAccessible::RadioButton);
        QAccessibleInterface *group = option->parent();
        QCOMPARE(group->role(), QAccessible::Grouping);
        QCOMPARE(group->text(QAccessible::Name),
                 n <= 3 ? QStringLiteral("Which Browser?") : QStringLiteral("Open Browser As"));
    }
    QAccessibleInterface *privateBox = QAccessible::queryAccessibleInterface(h.control("Private"));
    QCOMPARE(privateBox->role(), QAccessible::CheckBox);
    QCOMPARE(privateBox->text(QAccessible::Name), QStringLiteral("Private window"));
    QCOMPARE(privateBox->parent()->text(QAccessible::Name), QStringLiteral("Open Browser As"));
    for (QWidget *control : h.form.findChildren<QWidget *>()) {
        if (!control->isVisible() || control->focusPolicy() == Qt::NoFocus)
            continue;
        QVERIFY2(!QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name).isEmpty(),
                 qPrintable(control->objectName()));
    }
}

// The desktop switches between light and dark while the window is open:
// text and background always come from the same palette.
void TestForm1::themeChangesAreFollowed()
{
    const QPalette light = QApplication::palette();
    const auto restore = qScopeGuard([&] {
        QApplication::setPalette(light);
        QCoreApplication::processEvents();
    });
    Harness h;
    h.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&h.form));
    auto *frame = h.control<QGroupBox>("Frame1");
    auto *button = h.control<QPushButton>("PushButton4");
    QCOMPARE(h.form.palette().color(QPalette::Window), QColor(Qt::white));

    QPalette dark = light;
    for (const auto role : {QPalette::Window, QPalette::Button, QPalette::Base})
        dark.setColor(role, QColor(0x2d, 0x2d, 0x2d));
    for (const auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        dark.setColor(role, QColor(0xee, 0xee, 0xee));
    QApplication::setPalette(dark);
    QCoreApplication::processEvents(); // the change is posted to the windows
    for (QWidget *widget : {static_cast<QWidget *>(&h.form), static_cast<QWidget *>(frame)}) {
        QCOMPARE(widget->palette().color(QPalette::Window), QColor(0x2d, 0x2d, 0x2d));
        QCOMPARE(widget->palette().color(QPalette::WindowText), QColor(0xee, 0xee, 0xee));
    }
    QCOMPARE(button->palette().color(QPalette::Button), QColor(0x2d, 0x2d, 0x2d));

    QApplication::setPalette(light);
    QCoreApplication::processEvents();
    QCOMPARE(h.form.palette().color(QPalette::Window), QColor(Qt::white));
    QCOMPARE(frame->palette().color(QPalette::Window), QColor(Qt::white));
    QCOMPARE(button->palette().color(QPalette::Button), QColor(Qt::white));
    QCOMPARE(h.form.palette().color(QPalette::WindowText), light.color(QPalette::WindowText));
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
