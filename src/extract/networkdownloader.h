#pragma once

#include "extract/downloader.h"
#include "extract/proxyroute.h"

#include <memory>

namespace zd {

/// http and https, redirects no less safe than the request, an inactivity
/// timeout, an overall bound and a size bound that the headers count
/// against: libcurl on the window's thread, on both platforms. With
/// \a proxies, each address, a redirect's too, goes the way they say;
/// without, libcurl's proxy variables decide. A proxy that asks for a user
/// name and password the system's sign-in does not give asks the monitor.
class NetworkDownloader final : public Downloader
{
public:
    /// A route not known after \a lookupMs is given up, and said so.
    explicit NetworkDownloader(int inactivityMs = 30'000, int overallMs = 10 * 60'000,
                               qint64 maxBytes = kMaxPageBytes,
                               std::shared_ptr<const ProxyResolver> proxies = nullptr,
                               int lookupMs = kRouteLookupMs);
    ~NetworkDownloader() override;
    NetworkDownloader(const NetworkDownloader &) = delete;
    NetworkDownloader &operator=(const NetworkDownloader &) = delete;
    DownloadStatus download(const QString &url, QIODevice &target,
                            DownloadMonitor *monitor = nullptr) override;
    QByteArray contentType() const override;
    QString failureReason() const override;

    /// How long the proxy settings may take to name a route: an automatic
    /// configuration script or detection may never answer.
    static constexpr int kRouteLookupMs = 15'000;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace zd
