#include "platform/accessibility/AccessibilityInputAccess.h"

#include "platform/accessibility/AccessibilityThread.h"
#include "platform/accessibility/FocusTracker.h"
#include "platform/accessibilitybus/AccessibilityBus.h"
#include "platform/session/DisplaySession.h"
#include "platform/text/TextError.h"
#include "platform/text/Utf16.h"

#include <atspi/atspi.h>
#include <unistd.h>

#include <QMetaObject>
#include <QString>
#include <QThread>

#include <map>
#include <memory>
#include <mutex>

namespace kivo {

namespace {

// Why a call gave no answer, in the words a bug report about AT-SPI would use.
enum class CallError {
    failed,
    noAnswer,
    notOffered,
    none
};

const char* describe(CallError error)
{
    switch (error) {
    case CallError::failed: return "failed";
    case CallError::noAnswer: return "no answer";
    case CallError::notOffered: return "not offered";
    case CallError::none: return "none";
    }
    return "failed";
}

struct ErrorBox {
    GError* error = nullptr;
    ~ErrorBox()
    {
        if (error) {
            g_error_free(error);
        }
    }
    GError** out() { return &error; }
    // The application went away, did not answer in time, or refused the call.
    CallError kind() const { return error ? CallError::noAnswer : CallError::failed; }
};

struct GFreeDeleter {
    void operator()(void* p) const { g_free(p); }
};
using GString_ = std::unique_ptr<gchar, GFreeDeleter>;

struct StateSet {
    AtspiStateSet* set = nullptr;
    explicit StateSet(AtspiAccessible* accessible) : set(atspi_accessible_get_state_set(accessible)) {}
    ~StateSet()
    {
        if (set) {
            g_object_unref(set);
        }
    }
    StateSet(const StateSet&) = delete;
    StateSet& operator=(const StateSet&) = delete;
    bool contains(AtspiStateType state) const { return set && atspi_state_set_contains(set, state); }
    bool empty() const { return !set || atspi_state_set_is_empty(set); }
};

AccessibleElement child(const AccessibleElement& parent, int index)
{
    ErrorBox error;
    return AccessibleElement(atspi_accessible_get_child_at_index(parent.get(), index, error.out()));
}

int childCount(const AccessibleElement& element)
{
    ErrorBox error;
    const gint count = atspi_accessible_get_child_count(element.get(), error.out());
    return error.error ? 0 : count;
}

std::optional<AtspiRole> role(const AccessibleElement& element, CallError* failure = nullptr)
{
    ErrorBox error;
    const AtspiRole value = atspi_accessible_get_role(element.get(), error.out());
    if (error.error) {
        if (failure) {
            *failure = error.kind();
        }
        return std::nullopt;
    }
    return value;
}

bool hasText(const AccessibleElement& element)
{
    AtspiText* text = atspi_accessible_get_text_iface(element.get());
    if (text) {
        g_object_unref(text);
    }
    return text != nullptr;
}

bool hasEditableText(const AccessibleElement& element)
{
    AtspiEditableText* text = atspi_accessible_get_editable_text_iface(element.get());
    if (text) {
        g_object_unref(text);
    }
    return text != nullptr;
}

bool isTextRole(AtspiRole role)
{
    // LibreOffice's document gives the focus to the paragraph holding the caret.
    return role == ATSPI_ROLE_TEXT || role == ATSPI_ROLE_ENTRY || role == ATSPI_ROLE_EDITBAR ||
           role == ATSPI_ROLE_PARAGRAPH;
}

// Our own tree is answered by our main thread, which may be waiting for the caller: asking it
// over the bus can only stall. The process id comes from the bus daemon, not the application.
bool isOwnProcess(const AccessibleElement& application)
{
    ErrorBox error;
    const guint pid = atspi_accessible_get_process_id(application.get(), error.out());
    return !error.error && pid == static_cast<guint>(getpid());
}

// Code points in `text`; UTF-16 units count surrogate pairs twice.
std::int64_t codePoints(const std::u16string& text)
{
    std::int64_t points = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(QChar::isLowSurrogate(text[i]) && i > 0 && QChar::isHighSurrogate(text[i - 1]))) {
            ++points;
        }
    }
    return points;
}

