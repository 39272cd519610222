#pragma once

// Real top-level X11 windows for tests, made with plain xcb so that the
// fake browser program can use it without Qt.

#include <xcb/xcb.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zd::test {

enum class TitleKind { NetWmName, WmNameString, WmNameCompoundText, None };

class TestWindows
{
public:
    TestWindows();
    ~TestWindows();
    bool connected() const { return m_c != nullptr; }
    /// The WM_CLASS instance name of windows created from now on.
    void setClassName(const std::string &name) { m_className = name; }
    /// The _NET_WM_WINDOW_TYPE ("_NET_WM_WINDOW_TYPE_DIALOG") and a
    /// _NET_WM_STATE atom ("_NET_WM_STATE_MODAL") of windows created from
    /// now on; empty: none.
    void setWindowType(const std::string &type) { m_type = type; }
    void setInitialState(const std::string &state) { m_state = state; }

    /// Creates a window; mapped windows are waited for until the window
    /// manager lists them.
    xcb_window_t create(const std::string &title, TitleKind kind = TitleKind::NetWmName, bool map = true,
                        xcb_window_t transientFor = XCB_WINDOW_NONE);
    void destroy(xcb_window_t window);

    /// WM_STATE (1 Normal, 3 Iconic, 0 none or Withdrawn).
    uint32_t wmState(xcb_window_t window);
    /// The atom names in _NET_WM_STATE.
    std::vector<std::string> netWmState(xcb_window_t window);
    bool maximized(xcb_window_t window);
    bool managed(xcb_window_t window);

    /// Polls until done() or the time is up; true when done.
    template<class F>
    bool waitUntil(F &&done, int timeoutMs = 5000)
    {
        for (int waited = 0; waited <= timeoutMs; waited += 20) {
            if (done())
                return true;
            sleepMs(20);
        }
        return false;
    }

    static void sleepMs(int ms);

private:
    xcb_atom_t atom(const char *name);
    std::vector<uint32_t> cardinals(xcb_window_t window, const char *property, xcb_atom_t type);

    xcb_connection_t *m_c = nullptr;
    xcb_window_t m_root = 0;
    std::vector<xcb_window_t> m_created;
    std::string m_className = "zdtest";
    std::string m_type;
    std::string m_state;
};

} // namespace zd::test
