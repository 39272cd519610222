#include "sitelist/linux/qtclipboard.h"

#include "sitelist/linux/x11selection.h"

#include <QGuiApplication>

namespace zd {

QtClipboard::QtClipboard() = default;
QtClipboard::~QtClipboard() = default;

bool QtClipboard::onX11() const
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

bool QtClipboard::ownsText() const
{
    return m_x11 ? m_x11->owns() : m_plain.ownsText();
}

bool QtClipboard::clear()
{
    // The new text takes the X11 clipboard's place whole.
    if (onX11())
        return true;
    return m_plain.clear();
}

bool QtClipboard::setText(const QByteArray &utf8)
{
    // Its own connection and thread come with the first copy, not at start-up.
    if (onX11() && !m_x11) {
        m_x11 = std::make_unique<X11Selection>();
        if (!m_x11->isConnected())
            m_x11.reset();
    }
    if (m_x11)
        return m_x11->offer(utf8);
    return m_plain.setText(utf8);
}

QString QtClipboard::readText()
{
    return m_plain.readText();
}

} // namespace zd