// UTF-16 offset of the toolkit offset `offset` in `text`, counted in code points when not UTF-16.
std::optional<std::int64_t> fromToolkit(const std::u16string& text, std::int64_t offset, bool utf16)
{
    if (offset < 0) {
        return std::nullopt;
    }
    if (utf16) {
        return offset <= static_cast<std::int64_t>(text.size()) ? std::optional(offset) : std::nullopt;
    }
    std::size_t index = 0;
    for (std::int64_t points = 0; points < offset; ++points) {
        if (index >= text.size()) {
            return std::nullopt;
        }
        const bool pair =
            QChar::isHighSurrogate(text[index]) && index + 1 < text.size() && QChar::isLowSurrogate(text[index + 1]);
        index += pair ? 2 : 1;
    }
    return static_cast<std::int64_t>(index);
}

std::optional<std::int64_t> toToolkit(const std::u16string& text, std::int64_t offset, bool utf16)
{
    if (offset < 0 || offset > static_cast<std::int64_t>(text.size())) {
        return std::nullopt;
    }
    if (utf16) {
        return offset;
    }
    const auto end = static_cast<std::size_t>(offset);
    if (end > 0 && end < text.size() && QChar::isHighSurrogate(text[end - 1]) && QChar::isLowSurrogate(text[end])) {
        return std::nullopt;
    }
    std::int64_t points = 0;
    for (std::size_t i = 0; i < end; ++i) {
        if (!QChar::isLowSurrogate(text[i]) || i == 0 || !QChar::isHighSurrogate(text[i - 1])) {
            ++points;
        }
    }
    return points;
}

bool editableState(const StateSet& states)
{
    return states.contains(ATSPI_STATE_EDITABLE) && !states.contains(ATSPI_STATE_READ_ONLY);
}

// Control+V through XTest reaches X clients only: under Wayland a native client is left to the
// accessibility writes, never sent a keystroke that goes nowhere.
bool keystrokeReaches(const AccessibleElement& element)
{
    if (DisplaySession::current() == DisplaySession::Kind::x11) {
        return true;
    }
    const AccessibleElement application(atspi_accessible_get_application(element.get(), nullptr));
    ErrorBox error;
    const guint pid = application ? atspi_accessible_get_process_id(application.get(), error.out()) : 0;
    return !error.error && pid != 0 && DisplaySession::hasXWindow(static_cast<pid_t>(pid));
}

// Per application, the focused element the last search found: an insertion asks for the focus
// several times, the next one most likely into the same input, and a search through a large
// window costs tenths of a second. Bus names are never reused. Accessibility thread only.
std::map<std::string, AccessibleElement>& lastFound()
{
    static auto* const table = new std::map<std::string, AccessibleElement>;
    return *table;
}

} // namespace

class AccessibilityInputAccess::Reader {
public:
    struct Focus {
        std::optional<AccessibleElement> input;
        // Another application has the keyboard but offers no text input that can be read back.
        bool uncheckable = false;
        bool password = false;
    };

    Focus focusedTarget(std::optional<std::int64_t> keyboardProcess);
    std::optional<AccessibleElement> inputTarget(const AccessibleElement& element);
    bool isWebInput(const AccessibleElement& element);
    std::optional<InputSnapshot> snapshot(const AccessibleElement& target);
    InputWriteStatus replaceSelection(const std::u16string& text, const AccessibleElement& target);
    InputWriteStatus replacePlainValue(const std::u16string& value, std::int64_t caret,
                                       const AccessibleElement& target);

    void recordDiagnostic(const std::string& line)
    {
        const std::lock_guard lock(mutex_);
        if (!diagnostics_.empty() && diagnostics_.back() == line) {
            return;
        }
        if (diagnostics_.size() < diagnosticLimit) {
            diagnostics_.push_back(line);
        }
    }
    std::vector<std::string> diagnostics() const
    {
        const std::lock_guard lock(mutex_);
        return diagnostics_;
    }

private:
    std::optional<AccessibleElement> frontmostWindow();
    std::optional<AccessibleElement> focusedDescendant(const AccessibleElement& window);
    // The element still holds the focus, takes text and lies inside `window`.
    bool stillFocusedIn(const AccessibleElement& element, const AccessibleElement& window);
    // Qt and LibreOffice count offsets in UTF-16 units, GTK and the others in code points.
    bool countsUtf16(const AccessibleElement& element);
    // Qt takes an inserted text's length in UTF-16 units, the ATK bridges in bytes.
    bool isQt(const AccessibleElement& element);
    // The character count next to the text itself settles the unit, where the text has a
    // character outside the Basic Multilingual Plane.
    void learnUnit(const AccessibleElement& element, const std::u16string& text, std::int64_t count);
    std::optional<std::u16string> value(const AccessibleElement& element);
    std::optional<TextRange> selection(const AccessibleElement& element, const std::u16string& text);
    bool isComboBox(const AccessibleElement& element);
    void recordError(const char* what, CallError error)
    {
        recordDiagnostic(std::string(what) + ": " + describe(error));
    }

