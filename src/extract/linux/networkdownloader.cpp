#include "extract/linux/networkdownloader.h"

#include <QEventLoop>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <utility>
#include <zlib.h>
#include <optional>

namespace zd {

namespace {

// Qt stops a decompression that grows past this size and ratio; so do we.
constexpr qint64 kBombThreshold = qint64{10} << 20;
constexpr qint64 kBombRatio = 40;

// Inflates a compressed body as it arrives. We ask for compression
// ourselves, so Qt hands over the raw bytes: their count can be held against
// Content-Length, and a stream that stops before its end shows the cut.
// "deflate" comes zlib-wrapped or raw, told apart by its first two bytes as
// browsers do; gzip may come in several members, one after the other, as
// gunzip reads them.
class Inflater
{
public:
    explicit Inflater(bool gzip) : m_gzip(gzip) {}
    ~Inflater()
    {
        if (m_ready)
            inflateEnd(&m_stream);
    }
    Inflater(const Inflater &) = delete;
    Inflater &operator=(const Inflater &) = delete;

    /// Appends what \a in inflates to; false for a corrupt stream.
    bool feed(QByteArrayView in, QByteArray &out)
    {
        // The first two bytes of the stream, or of what follows a gzip
        // member, decide what comes next: hold them until both are here.
        if (m_ignoreRest)
            return true;
        if (!m_ready || m_ended) {
            m_head.append(in);
            if (m_head.size() < 2)
                return true;
            const QByteArray head = std::exchange(m_head, QByteArray());
            if (!m_ready && !start(head))
                return false;
            if (m_ended && !nextMember(head)) {
                m_ignoreRest = true; // anything after the end is ignored, as browsers do
                return true;
            }
            return inflateAll(head, out);
        }
        return inflateAll(in, out);
    }
    /// True once the stream (every member begun) reached its end.
    bool ended() const { return m_ended && !(m_head.size() == 1 && quint8(m_head[0]) == 0x1f); }

private:
    static bool isZlibHeader(QByteArrayView head)
    {
        const auto cmf = quint8(head[0]);
        const auto flg = quint8(head[1]);
        return (cmf & 0x0f) == Z_DEFLATED && (cmf >> 4) <= 7 && ((cmf << 8) | flg) % 31 == 0;
    }
    bool start(QByteArrayView head)
    {
        // gzip (or zlib) told apart by zlib itself; raw deflate has no header.
        const int windowBits = m_gzip || isZlibHeader(head) ? 32 + MAX_WBITS : -MAX_WBITS;
        m_ready = inflateInit2(&m_stream, windowBits) == Z_OK;
        return m_ready;
    }
    bool nextMember(QByteArrayView head)
    {
        if (!m_gzip || quint8(head[0]) != 0x1f || quint8(head[1]) != 0x8b)
            return false;
        m_ended = inflateReset(&m_stream) != Z_OK;
        return !m_ended;
    }
    bool inflateAll(QByteArrayView in, QByteArray &out)
    {
        m_stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.data()));
        m_stream.avail_in = static_cast<uInt>(in.size());
        char buffer[64 * 1024];
        while (m_stream.avail_in > 0 && !m_ended) {
            m_stream.next_out = reinterpret_cast<Bytef *>(buffer);
            m_stream.avail_out = sizeof buffer;
            const int result = inflate(&m_stream, Z_NO_FLUSH);
            if (result != Z_OK && result != Z_STREAM_END)
                return false;
            out.append(buffer, static_cast<qsizetype>(sizeof buffer - m_stream.avail_out));
            m_ended = result == Z_STREAM_END;
        }
        // What follows the end: another member, or nothing we read.
        if (m_ended && m_stream.avail_in > 0)
            return feed(QByteArrayView(reinterpret_cast<const char *>(m_stream.next_in), m_stream.avail_in),
                        out);
        return true;
    }

    z_stream m_stream{};
    bool m_gzip;
    bool m_ready = false;
    bool m_ended = false;
    bool m_ignoreRest = false;
    QByteArray m_head;
};

// Takes the body as it arrives: inflates what the server compressed,
// holds the size bounds and writes to the target, and says why it stopped.
class BodyWriter
{
public:
    BodyWriter(QIODevice &target, qint64 maxBytes) : m_target(target), m_maxBytes(maxBytes) {}

