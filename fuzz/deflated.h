#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <zlib.h>

// \a input compressed as a server sends it: gzip (16 + MAX_WBITS),
// zlib-wrapped (MAX_WBITS) or raw (-MAX_WBITS); empty when zlib refuses.
inline QByteArray deflated(QByteArrayView input, int windowBits)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray out(qsizetype(deflateBound(&stream, uLong(input.size()))) + 64, Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(input.data()));
    stream.avail_in = uInt(input.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return result == Z_STREAM_END ? out : QByteArray();
}
