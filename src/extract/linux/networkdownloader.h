#pragma once

#include "extract/downloader.h"

#include <QNetworkAccessManager>

namespace zd {

/// Qt Network: http and https, redirects no less safe than the request,
/// an inactivity timeout and an overall bound.
class NetworkDownloader final : public Downloader
{
public:
    explicit NetworkDownloader(int inactivityMs = 30'000, int overallMs = 10 * 60'000);
    bool download(const QString &url, QIODevice &target) override;

private:
    QNetworkAccessManager m_network;
    int m_inactivityMs;
    int m_overallMs;
};

} // namespace zd
