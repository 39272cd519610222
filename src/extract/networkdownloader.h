#pragma once

#include "extract/downloader.h"
#include "extract/proxyroute.h"

#include <memory>

namespace zd {

/// http and https, redirects no less safe than the request, an inactivity
/// timeout, an overall bound and a size bound that the headers count
/// against: libcurl on the window's thread, on both platforms. With
/// \a proxies, each address, a redirect's too, goes the way they say;
/// without, libcurl's proxy variables decide.
class NetworkDownloader final : public Downloader
{
public:
    explicit NetworkDownloader(int inactivityMs = 30'000, int overallMs = 10 * 60'000,
                               qint64 maxBytes = kMaxPageBytes, const ProxyResolver *proxies = nullptr);
    ~NetworkDownloader() override;
    NetworkDownloader(const NetworkDownloader &) = delete;
    NetworkDownloader &operator=(const NetworkDownloader &) = delete;
    DownloadStatus download(const QString &url, QIODevice &target,
                            DownloadMonitor *monitor = nullptr) override;
    QByteArray contentType() const override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace zd
