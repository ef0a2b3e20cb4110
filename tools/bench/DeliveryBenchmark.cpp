// Times whole verified insertions into kivo-target-app (and the GTK target when GTK is there)
// by each route: from the start of the insertion to its confirmed read-back ("text area" is
// whatever route the writer picks for a multi-line input). Run it inside
// scripts/test-session.sh:  scripts/test-session.sh build/default/tools/bench/delivery_benchmark [runs]
#include "app/delivery/FocusedInputWriter.h"
#include "platform/accessibility/AccessibilityInputAccess.h"
#include "platform/accessibilitybus/AccessibilityBus.h"
#include "tools/targetapp/TargetAppClient.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

namespace {

using namespace kivo;

bool waitUntil(const std::function<bool()>& condition, int limitMs = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > limitMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return true;
}

// Hides the selection write so that the writer takes the whole-value route.
class WholeValueOnly : public FocusedInputAccess<AccessibleElement> {
public:
    bool isTrusted() override { return inner.isTrusted(); }
    std::optional<AccessibleElement> focusedTarget() override { return inner.focusedTarget(); }
    std::optional<InputSnapshot> snapshot(const AccessibleElement& target) override
    {
        auto snapshot = inner.snapshot(target);
        if (snapshot) {
            snapshot->canReplaceSelection = false;
        }
        return snapshot;
    }
    InputWriteStatus replaceSelection(const std::u16string& text, const AccessibleElement& target) override
    {
        return inner.replaceSelection(text, target);
    }
    InputWriteStatus replacePlainValue(const std::u16string& value, std::int64_t caret,
                                       const AccessibleElement& target) override
    {
        return inner.replacePlainValue(value, caret, target);
    }
    InputWriteStatus pasteOnce(const std::u16string& text, const AccessibleElement& target,
                               const InputSnapshot& original) override
    {
        return inner.pasteOnce(text, target, original);
    }
    void finishPaste(bool confirmed) override { inner.finishPaste(confirmed); }

    AccessibilityInputAccess inner;
};

// Leaves the writer nothing but the paste (where a keystroke can reach the target at all).
class PasteOnly : public WholeValueOnly {
public:
    std::optional<InputSnapshot> snapshot(const AccessibleElement& target) override
    {
        auto snapshot = inner.snapshot(target);
        if (snapshot) {
            snapshot->canReplaceSelection = false;
            snapshot->canReplacePlainValue = false;
            snapshot->prefersPaste = true;
        }
        return snapshot;
    }
    InputWriteStatus pasteOnce(const std::u16string& text, const AccessibleElement& target,
                               const InputSnapshot&) override
    {
        // The access compares against its own view of the input, not the one edited above.
        const auto original = inner.snapshot(target);
        return original ? inner.pasteOnce(text, target, *original) : InputWriteStatus::changed;
    }
};

template <class Access>
std::optional<double> timeOne(Access& access, const std::u16string& text)
{
    std::optional<InputDelivery> outcome;
    QElapsedTimer clock;
    clock.start();
    auto insertion = FocusedInputWriter::insert(text, access, [&](InputDelivery d) { outcome = d; });
    waitUntil([&] { return outcome.has_value(); });
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    if (outcome != InputDelivery::inserted) {
        return std::nullopt;
    }
    return ms;
}

void report(const char* toolkit, const char* route, std::vector<double> times, int failures)
{
    if (times.empty()) {
        std::printf("%-4s %-12s no confirmed insertion (%d failed)\n", toolkit, route, failures);
        return;
    }
    std::sort(times.begin(), times.end());
    const auto at = [&](double q) { return times[static_cast<std::size_t>(q * static_cast<double>(times.size() - 1))]; };
    std::printf("%-4s %-12s runs %3zu  min %7.2f ms  median %7.2f ms  p90 %7.2f ms  max %7.2f ms  failed %d\n",
                toolkit, route, times.size(), times.front(), at(0.5), at(0.9), times.back(), failures);
}

template <class Access>
void measure(const char* toolkit, const char* route, TargetAppClient& target, const QString& field, int runs)
{
    if (!target.focus(field)) {
        std::printf("%-4s %-12s the field did not take the focus\n", toolkit, route);
        return;
    }
    waitUntil([&] { return AccessibilityInputAccess().focusedTarget().has_value(); });
    std::vector<double> times;
    int failures = 0;
    for (int i = 0; i < runs; ++i) {
        target.set(field, QStringLiteral("今日天氣 fine"), 2, 4);
        Access access;
        if (const auto ms = timeOne(access, u"好熱🙂 hot")) {
            times.push_back(*ms);
        } else {
            ++failures;
        }
    }
    report(toolkit, route, std::move(times), failures);
}

void measureTarget(const char* toolkit, const QString& program, const QStringList& arguments, int runs)
{
    TargetAppClient target(program, arguments);
    if (!target.ready()) {
        std::printf("%-4s target did not start\n", toolkit);
        return;
    }
    measure<AccessibilityInputAccess>(toolkit, "selection", target, QStringLiteral("line"), runs);
    measure<WholeValueOnly>(toolkit, "whole value", target, QStringLiteral("line"), runs);
    measure<AccessibilityInputAccess>(toolkit, "text area", target, QStringLiteral("multi"), runs);
    measure<PasteOnly>(toolkit, "paste", target, QStringLiteral("multi"), runs);
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    AccessibilityBus::setEnabled(true);
    QApplication app(argc, argv);
    measureTarget("Qt", QStringLiteral(KIVO_TARGET_APP), {}, runs);
    if (QProcess::execute(QStringLiteral("/usr/bin/python3"),
                          {QStringLiteral("-c"), QStringLiteral("import gi; gi.require_version('Gtk', '3.0')")}) == 0) {
        measureTarget("GTK", QStringLiteral("/usr/bin/python3"), {QStringLiteral(KIVO_GTK_TARGET)}, runs);
    }
    return 0;
}
