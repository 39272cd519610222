#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace zd {

/// Bytes from a file, a page or the clipboard as text: UTF-8 where the bytes
/// are valid UTF-8, else one character per byte, so nothing is replaced.
QString decodeBytes(QByteArrayView bytes);

/// "1,000": counts as users read them.
QString groupedNumber(qint64 number);
} // namespace zd