    /// Takes the next raw bytes; false once the download must stop.
    bool take(const QByteArray &raw, const QByteArray &encoding)
    {
        if (m_stopped)
            return false;
        m_received += raw.size();
        if (!m_encoding)
            m_encoding = encoding.trimmed().toLower();
        QByteArray bytes;
        if (compressed()) {
            if (!m_inflater)
                m_inflater.emplace(*m_encoding != "deflate");
            if (!m_inflater->feed(raw, bytes) || looksLikeABomb(bytes.size()))
                m_stopped = DownloadStatus::NotFound;
        } else if (!m_encoding->isEmpty() && *m_encoding != "identity") {
            m_stopped = DownloadStatus::NotFound; // an encoding we did not ask for
        } else {
            bytes = raw;
        }
        if (!m_stopped && m_written + bytes.size() > m_maxBytes)
            m_stopped = DownloadStatus::TooLarge;
        else if (!m_stopped && m_target.write(bytes) != bytes.size())
            m_stopped = DownloadStatus::WriteFailed;
        m_written += bytes.size();
        return !m_stopped;
    }
    std::optional<DownloadStatus> stopped() const { return m_stopped; }
    qint64 received() const { return m_received; }
    /// A compressed stream that did not reach its end was cut.
    bool cutShort() const
    {
        return m_encoding && !m_encoding->isEmpty() && *m_encoding != "identity"
               && (!m_inflater || !m_inflater->ended());
    }

private:
    bool compressed() const
    {
        return *m_encoding == "gzip" || *m_encoding == "x-gzip" || *m_encoding == "deflate";
    }
    bool looksLikeABomb(qint64 more) const
    {
        return m_written + more > kBombThreshold && m_written + more > kBombRatio * m_received;
    }

    QIODevice &m_target;
    qint64 m_maxBytes;
    qint64 m_written = 0;
    qint64 m_received = 0;
    std::optional<QByteArray> m_encoding;
    std::optional<DownloadStatus> m_stopped;
    std::optional<Inflater> m_inflater;
};

// An http or https address with a host; nullopt for anything else.
std::optional<QUrl> downloadable(const QString &url)
{
    const QUrl address(url, QUrl::StrictMode);
    if (!address.isValid() || address.host().isEmpty())
        return std::nullopt;
    const QString scheme = address.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return std::nullopt;
    return address;
}

// How a finished reply ended, its body taken.
DownloadStatus outcome(const QNetworkReply &reply, const BodyWriter &body)
{
    DownloadEnd end;
    end.stopped = body.stopped();
    end.networkError = reply.error() != QNetworkReply::NoError;
    end.httpStatus = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QVariant announced = reply.header(QNetworkRequest::ContentLengthHeader);
    if (announced.isValid())
        end.announcedBytes = announced.toLongLong();
    end.receivedBytes = body.received();
    end.streamEnded = !body.cutShort();
    return downloadOutcome(end);
}

} // namespace

NetworkDownloader::NetworkDownloader(int inactivityMs, int overallMs, qint64 maxBytes)
    : m_inactivityMs(inactivityMs), m_overallMs(overallMs), m_maxBytes(maxBytes)
{
    m_network.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

DownloadStatus NetworkDownloader::download(const QString &url, QIODevice &target)
{
    const std::optional<QUrl> address = downloadable(url);
    if (!address)
        return DownloadStatus::NotFound;
    QNetworkRequest request(*address);
    request.setTransferTimeout(m_inactivityMs);
    request.setMaximumRedirectsAllowed(20);
    request.setRawHeader("Accept-Encoding", "gzip, deflate");
    std::unique_ptr<QNetworkReply> reply(m_network.get(request));
    // A bounded buffer makes the network thread hand over the body in small
    // pieces, so that no single turn of the event loop swallows a whole page.
    reply->setReadBufferSize(qint64{256} * 1024);

    BodyWriter body(target, m_maxBytes);
    // Stop at once: a full disk or an endless body must not run on.
    const auto drain = [&] {
        const QByteArray raw = reply->readAll();
        if (!raw.isEmpty() && !body.take(raw, reply->rawHeader("Content-Encoding")))
            reply->abort();
    };
    QEventLoop loop;
    QTimer overall;
    overall.setSingleShot(true);
    QObject::connect(&overall, &QTimer::timeout, reply.get(), &QNetworkReply::abort);
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, drain);
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    overall.start(m_overallMs);
    if (!reply->isFinished())
        loop.exec();
    if (!reply->isFinished()) {
        // The loop was ended from outside (the program is closing).
        reply->abort();
        return DownloadStatus::NotFound;
    }
    drain();
    return outcome(*reply, body);
}

} // namespace zd
