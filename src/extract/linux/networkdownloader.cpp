#include "extract/linux/networkdownloader.h"

#include <QEventLoop>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <memory>

namespace zd {

NetworkDownloader::NetworkDownloader(int inactivityMs, int overallMs)
    : m_inactivityMs(inactivityMs), m_overallMs(overallMs)
{
    m_network.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

bool NetworkDownloader::download(const QString &url, QIODevice &target)
{
    const QUrl address(url, QUrl::StrictMode);
    if (!address.isValid() || address.host().isEmpty())
        return false;
    const QString scheme = address.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return false;

    QNetworkRequest request(address);
    request.setTransferTimeout(m_inactivityMs);
    request.setMaximumRedirectsAllowed(20);
    std::unique_ptr<QNetworkReply> reply(m_network.get(request));
    // A bounded buffer makes the network thread hand over the body in small
    // pieces, so that no single turn of the event loop swallows a whole page.
    reply->setReadBufferSize(qint64{256} * 1024);

    bool writeFailed = false;
    const auto drain = [&] {
        const QByteArray bytes = reply->readAll();
        if (!bytes.isEmpty() && target.write(bytes) != bytes.size())
            writeFailed = true;
    };
    QEventLoop loop;
    QTimer overall;
    overall.setSingleShot(true);
    QObject::connect(&overall, &QTimer::timeout, reply.get(), &QNetworkReply::abort);
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, drain);
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    overall.start(m_overallMs);
    if (!reply->isFinished())
        loop.exec();
    drain();

    if (reply->error() != QNetworkReply::NoError || writeFailed)
        return false;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 400)
        return false;
    // A body shorter than announced means the connection was cut.
    const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
    if (announced.isValid() && reply->rawHeader("Content-Encoding").isEmpty()
        && target.size() < announced.toLongLong())
        return false;
    return true;
}

} // namespace zd
