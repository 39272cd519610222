#include "extract/downloader.h"

#include "extract/inflater.h"

#include <QIODevice>

namespace zd {

std::optional<QUrl> downloadableAddress(const QString &url)
{
    const QUrl address(url, QUrl::StrictMode);
    if (!address.isValid() || address.host().isEmpty())
        return std::nullopt;
    const QString scheme = address.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return std::nullopt;
    return address;
}

DownloadStatus downloadOutcome(const DownloadEnd &end)
{
    if (end.stopped)
        return *end.stopped;
    if (end.networkError || end.httpStatus >= 400)
        return DownloadStatus::NotFound;
    if (end.announcedBytes && end.receivedBytes < *end.announcedBytes)
        return DownloadStatus::NotFound;
    if (!end.streamEnded)
        return DownloadStatus::NotFound;
    return DownloadStatus::Complete;
}

BodyWriter::BodyWriter(QIODevice &target, qint64 maxBytes) : m_target(target), m_maxBytes(maxBytes) {}

BodyWriter::~BodyWriter() = default;

bool BodyWriter::take(QByteArrayView raw, QByteArrayView encoding)
{
    if (m_stopped)
        return false;
    m_received += raw.size();
    if (!m_encoding)
        m_encoding = encoding.toByteArray().trimmed().toLower();
    if (compressed()) {
        if (!m_inflater)
            m_inflater = std::make_unique<Inflater>(*m_encoding != "deflate");
        if (!m_inflater->feed(raw, [this](QByteArrayView slice) { return write(slice); }) && !m_stopped)
            m_stopped = DownloadStatus::NotFound; // corrupt
    } else if (!m_encoding->isEmpty() && *m_encoding != "identity") {
        m_stopped = DownloadStatus::NotFound; // an encoding we did not ask for
    } else {
        write(raw);
    }
    return !m_stopped;
}

bool BodyWriter::takeHeader(qint64 bytes)
{
    if (m_stopped)
        return false;
    m_headerBytes += bytes;
    if (m_headerBytes + m_written > m_maxBytes)
        m_stopped = DownloadStatus::TooLarge;
    return !m_stopped;
}

bool BodyWriter::write(QByteArrayView bytes)
{
    const qint64 after = m_written + bytes.size();
    // Against what the inflater has read, not all that came: one network
    // read of a bomb must not inflate forty times its whole size first.
    if (m_inflater && after > kBombThreshold && after > kBombRatio * m_inflater->consumed())
        m_stopped = DownloadStatus::NotFound;
    else if (after + m_headerBytes > m_maxBytes)
        m_stopped = DownloadStatus::TooLarge;
    else if (m_target.write(bytes.data(), bytes.size()) != bytes.size())
        m_stopped = DownloadStatus::WriteFailed;
    if (m_stopped)
        return false;
    m_written = after;
    return true;
}

bool BodyWriter::cutShort() const
{
    return m_encoding && !m_encoding->isEmpty() && *m_encoding != "identity"
           && (!m_inflater || !m_inflater->ended());
}

bool BodyWriter::compressed() const
{
    return *m_encoding == "gzip" || *m_encoding == "x-gzip" || *m_encoding == "deflate";
}

} // namespace zd
