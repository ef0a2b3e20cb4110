// rewrite-runner: reads one request object on standard input, performs one structured
// generation with the on-device language model and writes one reply line on standard output.
// It takes no arguments, writes nothing to standard error and exits 0 after every reply.
#include "runner/Run.h"

#include "platform/process/StandardStreams.h"

#include <unistd.h>

#include <chrono>

int main() {
    const auto started = std::chrono::system_clock::now();
    kivo::StandardStreams::writeAll(STDOUT_FILENO,
                                    kivo::Run::perform(kivo::StandardStreams::readAll(STDIN_FILENO), started));
    return 0;
}
