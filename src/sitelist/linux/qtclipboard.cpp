#include "sitelist/linux/qtclipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace zd {

bool QtClipboard::clear()
{
    QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
    return true;
}

bool QtClipboard::setText(const QString &text)
{
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
    return true;
}

QString QtClipboard::readText()
{
    return QGuiApplication::clipboard()->text(QClipboard::Clipboard);
}

} // namespace zd
