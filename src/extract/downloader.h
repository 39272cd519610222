#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

class QIODevice;

namespace zd {

class Inflater;

/// How a download ended.
enum class DownloadStatus {
    /// The whole body is in the target.
    Complete,
    /// Not to be had: any HTTP status of 400 or above, a network or TLS error,
    /// a body cut short (encoded or not), a timeout, an address that is no
    /// http or https address.
    NotFound,
    /// The target refused bytes (a full disk, a file-size limit); the target's
    /// error says why.
    WriteFailed,
    /// The body grew beyond kMaxPageBytes.
    TooLarge,
    /// The user stopped it.
    Stopped,
};

/// Far beyond any real page; bounds the disk a server that never ends its
/// body can fill, and keeps every offset within what Qt's containers index.
inline constexpr qint64 kMaxPageBytes = qint64{2} << 30;

/// Headers of one answer beyond this are refused, as browsers and later Qt
/// versions refuse them: no page needs more.
inline constexpr qint64 kMaxHeaderBytes = qint64{256} * 1024;

/// \a url as an http or https address with a host; nullopt for anything else.
std::optional<QUrl> downloadableAddress(const QString &url);

/// What is known of a download once the server's answer has ended.
struct DownloadEnd
{
    /// Set when the download was stopped while the body came.
    std::optional<DownloadStatus> stopped;
    /// A network, TLS or protocol error, a timeout or an abort.
    bool networkError = false;
    int httpStatus = 0;
    /// Content-Length, when the server announced one.
    std::optional<qint64> announcedBytes;
    /// The body's bytes as they came, before any inflating.
    qint64 receivedBytes = 0;
    /// False for a compressed body whose stream did not reach its end.
    bool streamEnded = true;
};

/// How a download ended: Complete only for a whole body of a successful
/// answer. A body shorter than announced, or a compressed stream without its
/// end, means the connection was cut.
DownloadStatus downloadOutcome(const DownloadEnd &end);

/// A decompression that grows past this size and this ratio to what came
/// is taken for a bomb, as Qt's own does.
inline constexpr qint64 kBombThreshold = qint64{10} << 20;
inline constexpr qint64 kBombRatio = 40;

/// Takes a body as it arrives: inflates what the server compressed, a slice
/// at a time, holds the size bounds between slices, writes to the target,
/// and says why it stopped.
class BodyWriter
{
public:
    BodyWriter(QIODevice &target, qint64 maxBytes);
    ~BodyWriter();
    BodyWriter(const BodyWriter &) = delete;
    BodyWriter &operator=(const BodyWriter &) = delete;

    /// Takes the next raw bytes, sent with the Content-Encoding
    /// \a encoding; false once the download must stop.
    bool take(QByteArrayView raw, QByteArrayView encoding);
    /// Counts \a bytes of headers against the size bound; false once the
    /// download must stop.
    bool takeHeader(qint64 bytes);
    std::optional<DownloadStatus> stopped() const { return m_stopped; }
    qint64 received() const { return m_received; }
    /// What reached the target.
    qint64 written() const { return m_written; }
    /// A compressed stream that did not reach its end was cut.
    bool cutShort() const;

private:
    bool compressed() const;
    bool write(QByteArrayView bytes);

    QIODevice &m_target;
    qint64 m_maxBytes;
    qint64 m_written = 0;
    qint64 m_received = 0;
    qint64 m_headerBytes = 0;
    std::optional<QByteArray> m_encoding;
    std::optional<DownloadStatus> m_stopped;
    std::unique_ptr<Inflater> m_inflater;
};

/// A user name and password that a proxy asked for.
struct ProxyCredentials
{
    QString user;
    QString password;
};

/// What a download shows while it goes, and the user's say in it.
class DownloadMonitor
{
public:
    virtual ~DownloadMonitor() = default;
    /// Called as the body comes and a few times a second while nothing
    /// does; \a expected is -1 when the server announced no length. Cheap.
    virtual void downloadProgress(const QString &url, qint64 received, qint64 expected) = 0;
    /// True once the user asked to stop.
    virtual bool downloadStopRequested() const = 0;
    /// The download has ended, however.
    virtual void downloadFinished() = 0;
    /// Asked when the proxy \a proxy wants a user name and password that
    /// the system's own sign-in did not give; nullopt when the user cancels.
    virtual std::optional<ProxyCredentials> proxyCredentials(const QString &proxy)
    {
        Q_UNUSED(proxy);
        return std::nullopt;
    }
};

/// Synchronous download of an address; the window keeps working meanwhile.
class Downloader
{
public:
    virtual ~Downloader() = default;
    /// Writes the response body to \a target, stopping at the first failed
    /// write, past the size bound or when \a monitor asks; throws
    /// std::bad_alloc, once the download has stopped, when memory ran out
    /// while it took the body.
    virtual DownloadStatus download(const QString &url, QIODevice &target,
                                    DownloadMonitor *monitor = nullptr) = 0;
    /// The answer's Content-Type, once its headers are in; empty before.
    virtual QByteArray contentType() const = 0;
    /// Why the last download found nothing, where more is known than "not
    /// found" (the proxy's part in it); empty otherwise.
    virtual QString failureReason() const { return {}; }
};

} // namespace zd
