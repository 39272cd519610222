#include "extract/qt/networkdownloader.h"

#include <QEventLoop>
#include <QScopeGuard>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <new>
#include <utility>
#include <optional>

namespace zd {

namespace {

// How often a download with a monitor looks whether it must stop.
constexpr int kMonitorTickMs = 100;

// An http or https address with a host; nullopt for anything else.
std::optional<QUrl> downloadable(const QString &url)
{
    const QUrl address(url, QUrl::StrictMode);
    if (!address.isValid() || address.host().isEmpty())
        return std::nullopt;
    const QString scheme = address.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return std::nullopt;
    return address;
}

// How a finished reply ended, its body taken.
DownloadStatus outcome(const QNetworkReply &reply, const BodyWriter &body)
{
    DownloadEnd end;
    end.stopped = body.stopped();
    end.networkError = reply.error() != QNetworkReply::NoError;
    end.httpStatus = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QVariant announced = reply.header(QNetworkRequest::ContentLengthHeader);
    if (announced.isValid())
        end.announcedBytes = announced.toLongLong();
    end.receivedBytes = body.received();
    end.streamEnded = !body.cutShort();
    return downloadOutcome(end);
}

} // namespace

NetworkDownloader::NetworkDownloader(int inactivityMs, int overallMs, qint64 maxBytes)
    : m_inactivityMs(inactivityMs), m_overallMs(overallMs), m_maxBytes(maxBytes)
{
    m_network.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

DownloadStatus NetworkDownloader::download(const QString &url, QIODevice &target, DownloadMonitor *monitor)
{
    m_contentType.clear();
    const std::optional<QUrl> address = downloadable(url);
    if (!address)
        return DownloadStatus::NotFound;
    QNetworkRequest request(*address);
    request.setTransferTimeout(m_inactivityMs);
    request.setMaximumRedirectsAllowed(20);
    request.setRawHeader("Accept-Encoding", "gzip, deflate");
    std::unique_ptr<QNetworkReply> reply(m_network.get(request));
    // A bounded buffer makes the network thread hand over the body in small
    // pieces, so that no single turn of the event loop swallows a whole page.
    reply->setReadBufferSize(qint64{1024} * 1024);

    BodyWriter body(target, m_maxBytes);
    bool outOfMemory = false;
    // Stop at once: a full disk or an endless body must not run on. No
    // exception may leave a slot that Qt's event loop called.
    const auto drain = [&] {
        try {
            const QByteArray raw = reply->readAll();
            if (!raw.isEmpty() && !body.take(raw, reply->rawHeader("Content-Encoding")))
                reply->abort();
        } catch (const std::bad_alloc &) {
            outOfMemory = true;
            reply->abort();
        }
    };
    QEventLoop loop;
    QTimer overall;
    overall.setSingleShot(true);
    QObject::connect(&overall, &QTimer::timeout, reply.get(), &QNetworkReply::abort);
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &loop,
                     [&] { m_contentType = reply->rawHeader("Content-Type"); });
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, drain);
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // The monitor hears how it goes, also while no byte comes, and may stop it.
    bool stopped = false;
    QTimer tick;
    const auto look = [&] {
        if (!monitor || reply->isFinished())
            return;
        if (monitor->downloadStopRequested()) {
            stopped = true;
            reply->abort();
            return;
        }
        const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
        monitor->downloadProgress(url, body.received(), announced.isValid() ? announced.toLongLong() : -1);
    };
    QObject::connect(&tick, &QTimer::timeout, &loop, look);
    QObject::connect(reply.get(), &QNetworkReply::downloadProgress, &loop, look);
    const auto finished = qScopeGuard([monitor] {
        if (monitor)
            monitor->downloadFinished();
    });
    overall.start(m_overallMs);
    tick.start(kMonitorTickMs);
    if (!reply->isFinished())
        loop.exec();
    if (stopped)
        return DownloadStatus::Stopped;
    if (!reply->isFinished()) {
        // The loop was ended from outside (the program is closing).
        reply->abort();
        return DownloadStatus::NotFound;
    }
    if (reply->isOpen())
        drain();
    if (outOfMemory)
        throw std::bad_alloc();
    return outcome(*reply, body);
}

} // namespace zd
