#include "platform/session/DisplaySession.h"

#include <xcb/xcb.h>
#include <xcb/xproto.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace kivo::DisplaySession {

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <class T>
using Reply = std::unique_ptr<T, FreeDeleter>;

struct Connection {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    ~Connection() { xcb_disconnect(c); }
    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    bool ok() const { return xcb_connection_has_error(c) == 0; }
};

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    const Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

bool windowPid(xcb_connection_t* c, xcb_window_t window, xcb_atom_t pidAtom, pid_t pid)
{
    // A window that vanished meanwhile gives an error reply, which counts as "not this one".
    const Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr));
    if (!reply || reply->type != XCB_ATOM_CARDINAL || reply->format != 32 ||
        xcb_get_property_value_length(reply.get()) != 4) {
        return false;
    }
    return static_cast<pid_t>(*static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()))) == pid;
}

} // namespace

const char* rawValue(Kind kind)
{
    return kind == Kind::wayland ? "wayland" : "x11";
}

Kind current()
{
    const char* type = std::getenv("XDG_SESSION_TYPE");
    if (type != nullptr && *type != '\0') {
        return std::strcmp(type, "wayland") == 0 ? Kind::wayland : Kind::x11;
    }
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return wayland != nullptr && *wayland != '\0' ? Kind::wayland : Kind::x11;
}

bool hasXWindow(pid_t pid)
{
    if (pid <= 0) {
        return false;
    }
    // A connection of its own per question: callable from any thread, no shared error handler.
    const Connection connection;
    if (!connection.ok()) {
        return false;
    }
    xcb_connection_t* c = connection.c;
    const xcb_atom_t pidAtom = atom(c, "_NET_WM_PID");
    if (pidAtom == XCB_ATOM_NONE) {
        return false;
    }
    // Top-level windows sit under the root, or one level down inside a window manager's frame.
    constexpr int depthLimit = 3;
    constexpr int visitLimit = 4000;
    std::vector<std::pair<xcb_window_t, int>> pending;
    for (auto screens = xcb_setup_roots_iterator(xcb_get_setup(c)); screens.rem > 0; xcb_screen_next(&screens)) {
        pending.emplace_back(screens.data->root, 0);
    }
    int visited = 0;
    while (!pending.empty() && visited++ < visitLimit) {
        const auto [window, depth] = pending.back();
        pending.pop_back();
        if (depth > 0 && windowPid(c, window, pidAtom, pid)) {
            return true;
        }
        if (depth >= depthLimit) {
            continue;
        }
        const Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
        if (!tree) {
            continue;
        }
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            pending.emplace_back(children[i], depth + 1);
        }
    }
    return false;
}

bool keystrokesReach(pid_t pid)
{
    return current() == Kind::x11 || hasXWindow(pid);
}

} // namespace kivo::DisplaySession
