// Renders the application icon to PNG files for the icon theme:
//   zd_iconrender OUTDIR SIZE...   writes OUTDIR/SIZE.png
#include "app/appicon.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    for (int i = 2; i < args.size(); ++i) {
        const int size = args[i].toInt();
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        zd::paintAppIcon(painter, size);
        painter.end();
        if (!image.save(QStringLiteral("%1/%2.png").arg(args[1]).arg(size)))
            return 1;
    }
    return 0;
}
