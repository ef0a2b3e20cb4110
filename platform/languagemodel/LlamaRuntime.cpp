#include "platform/languagemodel/LlamaRuntime.h"

#include <ggml-backend.h>
#include <llama.h>
#include <log.h>

#include <dlfcn.h>

#include <algorithm>
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

int threadCount(std::uint64_t modelBytes) {
    constexpr std::uint64_t bytesPerThread = 32u << 20;
    const std::uint64_t hardware = std::max(1u, std::thread::hardware_concurrency());
    return static_cast<int>(std::clamp<std::uint64_t>(modelBytes / bytesPerThread, 1, hardware));
}

}  // namespace kivo::LlamaRuntime
