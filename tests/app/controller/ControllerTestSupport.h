#pragma once

#include <QString>

#include <ostream>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

namespace kivo::test {

// The widgets need an application object; one is made on first use and kept for the run.
void ensureApplication();

// Runs the event loop until `condition` holds or `limit` passes; returns the condition.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::milliseconds(10000));
// Runs the event loop for a while (to let queued calls arrive).
void spin(std::chrono::milliseconds duration);

// A bundle's Resources/ folder in a temporary place: the instruction files of the source tree
// and a rewrite-runner, which is either a shell script or a link to a real program.
class TestBundle {
public:
    TestBundle();
    ~TestBundle();
    TestBundle(const TestBundle&) = delete;
    TestBundle& operator=(const TestBundle&) = delete;

    void setRunnerScript(const std::string& body); // "#!/bin/sh" is prepended
    void linkRunner(const std::filesystem::path& program);

    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path resources() const { return root_ / "Resources"; }
    std::filesystem::path lockPath() const { return root_ / "run.lock"; }

private:
    std::filesystem::path root_;
};

} // namespace kivo::test

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
