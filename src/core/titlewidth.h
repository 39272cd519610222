#pragma once

// For the windows' code only: it needs Qt Widgets, which the core library
// itself does not link.
#include <QFontMetrics>
#include <QWidget>

namespace zd {

/// How wide \a window must be for its whole title beside the title bar's
/// icon and three buttons, so that the title is never cut to "...": drawn
/// bold by many desktops, each button as wide as three lines are high on
/// Windows (46 px at 100 %).
inline int widthForTitle(const QWidget &window)
{
    QFont titleFont = window.font();
    titleFont.setBold(true);
    const QFontMetrics metrics(titleFont);
    return metrics.horizontalAdvance(window.windowTitle()) * 6 / 5 + 11 * metrics.height();
}

} // namespace zd
