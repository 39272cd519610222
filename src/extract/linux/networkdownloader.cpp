#include "extract/linux/networkdownloader.h"

#include <QEventLoop>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <zlib.h>
#include <optional>

namespace zd {

namespace {

// Qt stops a decompression that grows past this size and ratio; so do we.
constexpr qint64 kBombThreshold = qint64{10} << 20;
constexpr qint64 kBombRatio = 40;

// Inflates a gzip or zlib body as it arrives. We ask for compression
// ourselves, so Qt hands over the raw bytes: their count can be held against
// Content-Length, and a stream that stops before its end shows the cut.
class Inflater
{
public:
    Inflater() { m_ready = inflateInit2(&m_stream, 32 + MAX_WBITS) == Z_OK; }
    ~Inflater() { inflateEnd(&m_stream); }
    Inflater(const Inflater &) = delete;
    Inflater &operator=(const Inflater &) = delete;

    /// Appends what \a in inflates to; false for a corrupt stream.
    bool feed(QByteArrayView in, QByteArray &out)
    {
        if (!m_ready)
            return false;
        m_stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.data()));
        m_stream.avail_in = static_cast<uInt>(in.size());
        char buffer[64 * 1024];
        // Anything after the end of the stream is ignored, as browsers do.
        while (m_stream.avail_in > 0 && !m_ended) {
            m_stream.next_out = reinterpret_cast<Bytef *>(buffer);
            m_stream.avail_out = sizeof buffer;
            const int result = inflate(&m_stream, Z_NO_FLUSH);
            if (result != Z_OK && result != Z_STREAM_END)
                return false;
            out.append(buffer, static_cast<qsizetype>(sizeof buffer - m_stream.avail_out));
            m_ended = result == Z_STREAM_END;
        }
        return true;
    }
    bool ended() const { return m_ended; }

private:
    z_stream m_stream{};
    bool m_ready = false;
    bool m_ended = false;
};

} // namespace

NetworkDownloader::NetworkDownloader(int inactivityMs, int overallMs, qint64 maxBytes)
    : m_inactivityMs(inactivityMs), m_overallMs(overallMs), m_maxBytes(maxBytes)
{
    m_network.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

DownloadStatus NetworkDownloader::download(const QString &url, QIODevice &target)
{
    const QUrl address(url, QUrl::StrictMode);
    if (!address.isValid() || address.host().isEmpty())
        return DownloadStatus::NotFound;
    const QString scheme = address.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return DownloadStatus::NotFound;

    QNetworkRequest request(address);
    request.setTransferTimeout(m_inactivityMs);
    request.setMaximumRedirectsAllowed(20);
    request.setRawHeader("Accept-Encoding", "gzip, deflate");
    std::unique_ptr<QNetworkReply> reply(m_network.get(request));
    // A bounded buffer makes the network thread hand over the body in small
    // pieces, so that no single turn of the event loop swallows a whole page.
    reply->setReadBufferSize(qint64{256} * 1024);

    // Stop at once: a full disk or an endless body must not run on.
    std::optional<DownloadStatus> stopped;
    qint64 written = 0;
    qint64 received = 0;
    std::optional<QByteArray> encoding;
    Inflater inflater;
    const auto drain = [&] {
        if (stopped)
            return;
        const QByteArray raw = reply->readAll();
        if (raw.isEmpty())
            return;
        received += raw.size();
        if (!encoding)
            encoding = reply->rawHeader("Content-Encoding").trimmed().toLower();
        QByteArray bytes;
        const bool compressed = *encoding == "gzip" || *encoding == "x-gzip" || *encoding == "deflate";
        if (compressed) {
            if (!inflater.feed(raw, bytes)
                || (written + bytes.size() > kBombThreshold
                    && written + bytes.size() > kBombRatio * received))
                stopped = DownloadStatus::NotFound;
        } else if (!encoding->isEmpty() && *encoding != "identity") {
            stopped = DownloadStatus::NotFound; // an encoding we did not ask for
        } else {
            bytes = raw;
        }
        if (!stopped) {
            if (written + bytes.size() > m_maxBytes) {
                stopped = DownloadStatus::TooLarge;
            } else if (target.write(bytes) != bytes.size()) {
                stopped = DownloadStatus::WriteFailed;
            } else {
                written += bytes.size();
                return;
            }
        }
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
    if (stopped)
        return *stopped;
    if (reply->error() != QNetworkReply::NoError)
        return DownloadStatus::NotFound;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 400)
        return DownloadStatus::NotFound;
    // A body shorter than announced, or a compressed stream without its
    // end, means the connection was cut.
    const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
    if (announced.isValid() && received < announced.toLongLong())
        return DownloadStatus::NotFound;
    if (encoding && !encoding->isEmpty() && *encoding != "identity" && !inflater.ended())
        return DownloadStatus::NotFound;
    return DownloadStatus::Complete;
}

} // namespace zd
