#include "extract/qt/networkdownloader.h"

#include "extract/inflater.h"

#include <QEventLoop>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <new>
#include <utility>
#include <optional>

namespace zd {

namespace {

// Qt stops a decompression that grows past this size and ratio; so do we.
constexpr qint64 kBombThreshold = qint64{10} << 20;
constexpr qint64 kBombRatio = 40;

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
    reply->setReadBufferSize(qint64{1024} * 1024);

    BodyWriter body(target, m_maxBytes);
    bool outOfMemory = false;
    // Stop at once: a full disk or an endless body must not run on. No
    // exception may leave a slot that Qt's event loop called.
    const auto drain = [&] {
        try {
            const QByteArray raw = reply->readAll();
            if (!raw.isEmpty() && !body.take(raw, reply->rawHeader("Content-Encoding")))
                reply->abort();
        } catch (const std::bad_alloc &) {
            outOfMemory = true;
            reply->abort();
        }
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
    if (reply->isOpen())
        drain();
    if (outOfMemory)
        throw std::bad_alloc();
    return outcome(*reply, body);
}

} // namespace zd