    mutable std::mutex mutex_;
    std::vector<std::string> diagnostics_;
    std::map<std::string, bool> utf16Applications_;
    std::map<std::string, bool> qtApplications_;
    bool keystrokeNoted_ = false;
};

std::optional<AccessibleElement> AccessibilityInputAccess::Reader::frontmostWindow()
{
    const AccessibleElement desktop(atspi_get_desktop(0));
    if (!desktop) {
        return std::nullopt;
    }
    // Without a window manager to settle it, two applications can both still call a window
    // active for a moment; guessing then could write into the wrong one, so that is no target.
    std::optional<AccessibleElement> found;
    const int applications = childCount(desktop);
    for (int a = 0; a < applications; ++a) {
        const AccessibleElement application = child(desktop, a);
        if (!application || isOwnProcess(application)) {
            continue;
        }
        const int windows = childCount(application);
        for (int w = 0; w < windows; ++w) {
            AccessibleElement window = child(application, w);
            if (window && StateSet(window.get()).contains(ATSPI_STATE_ACTIVE)) {
                if (found) {
                    recordDiagnostic("frontmost=ambiguous");
                    return std::nullopt;
                }
                found = std::move(window);
                break;
            }
        }
    }
    return found;
}

std::optional<AccessibleElement> AccessibilityInputAccess::Reader::focusedDescendant(const AccessibleElement& window)
{
    // Depth first through what is visible; SHOWING is not asked for, since GTK 4 gives it to
    // the window frame alone. Containers above a document may be FOCUSED too (KWrite's page
    // tab and fillers, LibreOffice's document panel), so the search goes on below and past
    // them: the first focused element that takes typing wins, else the deepest focused one.
    // Views that manage their own descendants are entered through their first children only:
    // all of them when the view holds the focus, else just a focused one.
    constexpr int visitLimit = 5000;
    constexpr int managedChildLimit = 500;
    constexpr int managedPeekLimit = 64;
    std::vector<std::pair<AccessibleElement, int>> pending{{window, 0}};
    std::optional<AccessibleElement> deepest;
    int deepestDepth = -1;
    int visited = 0;
    while (!pending.empty() && visited++ < visitLimit) {
        auto [element, depth] = std::move(pending.back());
        pending.pop_back();
        const StateSet states(element.get());
        const bool focused = states.contains(ATSPI_STATE_FOCUSED);
        const bool managing = states.contains(ATSPI_STATE_MANAGES_DESCENDANTS);
        if (focused) {
            if (editableState(states) || inputTarget(element) || role(element) == ATSPI_ROLE_PASSWORD_TEXT) {
                return element;
            }
            if (depth > deepestDepth) {
                deepest = element;
                deepestDepth = depth;
            }
        } else if (managing) {
            // Only a focused child is of interest there (LibreOffice's paragraph with the caret).
            const int children = std::min(childCount(element), managedPeekLimit);
            for (int i = children - 1; i >= 0; --i) {
                AccessibleElement next = child(element, i);
                if (next && StateSet(next.get()).contains(ATSPI_STATE_FOCUSED)) {
                    pending.emplace_back(std::move(next), depth + 1);
                }
            }
            continue;
        } else if (element != window && !states.empty() && !states.contains(ATSPI_STATE_VISIBLE) &&
                   !states.contains(ATSPI_STATE_SHOWING)) {
            continue;
        }
        int children = childCount(element);
        if (managing) {
            children = std::min(children, managedChildLimit);
        }
        for (int i = children - 1; i >= 0; --i) {
            if (AccessibleElement next = child(element, i)) {
                pending.emplace_back(std::move(next), depth + 1);
            }
        }
    }
    return deepest;
}

