#pragma once

#include "core/eventpump.h"
#include "core/uiservices.h"

#include <QCursor>
#include <QPointer>
#include <QWidget>

namespace zd {

/// Message and input boxes from Qt Widgets, the pointer of the main window
/// and a throttled event pump.
class QtUiServices final : public UiServices
{
public:
    static constexpr int kInputBoxWidth = 480;
    /// A message box's room around its text: margins and the icon.
    static constexpr int kBoxChrome = 100;

    /// \a window parents the boxes and carries the pointer.
    void setWindow(QWidget *window) { m_window = window; }

    MessageResult messageBox(const QString &prompt, MessageStyle style, const QString &title) override;
    QString inputBox(const QString &prompt, const QString &defaultText) override;
    void pumpEvents() override;
    void idle(int ms) override;
    void setApplicationTitle(const QString &title) override { m_title = title; }
    Pointer pointer() const override { return m_pointer; }
    void setPointer(Pointer pointer) override;
    bool loadCustomPointer(const QString &path) override;
    void requestStop() override { m_stopRequested = true; }

private:
    void throwIfStopped() const;

    QPointer<QWidget> m_window;
    QString m_title;
    Pointer m_pointer = Pointer::Default;
    QCursor m_custom;
    bool m_hasCustom = false;
    bool m_stopRequested = false;
    ThrottledEventPump m_pump;
};

/// Boxes show CR LF and lone CR as line breaks.
QString displayText(QString text);

/// The hot spot a .cur file keeps in its first directory entry; (0, 0) when
/// the file is too short.
QPoint curHotSpot(const QString &path);

} // namespace zd
