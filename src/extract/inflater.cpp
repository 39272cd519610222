#include "extract/inflater.h"

#include <utility>

namespace zd {

namespace {

bool isZlibHeader(QByteArrayView head)
{
    const auto cmf = quint8(head[0]);
    const auto flg = quint8(head[1]);
    return (cmf & 0x0f) == Z_DEFLATED && (cmf >> 4) <= 7 && ((cmf << 8) | flg) % 31 == 0;
}

} // namespace

Inflater::~Inflater()
{
    if (m_ready)
        inflateEnd(&m_stream);
}

bool Inflater::feed(QByteArrayView in, QByteArray &out)
{
    return feed(in, [&out](QByteArrayView slice) {
        out.append(slice);
        return true;
    });
}

bool Inflater::feed(QByteArrayView in, const Slices &out)
{
    if (m_ignoreRest)
        return true;
    if (m_ready && !m_ended)
        return inflateAll(in, out);
    // The first two bytes of the stream, or of what follows a gzip member,
    // decide what comes next: held until both are here.
    m_head.append(in);
    if (m_head.size() < 2)
        return true;
    const QByteArray head = std::exchange(m_head, QByteArray());
    if (!m_ready && !start(head))
        return false;
    if (m_ended && !nextMember(head)) {
        m_ignoreRest = true;
        return true;
    }
    return inflateAll(head, out);
}

bool Inflater::start(QByteArrayView head)
{
    // gzip and zlib are told apart by zlib itself; raw deflate has no header.
    const int windowBits = m_gzip || isZlibHeader(head) ? 32 + MAX_WBITS : -MAX_WBITS;
    m_ready = inflateInit2(&m_stream, windowBits) == Z_OK;
    return m_ready;
}

bool Inflater::nextMember(QByteArrayView head)
{
    if (!m_gzip || quint8(head[0]) != 0x1f || quint8(head[1]) != 0x8b)
        return false;
    m_ended = inflateReset(&m_stream) != Z_OK;
    return !m_ended;
}

bool Inflater::inflateAll(QByteArrayView in, const Slices &out)
{
    m_stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.data()));
    m_stream.avail_in = static_cast<uInt>(in.size());
    char buffer[64 * 1024];
    // A full buffer may leave output behind with no input left to read.
    bool full = false;
    while ((m_stream.avail_in > 0 || full) && !m_ended) {
        m_stream.next_out = reinterpret_cast<Bytef *>(buffer);
        m_stream.avail_out = sizeof buffer;
        const uInt before = m_stream.avail_in;
        const int result = inflate(&m_stream, Z_NO_FLUSH);
        m_consumed += before - m_stream.avail_in;
        if (result == Z_BUF_ERROR && m_stream.avail_in == 0)
            break; // nothing more without more input
        if (result != Z_OK && result != Z_STREAM_END)
            return false;
        m_ended = result == Z_STREAM_END;
        full = m_stream.avail_out == 0;
        const auto produced = static_cast<qsizetype>(sizeof buffer - m_stream.avail_out);
        if (produced > 0 && !out(QByteArrayView(buffer, produced)))
            return false;
    }
    // What follows the end: another member, or nothing we read.
    if (m_ended && m_stream.avail_in > 0)
        return feed(QByteArrayView(reinterpret_cast<const char *>(m_stream.next_in), m_stream.avail_in), out);
    return true;
}

} // namespace zd
