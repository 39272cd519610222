#include "extract/networkdownloader.h"

#include "extract/curlapi.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QScopeGuard>
#include <QSocketNotifier>
#include <QTimer>

#include <atomic>
#include <climits>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <thread>
#include <vector>

// libcurl on the window's thread, its sockets watched by the window's own
// event loop: each read lands in one buffer that the page is scanned from
// where it lies, with no network thread copying it on and no hand-over per
// piece. Its header callback also sees every header byte as it comes, which
// lets the size bound count them.

namespace zd {

namespace {

// How often a download with a monitor looks whether it must stop.
constexpr int kMonitorTickMs = 100;
// As many as a browser follows.
constexpr int kMostRedirects = 20;
// One read's worth: about what the system holds for a socket that is read
// slower than the server sends (3.7 MiB under Wine, up to 6 MiB on Linux), so
// that one read mostly empties it. Under Wine every read and every wait is a
// round trip to Wine's server: 1 MiB reads took a 100 MB page 0.25 s there,
// these 0.19 s; 8 MiB ones were no faster.
constexpr long kReceiveBuffer = 4L * 1024 * 1024;
// While the socket has more, curl reads on, up to a hundred reads in one
// turn of the event loop; a turn that has lasted this long is paused, so
// that the window answers between turns. Told by time, not bytes: a byte
// costs several times more under Wine than on Linux.
constexpr qint64 kTurnMs = 10;

// One download: the transfer, the notifiers of its sockets and its timers.
class Transfer
{
public:
    /// \a contentType is set as each answer's headers end: the page is read
    /// by it from its first bytes.
    Transfer(const CurlApi &api, CURL *easy, CURLM *multi, BodyWriter &body, QByteArray &contentType,
             int inactivityMs)
        : m_api(api), m_easy(easy), m_multi(multi), m_body(body), m_contentType(contentType)
    {
        m_curlTimer.setSingleShot(true);
        QObject::connect(&m_curlTimer, &QTimer::timeout, &m_loop, [this] { act(CURL_SOCKET_TIMEOUT, 0); });
        // Not moved for every piece (sixty thousand a gigabyte): when it
        // fires, it is set again for what is left since the last one.
        m_quiet.setSingleShot(true);
        m_quiet.setInterval(inactivityMs);
        QObject::connect(&m_quiet, &QTimer::timeout, &m_loop, [this, inactivityMs] {
            const qint64 quiet = m_sinceHeard.elapsed();
            if (quiet < inactivityMs)
                m_quiet.start(int(inactivityMs - quiet));
            else
                end(true);
        });
        m_resume.setSingleShot(true);
        QObject::connect(&m_resume, &QTimer::timeout, &m_loop, [this] {
            m_turn.start();
            m_api.easyPause(m_easy, CURLPAUSE_CONT);
            takeMessages();
            // Paused for time, so more is waiting: read it now, as the
            // socket's notice would, not a turn of the event loop later when
            // curl's timer fires and it polls first. Under Wine each of those
            // is a round trip to Wine's server: a page took a quarter of them.
            for (const auto &[socket, watch] : m_watched) {
                if (m_ended || m_resume.isActive())
                    break;
                if (watch.read && watch.read->isEnabled()) {
                    act(socket, CURL_CSELECT_IN);
                    break;
                }
            }
        });
        m_api.multiSetopt(multi, CURLMOPT_SOCKETFUNCTION, &Transfer::onSocket);
        m_api.multiSetopt(multi, CURLMOPT_SOCKETDATA, this);
        m_api.multiSetopt(multi, CURLMOPT_TIMERFUNCTION, &Transfer::onTimer);
        m_api.multiSetopt(multi, CURLMOPT_TIMERDATA, this);
        m_api.easySetopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::onBody);
        m_api.easySetopt(easy, CURLOPT_WRITEDATA, this);
        m_api.easySetopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
        m_api.easySetopt(easy, CURLOPT_HEADERDATA, this);
        m_api.easySetopt(easy, CURLOPT_PREREQFUNCTION, &Transfer::onConnected);
        m_api.easySetopt(easy, CURLOPT_PREREQDATA, this);
    }

