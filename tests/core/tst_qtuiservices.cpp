#include "core/help.h"
#include "launch/browserlauncher.h"
#include "launch/runtally.h"
#include "core/qt/qtuiservices.h"

#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QDialogButtonBox>
#include <QTextEdit>
#include <QScrollBar>
#include <QPushButton>
#include <QTimer>
#include "support/testfiles.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace zd;
using zd::test::writeTestFile;

namespace {

// Runs \a inspect on the next modal box as soon as it shows.
void onNextBox(std::function<void(QWidget *)> inspect)
{
    QTimer::singleShot(0, qApp, [inspect] {
        QWidget *box = QApplication::activeModalWidget();
        if (!box) {
            onNextBox(inspect);
            return;
        }
        inspect(box);
    });
}

} // namespace

class TestQtUiServices : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void messageBoxes_data();
    void messageBoxes();
    void inputBoxCancelAndConfirm();
    void pointerShapes();
    void helpAddressStaysOnOneSelectableLine();
    void longMessagesWrapInsideTheBox_data();
    void longMessagesWrapInsideTheBox();
};

void TestQtUiServices::messageBoxes_data()
{
    QTest::addColumn<MessageStyle>("style");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("shownTitle");
    QTest::addColumn<bool>("icon");
    QTest::addColumn<int>("buttons");
    QTest::newRow("plain: the application title") << MessageStyle::OkOnly << ""
                                                  << "Zentavia" << false << 1;
    QTest::newRow("question") << MessageStyle::YesNo << ""
                              << "Zentavia" << false << 2;
    QTest::newRow("error report") << MessageStyle::Exclamation << "Application Error"
                                  << "Application Error" << true << 1;
    QTest::newRow("long title, short text") << MessageStyle::OkOnly << "A title longer than the text it heads"
                                            << "A title longer than the text it heads" << false << 1;
}

void TestQtUiServices::messageBoxes()
{
    QFETCH(MessageStyle, style);
    QFETCH(QString, title);
    QFETCH(QString, shownTitle);
    QFETCH(bool, icon);
    QFETCH(int, buttons);
    QWidget window;
    QtUiServices ui;
    ui.setWindow(&window);
    ui.setApplicationTitle(QStringLiteral("Zentavia"));
    QString seenTitle;
    QString seenText;
    bool seenIcon = false;
    int seenButtons = 0;
    int seenWidth = 0;   // beyond the title and three title-bar buttons
    int textIndent = -1; // from where the text could start: the margin, or the icon's right
    onNextBox([&](QWidget *box) {
        QCOMPARE(box->objectName(), QStringLiteral("MessageBox"));
        seenTitle = box->windowTitle();
        const auto *text = box->findChild<QTextEdit *>(QStringLiteral("MessageText"));
        seenText = text->toPlainText();
        const auto *iconLabel = box->findChild<QLabel *>(QStringLiteral("MessageIcon"));
        textIndent =
            text->x() - (iconLabel ? iconLabel->geometry().right() : box->layout()->contentsMargins().left());
        seenIcon = box->findChild<QLabel *>(QStringLiteral("MessageIcon")) != nullptr;
        seenButtons = int(box->findChild<QDialogButtonBox *>()->buttons().size());
        seenWidth =
            box->width() - box->fontMetrics().horizontalAdvance(seenTitle) - 3 * box->fontMetrics().height();
        // Enter presses the default button: Yes for the question.
        QTest::keyClick(box, Qt::Key_Return);
    });
    const MessageResult result = ui.messageBox(QStringLiteral("line one\r\nline two\r\rlast"), style, title);
    // Wide enough for its title beside the title bar's buttons.
    QVERIFY2(seenWidth > 0, qPrintable(QString::number(seenWidth)));
    // A short text starts at the left, however wide the title makes the box.
    QVERIFY2(textIndent >= 0 && textIndent <= 20, qPrintable(QString::number(textIndent)));
    QCOMPARE(seenTitle, shownTitle);
    QCOMPARE(seenText, QStringLiteral("line one\nline two\n\nlast"));
    QCOMPARE(seenIcon, icon);
    QCOMPARE(seenButtons, buttons);
    QCOMPARE(result, style == MessageStyle::YesNo ? MessageResult::Yes : MessageResult::Ok);
}

