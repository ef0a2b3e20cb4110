#include "platform/accessibility/FocusTracker.h"

#include "platform/accessibility/AccessibilityThread.h"

#include <atspi/atspi.h>

#include <map>
#include <string>

namespace kivo::FocusTracker {

namespace {

// Applications come and go; a bounded table is emptied rather than grown without end.
constexpr std::size_t applicationLimit = 128;

// Used on the accessibility thread only.
std::map<std::string, AccessibleElement>& focusedByApplication()
{
    static auto* const table = new std::map<std::string, AccessibleElement>;
    return *table;
}

void focusChanged(const AtspiEvent* event)
{
    if (!event || !event->source) {
        return;
    }
    AccessibleElement element(static_cast<AtspiAccessible*>(g_object_ref(event->source)));
    auto& table = focusedByApplication();
    if (event->detail1 != 0) {
        // The key is taken before the element is moved into the table.
        std::string application = element.busName();
        if (table.size() >= applicationLimit && !table.contains(application)) {
            table.clear();
        }
        table.insert_or_assign(std::move(application), std::move(element));
        return;
    }
    if (const auto known = table.find(element.busName()); known != table.end() && known->second == element) {
        table.erase(known);
    }
}

} // namespace

void start()
{
    AccessibilityThread::post([] {
        static bool started = false;
        if (started) {
            return;
        }
        started = true;
        // Kept for the life of the process, like the thread that serves it.
        AtspiEventListener* listener = atspi_event_listener_new_simple(focusChanged, nullptr);
        atspi_event_listener_register(listener, "object:state-changed:focused", nullptr);
    });
}

std::optional<AccessibleElement> lastFocused(const std::string& busName)
{
    const auto& table = focusedByApplication();
    if (const auto known = table.find(busName); known != table.end()) {
        return known->second;
    }
    return std::nullopt;
}

} // namespace kivo::FocusTracker