    /// Runs the window's event loop until the transfer ends or is ended.
    void run(const std::function<bool()> &look)
    {
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, &m_loop, [&] {
            if (!m_ended && look())
                end(false);
        });
        tick.start(kMonitorTickMs);
        m_sinceHeard.start();
        m_quiet.start();
        // The first call starts it; curl asks for sockets and timers from there.
        act(CURL_SOCKET_TIMEOUT, 0);
        if (!m_ended)
            m_loop.exec();
        tick.stop();
        m_resume.stop();
        m_curlTimer.stop();
        m_quiet.stop();
        // Ended early, curl closes the connection and tells of its socket.
        m_api.multiRemoveHandle(m_multi, m_easy);
        // Whatever it still holds open it closes untold, with no notifier
        // left watching: this object is gone by then.
        m_watched.clear();
        m_api.multiSetopt(m_multi, CURLMOPT_SOCKETFUNCTION, nullptr);
        m_api.multiSetopt(m_multi, CURLMOPT_TIMERFUNCTION, nullptr);
    }

    bool finished() const { return m_finished; }
    /// Where the answer redirected to, as its Location header says;
    /// empty when it did not.
    QByteArray redirect() const { return m_redirected ? m_location : QByteArray(); }
    /// A network, TLS or protocol error, or the inactivity timeout.
    bool failed() const { return m_result != CURLE_OK || m_timedOut; }
    bool outOfMemory() const { return m_outOfMemory; }
    CURLcode result() const { return m_untrusted ? CURLE_PEER_FAILED_VERIFICATION : m_result; }

private:
    struct Watch
    {
        std::unique_ptr<QSocketNotifier> read;
        std::unique_ptr<QSocketNotifier> write;
    };

    void act(curl_socket_t socket, int events)
    {
        m_turn.start();
        int running = 0;
        m_api.multiSocketAction(m_multi, socket, events, &running);
        takeMessages();
    }

    void takeMessages()
    {
        int running = 0;
        while (CURLMsg *message = m_api.multiInfoRead(m_multi, &running)) {
            if (message->msg == CURLMSG_DONE) {
                m_result = message->data.result;
                m_finished = true;
                end(false);
            }
        }
    }

    void end(bool timedOut)
    {
        m_timedOut = m_timedOut || timedOut;
        m_ended = true;
        m_loop.quit();
    }

    void heard() { m_sinceHeard.start(); }

    void watch(curl_socket_t socket, int what)
    {
        if (what == CURL_POLL_REMOVE) {
            // Called from inside a notifier's own signal: it is switched
            // off now and goes once the transfer is over.
            const auto found = m_watched.find(socket);
            if (found == m_watched.end())
                return;
            for (auto *notifier : {&found->second.read, &found->second.write}) {
                if (*notifier) {
                    (*notifier)->setEnabled(false);
                    m_retired.push_back(std::move(*notifier));
                }
            }
            m_watched.erase(found);
            return;
        }
        Watch &watch = m_watched[socket];
        const auto want = [&](std::unique_ptr<QSocketNotifier> &notifier, QSocketNotifier::Type type,
                              int events, bool on) {
            if (on && !notifier) {
                notifier = std::make_unique<QSocketNotifier>(qintptr(socket), type);
                QObject::connect(notifier.get(), &QSocketNotifier::activated, &m_loop,
                                 [this, socket, events] { act(socket, events); });
            }
            if (notifier)
                notifier->setEnabled(on);
        };
        want(watch.read, QSocketNotifier::Read, CURL_CSELECT_IN, (what & CURL_POLL_IN) != 0);
        want(watch.write, QSocketNotifier::Write, CURL_CSELECT_OUT, (what & CURL_POLL_OUT) != 0);
    }

    static int onSocket(CURL *, curl_socket_t socket, int what, void *self, void *)
    {
        static_cast<Transfer *>(self)->watch(socket, what);
        return 0;
    }

    static int onTimer(CURLM *, long timeoutMs, void *self)
    {
        auto *transfer = static_cast<Transfer *>(self);
        if (timeoutMs < 0)
            transfer->m_curlTimer.stop();
        else
            transfer->m_curlTimer.start(int(qMin(timeoutMs, long(INT_MAX))));
        return 0;
    }

