#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <zlib.h>

#include <functional>

namespace zd {

/// Inflates a compressed body as it arrives, in pieces of any size.
/// "deflate" comes zlib-wrapped or raw, told apart by its first two bytes as
/// browsers do; gzip may come in several members, one after the other, as
/// gunzip reads them. Anything after the end of the stream is ignored.
class Inflater final
{
public:
    /// \a gzip for "gzip" and "x-gzip" (a zlib stream is taken too);
    /// false for "deflate".
    explicit Inflater(bool gzip) : m_gzip(gzip) {}
    ~Inflater();
    Inflater(const Inflater &) = delete;
    Inflater &operator=(const Inflater &) = delete;

    /// Takes each slice of what \a in inflates, 64 KiB at most; false to stop.
    using Slices = std::function<bool(QByteArrayView)>;
    /// Hands what \a in inflates to \a out a slice at a time, so that a
    /// stream that inflates a thousandfold costs no more than a slice before
    /// \a out can stop it; false for a corrupt stream or a stop.
    bool feed(QByteArrayView in, const Slices &out);
    /// Appends what \a in inflates to \a out; false for a corrupt stream.
    bool feed(QByteArrayView in, QByteArray &out);
    /// The compressed bytes read so far.
    qint64 consumed() const { return m_consumed; }
    /// True once the stream (every member begun) reached its end.
    bool ended() const { return m_ended && !(m_head.size() == 1 && quint8(m_head[0]) == 0x1f); }

private:
    bool start(QByteArrayView head);
    bool nextMember(QByteArrayView head);
    bool inflateAll(QByteArrayView in, const Slices &out);

    z_stream m_stream{};
    bool m_gzip;
    bool m_ready = false;
    bool m_ended = false;
    bool m_ignoreRest = false;
    qint64 m_consumed = 0;
    QByteArray m_head;
};

} // namespace zd
