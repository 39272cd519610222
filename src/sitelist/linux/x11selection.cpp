#include "sitelist/linux/x11selection.h"

#include <QList>

#include <xcb/xcb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace zd {

namespace {

// Larger pieces mean fewer round trips through the X server for a long
// text; the server's own request size bounds them.
constexpr std::size_t kMostPieceBytes = std::size_t(1) << 20;

xcb_atom_t internAtom(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

// One paste that takes the text in pieces: each piece goes once the
// requestor has deleted the last one from its window's property.
struct Transfer
{
    xcb_window_t requestor;
    xcb_atom_t property;
    xcb_atom_t type;
    QByteArray text;
    std::chrono::steady_clock::time_point lastPiece;
    qsizetype sent = 0;
    bool ended = false; // the closing empty piece has gone
};

} // namespace

struct X11Selection::Server
{
    xcb_connection_t *c = nullptr;
    xcb_window_t window = XCB_WINDOW_NONE;
    int wake = -1;
    std::size_t pieceBytes = 0;
    xcb_atom_t clipboard = 0, targets = 0, timestamp = 0, utf8 = 0, text = 0, plain = 0, plainUtf8 = 0,
               incr = 0, stamp = 0;

    std::chrono::milliseconds stallLimit{0};
    std::atomic<int> transfersUnderWay{0};

    std::mutex mutex;
    std::condition_variable answered;
    QByteArray pending;
    bool waiting = false;
    QByteArray offered;
    bool owned = false;
    xcb_timestamp_t ownedSince = XCB_CURRENT_TIME;
    bool stopping = false;

    QList<Transfer> transfers; // the thread's alone
    std::thread thread;

    bool connect();
    void run();
    void handle(xcb_generic_event_t *event);
    void takeOwnership(xcb_timestamp_t time);
    void answer(const xcb_selection_request_event_t &request);
    bool isText(xcb_atom_t target) const
    {
        return target == utf8 || target == text || target == plain || target == plainUtf8;
    }
    void sendPiece(Transfer &transfer);
    /// Drops the transfers that took no piece for too long; the time to
    /// wait for the next one to stall, or -1.
    int dropStalled();
    void forget(qsizetype transfer);
    void selectEvents(xcb_window_t requestor, uint32_t mask)
    {
        xcb_change_window_attributes(c, requestor, XCB_CW_EVENT_MASK, &mask);
    }
};

bool X11Selection::Server::connect()
{
    c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return false;
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    window = xcb_generate_id(c);
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
    clipboard = internAtom(c, "CLIPBOARD");
    targets = internAtom(c, "TARGETS");
    timestamp = internAtom(c, "TIMESTAMP");
    utf8 = internAtom(c, "UTF8_STRING");
    text = internAtom(c, "TEXT");
    plain = internAtom(c, "text/plain");
    plainUtf8 = internAtom(c, "text/plain;charset=utf-8");
    incr = internAtom(c, "INCR");
    stamp = internAtom(c, "_ZD_SELECTION_STAMP");
    pieceBytes =
        std::min<std::size_t>(kMostPieceBytes, std::size_t(xcb_get_maximum_request_length(c)) * 4 - 1024);
    wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    xcb_flush(c);
    return wake >= 0 && clipboard != XCB_ATOM_NONE;
}

void X11Selection::Server::run()
{
    pollfd fds[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {wake, POLLIN, 0}};
    for (;;) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(c)) {
            handle(event);
            std::free(event);
        }
        xcb_flush(c);
        if (xcb_connection_has_error(c))
            break;
        {
            std::lock_guard lock(mutex);
            if (stopping)
                break;
        }
        ::poll(fds, 2, dropStalled());
        if (fds[1].revents & POLLIN) {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t read = ::read(wake, &count, sizeof count);
        }
    }
    // An offer waiting for an answer gets one.
    std::lock_guard lock(mutex);
    waiting = false;
    answered.notify_all();
}

void X11Selection::Server::handle(xcb_generic_event_t *event)
{
    switch (event->response_type & 0x7f) {
    case XCB_PROPERTY_NOTIFY: {
        const auto *change = reinterpret_cast<xcb_property_notify_event_t *>(event);
        if (change->window == window && change->atom == stamp) {
            takeOwnership(change->time);
            return;
        }
        if (change->state != XCB_PROPERTY_DELETE)
            return;
        for (qsizetype i = 0; i < transfers.size(); ++i) {
            Transfer &transfer = transfers[i];
            if (transfer.requestor != change->window || transfer.property != change->atom)
                continue;
            if (transfer.ended) {
                forget(i);
            } else {
                sendPiece(transfer);
            }
            return;
        }
        return;
    }
    case XCB_SELECTION_REQUEST:
        answer(*reinterpret_cast<xcb_selection_request_event_t *>(event));
        return;
    case XCB_SELECTION_CLEAR: {
        // Another program took the clipboard: the text is given back (a
        // paste under way keeps its own reference to the end).
        std::lock_guard lock(mutex);
        owned = false;
        offered = QByteArray();
        return;
    }
    case XCB_DESTROY_NOTIFY: {
        const auto *gone = reinterpret_cast<xcb_destroy_notify_event_t *>(event);
        transfers.removeIf([&](const Transfer &transfer) { return transfer.requestor == gone->window; });
        transfersUnderWay = int(transfers.size());
        return;
    }
    default:
        return;
    }
}

