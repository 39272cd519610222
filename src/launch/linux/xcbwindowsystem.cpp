#include "launch/linux/xcbwindowsystem.h"

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>
#include <xcb/xcb_icccm.h>

#include <QByteArray>

#include <algorithm>
#include <cstring>

namespace zd {

namespace {

constexpr uint32_t kIconicState = 3;
constexpr uint32_t kNormalState = 1;

xcb_atom_t internAtom(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return atom;
}

// COMPOUND_TEXT is Latin-1 between escape sequences, for the titles we need.
QString decodeCompoundText(const char *data, int length)
{
    QString text;
    for (int i = 0; i < length; ++i) {
        if (data[i] == '\x1b') {
            // Skip the designation: ESC, intermediates (0x20-0x2F), final byte.
            ++i;
            while (i < length && uchar(data[i]) >= 0x20 && uchar(data[i]) <= 0x2f)
                ++i;
            continue;
        }
        text += QLatin1Char(data[i]);
    }
    return text;
}

} // namespace

struct XcbWindowSystem::Connection
{
    xcb_connection_t *c = nullptr;
    xcb_ewmh_connection_t ewmh{};
    xcb_window_t root = 0;
    int screen = 0;
    xcb_atom_t wmState = XCB_ATOM_NONE;
    xcb_atom_t wmChangeState = XCB_ATOM_NONE;
    xcb_atom_t utf8String = XCB_ATOM_NONE;
    xcb_atom_t compoundText = XCB_ATOM_NONE;
    bool ewmhReady = false;

