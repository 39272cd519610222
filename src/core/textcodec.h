#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace zd {

/// Bytes from a file, a page or the clipboard as text: UTF-8 where the bytes
/// are valid UTF-8, else one character per byte, so nothing is replaced.
QString decodeBytes(QByteArrayView bytes);

/// True when every byte is below 0x80.
inline bool isAscii(QByteArrayView bytes)
{
    unsigned char any = 0;
    for (const char c : bytes)
        any |= static_cast<unsigned char>(c);
    return any < 0x80;
}

/// "1,000": counts as users read them.
QString groupedNumber(qint64 number);
} // namespace zd
