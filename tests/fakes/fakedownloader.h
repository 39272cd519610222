#pragma once

#include "extract/downloader.h"
#include "extract/proxyroute.h"

#include <QHash>
#include <QIODevice>
#include <QMap>
#include <QMutex>
#include <QStringList>
#include <QThread>
#include <functional>

namespace zd::test {
/// Proxy settings by host name; a host not listed goes direct. Every
/// address asked is kept, in order (asked on the downloader's own thread).
class ScriptedProxies final : public ProxyResolver
{
public:
    QHash<QString, ProxyRoute> byHost;
    /// As a configuration script that takes its time.
    int answerAfterMs = 0;

    ProxyRoute routeFor(const QUrl &url) const override
    {
        {
            const QMutexLocker lock(&m_mutex);
            m_asked << url.toString();
        }
        QThread::msleep(static_cast<unsigned long>(answerAfterMs));
        return byHost.value(url.host(), ProxyRoute{ProxyRoute::Kind::Direct, {}});
    }
    QStringList asked() const
    {
        const QMutexLocker lock(&m_mutex);
        return m_asked;
    }

private:
    mutable QMutex m_mutex;
    mutable QStringList m_asked;
};

/// Serves scripted bodies; an unknown address fails.
class FakeDownloader final : public Downloader
{
public:
    QMap<QString, QByteArray> pages;
    QStringList requested;
    std::function<void()> duringDownload;
    /// The body goes to the target in pieces of this size (0: at once),
    /// as a network hands it over; afterPiece hears how much is done.
    qsizetype pieceBytes = 0;
    std::function<void(qsizetype)> afterPiece;
    /// The connection breaks once this much has come (-1: never).
    qsizetype failAfterBytes = -1;

    /// Content-Type by address.
    QMap<QString, QByteArray> contentTypes;

    DownloadStatus download(const QString &url, QIODevice &target,
                            DownloadMonitor *monitor = nullptr) override
    {
        requested << url;
        m_contentType = contentTypes.value(url);
        if (duringDownload)
            duringDownload();
        if (!pages.contains(url))
            return DownloadStatus::NotFound;
        const QByteArray page = pages.value(url);
        const qsizetype piece = pieceBytes > 0 ? pieceBytes : qMax<qsizetype>(page.size(), 1);
        for (qsizetype done = 0; done < page.size();) {
            if (failAfterBytes >= 0 && done >= failAfterBytes)
                return DownloadStatus::NotFound;
            const QByteArray bytes = page.mid(done, piece);
            if (target.write(bytes) != bytes.size())
                return DownloadStatus::WriteFailed;
            done += bytes.size();
            if (afterPiece)
                afterPiece(done);
            if (monitor && monitor->downloadStopRequested())
                return DownloadStatus::Stopped;
        }
        return DownloadStatus::Complete;
    }
    QByteArray contentType() const override { return m_contentType; }

private:
    QByteArray m_contentType;
};

} // namespace zd::test
