#pragma once

#include <QIcon>

class QPainter;

namespace zd {

/// Paints the application icon into a square of \a size pixels.
void paintAppIcon(QPainter &painter, int size);
/// The icon at the usual sizes.
QIcon appIcon();

} // namespace zd