    // A connection made or taken again, before the request goes out.
    static int onConnected(void *self, char *, char *, int, int)
    {
        auto *transfer = static_cast<Transfer *>(self);
        const char *address = nullptr;
        transfer->m_api.easyGetinfo(transfer->m_easy, CURLINFO_EFFECTIVE_URL, &address);
        // No exception may cross curl's C code.
        try {
            const QUrl url(QString::fromUtf8(address));
            if (url.scheme() != QLatin1String("https")
                || certificateTrusted(transfer->m_api, transfer->m_easy, url.host()))
                return CURL_PREREQFUNC_OK;
        } catch (const std::bad_alloc &) {
            transfer->m_outOfMemory = true;
            return CURL_PREREQFUNC_ABORT;
        }
        transfer->m_untrusted = true;
        return CURL_PREREQFUNC_ABORT;
    }

    static size_t onHeader(char *data, size_t size, size_t count, void *self)
    {
        const size_t bytes = size * count;
        // No exception may cross curl's C code.
        try {
            return static_cast<Transfer *>(self)->header(QByteArrayView(data, qsizetype(bytes))) ? bytes : 0;
        } catch (const std::bad_alloc &) {
            static_cast<Transfer *>(self)->m_outOfMemory = true;
            return 0;
        }
    }

    bool header(QByteArrayView line)
    {
        heard();
        if (line.startsWith("HTTP/")) {
            // A new answer (after an interim one): its own headers, its own encoding.
            m_answerHeaderBytes = 0;
            m_encoding.clear();
            m_location.clear();
        }
        m_answerHeaderBytes += line.size();
        // Past the bound: too large; past the answer's own limit: not found.
        if (m_answerHeaderBytes > kMaxHeaderBytes || !m_body.takeHeader(line.size()))
            return false;
        constexpr QByteArrayView kEncoding("content-encoding:");
        constexpr QByteArrayView kLocation("location:");
        if (line.size() > kEncoding.size()
            && qstrnicmp(line.data(), kEncoding.data(), size_t(kEncoding.size())) == 0)
            m_encoding = line.sliced(kEncoding.size()).trimmed().toByteArray();
        else if (line.size() > kLocation.size()
                 && qstrnicmp(line.data(), kLocation.data(), size_t(kLocation.size())) == 0)
            m_location = line.sliced(kLocation.size()).trimmed().toByteArray();
        if (line == "\r\n" || line == "\n") {
            const char *type = nullptr;
            m_api.easyGetinfo(m_easy, CURLINFO_CONTENT_TYPE, &type);
            m_contentType = type ? QByteArray(type) : QByteArray();
            // Followed by the caller, so that its address is routed anew;
            // the redirect's own body is not wanted.
            long status = 0;
            m_api.easyGetinfo(m_easy, CURLINFO_RESPONSE_CODE, &status);
            m_redirected = status >= 300 && status < 400 && !m_location.isEmpty();
            // A proxy's refusal is no page; curl may still sign in and ask again.
            m_discarding = status == 407;
            if (m_redirected)
                return false;
        }
        return true;
    }

    static size_t onBody(char *data, size_t size, size_t count, void *self)
    {
        auto *transfer = static_cast<Transfer *>(self);
        const size_t bytes = size * count;
        if (!transfer->m_resume.isActive() && transfer->m_turn.hasExpired(kTurnMs)) {
            // No further read until the event loop has had its turn, but what
            // this read brought is still taken (a few milliseconds' worth):
            // handed back, curl would copy it aside, which under Wine cost the
            // job a tenth of its time.
            transfer->m_api.easyPause(transfer->m_easy, CURLPAUSE_RECV);
            transfer->m_resume.start(0);
        }
        transfer->heard();
        if (transfer->m_discarding)
            return bytes;
        // No exception may cross curl's C code.
        try {
            if (!transfer->m_body.take(QByteArrayView(data, qsizetype(bytes)), transfer->m_encoding))
                return 0;
        } catch (const std::bad_alloc &) {
            transfer->m_outOfMemory = true;
            return 0;
        }
        return bytes;
    }

    const CurlApi &m_api;
    CURL *m_easy;
    CURLM *m_multi;
    BodyWriter &m_body;
    QByteArray &m_contentType;
    QEventLoop m_loop;
    QTimer m_curlTimer;
    QTimer m_quiet;
    QTimer m_resume;
    QElapsedTimer m_turn;
    QElapsedTimer m_sinceHeard;
    std::map<curl_socket_t, Watch> m_watched;
    std::vector<std::unique_ptr<QSocketNotifier>> m_retired;
    CURLcode m_result = CURLE_OK;
    bool m_untrusted = false; // the site's certificate failed the system's check
    bool m_finished = false;
    bool m_ended = false;
    bool m_timedOut = false;
    bool m_outOfMemory = false;
    qint64 m_answerHeaderBytes = 0;
    QByteArray m_encoding;
    QByteArray m_location;
    bool m_redirected = false;
    bool m_discarding = false;
};

