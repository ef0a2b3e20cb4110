#pragma once

#include <cstdio>
#include <string_view>

namespace kivo::HelpOption {

// Whether the arguments ask for help (-h or --help anywhere). A small program checks this first,
// so that `--help` is never taken for an output file or a request on standard input.
inline bool requested(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (argument == "-h" || argument == "--help") {
            return true;
        }
    }
    return false;
}

// Prints `usage` (and a newline) on standard output when help is asked for; the caller then
// exits with status 0.
inline bool answer(int argc, char** argv, const char* usage)
{
    if (!requested(argc, argv)) {
        return false;
    }
    std::fputs(usage, stdout);
    std::fputc('\n', stdout);
    return true;
}

} // namespace kivo::HelpOption
