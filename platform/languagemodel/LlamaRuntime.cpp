#include "platform/languagemodel/LlamaRuntime.h"

#include <ggml-backend.h>
#include <llama.h>
#include <log.h>

#include <dlfcn.h>

#include <filesystem>
#include <thread>

namespace kivo::LlamaRuntime {
namespace {

constexpr const char* cpuModuleName = "libkivo-llama-cpu.so";

void discard(lm_ggml_log_level, const char*, void*) {}

std::optional<std::string> startOnce() {
    // Our processes own standard error; the runtime's chatter never reaches it.
    llama_log_set(discard, nullptr);
    common_log_set_verbosity_thold(-1);

    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&llama_backend_init), &info) == 0 || !info.dli_fname) {
        return std::string("cannot locate the model runtime library");
    }
    const std::filesystem::path module = std::filesystem::path(info.dli_fname).parent_path() / cpuModuleName;
    if (lm_ggml_backend_load(module.c_str()) == nullptr) {
        return "cannot load " + module.string();
    }
    llama_backend_init();
    return std::nullopt;
}

}  // namespace

std::optional<std::string> start() {
    static const std::optional<std::string> failure = startOnce();
    return failure;
}

int threadCount() {
    const unsigned int hardware = std::thread::hardware_concurrency();
    return hardware == 0 ? 1 : static_cast<int>(hardware);
}

}  // namespace kivo::LlamaRuntime
