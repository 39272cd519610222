#include "qtuiservices.h"

#include <QInputDialog>
#include <QMessageBox>

namespace zd {

QString displayText(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

MessageResult QtUiServices::messageBox(const QString &prompt, MessageStyle style, const QString &title)
{
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