void X11Selection::Server::takeOwnership(xcb_timestamp_t time)
{
    xcb_set_selection_owner(c, window, clipboard, time);
    xcb_get_selection_owner_reply_t *reply =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, clipboard), nullptr);
    const bool ours = reply && reply->owner == window;
    std::free(reply);
    std::lock_guard lock(mutex);
    owned = ours;
    ownedSince = time;
    offered = ours ? std::move(pending) : QByteArray();
    pending = QByteArray();
    waiting = false;
    answered.notify_all();
}

void X11Selection::Server::answer(const xcb_selection_request_event_t &request)
{
    xcb_selection_notify_event_t notify{};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request.time;
    notify.requestor = request.requestor;
    notify.selection = request.selection;
    notify.target = request.target;
    notify.property = XCB_ATOM_NONE;
    // Clients from before ICCCM 2 name no property: the target serves.
    const xcb_atom_t property = request.property == XCB_ATOM_NONE ? request.target : request.property;
    QByteArray textNow;
    bool ours = false;
    xcb_timestamp_t since = XCB_CURRENT_TIME;
    {
        std::lock_guard lock(mutex);
        ours = owned && request.owner == window && request.selection == clipboard;
        textNow = offered;
        since = ownedSince;
    }
    if (ours && request.target == targets) {
        const xcb_atom_t offeredTargets[] = {targets, timestamp, utf8, text, plainUtf8, plain};
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_ATOM, 32,
                            uint32_t(std::size(offeredTargets)), offeredTargets);
        notify.property = property;
    } else if (ours && request.target == timestamp) {
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_INTEGER, 32, 1,
                            &since);
        notify.property = property;
    } else if (ours && isText(request.target)) {
        const xcb_atom_t type = request.target == text ? utf8 : request.target;
        if (std::size_t(textNow.size()) <= pieceBytes) {
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property, type, 8,
                                uint32_t(textNow.size()), textNow.constData());
        } else {
            // In pieces: the requestor deletes each from its property, which
            // calls for the next one.
            selectEvents(request.requestor, XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY);
            const auto size = uint32_t(qMin<qsizetype>(textNow.size(), UINT32_MAX));
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property, incr, 32, 1, &size);
            transfers.append(
                Transfer{request.requestor, property, type, textNow, std::chrono::steady_clock::now()});
            transfersUnderWay = int(transfers.size());
        }
        notify.property = property;
    }
    xcb_send_event(c, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&notify));
    xcb_flush(c);
}

void X11Selection::Server::sendPiece(Transfer &transfer)
{
    const auto size =
        std::size_t(qMin<qsizetype>(qsizetype(pieceBytes), transfer.text.size() - transfer.sent));
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, transfer.requestor, transfer.property, transfer.type, 8,
                        uint32_t(size), transfer.text.constData() + transfer.sent);
    transfer.sent += qsizetype(size);
    transfer.lastPiece = std::chrono::steady_clock::now();
    // The empty piece says the text is complete.
    if (size == 0)
        transfer.ended = true;
    xcb_flush(c);
}

int X11Selection::Server::dropStalled()
{
    const auto now = std::chrono::steady_clock::now();
    for (qsizetype i = transfers.size() - 1; i >= 0; --i) {
        if (now - transfers[i].lastPiece >= stallLimit)
            forget(i);
    }
    if (transfers.isEmpty())
        return -1;
    const auto oldest =
        std::min_element(transfers.begin(), transfers.end(),
                         [](const auto &a, const auto &b) { return a.lastPiece < b.lastPiece; });
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(oldest->lastPiece + stallLimit - now);
    return int(qMax<qint64>(1, left.count()));
}

void X11Selection::Server::forget(qsizetype transfer)
{
    const xcb_window_t requestor = transfers[transfer].requestor;
    transfers.removeAt(transfer);
    transfersUnderWay = int(transfers.size());
    // Another paste of the same window may still be under way.
    if (std::none_of(transfers.begin(), transfers.end(),
                     [&](const Transfer &other) { return other.requestor == requestor; }))
        selectEvents(requestor, XCB_EVENT_MASK_NO_EVENT);
}

X11Selection::X11Selection(std::chrono::milliseconds stallLimit) : m_server(std::make_unique<Server>())
{
    m_server->stallLimit = stallLimit;
    if (!m_server->connect())
        return;
    m_server->thread = std::thread([server = m_server.get()] { server->run(); });
}

X11Selection::~X11Selection()
{
    if (m_server->thread.joinable()) {
        {
            std::lock_guard lock(m_server->mutex);
            m_server->stopping = true;
        }
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_server->wake, &one, sizeof one);
        m_server->thread.join();
    }
    if (m_server->wake >= 0)
        ::close(m_server->wake);
    if (m_server->c)
        xcb_disconnect(m_server->c);
}

bool X11Selection::isConnected() const
{
    return m_server->thread.joinable();
}

bool X11Selection::offer(const QByteArray &utf8)
{
    if (!isConnected())
        return false;
    std::unique_lock lock(m_server->mutex);
    m_server->pending = utf8;
    m_server->waiting = true;
    // A change of our own property brings back the server's time, which
    // the ownership is taken at.
    xcb_change_property(m_server->c, XCB_PROP_MODE_APPEND, m_server->window, m_server->stamp, XCB_ATOM_STRING,
                        8, 0, nullptr);
    xcb_flush(m_server->c);
    m_server->answered.wait_for(lock, std::chrono::seconds(5), [this] { return !m_server->waiting; });
    return m_server->owned;
}

int X11Selection::transfersUnderWay() const
{
    return m_server->transfersUnderWay;
}

bool X11Selection::owns() const
{
    std::lock_guard lock(m_server->mutex);
    return m_server->owned;
}

} // namespace zd
