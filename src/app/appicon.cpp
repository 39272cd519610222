#include "app/appicon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace zd {

// Three stacked browser windows on a blue tile: many sites opened at once.
// packaging/zentavia-desk.svg draws the same shapes.
void paintAppIcon(QPainter &painter, int size)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 256.0, size / 256.0);

    QLinearGradient tile(0, 0, 0, 256);
    tile.setColorAt(0, QColor(0x1e, 0x88, 0xe5));
    tile.setColorAt(1, QColor(0x0d, 0x47, 0xa1));
    painter.setPen(Qt::NoPen);
    painter.setBrush(tile);
    painter.drawRoundedRect(QRectF(8, 8, 240, 240), 48, 48);

    const QColor frames[] = {QColor(0xbb, 0xde, 0xfb), QColor(0xe3, 0xf2, 0xfd), QColor(Qt::white)};
    for (int i = 0; i < 3; ++i) {
        const QRectF window(40 + 28 * i, 52 + 28 * i, 120, 96);
        painter.setBrush(frames[i]);
        painter.drawRoundedRect(window, 12, 12);
        painter.setBrush(QColor(0xff, 0xa7, 0x26));
        painter.drawRoundedRect(QRectF(window.left(), window.top(), window.width(), 22), 12, 12);
        painter.drawRect(QRectF(window.left(), window.top() + 11, window.width(), 11));
    }
    // A play-like arrow on the front window: "start opening".
    QPainterPath arrow;
    arrow.moveTo(140, 140);
    arrow.lineTo(140, 184);
    arrow.lineTo(178, 162);
    arrow.closeSubpath();
    painter.setBrush(QColor(0x0d, 0x47, 0xa1));
    painter.drawPath(arrow);
    painter.restore();
}

QIcon appIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paintAppIcon(painter, size);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace zd
