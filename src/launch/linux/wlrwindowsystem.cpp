#include "launch/linux/wlrwindowsystem.h"

// Generated from protocols/ at build time.
#include <wlr-foreign-toplevel-management-unstable-v1-client-protocol.h>

#include <QSocketNotifier>

#include <algorithm>
#include <cstring>
#include <map>

#include <poll.h>
#include <wayland-client.h>

namespace zd {

namespace {

// The highest version whose events this program knows (3 adds "parent").
constexpr uint32_t kToplevelVersion = 3;
// Round trips a placed window gets to report its new state: the desktop
// asks the program to resize, which answers with a new frame.
constexpr int kStateRoundTrips = 20;

} // namespace

// One announced window (kept out of the anonymous namespace: the desktop's
// map, declared in the header, holds it).
struct Toplevel
{
    WlrWindowSystem::Desktop *desktop = nullptr;
    zwlr_foreign_toplevel_handle_v1 *handle = nullptr;
    // Events come in batches closed by "done": the pending values become
    // the window's only then.
    TopLevelWindow pending;
    bool pendingMinimized = false;
    bool pendingMaximized = false;
    bool minimized = false;
    bool maximized = false;
    TopLevelWindow window;
    bool complete = false;
};

struct WlrWindowSystem::Desktop
{
    wl_display *display = nullptr;
    wl_registry *registry = nullptr;
    zwlr_foreign_toplevel_manager_v1 *manager = nullptr;
    std::map<WindowId, Toplevel> toplevels;
    WindowId nextId = 1;
    std::unique_ptr<QSocketNotifier> notifier;
    // Some desktops list windows but ignore requests to place them (sway
    // has neither minimized nor maximized windows): known after the first.
    bool placeRefused = false;

    ~Desktop()
    {
        notifier.reset();
        for (auto &[id, toplevel] : toplevels)
            zwlr_foreign_toplevel_handle_v1_destroy(toplevel.handle);
        if (manager)
            zwlr_foreign_toplevel_manager_v1_destroy(manager);
        if (registry)
            wl_registry_destroy(registry);
        if (display)
            wl_display_disconnect(display);
    }

    bool healthy() const { return display && manager && wl_display_get_error(display) == 0; }