    ~Connection()
    {
        if (ewmhReady)
            xcb_ewmh_connection_wipe(&ewmh);
        if (c)
            xcb_disconnect(c);
    }
};

XcbWindowSystem::XcbWindowSystem(const QByteArray &display) : m_display(display) {}

XcbWindowSystem::~XcbWindowSystem() = default;

XcbWindowSystem::Connection *XcbWindowSystem::connection()
{
    if (m_connection && !xcb_connection_has_error(m_connection->c))
        return m_connection.get();
    m_connection.reset();
    auto conn = std::make_unique<Connection>();
    conn->c = xcb_connect(m_display.isEmpty() ? nullptr : m_display.constData(), &conn->screen);
    if (!conn->c || xcb_connection_has_error(conn->c))
        return nullptr;
    xcb_intern_atom_cookie_t *cookies = xcb_ewmh_init_atoms(conn->c, &conn->ewmh);
    if (!xcb_ewmh_init_atoms_replies(&conn->ewmh, cookies, nullptr))
        return nullptr;
    conn->ewmhReady = true;
    conn->root = conn->ewmh.screens[conn->screen]->root;
    conn->wmState = internAtom(conn->c, "WM_STATE");
    conn->wmChangeState = internAtom(conn->c, "WM_CHANGE_STATE");
    conn->utf8String = internAtom(conn->c, "UTF8_STRING");
    conn->compoundText = internAtom(conn->c, "COMPOUND_TEXT");
    m_connection = std::move(conn);
    return m_connection.get();
}

namespace {

// One window's properties, asked for before any answer is read.
struct Cookies
{
    xcb_get_property_cookie_t netName, wmName, state, transient, wmClass, pid, type, netState;
};

// _NET_WM_NAME, else WM_NAME in whichever encoding it has.
QString titleFrom(XcbWindowSystem::Connection &conn, const Cookies &cookies)
{
    QString title;
    xcb_ewmh_get_utf8_strings_reply_t netName;
    if (xcb_ewmh_get_wm_name_reply(&conn.ewmh, cookies.netName, &netName, nullptr)) {
        title = QString::fromUtf8(netName.strings, netName.strings_len);
        xcb_ewmh_get_utf8_strings_reply_wipe(&netName);
    }
    xcb_icccm_get_text_property_reply_t wmName;
    if (xcb_icccm_get_wm_name_reply(conn.c, cookies.wmName, &wmName, nullptr)) {
        if (title.isEmpty()) {
            if (wmName.encoding == conn.utf8String)
                title = QString::fromUtf8(wmName.name, wmName.name_len);
            else if (wmName.encoding == conn.compoundText)
                title = decodeCompoundText(wmName.name, int(wmName.name_len));
            else
                title = QString::fromLatin1(wmName.name, wmName.name_len);
        }
        xcb_icccm_get_text_property_reply_wipe(&wmName);
    }
    return title;
}

// _NET_WM_WINDOW_TYPE names a dialog, or _NET_WM_STATE holds MODAL.
bool isDialog(XcbWindowSystem::Connection &conn, const Cookies &cookies)
{
    bool dialog = false;
    xcb_ewmh_get_atoms_reply_t types;
    if (xcb_ewmh_get_wm_window_type_reply(&conn.ewmh, cookies.type, &types, nullptr)) {
        for (uint32_t i = 0; i < types.atoms_len; ++i)
            dialog = dialog || types.atoms[i] == conn.ewmh._NET_WM_WINDOW_TYPE_DIALOG;
        xcb_ewmh_get_atoms_reply_wipe(&types);
    }
    xcb_ewmh_get_atoms_reply_t states;
    if (xcb_ewmh_get_wm_state_reply(&conn.ewmh, cookies.netState, &states, nullptr)) {
        for (uint32_t i = 0; i < states.atoms_len; ++i)
            dialog = dialog || states.atoms[i] == conn.ewmh._NET_WM_STATE_MODAL;
        xcb_ewmh_get_atoms_reply_wipe(&states);
    }
    return dialog;
}

TopLevelWindow windowFrom(XcbWindowSystem::Connection &conn, xcb_window_t id, const Cookies &cookies)
{
    TopLevelWindow window;
    window.id = id;
    window.title = titleFrom(conn, cookies);
    if (xcb_get_property_reply_t *state = xcb_get_property_reply(conn.c, cookies.state, nullptr)) {
        if (state->format == 32 && xcb_get_property_value_length(state) >= 4) {
            const uint32_t value = *static_cast<const uint32_t *>(xcb_get_property_value(state));
            window.visible = value == kNormalState || value == kIconicState;
        }
        free(state);
    }
    xcb_window_t owner = XCB_WINDOW_NONE;
    if (xcb_icccm_get_wm_transient_for_reply(conn.c, cookies.transient, &owner, nullptr))
        window.owned = owner != XCB_WINDOW_NONE;
    xcb_icccm_get_wm_class_reply_t wmClass;
    if (xcb_icccm_get_wm_class_reply(conn.c, cookies.wmClass, &wmClass, nullptr)) {
        window.instanceName = QString::fromLocal8Bit(wmClass.instance_name);
        window.className = QString::fromLocal8Bit(wmClass.class_name);
        xcb_icccm_get_wm_class_reply_wipe(&wmClass);
    }
    uint32_t pid = 0;
    if (xcb_ewmh_get_wm_pid_reply(&conn.ewmh, cookies.pid, &pid, nullptr))
        window.pid = pid;
    window.dialog = isDialog(conn, cookies);
    return window;
}

} // namespace

std::vector<TopLevelWindow> XcbWindowSystem::topLevelWindows()
{
    std::vector<TopLevelWindow> result;
    Connection *conn = connection();
    if (!conn)
        return result;
    xcb_ewmh_get_windows_reply_t clients;
    if (!xcb_ewmh_get_client_list_stacking_reply(
            &conn->ewmh, xcb_ewmh_get_client_list_stacking(&conn->ewmh, conn->screen), &clients, nullptr))
        return result;
    std::vector<xcb_window_t> ids(clients.windows, clients.windows + clients.windows_len);
    xcb_ewmh_get_windows_reply_wipe(&clients);
    // The property lists bottom to top; the walk goes from the topmost down.
    std::reverse(ids.begin(), ids.end());

    // Ask for everything first, then collect: one round trip for the lot.
    std::vector<Cookies> cookies;
    cookies.reserve(ids.size());
    for (xcb_window_t id : ids) {
        cookies.push_back({xcb_ewmh_get_wm_name(&conn->ewmh, id), xcb_icccm_get_wm_name(conn->c, id),
                           xcb_get_property(conn->c, 0, id, conn->wmState, conn->wmState, 0, 2),
                           xcb_icccm_get_wm_transient_for(conn->c, id), xcb_icccm_get_wm_class(conn->c, id),
                           xcb_ewmh_get_wm_pid(&conn->ewmh, id), xcb_ewmh_get_wm_window_type(&conn->ewmh, id),
                           xcb_ewmh_get_wm_state(&conn->ewmh, id)});
    }
    result.reserve(ids.size());
    for (size_t i = 0; i < ids.size(); ++i)
        result.push_back(windowFrom(*conn, ids[i], cookies[i]));
    return result;
}

WindowCapabilities XcbWindowSystem::capabilities()
{
    Connection *conn = connection();
    if (!conn)
        return {};
    bool listed = false;
    xcb_ewmh_get_atoms_reply_t supported;
    if (xcb_ewmh_get_supported_reply(&conn->ewmh, xcb_ewmh_get_supported(&conn->ewmh, conn->screen),
                                     &supported, nullptr)) {
        for (uint32_t i = 0; i < supported.atoms_len; ++i)
            listed = listed || supported.atoms[i] == conn->ewmh._NET_CLIENT_LIST_STACKING;
        xcb_ewmh_get_atoms_reply_wipe(&supported);
    }
    if (!listed)
        return {};
    return {.list = true, .place = true, .pids = true, .otherDisplays = true};
}

bool XcbWindowSystem::place(WindowId window, ShowState state)
{
    Connection *conn = connection();
    if (!conn)
        return false;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    if (state == ShowState::Maximized) {
        xcb_ewmh_request_change_wm_state(
            &conn->ewmh, conn->screen, window, XCB_EWMH_WM_STATE_ADD, conn->ewmh._NET_WM_STATE_MAXIMIZED_VERT,
            conn->ewmh._NET_WM_STATE_MAXIMIZED_HORZ, XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER);
        // An iconic window comes back by the ICCCM route: a map request.
        xcb_map_window(conn->c, window);
    } else {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = conn->wmChangeState;
        event.data.data32[0] = kIconicState;
        xcb_send_event(conn->c, 0, conn->root, mask, reinterpret_cast<const char *>(&event));
    }
    xcb_flush(conn->c);
    // The window manager answers later, if at all: taken as asked.
    return true;
}

} // namespace zd
