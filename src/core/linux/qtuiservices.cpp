#include "core/linux/qtuiservices.h"

#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
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

MessageResult QtUiServices::messageBox(const QString &prompt, MessageStyle style, const QString &title)
{
    throwIfStopped();
    QMessageBox box(m_window);
    box.setWindowTitle(title.isEmpty() ? m_title : title);
    const QString text = displayText(prompt);
    box.setText(text);
    box.setTextFormat(Qt::PlainText);
    // Users copy addresses and error reports from boxes.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // Qt wraps text wider than 500 pixels, cutting addresses in two: give
    // lines up to 900 pixels the room they need.
    if (auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_label"))) {
        int widest = 0;
        for (const QString &line : text.split(QLatin1Char('\n')))
            widest = qMax(widest, label->fontMetrics().horizontalAdvance(line));
        label->setMinimumWidth(qMin(widest + 2, kWidestBoxLine));
    }
    box.setWindowModality(Qt::ApplicationModal);
    switch (style) {
    case MessageStyle::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case MessageStyle::Exclamation:
        box.setIcon(QMessageBox::Warning);
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MessageStyle::OkOnly:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    const int pressed = box.exec();
    if (pressed == QMessageBox::Yes)
        return MessageResult::Yes;
    if (pressed == QMessageBox::No)
        return MessageResult::No;
    return MessageResult::Ok;
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
