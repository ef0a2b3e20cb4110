#include "platform/session/DisplaySession.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace kivo::DisplaySession {

namespace {

// One connection for the life of the process, opened on first use.
Display* display()
{
    static Display* connection = XOpenDisplay(nullptr);
    return connection;
}

bool windowPid(Display* dpy, Window window, Atom pidAtom, pid_t pid)
{
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(dpy, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &items,
                                          &remaining, &data);
    bool match = false;
    if (status == Success && data != nullptr && type == XA_CARDINAL && format == 32 && items == 1) {
        match = static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data)) == pid;
    }
    if (data != nullptr) {
        XFree(data);
    }
    return match;
}

int ignoreErrors(Display*, XErrorEvent*)
{
    return 0;
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
    Display* dpy = display();
    if (dpy == nullptr || pid <= 0) {
        return false;
    }
    // Windows can vanish while we look; their errors mean "not this one".
    XErrorHandler previous = XSetErrorHandler(ignoreErrors);
    const Atom pidAtom = XInternAtom(dpy, "_NET_WM_PID", False);
    // Top-level windows sit under the root, or one level down inside a window manager's frame.
    constexpr int depthLimit = 3;
    constexpr int visitLimit = 4000;
    std::vector<std::pair<Window, int>> pending{{DefaultRootWindow(dpy), 0}};
    int visited = 0;
    bool found = false;
    while (!pending.empty() && !found && visited++ < visitLimit) {
        const auto [window, depth] = pending.back();
        pending.pop_back();
        if (depth > 0 && windowPid(dpy, window, pidAtom, pid)) {
            found = true;
            break;
        }
        if (depth >= depthLimit) {
            continue;
        }
        Window root = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(dpy, window, &root, &parent, &children, &count) != 0 && children != nullptr) {
            for (unsigned int i = 0; i < count; ++i) {
                pending.emplace_back(children[i], depth + 1);
            }
            XFree(children);
        }
    }
    XSync(dpy, False);
    XSetErrorHandler(previous);
    return found;
}

bool keystrokesReach(pid_t pid)
{
    return current() == Kind::x11 || hasXWindow(pid);
}

} // namespace kivo::DisplaySession