// The proxy a route goes through, as the messages name it; empty when none.
QString proxyOf(const ProxyRoute &route, const QUrl &url)
{
    switch (route.kind) {
    case ProxyRoute::Kind::Default:
        return proxyVariable(url);
    case ProxyRoute::Kind::Direct:
        return {};
    case ProxyRoute::Kind::Proxy:
        return route.proxy;
    }
    return {};
}

void setRoute(const CurlApi &api, CURL *easy, const ProxyRoute &route,
              const std::optional<ProxyCredentials> &signIn)
{
    switch (route.kind) {
    case ProxyRoute::Kind::Default:
        api.easySetopt(easy, CURLOPT_PROXY, nullptr); // libcurl's variables
        break;
    case ProxyRoute::Kind::Direct:
        api.easySetopt(easy, CURLOPT_PROXY, "");
        break;
    case ProxyRoute::Kind::Proxy:
        api.easySetopt(easy, CURLOPT_PROXY, route.proxy.toUtf8().constData());
        break;
    }
    if (signIn) {
        // What the user typed, in whatever scheme the proxy asks for.
        api.easySetopt(easy, CURLOPT_PROXYAUTH, long(CURLAUTH_ANY));
        api.easySetopt(easy, CURLOPT_PROXYUSERNAME, signIn->user.toUtf8().constData());
        api.easySetopt(easy, CURLOPT_PROXYPASSWORD, signIn->password.toUtf8().constData());
    } else if (route.kind == ProxyRoute::Kind::Proxy) {
        // A proxy that asks who the user is hears the Windows sign-in (SSPI).
        api.easySetopt(easy, CURLOPT_PROXYAUTH, long(CURLAUTH_NTLM | CURLAUTH_NEGOTIATE));
        api.easySetopt(easy, CURLOPT_PROXYUSERPWD, ":");
    }
}

void configure(const CurlApi &api, CURL *easy, curl_slist *headers)
{
    api.easySetopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    api.easySetopt(easy, CURLOPT_HTTPHEADER, headers);
    // The body comes as it was sent: the inflating, with its bounds, is ours.
    api.easySetopt(easy, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    api.easySetopt(easy, CURLOPT_BUFFERSIZE, kReceiveBuffer);
    api.easySetopt(easy, CURLOPT_NOSIGNAL, 1L);
    // A download stopped while the name is still being looked up ends at
    // once: the lookup's thread is left to finish alone instead of waited for.
    api.easySetopt(easy, CURLOPT_QUICK_EXIT, 1L);
}

// Where a redirect from \a from leads; nullopt for nowhere a download goes
// (an https address never leads on to an http one).
std::optional<QUrl> redirectTarget(const QUrl &from, const QByteArray &location)
{
    std::optional<QUrl> to =
        downloadableAddress(from.resolved(QUrl::fromEncoded(location)).toString(QUrl::FullyEncoded));
    const auto secure = [](const QUrl &url) {
        return url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    };
    if (!to || (secure(from) && !secure(*to)))
        return std::nullopt;
    return to;
}

// One address's route, asked on a thread of its own while the window's
// event loop runs. The thread is never waited for: a script that does not
// answer must hold up neither a stop nor the program's end.
struct RouteQuery
{
    std::atomic<bool> done{false};
    ProxyRoute route;
};

// Where one answer of a download leaves it, and how it ended.
enum class Step { Done, Redirected, SignIn, Stopped, Ended };
struct Answer
{
    Step step = Step::Done;
    QByteArray redirect; // its Location, when redirected
    bool failed = false; // a network, TLS or protocol error, or a timeout
    CURLcode result = CURLE_OK;
};

} // namespace

struct NetworkDownloader::Private
{
    int inactivityMs;
    int overallMs;
    qint64 maxBytes;
    std::shared_ptr<const ProxyResolver> proxies;
    int lookupMs;
    QByteArray contentType;
    QString failureReason;
    // Typed in for a proxy, kept until the program ends, never stored.
    std::map<QString, ProxyCredentials> signIns;