AccessibilityInputAccess::Reader::Focus
AccessibilityInputAccess::Reader::focusedTarget(std::optional<std::int64_t> keyboardProcess)
{
    const auto self = static_cast<std::int64_t>(getpid());
    const bool otherKeyboardOwner = keyboardProcess && *keyboardProcess != self;
    const std::optional<AccessibleElement> window = frontmostWindow();
    if (!window) {
        // A window of another process has the keyboard, yet nothing on the bus is active: an
        // application without accessibility, such as a terminal.
        if (otherKeyboardOwner) {
            recordDiagnostic("keyboard=pid " + std::to_string(*keyboardProcess) + " frontmost=none");
        }
        return {std::nullopt, otherKeyboardOwner};
    }
    const AccessibleElement application(atspi_accessible_get_application(window->get(), nullptr));
    if (!application) {
        return {};
    }
    ErrorBox pidError;
    const guint pid = atspi_accessible_get_process_id(application.get(), pidError.out());
    ErrorBox nameError;
    const GString_ name(atspi_accessible_get_name(application.get(), nameError.out()));
    const std::string identifier = name && *name ? name.get() : "unknown";
    if ((!pidError.error && pid == static_cast<guint>(self)) || identifier == ownIdentifier) {
        return {};
    }
    recordDiagnostic("target=" + identifier + " pid=" + std::to_string(pidError.error ? -1 : static_cast<long>(pid)));
    // A keystroke lands where the keyboard is; a bus that still calls another window active
    // is out of date, and that window is no target.
    if (keyboardProcess && !pidError.error && *keyboardProcess != static_cast<std::int64_t>(pid)) {
        recordDiagnostic("keyboard=pid " + std::to_string(*keyboardProcess));
        return {std::nullopt, otherKeyboardOwner};
    }
    // No cache mask is set on purpose: it switches on libatspi's caching for the whole
    // process, and without it every read asks the application afresh.
    // The element the focus events last named, if it still holds the focus and takes text;
    // otherwise a search of the window.
    std::optional<AccessibleElement> focused = FocusTracker::lastFocused(window->busName());
    if (focused && StateSet(focused->get()).contains(ATSPI_STATE_FOCUSED) && inputTarget(*focused)) {
        recordDiagnostic("focus=from events");
    } else if (const auto known = lastFound().find(window->busName());
               known != lastFound().end() && stillFocusedIn(known->second, *window)) {
        focused = known->second;
        recordDiagnostic("focus=as last found");
    } else {
        lastFound().erase(window->busName());
        focused = focusedDescendant(*window);
    }
    if (!focused) {
        recordError("focused element", CallError::none);
        return {};
    }
    std::optional<AccessibleElement> input = inputTarget(*focused);
    if (input) {
        auto& found = lastFound();
        if (found.size() >= lastFoundLimit && !found.contains(window->busName())) {
            found.clear();
        }
        found.insert_or_assign(window->busName(), *focused);
        return {std::move(input), false};
    }
    // Something the user can type into, such as an editable web region, but not a text input
    // whose content can be checked before and after a write.
    const StateSet states(focused->get());
    if (role(*focused) == ATSPI_ROLE_PASSWORD_TEXT) {
        recordDiagnostic("focused=password text");
        return {std::nullopt, false, true};
    }
    const bool typable = editableState(states);
    if (typable) {
        recordDiagnostic("focused=editable, no text input");
    }
    return {std::nullopt, typable};
}

bool AccessibilityInputAccess::Reader::stillFocusedIn(const AccessibleElement& element, const AccessibleElement& window)
{
    if (!StateSet(element.get()).contains(ATSPI_STATE_FOCUSED) || !inputTarget(element)) {
        return false;
    }
    // A focused element of another window of the same application is no target.
    AccessibleElement current = element;
    for (int seen = 0; seen < ancestorLimit && current; ++seen) {
        if (current == window) {
            return true;
        }
        ErrorBox error;
        current = AccessibleElement(atspi_accessible_get_parent(current.get(), error.out()));
        if (error.error) {
            return false;
        }
    }
    return false;
}

