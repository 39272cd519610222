#include "core/qt/qtuiservices.h"

#include "core/titlewidth.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QGridLayout>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QTextEdit>
#include <QtMath>
#include <QScreen>
#include <QStyle>
#include <QPixmap>
#include <QtEndian>

namespace zd {

QString displayText(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QPoint curHotSpot(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {0, 0};
    const QByteArray head = file.read(14);
    if (head.size() < 14)
        return {0, 0};
    const auto *bytes = reinterpret_cast<const uchar *>(head.constData());
    return {qFromLittleEndian<quint16>(bytes + 10), qFromLittleEndian<quint16>(bytes + 12)};
}

void QtUiServices::throwIfStopped() const
{
    if (m_stopRequested)
        throw StopRequested();
}

void QtUiServices::pumpEvents()
{
    throwIfStopped();
    m_pump.pump();
    throwIfStopped();
}

void QtUiServices::idle(int ms)
{
    throwIfStopped();
    idleInEventLoop(ms);
    throwIfStopped();
}

bool QtUiServices::loadCustomPointer(const QString &path)
{
    const QPixmap image(path);
    if (image.isNull())
        return false;
    const QPoint hotSpot = curHotSpot(path);
    m_custom = QCursor(image, hotSpot.x(), hotSpot.y());
    m_hasCustom = true;
    return true;
}

namespace {

// The text's width: its widest line, but never more than most of the
// screen; longer lines wrap (an address too long for the screen breaks).
int messageTextWidth(const QFontMetrics &metrics, const QString &text, const QRect &screen)
{
    int widest = 0;
    for (const QString &line : text.split(QLatin1Char('\n')))
        widest = qMax(widest, metrics.horizontalAdvance(line));
    const int room = screen.width() * 8 / 10 - QtUiServices::kBoxChrome;
    return qMax(1, qMin(widest + 2, room));
}

// The message as selectable text that wraps anywhere when it must: a
// QLabel cuts off a word longer than its width.
// \a edit \a width wide and as high as its wrapped text; past most of the
// screen's height it scrolls.
void fitMessageText(QTextEdit *edit, int width, const QRect &screen)
{
    edit->setFixedWidth(width);
    edit->document()->setTextWidth(width);
    const int height = qCeil(edit->document()->size().height());
    edit->setFixedHeight(qMin(height, screen.height() * 7 / 10));
}

QTextEdit *messageText(const QString &text, const QRect &screen)
{
    auto *edit = new QTextEdit;
    edit->setObjectName(QStringLiteral("MessageText"));
    edit->setPlainText(text);
    edit->setReadOnly(true);
    edit->setFrameShape(QFrame::NoFrame);
    // Selectable with the mouse (and copied with Ctrl+C), without a caret.
    edit->setTextInteractionFlags(Qt::TextSelectableByMouse);
    edit->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    edit->viewport()->setAutoFillBackground(false);
    edit->document()->setDocumentMargin(0);
    fitMessageText(edit, messageTextWidth(edit->fontMetrics(), text, screen), screen);
    return edit;
}

} // namespace

MessageResult QtUiServices::messageBox(const QString &prompt, MessageStyle style, const QString &title)
{
    throwIfStopped();
    // Laid out by hand rather than by QMessageBox, which caps its width and
    // then cuts off what does not fit.
    QDialog box(m_window);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.setWindowTitle(title.isEmpty() ? m_title : title);
    box.setWindowModality(Qt::ApplicationModal);
    auto *layout = new QGridLayout(&box);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    if (style == MessageStyle::Exclamation) {
        auto *icon = new QLabel;
        icon->setObjectName(QStringLiteral("MessageIcon"));
        const int side = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
        icon->setPixmap(box.style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, &box).pixmap(side));
        icon->setAlignment(Qt::AlignTop);
        layout->addWidget(icon, 0, 0);
    }
    const QScreen *screen = m_window ? m_window->screen() : QGuiApplication::primaryScreen();
    const QRect room = screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
    // Users copy addresses and error reports from boxes: the text is selectable.
    QTextEdit *text = messageText(displayText(prompt), room);
    // Any width beyond the text's, for the title, goes to the right of it.
    layout->addWidget(text, 0, 1, Qt::AlignLeft | Qt::AlignTop);
    layout->setColumnStretch(1, 1);
    auto *buttons = new QDialogButtonBox;
    QPushButton *preferred = nullptr;
    if (style == MessageStyle::YesNo) {
        preferred = buttons->addButton(QDialogButtonBox::Yes);
        buttons->addButton(QDialogButtonBox::No);
    } else {
        preferred = buttons->addButton(QDialogButtonBox::Ok);
    }
    preferred->setDefault(true);
    preferred->setFocus();
    MessageResult result = style == MessageStyle::YesNo ? MessageResult::No : MessageResult::Ok;
    QObject::connect(buttons, &QDialogButtonBox::clicked, &box, [&](QAbstractButton *button) {
        if (buttons->standardButton(button) == QDialogButtonBox::Yes)
            result = MessageResult::Yes;
        box.accept();
    });
    layout->addWidget(buttons, 1, 0, 1, 2);
    // The button row spans the box: its width holds the box open for the
    // title while a short text stays as wide as it is.
    const QMargins margins = layout->contentsMargins();
    buttons->setMinimumWidth(qMin(widthForTitle(box), room.width() * 8 / 10) - margins.left()
                             - margins.right());
    box.exec();
    return result;
}

QString QtUiServices::inputBox(const QString &prompt, const QString &defaultText)
{
    throwIfStopped();
    QInputDialog dialog(m_window);
    dialog.setWindowTitle(m_title);
    dialog.setLabelText(prompt);
    dialog.setTextValue(defaultText);
    dialog.setInputMode(QInputDialog::TextInput);
    // Addresses run to hundreds of characters: as wide as desktop URL prompts.
    // The dialog takes its size from its layout, so the field sets it.
    if (auto *field = dialog.findChild<QLineEdit *>())
        field->setMinimumWidth(kInputBoxWidth);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.textValue();
}

void QtUiServices::setPointer(Pointer pointer)
{
    m_pointer = pointer;
    if (!m_window)
        return;
    switch (pointer) {
    case Pointer::Default:
        m_window->unsetCursor();
        break;
    case Pointer::Hourglass:
        m_window->setCursor(Qt::WaitCursor);
        break;
    case Pointer::Custom:
        if (m_hasCustom)
            m_window->setCursor(m_custom);
        else
            m_window->unsetCursor();
        break;
    }
}

} // namespace zd
