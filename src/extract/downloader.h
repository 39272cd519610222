#pragma once

#include <QString>

#include <optional>

class QIODevice;

namespace zd {

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
};

/// Far beyond any real page; bounds the disk a server that never ends its
/// body can fill, and keeps every offset within what Qt's containers index.
inline constexpr qint64 kMaxPageBytes = qint64{2} << 30;

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

/// Synchronous download of an address; the window keeps working meanwhile.
class Downloader
{
public:
    virtual ~Downloader() = default;
    /// Writes the response body to \a target, stopping at the first failed
    /// write or past the size bound; throws std::bad_alloc, once the
    /// download has stopped, when memory ran out while it took the body.
    virtual DownloadStatus download(const QString &url, QIODevice &target) = 0;
};

} // namespace zd