std::optional<AccessibleElement> AccessibilityInputAccess::Reader::inputTarget(const AccessibleElement& element)
{
    CallError failure = CallError::failed;
    const std::optional<AtspiRole> elementRole = role(element, &failure);
    if (!elementRole) {
        recordError("role", failure);
        return std::nullopt;
    }
    if (*elementRole == ATSPI_ROLE_PASSWORD_TEXT) {
        return std::nullopt;
    }
    AccessibleElement input = element;
    if (*elementRole == ATSPI_ROLE_COMBO_BOX && !hasText(element)) {
        // An editable combo box keeps its text in an entry inside it.
        input = AccessibleElement();
        const int children = childCount(element);
        for (int i = 0; i < children && !input; ++i) {
            AccessibleElement candidate = child(element, i);
            if (candidate && hasEditableText(candidate)) {
                input = std::move(candidate);
            }
        }
        if (!input) {
            return std::nullopt;
        }
    } else if (!isTextRole(*elementRole) && *elementRole != ATSPI_ROLE_COMBO_BOX) {
        return std::nullopt;
    }
    if (!hasText(input)) {
        recordError("text", CallError::notOffered);
        return std::nullopt;
    }
    // Only a state set that says so makes a field disabled; an unreadable one counts as enabled.
    const StateSet states(input.get());
    if (!states.empty() && !states.contains(ATSPI_STATE_ENABLED) && !states.contains(ATSPI_STATE_SENSITIVE)) {
        return std::nullopt;
    }
    return input;
}

bool AccessibilityInputAccess::Reader::isQt(const AccessibleElement& element)
{
    if (const auto known = qtApplications_.find(element.busName()); known != qtApplications_.end()) {
        return known->second;
    }
    // The toolkit is a property of the application object, not of its elements.
    const AccessibleElement application(atspi_accessible_get_application(element.get(), nullptr));
    ErrorBox error;
    const GString_ toolkit(application ? atspi_accessible_get_toolkit_name(application.get(), error.out()) : nullptr);
    const bool qt = toolkit && QString::fromUtf8(toolkit.get()).compare(u"Qt", Qt::CaseInsensitive) == 0;
    qtApplications_[element.busName()] = qt;
    return qt;
}

bool AccessibilityInputAccess::Reader::countsUtf16(const AccessibleElement& element)
{
    if (const auto known = utf16Applications_.find(element.busName()); known != utf16Applications_.end()) {
        return known->second;
    }
    return isQt(element);
}

void AccessibilityInputAccess::Reader::learnUnit(const AccessibleElement& element, const std::u16string& text,
                                                 std::int64_t count)
{
    const auto units = static_cast<std::int64_t>(text.size());
    const std::int64_t points = codePoints(text);
    if (units == points) {
        return;
    }
    if (count == units) {
        utf16Applications_[element.busName()] = true;
    } else if (count == points) {
        utf16Applications_[element.busName()] = false;
    }
}

std::optional<std::u16string> AccessibilityInputAccess::Reader::value(const AccessibleElement& element)
{
    AtspiText* text = atspi_accessible_get_text_iface(element.get());
    if (!text) {
        recordError("text", CallError::notOffered);
        return std::nullopt;
    }
    ErrorBox countError;
    const gint count = atspi_text_get_character_count(text, countError.out());
    ErrorBox textError;
    const GString_ utf8(countError.error ? nullptr : atspi_text_get_text(text, 0, count, textError.out()));
    g_object_unref(text);
    if (countError.error || textError.error || !utf8) {
        recordError("text", countError.error ? countError.kind() : textError.kind());
        return std::nullopt;
    }
    const std::string_view bytes(utf8.get());
    if (bytes.size() > valueLimit) {
        return std::nullopt;
    }
    try {
        std::u16string result = Utf16::fromUtf8(bytes);
        learnUnit(element, result, count);
        return result;
    } catch (const TextError&) {
        recordError("text", CallError::failed);
        return std::nullopt;
    }
}

