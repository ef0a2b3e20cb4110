#include "platform/keys/KeyboardFocus.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace kivo {

namespace {

// xcb hands every reply to the caller to free; a failed request gives none, never an exit.
template <class Reply>
struct Owned {
    Reply* reply;
    explicit Owned(Reply* r) : reply(r) {}
    ~Owned() { std::free(reply); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Reply* operator->() const { return reply; }
    explicit operator bool() const { return reply != nullptr; }
};

} // namespace

struct KeyboardFocus::Connection {
    xcb_connection_t* connection = nullptr;
    xcb_atom_t pid = XCB_ATOM_NONE;
};

KeyboardFocus::KeyboardFocus() : connection_(std::make_unique<Connection>())
{
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return;
    }
    connection_->connection = connection;
    constexpr const char* name = "_NET_WM_PID";
    const Owned atom(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
    if (atom) {
        connection_->pid = atom->atom;
    }
}

KeyboardFocus::~KeyboardFocus()
{
    if (connection_->connection) {
        xcb_disconnect(connection_->connection);
    }
}

std::optional<std::int64_t> KeyboardFocus::process() const
{
    xcb_connection_t* connection = connection_->connection;
    if (!connection || connection_->pid == XCB_ATOM_NONE) {
        return std::nullopt;
    }
    const Owned focus(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    if (!focus) {
        return std::nullopt;
    }
    xcb_window_t window = focus->focus;
    // Toolkits focus the top-level window or a child of it; the process is named on the top level.
    constexpr int depthLimit = 16;
    for (int depth = 0; depth < depthLimit && window != XCB_NONE && window != XCB_INPUT_FOCUS_POINTER_ROOT; ++depth) {
        const Owned property(xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, window, connection_->pid, XCB_ATOM_CARDINAL, 0, 1), nullptr));
        if (!property) {
            return std::nullopt;
        }
        if (property->format == 32 && xcb_get_property_value_length(property.reply) == 4) {
            return static_cast<std::int64_t>(
                *static_cast<const std::uint32_t*>(xcb_get_property_value(property.reply)));
        }
        const Owned tree(xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr));
        if (!tree || tree->parent == tree->root || tree->parent == XCB_NONE) {
            return std::nullopt;
        }
        window = tree->parent;
    }
    return std::nullopt;
}

} // namespace kivo
