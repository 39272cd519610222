#pragma once

#include <QString>

class QIODevice;

namespace zd {

/// Synchronous download of an address; the window keeps working meanwhile.
class Downloader
{
public:
    virtual ~Downloader() = default;
    /// Writes the whole response body to \a target; true only when all of it
    /// arrived (any HTTP status of 400 or above, any network or TLS error, a
    /// body cut short or a timeout is false).
    virtual bool download(const QString &url, QIODevice &target) = 0;
};

} // namespace zd
