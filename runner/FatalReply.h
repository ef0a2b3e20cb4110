#pragma once

#include "protocol/RewriteReply.h"

#include <chrono>

namespace kivo {

// The reply of last resort: when the model runtime's own checks fail it would abort the
// process, leaving the app a crash and no reply. Instead the reply built so far is finished as
// an error (a model that fails while loading is reported unavailable) and the process exits 0.
namespace FatalReply {

enum class Phase {
    loading, // opening the model: a failure means the file is unusable
    running, // counting tokens and generating
};

// Watches reply until release(); reply must outlive the watch.
void watch(const RewriteReply& reply, std::chrono::system_clock::time_point started);
void enter(Phase phase);
void release();

// The reply written for the runtime's message (exposed for tests).
RewriteReply finished(RewriteReply reply, Phase phase, const char* message,
                      std::chrono::system_clock::time_point started);

} // namespace FatalReply
} // namespace kivo
