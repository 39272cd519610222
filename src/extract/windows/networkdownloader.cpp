#include "extract/networkdownloader.h"

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

struct NetworkDownloader::Private
{
    QNetworkAccessManager network;
    int inactivityMs;
    int overallMs;
    qint64 maxBytes;
    QByteArray contentType;
};

NetworkDownloader::NetworkDownloader(int inactivityMs, int overallMs, qint64 maxBytes)
    : d(new Private{{}, inactivityMs, overallMs, maxBytes, {}})
{
    d->network.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

NetworkDownloader::~NetworkDownloader() = default;

QByteArray NetworkDownloader::contentType() const
{
    return d->contentType;
}

DownloadStatus NetworkDownloader::download(const QString &url, QIODevice &target, DownloadMonitor *monitor)
{
    d->contentType.clear();
    const std::optional<QUrl> address = downloadableAddress(url);
    if (!address)
        return DownloadStatus::NotFound;
    QNetworkRequest request(*address);
    request.setTransferTimeout(d->inactivityMs);
    request.setMaximumRedirectsAllowed(20);
    request.setRawHeader("Accept-Encoding", "gzip, deflate");
    std::unique_ptr<QNetworkReply> reply(d->network.get(request));
    // A bounded buffer makes the network thread hand over the body in small
    // pieces, so that no single turn of the event loop swallows a whole page.
    reply->setReadBufferSize(qint64{1024} * 1024);

    BodyWriter body(target, d->maxBytes);
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
    // Qt 6.4 reads the headers whole before it tells of them; they count
    // against the bound all the same, as on the other platforms.
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &loop, [&] {
        d->contentType = reply->rawHeader("Content-Type");
        qint64 headerBytes = 0;
        for (const auto &[name, value] : reply->rawHeaderPairs())
            headerBytes += name.size() + value.size() + 4; // ": " and the line's end
        if (!body.takeHeader(headerBytes))
            reply->abort();
    });
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
    overall.start(d->overallMs);
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