void TestQtUiServices::inputBoxCancelAndConfirm()
{
    QWidget window;
    QtUiServices ui;
    ui.setWindow(&window);
    ui.setApplicationTitle(QStringLiteral("Zentavia"));
    QString title;
    int width = 0;
    onNextBox([&](QWidget *widget) {
        auto *dialog = qobject_cast<QInputDialog *>(widget);
        QVERIFY(dialog);
        title = dialog->windowTitle();
        width = dialog->width();
        dialog->reject();
    });
    QCOMPARE(ui.inputBox(QStringLiteral("Enter: "), QStringLiteral("suggested")), QString());
    QCOMPARE(title, QStringLiteral("Zentavia"));
    QVERIFY2(width >= 480, qPrintable(QString::number(width)));

    onNextBox([&](QWidget *widget) {
        auto *dialog = qobject_cast<QInputDialog *>(widget);
        QCOMPARE(dialog->textValue(), QStringLiteral("suggested"));
        dialog->setTextValue(QStringLiteral("  typed  "));
        dialog->accept();
    });
    QCOMPARE(ui.inputBox(QStringLiteral("Enter: "), QStringLiteral("suggested")),
             QStringLiteral("  typed  "));

    onNextBox([&](QWidget *widget) {
        auto *dialog = qobject_cast<QInputDialog *>(widget);
        dialog->setTextValue(QString());
        dialog->accept();
    });
    QCOMPARE(ui.inputBox(QStringLiteral("Enter: "), QString()), QString());
}