std::optional<TextRange> AccessibilityInputAccess::Reader::selection(const AccessibleElement& element,
                                                                     const std::u16string& value)
{
    AtspiText* text = atspi_accessible_get_text_iface(element.get());
    if (!text) {
        return std::nullopt;
    }
    std::int64_t start = 0;
    std::int64_t end = 0;
    ErrorBox countError;
    const gint selections = atspi_text_get_n_selections(text, countError.out());
    ErrorBox rangeError;
    if (!countError.error && selections > 0) {
        AtspiRange* range = atspi_text_get_selection(text, 0, rangeError.out());
        if (range) {
            start = std::min(range->start_offset, range->end_offset);
            end = std::max(range->start_offset, range->end_offset);
            g_free(range);
        }
    } else if (!countError.error) {
        start = end = atspi_text_get_caret_offset(text, rangeError.out());
    }
    g_object_unref(text);
    if (countError.error || rangeError.error) {
        recordError("selection", countError.error ? countError.kind() : rangeError.kind());
        return std::nullopt;
    }
    const bool utf16 = countsUtf16(element);
    const auto location = fromToolkit(value, start, utf16);
    const auto stop = fromToolkit(value, end, utf16);
    if (!location || !stop) {
        return std::nullopt;
    }
    return TextRange{*location, *stop - *location};
}

bool AccessibilityInputAccess::Reader::isComboBox(const AccessibleElement& element)
{
    if (role(element) == ATSPI_ROLE_COMBO_BOX) {
        return true;
    }
    const AccessibleElement parent(atspi_accessible_get_parent(element.get(), nullptr));
    return parent && role(parent) == ATSPI_ROLE_COMBO_BOX;
}

bool AccessibilityInputAccess::Reader::isWebInput(const AccessibleElement& element)
{
    AccessibleElement current = element;
    for (int seen = 0; seen < webAncestorLimit && current; ++seen) {
        if (role(current) == ATSPI_ROLE_DOCUMENT_WEB) {
            return true;
        }
        ErrorBox error;
        current = AccessibleElement(atspi_accessible_get_parent(current.get(), error.out()));
        if (error.error) {
            recordError("parent", error.kind());
            return false;
        }
    }
    return false;
}

std::optional<InputSnapshot> AccessibilityInputAccess::Reader::snapshot(const AccessibleElement& target)
{
    std::optional<std::u16string> text = value(target);
    if (!text) {
        return std::nullopt;
    }
    const std::optional<TextRange> range = selection(target, *text);
    if (!range) {
        return std::nullopt;
    }
    const StateSet states(target.get());
    // A paste needs only an editable input whose text can be read back (web inputs offer no
    // editable-text interface); the direct routes need that interface too.
    const bool canPaste = editableState(states);
    const bool canWrite = canPaste && hasEditableText(target);
    const bool comboBox = isComboBox(target);
    // A document paragraph (LibreOffice) takes the direct write: a paste there goes through the
    // office's own clipboard handling, which keeps the clipboard and moves the focus about.
    const bool area = !comboBox && states.contains(ATSPI_STATE_MULTI_LINE) && role(target) != ATSPI_ROLE_PARAGRAPH;
    InputSnapshot snapshot;
    snapshot.text = std::move(*text);
    snapshot.selection = *range;
    snapshot.canReplaceSelection = canWrite;
    snapshot.canReplacePlainValue = canWrite && !comboBox && !area;
    snapshot.canPaste = canPaste && keystrokeReaches(target);
    // Said once: why a native Wayland client is left to the accessibility writes alone.
    if (canPaste && !snapshot.canPaste && !keystrokeNoted_) {
        keystrokeNoted_ = true;
        recordDiagnostic("keystroke=none: no X window, a native Wayland client");
    }
    // Under Wayland the keystroke reaches XWayland clients only and the clipboard crosses the
    // compositor's bridge: text areas take the accessibility write, read back like any other.
    snapshot.prefersPaste = (area && DisplaySession::current() == DisplaySession::Kind::x11) || isWebInput(target);
    return snapshot;
}

