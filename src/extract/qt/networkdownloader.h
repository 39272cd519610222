#pragma once

#include "extract/downloader.h"

#include <QNetworkAccessManager>

namespace zd {

/// Qt Network: http and https, redirects no less safe than the request,
/// an inactivity timeout, an overall bound and a size bound.
class NetworkDownloader final : public Downloader
{
public:
    explicit NetworkDownloader(int inactivityMs = 30'000, int overallMs = 10 * 60'000,
                               qint64 maxBytes = kMaxPageBytes);
    DownloadStatus download(const QString &url, QIODevice &target,
                            DownloadMonitor *monitor = nullptr) override;
    QByteArray contentType() const override { return m_contentType; }

private:
    QNetworkAccessManager m_network;
    int m_inactivityMs;
    int m_overallMs;
    qint64 m_maxBytes;
    QByteArray m_contentType;
};

} // namespace zd
