#pragma once

#include "extract/downloader.h"

#include <QIODevice>
#include <QMap>
#include <QStringList>
#include <functional>

namespace zd::test {
/// Serves scripted bodies; an unknown address fails.
class FakeDownloader final : public Downloader
{
public:
    QMap<QString, QByteArray> pages;
    QStringList requested;
    std::function<void()> duringDownload;

    DownloadStatus download(const QString &url, QIODevice &target) override
    {
        requested << url;
        if (duringDownload)
            duringDownload();
        if (!pages.contains(url))
            return DownloadStatus::NotFound;
        const QByteArray page = pages.value(url);
        return target.write(page) == page.size() ? DownloadStatus::Complete : DownloadStatus::WriteFailed;
    }
};

} // namespace zd::test
