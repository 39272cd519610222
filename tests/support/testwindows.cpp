#include "support/testwindows.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace zd::test {

TestWindows::TestWindows()
{
    m_c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(m_c)) {
        xcb_disconnect(m_c);
        m_c = nullptr;
        return;
    }
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
}

TestWindows::~TestWindows()
{
    if (!m_c)
        return;
    for (xcb_window_t window : m_created)
        xcb_destroy_window(m_c, window);
    xcb_flush(m_c);
    xcb_disconnect(m_c);
}

void TestWindows::sleepMs(int ms)
{
    timespec ts{ms / 1000, long(ms % 1000) * 1'000'000L};
    nanosleep(&ts, nullptr);
}

xcb_atom_t TestWindows::atom(const char *name)
{
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return result;
}

xcb_window_t TestWindows::create(const std::string &title, TitleKind kind, bool map,
                                 xcb_window_t transientFor)
{
    const xcb_window_t window = xcb_generate_id(m_c);
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
    const uint32_t values[] = {screen->white_pixel};
    xcb_create_window(m_c, XCB_COPY_FROM_PARENT, window, m_root, 10, 10, 200, 120, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL, values);
    switch (kind) {
    case TitleKind::NetWmName:
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_NAME"), atom("UTF8_STRING"), 8,
                            uint32_t(title.size()), title.data());
        break;
    case TitleKind::WmNameString:
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            uint32_t(title.size()), title.data());
        break;
    case TitleKind::WmNameCompoundText: {
        // Latin-1 text designated explicitly, as Xlib writes non-ASCII titles.
        const std::string text = "\x1b-A" + title;
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, atom("COMPOUND_TEXT"), 8,
                            uint32_t(text.size()), text.data());
        break;
    }
    case TitleKind::None:
        break;
    }
    if (transientFor != XCB_WINDOW_NONE)
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW,
                            32, 1, &transientFor);
    // WM_CLASS is "instance\0Class\0"; the class capitalised, as toolkits do.
    std::string className = m_className;
    if (!className.empty() && className[0] >= 'a' && className[0] <= 'z')
        className[0] = static_cast<char>(className[0] - 'a' + 'A');
    const std::string wmClass = m_className + '\0' + className + '\0';
    xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        uint32_t(wmClass.size()), wmClass.data());
    const uint32_t pid = static_cast<uint32_t>(getpid());
    xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1,
                        &pid);
    if (!m_type.empty()) {
        const xcb_atom_t type = atom(m_type.c_str());
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM,
                            32, 1, &type);
    }
    if (!m_state.empty()) {
        const xcb_atom_t state = atom(m_state.c_str());
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_STATE"), XCB_ATOM_ATOM, 32, 1,
                            &state);
    }
    m_created.push_back(window);
    if (map) {
        xcb_map_window(m_c, window);
        xcb_flush(m_c);
        waitUntil([&] { return managed(window) && wmState(window) == 1; });
    }
    xcb_flush(m_c);
    return window;
}

void TestWindows::destroy(xcb_window_t window)
{
    xcb_destroy_window(m_c, window);
    xcb_flush(m_c);
}

std::vector<uint32_t> TestWindows::cardinals(xcb_window_t window, const char *property, xcb_atom_t type)
{
    std::vector<uint32_t> values;
    xcb_get_property_reply_t *reply =
        xcb_get_property_reply(m_c, xcb_get_property(m_c, 0, window, atom(property), type, 0, 1024), nullptr);
    if (reply && reply->format == 32) {
        const auto *data = static_cast<const uint32_t *>(xcb_get_property_value(reply));
        values.assign(data, data + xcb_get_property_value_length(reply) / 4);
    }
    free(reply);
    return values;
}

uint32_t TestWindows::wmState(xcb_window_t window)
{
    const std::vector<uint32_t> state = cardinals(window, "WM_STATE", atom("WM_STATE"));
    return state.empty() ? 0 : state.front();
}

std::vector<std::string> TestWindows::netWmState(xcb_window_t window)
{
    std::vector<std::string> names;
    for (uint32_t value : cardinals(window, "_NET_WM_STATE", XCB_ATOM_ATOM)) {
        xcb_get_atom_name_reply_t *reply =
            xcb_get_atom_name_reply(m_c, xcb_get_atom_name(m_c, value), nullptr);
        if (reply) {
            names.emplace_back(xcb_get_atom_name_name(reply), size_t(xcb_get_atom_name_name_length(reply)));
            free(reply);
        }
    }
    return names;
}

bool TestWindows::maximized(xcb_window_t window)
{
    bool vertical = false;
    bool horizontal = false;
    for (const std::string &name : netWmState(window)) {
        vertical = vertical || name == "_NET_WM_STATE_MAXIMIZED_VERT";
        horizontal = horizontal || name == "_NET_WM_STATE_MAXIMIZED_HORZ";
    }
    return vertical && horizontal;
}

bool TestWindows::managed(xcb_window_t window)
{
    for (uint32_t id : cardinals(m_root, "_NET_CLIENT_LIST", XCB_ATOM_WINDOW)) {
        if (id == window)
            return true;
    }
    return false;
}

} // namespace zd::test
