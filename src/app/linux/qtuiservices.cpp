#include "app/linux/qtuiservices.h"

#include <QFile>
#include <QInputDialog>
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
    box.setText(displayText(prompt));
    box.setTextFormat(Qt::PlainText);
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
    bool ok = false;
    const QString text =
        QInputDialog::getText(m_window, m_title, prompt, QLineEdit::Normal, defaultText, &ok);
    return ok ? text : QString();
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
