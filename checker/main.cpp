// kivo-model-check speech|language FILE: loads FILE as that kind of model and prints one JSON
// line, {"usable":true|false,"english":"...","chinese":"..."}. Exit status 0 when it printed
// a verdict, 2 on a malformed command line.
#include "checker/ModelCheck.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    const std::string kind = argc > 1 ? argv[1] : "";
    if (argc == 2 && (kind == "--help" || kind == "-h")) {
        std::printf("usage: %s speech|language FILE\n"
                    "Loads FILE as a speech (whisper ggml) or language (GGUF) model and prints one JSON line:\n"
                    "{\"usable\":true|false,\"english\":\"...\",\"chinese\":\"...\"}\n",
                    argv[0]);
        return 0;
    }
    if (argc != 3 || (kind != "speech" && kind != "language")) {
        std::fprintf(stderr, "usage: %s speech|language FILE\n", argc > 0 ? argv[0] : "kivo-model-check");
        return 2;
    }
    using kivo::ModelCheck;
    const auto result =
        ModelCheck::run(kind == "speech" ? ModelCheck::Kind::speech : ModelCheck::Kind::language, argv[2]);
    std::printf("%s\n", ModelCheck::toJson(result).c_str());
    return 0;
}