void TestQtUiServices::pointerShapes()
{
    QWidget window;
    QtUiServices ui;
    ui.setWindow(&window);
    ui.setPointer(Pointer::Hourglass);
    QCOMPARE(window.cursor().shape(), Qt::WaitCursor);
    ui.setPointer(Pointer::Custom); // no image loaded: the arrow
    QCOMPARE(window.cursor().shape(), Qt::ArrowCursor);
    QTemporaryDir dir;
    const QString notPicture = dir.filePath(QStringLiteral("bad.cur"));
    QVERIFY(writeTestFile(notPicture, "not a cursor"));
    QVERIFY(!ui.loadCustomPointer(notPicture));

    // A .cur whose hot spot (5, 9) differs on each axis.
    const QString cur = dir.filePath(QStringLiteral("HAND-M.CUR"));
    QImage hand(32, 32, QImage::Format_ARGB32);
    hand.fill(Qt::black);
    QVERIFY(hand.save(cur, "CUR"));
    QFile file(cur);
    QVERIFY(file.open(QIODevice::ReadWrite));
    // Qt writes an icon: make it a cursor (type 2) with its hot spot.
    QVERIFY(file.seek(2));
    QCOMPARE(file.write(QByteArray("\x02", 1)), 1);
    QVERIFY(file.seek(10));
    QCOMPARE(file.write(QByteArray("\x05\x00\x09\x00", 4)), 4);
    file.close();
    QVERIFY(ui.loadCustomPointer(cur));
    QCOMPARE(curHotSpot(cur), QPoint(5, 9));
    ui.setPointer(Pointer::Custom);
    QCOMPARE(window.cursor().shape(), Qt::BitmapCursor);
    QCOMPARE(window.cursor().hotSpot(), QPoint(5, 9));
    ui.setPointer(Pointer::Default);
    QCOMPARE(window.cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(ui.pointer(), Pointer::Default);
}

void TestQtUiServices::helpAddressStaysOnOneSelectableLine()
{
    QWidget window;
    QtUiServices ui;
    ui.setWindow(&window);
    const QString help = helpMessage();
    bool oneLine = false;
    bool selectable = false;
    onNextBox([&](QWidget *widget) {
        auto *text = widget->findChild<QTextEdit *>(QStringLiteral("MessageText"));
        QVERIFY(text);
        // Wrapped, the text would be two lines high.
        oneLine = text->document()->size().height() < 2 * text->fontMetrics().lineSpacing();
        selectable = text->textInteractionFlags().testFlag(Qt::TextSelectableByMouse);
        QTest::keyClick(widget, Qt::Key_Return);
    });
    ui.messageBox(help, MessageStyle::OkOnly, QString());
    QVERIFY(oneLine);
    QVERIFY(selectable);
}

void TestQtUiServices::longMessagesWrapInsideTheBox_data()
{
    QTest::addColumn<QString>("text");
    const QString address = QStringLiteral("https://example.com/") + QString(1500, QLatin1Char('a'));
    RunTally tally;
    tally.count = 1000;
    for (int i = 0; i < 3; ++i)
        tally.notConfirmed
            << QStringLiteral("https://example.com/a/rather/long/path/to/page/%1?with=query").arg(i);
    tally.notPlaced = tally.notConfirmed;
    tally.browserNote =
        QStringLiteral("The desktop's default browser (vim.desktop) runs in a terminal, so %1 was "
                       "used instead.")
            .arg(QStringLiteral("firefox-esr"));
    QTest::newRow("closing message") << closingMessage(tally);
    QTest::newRow("missing browser") << missingBrowserMessage(Browser::Chrome,
                                                              candidatePrograms(Browser::Chrome));
    QTest::newRow("help") << helpMessage();
    QTest::newRow("unbreakable address") << QStringLiteral("File not found: ") + address;
    QTest::newRow("error report") << QStringLiteral("Path/File access error: /home/user/") + QString(400, 'x')
                                         + QStringLiteral(
                                             " is a folder\r\nin Zentavia.Form1.Form_Load at line 104");
}

// The box takes the width its text needs up to most of the screen, and
// the text wraps inside it: nothing is cut off.
void TestQtUiServices::longMessagesWrapInsideTheBox()
{
    QFETCH(QString, text);
    QWidget window;
    QtUiServices ui;
    ui.setWindow(&window);
    const QRect screen = window.screen()->availableGeometry();
    QRect box;
    QRect label;
    int hiddenBelow = -1;
    int hiddenRight = -1;
    QString shown;
    onNextBox([&](QWidget *widget) {
        auto *edit = widget->findChild<QTextEdit *>(QStringLiteral("MessageText"));
        box = widget->geometry();
        label = QRect(edit->mapTo(widget, QPoint(0, 0)), edit->size());
        // Lines that only scrolling would show.
        hiddenBelow = edit->verticalScrollBar()->maximum();
        hiddenRight = qCeil(edit->document()->idealWidth()) - edit->viewport()->width();
        shown = edit->toPlainText();
        QTest::keyClick(widget, Qt::Key_Return);
    });
    ui.messageBox(text, MessageStyle::Exclamation, QStringLiteral("Application Error"));
    QCOMPARE(shown, displayText(text));
    QVERIFY2(QRect(QPoint(0, 0), box.size()).contains(label),
             qPrintable(QStringLiteral("label %1 px in a box of %2 px").arg(label.width()).arg(box.width())));
    QVERIFY2(hiddenBelow == 0, qPrintable(QStringLiteral("%1 px hidden below").arg(hiddenBelow)));
    QVERIFY2(hiddenRight <= 0, qPrintable(QStringLiteral("%1 px hidden on the right").arg(hiddenRight)));
    QVERIFY2(box.width() <= screen.width(), qPrintable(QString::number(box.width())));
}

QTEST_MAIN(TestQtUiServices)
#include "tst_qtuiservices.moc"
