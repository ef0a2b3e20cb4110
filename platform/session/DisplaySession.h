#pragma once

#include <sys/types.h>

namespace kivo {

// Which kind of desktop session this process runs in, and what synthetic keys can reach
// there. Any thread.
namespace DisplaySession {

enum class Kind {
    x11,
    wayland
};
const char* rawValue(Kind kind); // "x11", "wayland"

// Wayland when the session says so (XDG_SESSION_TYPE) or a compositor is announced
// (WAYLAND_DISPLAY); X11 otherwise. Kivo itself may still run on XWayland there.
Kind current();

// Whether a key posted through XTest on our X display reaches the process `pid`. On X11 every
// application is an X client; under Wayland only XWayland clients are: the compositor keeps
// X input away from native clients. True when the process has a window on our X server.
bool keystrokesReach(pid_t pid);

// Whether the process `pid` has a top-level window on our X server (_NET_WM_PID).
bool hasXWindow(pid_t pid);

} // namespace DisplaySession

} // namespace kivo