    /// nullopt when the user stopped first, or no answer came in time (the
    /// reason set).
    std::optional<ProxyRoute> routeFor(const QUrl &url, const QString &shown, DownloadMonitor *monitor)
    {
        if (!proxies)
            return ProxyRoute{};
        auto query = std::make_shared<RouteQuery>();
        std::thread([query, resolver = proxies, url] {
            query->route = resolver->routeFor(url);
            query->done.store(true);
        }).detach();
        QEventLoop loop;
        QTimer tick;
        QElapsedTimer waited;
        waited.start();
        bool late = false;
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
            late = waited.elapsed() >= lookupMs;
            if (query->done.load() || late || (monitor && monitor->downloadStopRequested()))
                loop.quit();
            else if (monitor) // the window with Stop shows during the lookup too
                monitor->downloadProgress(shown, 0, -1);
        });
        tick.start(10);
        loop.exec();
        // Also when the program is closing, which ends every event loop.
        if (!query->done.load()) {
            if (late)
                failureReason = proxies->unansweredMessage();
            return std::nullopt;
        }
        return query->route;
    }

    /// One answer for \a url by \a route: its body to \a body, or where it
    /// leads on.
    Answer fetch(const CurlApi &api, CURL *easy, CURLM *multi, BodyWriter &body, const QString &shown,
                 DownloadMonitor *monitor, qint64 leftMs)
    {
        api.easySetopt(easy, CURLOPT_TIMEOUT_MS, long(qMax<qint64>(1, leftMs)));
        Transfer transfer(api, easy, multi, body, contentType, inactivityMs);
        if (api.multiAddHandle(multi, easy) != CURLM_OK)
            throw std::bad_alloc();
        bool stopped = false;
        transfer.run([&] {
            if (!monitor)
                return false;
            if (monitor->downloadStopRequested()) {
                stopped = true;
                return true;
            }
            monitor->downloadProgress(shown, body.received(), announcedBytes(api, easy));
            return false;
        });
        if (stopped)
            return {Step::Stopped, {}, false, CURLE_OK};
        if (transfer.outOfMemory())
            throw std::bad_alloc();
        Answer answer{Step::Done, transfer.redirect(), transfer.failed(), transfer.result()};
        if (!answer.redirect.isEmpty())
            answer.step = Step::Redirected;
        else if (!transfer.finished() && !transfer.failed())
            answer.step = Step::Ended; // the loop was ended from outside (the program is closing)
        else if (proxyAsked(api, easy))
            answer.step = Step::SignIn;
        return answer;
    }

    static qint64 announcedBytes(const CurlApi &api, CURL *easy)
    {
        curl_off_t announced = -1;
        api.easyGetinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
        return announced;
    }

    static bool proxyAsked(const CurlApi &api, CURL *easy)
    {
        long status = 0;
        long tunnel = 0;
        api.easyGetinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        api.easyGetinfo(easy, CURLINFO_HTTP_CONNECTCODE, &tunnel);
        return status == 407 || tunnel == 407;
    }

    /// Why a page that went through \a proxy was not had, where the proxy
    /// or the site's certificate is known to be the cause; empty otherwise.
    static QString knownCause(const QString &proxy, const ProxyRoute &route, bool signInRefused,
                              CURLcode result)
    {
        if (signInRefused && proxy.isEmpty())
            return QStringLiteral("A proxy asked for a user name and password.");
        if (signInRefused)
            return QStringLiteral("The proxy %1 asked for a user name and password.").arg(proxy);
        if (!proxy.isEmpty() && (result == CURLE_COULDNT_RESOLVE_PROXY || result == CURLE_COULDNT_CONNECT))
            return QStringLiteral("The proxy %1 could not be reached.").arg(proxy);
        if (result == CURLE_PEER_FAILED_VERIFICATION)
            return QStringLiteral("The site's certificate could not be verified.");
        return route.problem;
    }

    /// Asks the user for \a proxy's user name and password, again after a
    /// wrong one, a few times at most; true once they are typed.
    bool signIn(DownloadMonitor *monitor, const QString &proxy, int tries)
    {
        if (!monitor || proxy.isEmpty() || tries > 3)
            return false;
        const std::optional<ProxyCredentials> typed = monitor->proxyCredentials(proxy);
        if (typed)
            signIns[proxy] = *typed;
        return typed.has_value();
    }

    std::optional<ProxyCredentials> signInFor(const QString &proxy) const
    {
        const auto known = signIns.find(proxy);
        return known == signIns.end() ? std::nullopt : std::optional<ProxyCredentials>(known->second);
    }

    /// How the download ended, once its last answer is in.
    static DownloadStatus outcome(const CurlApi &api, CURL *easy, const BodyWriter &body, bool failed)
    {
        DownloadEnd end;
        end.stopped = body.stopped();
        end.networkError = failed;
        long status = 0;
        api.easyGetinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        end.httpStatus = int(status);
        if (const qint64 announced = announcedBytes(api, easy); announced >= 0)
            end.announcedBytes = announced;
        end.receivedBytes = body.received();
        end.streamEnded = !body.cutShort();
        return downloadOutcome(end);
    }
};

