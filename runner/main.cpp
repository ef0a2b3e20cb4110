// rewrite-runner: reads one request object on standard input, performs one structured
// generation with the on-device language model and writes one reply line on standard output.
// It writes nothing to standard error and exits 0 after every reply. With "--prepare" it only
// evaluates and keeps the constant start of the request's prompt, so that the next conversion
// in that mode does not read it again. With "--progress-fd N" it also writes how far the answer
// has come on descriptor N while it runs.
#include "platform/process/HelpOption.h"
#include "runner/Run.h"

#include "platform/process/StandardStreams.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <string_view>

namespace {

constexpr const char* usage =
    "usage: rewrite-runner [--prepare] [--progress-fd N] < REQUEST.json\n"
    "Kivo's language model runner: reads one JSON request on standard input and writes one JSON "
    "reply on standard output. --prepare only loads the model and keeps the prompt's constant "
    "start. --progress-fd N writes lines \"WRITTEN EXPECTED\" (answer tokens) on the open "
    "descriptor N while the answer is written.";

struct Arguments {
    bool prepareOnly = false;
    int progressDescriptor = -1;
};

bool parse(int argc, char** argv, Arguments& arguments)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (argument == "--prepare") {
            arguments.prepareOnly = true;
        } else if (argument == "--progress-fd" && i + 1 < argc) {
            const std::string_view number(argv[++i]);
            int descriptor = -1;
            const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), descriptor);
            // Standard input, output and error carry the request and the reply.
            if (error != std::errc{} || end != number.data() + number.size() || descriptor <= STDERR_FILENO ||
                ::fcntl(descriptor, F_GETFD) < 0) {
                return false;
            }
            arguments.progressDescriptor = descriptor;
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (kivo::HelpOption::answer(argc, argv, usage)) {
        return 0;
    }
    const auto started = std::chrono::system_clock::now();
    Arguments arguments;
    if (!parse(argc, argv, arguments)) {
        std::fprintf(stderr, "%s\n", usage);
        return 2;
    }
    if (arguments.progressDescriptor >= 0) {
        // A progress reader that has gone must not end the run.
        ::signal(SIGPIPE, SIG_IGN);
    }
    kivo::ProgressReport progress(arguments.progressDescriptor);
    const std::string input = kivo::StandardStreams::readAll(STDIN_FILENO);
    kivo::StandardStreams::writeAll(STDOUT_FILENO, arguments.prepareOnly
                                                       ? kivo::Run::prepare(input, started)
                                                       : kivo::Run::perform(input, started, progress));
    return 0;
}
