#pragma once

#include <chrono>

namespace kivo {

// How far the answer has come, for the app's status line while it waits: lines of
// "WRITTEN EXPECTED" on a descriptor the app reads during the run. Without a descriptor it does
// nothing; a reader that has gone away costs the run nothing.
class ProgressReport {
public:
    explicit ProgressReport(int descriptor = -1) : descriptor_(descriptor) {}

    // The answer's expected length in tokens; reported at once as "0 EXPECTED".
    void expect(int tokens);
    // Tokens written so far; reported at most every 100 ms, which is plenty for a status line.
    void written(int tokens);

private:
    void send(int written);

    int descriptor_;
    int expected_ = 0;
    std::chrono::steady_clock::time_point lastSent_{};
};

} // namespace kivo
