#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace zd {

/// Bytes from a file, a page or the clipboard as text: UTF-8 where the bytes
/// are valid UTF-8, else one character per byte, so nothing is replaced.
QString decodeBytes(QByteArrayView bytes);

/// Appends the UTF-8 of \a text to \a out without a temporary array.
void appendEncoded(QByteArray &out, QStringView text);

} // namespace zd
