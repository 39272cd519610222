#pragma once

#include "eventpump.h"
#include "uiservices.h"

#include <QCursor>
#include <QPointer>
#include <QWidget>

namespace zd {

/// Message and input boxes from Qt Widgets, the pointer of the main window
/// and a throttled event pump.
class QtUiServices final : public UiServices
{
public:
    /// \a window parents the boxes and carries the pointer.
    void setWindow(QWidget *window) { m_window = window; }
    void setCustomCursor(const QCursor &cursor)
    {
        m_custom = cursor;
        m_hasCustom = true;
    }

    MessageResult messageBox(const QString &prompt, MessageStyle style, const QString &title) override;
    QString inputBox(const QString &prompt, const QString &defaultText) override;
    void pumpEvents() override { m_pump.pump(); }
    void idle(int ms) override { idleInEventLoop(ms); }
    void setApplicationTitle(const QString &title) override { m_title = title; }
    Pointer pointer() const override { return m_pointer; }
    void setPointer(Pointer pointer) override;

private:
    QPointer<QWidget> m_window;
    QString m_title;
    Pointer m_pointer = Pointer::Default;
    QCursor m_custom;
    bool m_hasCustom = false;
    ThrottledEventPump m_pump;
};

/// Boxes show CR LF and lone CR as line breaks.
QString displayText(QString text);

} // namespace zd