    // Reads what the desktop has sent, without waiting for more.
    void readAvailable()
    {
        if (!display || wl_display_get_error(display) != 0)
            return;
        while (wl_display_prepare_read(display) != 0)
            wl_display_dispatch_pending(display);
        pollfd ready{wl_display_get_fd(display), POLLIN, 0};
        if (::poll(&ready, 1, 0) > 0)
            wl_display_read_events(display);
        else
            wl_display_cancel_read(display);
        wl_display_dispatch_pending(display);
    }
};

namespace {

using Desktop = WlrWindowSystem::Desktop;

// Each handle's listener data is its Toplevel, which the map keeps in place.
void onTitle(void *data, zwlr_foreign_toplevel_handle_v1 *, const char *title)
{
    static_cast<Toplevel *>(data)->pending.title = QString::fromUtf8(title);
}

void onAppId(void *data, zwlr_foreign_toplevel_handle_v1 *, const char *appId)
{
    auto *t = static_cast<Toplevel *>(data);
    // A Wayland window's app_id stands for the X class ("firefox-esr", "chromium").
    t->pending.className = QString::fromUtf8(appId);
    t->pending.instanceName = t->pending.className;
}

void onOutput(void *, zwlr_foreign_toplevel_handle_v1 *, wl_output *) {}

void onState(void *data, zwlr_foreign_toplevel_handle_v1 *, wl_array *states)
{
    auto *t = static_cast<Toplevel *>(data);
    t->pendingMinimized = false;
    t->pendingMaximized = false;
    const auto *state = static_cast<const uint32_t *>(states->data);
    for (size_t i = 0; i < states->size / sizeof(uint32_t); ++i) {
        t->pendingMinimized =
            t->pendingMinimized || state[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_MINIMIZED;
        t->pendingMaximized =
            t->pendingMaximized || state[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_MAXIMIZED;
    }
}

void onDone(void *data, zwlr_foreign_toplevel_handle_v1 *)
{
    auto *t = static_cast<Toplevel *>(data);
    const WindowId id = t->window.id;
    t->window = t->pending;
    t->window.id = id;
    t->minimized = t->pendingMinimized;
    t->maximized = t->pendingMaximized;
    t->complete = true;
}

void onClosed(void *data, zwlr_foreign_toplevel_handle_v1 *handle)
{
    auto *t = static_cast<Toplevel *>(data);
    zwlr_foreign_toplevel_handle_v1_destroy(handle);
    t->desktop->toplevels.erase(t->window.id);
}

void onParent(void *data, zwlr_foreign_toplevel_handle_v1 *, zwlr_foreign_toplevel_handle_v1 *parent)
{
    // A window with a parent is a dialog or another transient.
    static_cast<Toplevel *>(data)->pending.owned = parent != nullptr;
}

const zwlr_foreign_toplevel_handle_v1_listener kToplevelListener = {
    onTitle, onAppId, onOutput, onOutput, onState, onDone, onClosed, onParent,
};

void onToplevel(void *data, zwlr_foreign_toplevel_manager_v1 *, zwlr_foreign_toplevel_handle_v1 *handle)
{
    auto *desktop = static_cast<Desktop *>(data);
    const WindowId id = desktop->nextId++;
    Toplevel &t = desktop->toplevels[id];
    t.desktop = desktop;
    t.handle = handle;
    t.window.id = id;
    t.pending.visible = true; // minimized windows count as visible
    t.window.visible = true;
    zwlr_foreign_toplevel_handle_v1_add_listener(handle, &kToplevelListener, &t);
}

void onFinished(void *data, zwlr_foreign_toplevel_manager_v1 *manager)
{
    auto *desktop = static_cast<Desktop *>(data);
    zwlr_foreign_toplevel_manager_v1_destroy(manager);
    desktop->manager = nullptr;
}

const zwlr_foreign_toplevel_manager_v1_listener kManagerListener = {onToplevel, onFinished};

void onGlobal(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t version)
{
    auto *desktop = static_cast<Desktop *>(data);
    if (desktop->manager || std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) != 0)
        return;
    desktop->manager = static_cast<zwlr_foreign_toplevel_manager_v1 *>(wl_registry_bind(
        registry, name, &zwlr_foreign_toplevel_manager_v1_interface, std::min(version, kToplevelVersion)));
    zwlr_foreign_toplevel_manager_v1_add_listener(desktop->manager, &kManagerListener, desktop);
}

void onGlobalRemove(void *, wl_registry *, uint32_t) {}

const wl_registry_listener kRegistryListener = {onGlobal, onGlobalRemove};

} // namespace

WlrWindowSystem::WlrWindowSystem(const QByteArray &display) : m_desktop(std::make_unique<Desktop>())
{
    Desktop &d = *m_desktop;
    d.display = wl_display_connect(display.isEmpty() ? nullptr : display.constData());
    if (!d.display)
        return;
    d.registry = wl_display_get_registry(d.display);
    wl_registry_add_listener(d.registry, &kRegistryListener, &d);
    // The globals, then the windows already open.
    wl_display_roundtrip(d.display);
    if (!d.manager)
        return;
    wl_display_roundtrip(d.display);
    d.notifier = std::make_unique<QSocketNotifier>(wl_display_get_fd(d.display), QSocketNotifier::Read);
    QObject::connect(d.notifier.get(), &QSocketNotifier::activated, [&d] { d.readAvailable(); });
}

WlrWindowSystem::~WlrWindowSystem() = default;

bool WlrWindowSystem::available() const
{
    return m_desktop->healthy();
}

WindowCapabilities WlrWindowSystem::capabilities()
{
    if (!available())
        return {};
    return {.list = true, .place = !m_desktop->placeRefused, .pids = false, .otherDisplays = false};
}

std::vector<TopLevelWindow> WlrWindowSystem::topLevelWindows()
{
    std::vector<TopLevelWindow> result;
    if (!available())
        return result;
    // What the desktop knows now, not what it knew at the last event.
    wl_display_roundtrip(m_desktop->display);
    for (const auto &[id, toplevel] : m_desktop->toplevels) {
        if (toplevel.complete)
            result.push_back(toplevel.window);
    }
    // The desktop gives no stacking order; the newest first comes closest.
    std::reverse(result.begin(), result.end());
    return result;
}

bool WlrWindowSystem::place(WindowId window, ShowState state)
{
    if (!available())
        return false;
    const auto found = m_desktop->toplevels.find(window);
    if (found == m_desktop->toplevels.end())
        return false;
    Toplevel &toplevel = found->second;
    const bool minimize = state == ShowState::Minimized;
    if (minimize) {
        zwlr_foreign_toplevel_handle_v1_set_minimized(toplevel.handle);
    } else {
        if (toplevel.minimized)
            zwlr_foreign_toplevel_handle_v1_unset_minimized(toplevel.handle);
        zwlr_foreign_toplevel_handle_v1_set_maximized(toplevel.handle);
    }
    // A desktop that takes the request answers with the new state at once;
    // one that ignores it says nothing, and the run must not claim it.
    for (int i = 0; i < kStateRoundTrips && m_desktop->toplevels.count(window); ++i) {
        wl_display_roundtrip(m_desktop->display);
        const auto now = m_desktop->toplevels.find(window);
        if (now == m_desktop->toplevels.end())
            return false;
        if (minimize ? now->second.minimized : now->second.maximized)
            return true;
    }
    m_desktop->placeRefused = true;
    return false;
}

} // namespace zd