InputWriteStatus AccessibilityInputAccess::Reader::replaceSelection(const std::u16string& text,
                                                                    const AccessibleElement& target)
{
    const std::optional<std::u16string> current = value(target);
    bool utf16 = countsUtf16(target);
    std::optional<std::int64_t> start;
    std::optional<std::int64_t> end;
    if (current) {
        if (const std::optional<TextRange> range = selection(target, *current)) {
            start = toToolkit(*current, range->location, utf16);
            end = toToolkit(*current, range->end(), utf16);
        }
    }
    AtspiEditableText* editable = atspi_accessible_get_editable_text_iface(target.get());
    if (!start || !end || !editable) {
        recordError("selection write", editable ? CallError::none : CallError::notOffered);
        if (editable) {
            g_object_unref(editable);
        }
        return InputWriteStatus::failed;
    }
    const std::string utf8 = Utf16::toUtf8(text);
    const auto length = static_cast<gint>(isQt(target) ? text.size() : utf8.size());
    ErrorBox error;
    bool done = true;
    if (*end > *start) {
        done = atspi_editable_text_delete_text(editable, static_cast<gint>(*start), static_cast<gint>(*end),
                                               error.out()) &&
               !error.error;
    }
    if (done) {
        done =
            atspi_editable_text_insert_text(editable, static_cast<gint>(*start), utf8.c_str(), length, error.out()) &&
            !error.error;
    }
    g_object_unref(editable);
    recordDiagnostic(std::string("selection write=") + (done ? "done" : describe(error.kind())));
    if (!done) {
        return InputWriteStatus::failed;
    }
    // Toolkits leave the caret in different places; after the inserted text is where typing would.
    // The text as it is now may settle the offset unit the text before the write could not.
    if (value(target)) {
        utf16 = countsUtf16(target);
    }
    if (AtspiText* caretText = atspi_accessible_get_text_iface(target.get())) {
        const auto caret =
            static_cast<gint>(*start + (utf16 ? static_cast<std::int64_t>(text.size())
                                              : *toToolkit(text, static_cast<std::int64_t>(text.size()), false)));
        atspi_text_set_caret_offset(caretText, caret, nullptr);
        g_object_unref(caretText);
    }
    return InputWriteStatus::accepted;
}

InputWriteStatus AccessibilityInputAccess::Reader::replacePlainValue(const std::u16string& value, std::int64_t caret,
                                                                     const AccessibleElement& target)
{
    AtspiEditableText* editable = atspi_accessible_get_editable_text_iface(target.get());
    if (!editable) {
        return InputWriteStatus::failed;
    }
    ErrorBox error;
    const bool set =
        atspi_editable_text_set_text_contents(editable, Utf16::toUtf8(value).c_str(), error.out()) && !error.error;
    g_object_unref(editable);
    if (!set) {
        return InputWriteStatus::failed;
    }
    const std::optional<std::int64_t> offset = toToolkit(value, caret, countsUtf16(target));
    AtspiText* text = atspi_accessible_get_text_iface(target.get());
    if (!offset || !text) {
        if (text) {
            g_object_unref(text);
        }
        return InputWriteStatus::failed;
    }
    ErrorBox caretError;
    const bool placed =
        atspi_text_set_caret_offset(text, static_cast<gint>(*offset), caretError.out()) && !caretError.error;
    g_object_unref(text);
    return placed ? InputWriteStatus::accepted : InputWriteStatus::failed;
}

AccessibilityInputAccess::AccessibilityInputAccess() : reader_(std::make_shared<Reader>()) {}

template <class Work>
auto AccessibilityInputAccess::withClipboard(Work work) -> decltype(work())
{
    if (QThread::currentThread() == clipboard_.thread()) {
        return work();
    }
    decltype(work()) result{};
    QMetaObject::invokeMethod(
        &clipboard_, [&result, &work] { result = work(); }, Qt::BlockingQueuedConnection);
    return result;
}

AccessibilityInputAccess::~AccessibilityInputAccess()
{
    // However the delivery ends, the user's clipboard does not stay borrowed.
    if (clipboard_.active()) {
        clipboard_.finish();
    }
}

bool AccessibilityInputAccess::isTrusted()
{
    return AccessibilityBus::isEnabled();
}

void AccessibilityInputAccess::recordDiagnostic(const std::string& line)
{
    reader_->recordDiagnostic(line);
}

std::vector<std::string> AccessibilityInputAccess::diagnostics() const
{
    return reader_->diagnostics();
}

std::optional<AccessibleElement> AccessibilityInputAccess::focusedTarget()
{
    const std::shared_ptr<Reader> reader = reader_;
    const std::optional<std::int64_t> keyboard = keyboardFocus_.process();
    // A search through a large window (LibreOffice's toolbars come before its document) may
    // take longer than one call; it holds no main thread, which answers nothing here.
    auto focus = AccessibilityThread::call([reader, keyboard] { return reader->focusedTarget(keyboard); }, searchLimit);
    if (!focus) {
        recordDiagnostic("timeout=focusedTarget");
        uncheckable_ = false;
        password_ = false;
        return std::nullopt;
    }
    uncheckable_ = focus->uncheckable;
    password_ = focus->password;
    return std::move(focus->input);
}

