// Renders the application icon to PNG files for the icon theme, or to one
// Windows icon file holding every size:
//   zd_iconrender OUTDIR SIZE...      writes OUTDIR/SIZE.png
//   zd_iconrender FILE.ico SIZE...    writes FILE.ico
#include "app/appicon.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QtEndian>

namespace {

QImage render(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    zd::paintAppIcon(painter, size);
    painter.end();
    return image;
}

template<class T>
void put(QByteArray &out, T value)
{
    const T little = qToLittleEndian(value);
    out.append(reinterpret_cast<const char *>(&little), sizeof little);
}

// An ICO file whose images are PNG, which Windows reads since Vista.
bool writeIco(const QString &path, const QList<int> &sizes)
{
    QList<QByteArray> pngs;
    for (const int size : sizes) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!render(size).save(&buffer, "PNG"))
            return false;
        pngs << png;
    }
    QByteArray out;
    put<quint16>(out, 0);
    put<quint16>(out, 1); // icon
    put<quint16>(out, quint16(sizes.size()));
    quint32 offset = 6 + 16 * quint32(sizes.size());
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        out.append(char(sizes[i] >= 256 ? 0 : sizes[i])); // 0 stands for 256
        out.append(char(sizes[i] >= 256 ? 0 : sizes[i]));
        out.append(char(0)); // no palette
        out.append(char(0));
        put<quint16>(out, 1);  // planes
        put<quint16>(out, 32); // bits per pixel
        put<quint32>(out, quint32(pngs[i].size()));
        put<quint32>(out, offset);
        offset += quint32(pngs[i].size());
    }
    for (const QByteArray &png : pngs)
        out += png;
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size() && file.flush();
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    QList<int> sizes;
    for (int i = 2; i < args.size(); ++i)
        sizes << args[i].toInt();
    if (args.value(1).endsWith(QLatin1String(".ico")))
        return writeIco(args[1], sizes) ? 0 : 1;
    for (const int size : sizes) {
        if (!render(size).save(QStringLiteral("%1/%2.png").arg(args[1]).arg(size)))
            return 1;
    }
    return 0;
}