NetworkDownloader::NetworkDownloader(int inactivityMs, int overallMs, qint64 maxBytes,
                                     std::shared_ptr<const ProxyResolver> proxies, int lookupMs)
    : d(new Private{inactivityMs, overallMs, maxBytes, std::move(proxies), lookupMs, {}, {}, {}})
{
}

NetworkDownloader::~NetworkDownloader() = default;

QByteArray NetworkDownloader::contentType() const
{
    return d->contentType;
}

QString NetworkDownloader::failureReason() const
{
    return d->failureReason;
}

DownloadStatus NetworkDownloader::download(const QString &url, QIODevice &target, DownloadMonitor *monitor)
{
    d->contentType.clear();
    d->failureReason.clear();
    const std::optional<QUrl> address = downloadableAddress(url);
    if (!address)
        return DownloadStatus::NotFound;
    const CurlApi &api = curlApi();
    const std::unique_ptr<CURL, decltype(api.easyCleanup)> easy(api.easyInit(), api.easyCleanup);
    const std::unique_ptr<CURLM, decltype(api.multiCleanup)> multi(api.multiInit(), api.multiCleanup);
    const std::unique_ptr<curl_slist, decltype(api.slistFreeAll)> headers(
        api.slistAppend(nullptr, "Accept-Encoding: gzip, deflate"), api.slistFreeAll);
    if (!easy || !multi || !headers)
        throw std::bad_alloc();
    CURL *const e = easy.get();
    configure(api, e, headers.get());
    BodyWriter body(target, d->maxBytes);
    const auto finished = qScopeGuard([monitor] {
        if (monitor)
            monitor->downloadFinished();
    });
    QElapsedTimer overall;
    overall.start();
    QUrl next = *address;
    ProxyRoute route;
    QString proxy;
    Answer answer;
    bool signInRefused = false;
    for (int redirects = 0, signIns = 0;;) {
        const std::optional<ProxyRoute> found = d->routeFor(next, url, monitor);
        if (!found)
            return d->failureReason.isEmpty() ? DownloadStatus::Stopped : DownloadStatus::NotFound;
        route = *found;
        proxy = proxyOf(route, next);
        setRoute(api, e, route, d->signInFor(proxy));
        api.easySetopt(e, CURLOPT_URL, next.toEncoded().constData());
        answer = d->fetch(api, e, multi.get(), body, url, monitor, d->overallMs - overall.elapsed());
        if (answer.step == Step::Stopped)
            return DownloadStatus::Stopped;
        if (answer.step == Step::Ended)
            return DownloadStatus::NotFound;
        if (answer.step == Step::SignIn) {
            if (body.received() == 0 && d->signIn(monitor, proxy, ++signIns))
                continue;
            signInRefused = true;
        } else if (answer.step == Step::Redirected) {
            const std::optional<QUrl> redirected = redirectTarget(next, answer.redirect);
            if (!redirected || ++redirects > kMostRedirects)
                return DownloadStatus::NotFound;
            next = *redirected;
            continue;
        }
        break;
    }
    const DownloadStatus outcome =
        signInRefused ? DownloadStatus::NotFound : Private::outcome(api, e, body, answer.failed);
    if (outcome == DownloadStatus::NotFound)
        d->failureReason = Private::knownCause(proxy, route, signInRefused, answer.result);
    return outcome;
}

} // namespace zd