std::optional<AccessibleElement> AccessibilityInputAccess::inputTarget(const AccessibleElement& element)
{
    const std::shared_ptr<Reader> reader = reader_;
    auto input = AccessibilityThread::call([reader, element] { return reader->inputTarget(element); });
    return input ? std::move(*input) : std::nullopt;
}

bool AccessibilityInputAccess::isWebInput(const AccessibleElement& element)
{
    const std::shared_ptr<Reader> reader = reader_;
    return AccessibilityThread::call([reader, element] { return reader->isWebInput(element); }).value_or(false);
}

std::optional<InputSnapshot> AccessibilityInputAccess::snapshot(const AccessibleElement& target)
{
    // After the keystroke a toolkit may fetch the clipboard from us synchronously and cannot
    // answer until our event loop has served it: asking before then only waits out the timeout.
    if (pastePosted_ && withClipboard([this] { return clipboard_.active() && !clipboard_.served(); })) {
        return std::nullopt;
    }
    const std::shared_ptr<Reader> reader = reader_;
    auto snapshot = AccessibilityThread::call([reader, target] { return reader->snapshot(target); });
    if (!snapshot) {
        recordDiagnostic("timeout=snapshot");
        return std::nullopt;
    }
    return std::move(*snapshot);
}

InputWriteStatus AccessibilityInputAccess::replaceSelection(const std::u16string& text, const AccessibleElement& target)
{
    const std::shared_ptr<Reader> reader = reader_;
    const auto status =
        AccessibilityThread::call([reader, text, target] { return reader->replaceSelection(text, target); });
    if (!status) {
        recordDiagnostic("timeout=replaceSelection");
    }
    return status.value_or(InputWriteStatus::failed);
}

InputWriteStatus AccessibilityInputAccess::replacePlainValue(const std::u16string& value, std::int64_t caret,
                                                             const AccessibleElement& target)
{
    const std::shared_ptr<Reader> reader = reader_;
    const auto status = AccessibilityThread::call(
        [reader, value, caret, target] { return reader->replacePlainValue(value, caret, target); });
    if (!status) {
        recordDiagnostic("timeout=replacePlainValue");
    }
    return status.value_or(InputWriteStatus::failed);
}

bool AccessibilityInputAccess::stillMatches(const AccessibleElement& target, const InputSnapshot& original)
{
    return focusedTarget() == target && snapshot(target) == original && focusedTarget() == target;
}

InputWriteStatus AccessibilityInputAccess::pasteOnce(const std::u16string& text, const AccessibleElement& target,
                                                     const InputSnapshot& original)
{
    recordDiagnostic(std::string("postAccess=") + (keyboard_.canPost() ? "true" : "false"));
    if (keyboard_.modifiersHeld().value_or(false)) {
        return InputWriteStatus::changed;
    }
    if (!keyboard_.canPostPaste()) {
        return InputWriteStatus::unsupported;
    }
    if (!isTrusted() || !stillMatches(target, original)) {
        return InputWriteStatus::changed;
    }
    const QString staged = QString::fromStdU16String(text);
    if (!withClipboard([this, &staged] { return clipboard_.stage(staged); })) {
        return InputWriteStatus::unsupported;
    }
    if (stillMatches(target, original) && withClipboard([this] { return clipboard_.isCurrent(); }) &&
        !keyboard_.modifiersHeld().value_or(true)) {
        if (keyboard_.postPaste()) {
            pastePosted_ = true;
            return InputWriteStatus::accepted;
        }
        withClipboard([this] { return clipboard_.finish(); });
        return InputWriteStatus::unsupported;
    }
    withClipboard([this] { return clipboard_.finish(); });
    return InputWriteStatus::changed;
}

void AccessibilityInputAccess::finishPaste(bool confirmed)
{
    // The user's clipboard comes back whatever the outcome: an unconfirmed paste must not cost
    // them what they had copied. A change by someone else since the paste is still kept.
    (void)confirmed;
    pastePosted_ = false;
    const int restored = withClipboard([this] { return clipboard_.active() ? (clipboard_.finish() ? 1 : 0) : -1; });
    if (restored >= 0) {
        recordDiagnostic(restored ? "clipboard=restored" : "clipboard=left to its new owner");
    }
}

} // namespace kivo
