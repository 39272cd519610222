#include "core/help.h"
#include "core/linux/qtuiservices.h"

#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
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
};

void TestQtUiServices::messageBoxes_data()
{
    QTest::addColumn<MessageStyle>("style");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("shownTitle");
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("buttons");
    QTest::newRow("plain: the application title") << MessageStyle::OkOnly << ""
                                                  << "Zentavia" << int(QMessageBox::NoIcon) << 1;
    QTest::newRow("question") << MessageStyle::YesNo << ""
                              << "Zentavia" << int(QMessageBox::NoIcon) << 2;
    QTest::newRow("error report") << MessageStyle::Exclamation << "Application Error"
                                  << "Application Error" << int(QMessageBox::Warning) << 1;
}

void TestQtUiServices::messageBoxes()
{
    QFETCH(MessageStyle, style);
    QFETCH(QString, title);
    QFETCH(QString, shownTitle);
    QFETCH(int, icon);
    QFETCH(int, buttons);
    QWidget window;
    QtUiServices ui;
    ui.setWindow(&window);
    ui.setApplicationTitle(QStringLiteral("Zentavia"));
    QString seenTitle;
    QString seenText;
    int seenIcon = -1;
    int seenButtons = 0;
    onNextBox([&](QWidget *widget) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        QVERIFY(box);
        seenTitle = box->windowTitle();
        seenText = box->text();
        seenIcon = box->icon();
        seenButtons = int(box->buttons().size());
        // Enter presses the default button: Yes for the question.
        QTest::keyClick(box, Qt::Key_Return);
    });
    const MessageResult result = ui.messageBox(QStringLiteral("line one\r\nline two\r\rlast"), style, title);
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
        auto *label = widget->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
        QVERIFY(label);
        // Wrapped, the label would be two lines high.
        oneLine = label->height() < 2 * label->fontMetrics().lineSpacing();
        selectable = label->textInteractionFlags().testFlag(Qt::TextSelectableByMouse);
        QTest::keyClick(widget, Qt::Key_Return);
    });
    ui.messageBox(help, MessageStyle::OkOnly, QString());
    QVERIFY(oneLine);
    QVERIFY(selectable);
}

QTEST_MAIN(TestQtUiServices)
#include "tst_qtuiservices.moc"
