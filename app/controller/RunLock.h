#pragma once

#include <string>

namespace kivo::RunLock {

// One model run per user at a time, across every app instance: an exclusive advisory lock on
// a per-user file that is never deleted.
// unsafe: the path is a link, or a file not owned by this user or readable by others.
enum class Outcome {
    locked,
    cannotOpen,
    held,
    unsafe
};

struct Attempt {
    Outcome outcome;
    int descriptor = -1; // open and locked only when outcome is locked
};

// "/tmp/kivo-afm-" + numeric user id + ".lock"
std::string defaultPath();

// Opens (creating with mode 0600, never through a link), checks the file is this user's with
// mode 0600, and locks without waiting.
Attempt acquire(const std::string& path);

// Unlocks and closes a descriptor from acquire, then sets it to -1; nothing when it is -1.
void release(int& descriptor);

} // namespace kivo::RunLock
