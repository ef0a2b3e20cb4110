// rewrite-runner: reads one request object on standard input, performs one structured
// generation with the on-device language model and writes one reply line on standard output.
// It writes nothing to standard error and exits 0 after every reply. With "--prepare" it only
// evaluates and keeps the constant start of the request's prompt, so that the next conversion
// in that mode does not read it again.
#include "platform/process/HelpOption.h"
#include "runner/Run.h"

#include "platform/process/StandardStreams.h"

#include <unistd.h>

#include <chrono>
#include <string_view>

int main(int argc, char** argv)
{
    if (kivo::HelpOption::answer(
            argc, argv,
            "usage: rewrite-runner [--prepare] < REQUEST.json\n"
            "Kivo's language model runner: reads one JSON request on standard input and writes one "
            "JSON reply on standard output. --prepare only loads the model.")) {
        return 0;
    }
    const auto started = std::chrono::system_clock::now();
    const bool prepareOnly = argc == 2 && std::string_view(argv[1]) == "--prepare";
    const std::string input = kivo::StandardStreams::readAll(STDIN_FILENO);
    kivo::StandardStreams::writeAll(STDOUT_FILENO, prepareOnly ? kivo::Run::prepare(input, started)
                                                               : kivo::Run::perform(input, started));
    return 0;
}
