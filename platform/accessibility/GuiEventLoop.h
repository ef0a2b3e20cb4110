#pragma once

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

namespace kivo::GuiEventLoop {

// libatspi attaches each connection it opens to an application to GLib's default context. A GUI
// thread on GLib's event loop would read those connections too: calls of the accessibility thread
// then wait out their whole limit for replies the GUI thread took (seconds for one search), and
// libatspi's caches change under two threads at once. So the GUI thread gets Qt's own event
// loop. The setting is undone once the application exists: programs we start keep their own.
template <typename Application>
std::unique_ptr<Application> create(int& argc, char** argv)
{
    constexpr const char* variable = "QT_NO_GLIB";
    const char* before = std::getenv(variable);
    const std::optional<std::string> kept = before ? std::optional<std::string>(before) : std::nullopt;
    ::setenv(variable, "1", 1);
    auto application = std::make_unique<Application>(argc, argv);
    if (kept) {
        ::setenv(variable, kept->c_str(), 1);
    } else {
        ::unsetenv(variable);
    }
    return application;
}

} // namespace kivo::GuiEventLoop
