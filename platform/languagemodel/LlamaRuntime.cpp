#include "platform/languagemodel/LlamaRuntime.h"

#include "platform/languagemodel/CpuSupport.h"
#include "platform/process/RunnableTasks.h"

#include <ggml-backend.h>
#include <llama.h>
#include <log.h>

#include <dlfcn.h>
#include <sched.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>
#include <utility>

namespace kivo::LlamaRuntime {
namespace {

constexpr const char* cpuModuleName = "libkivo-llama-cpu.so";
constexpr const char* avx512ModuleName = "libkivo-llama-cpu-avx512.so";

std::string loadedModule;

void discard(lm_ggml_log_level, const char*, void*) {}

std::optional<std::string> startOnce()
{
    // Our processes own standard error; the runtime's chatter never reaches it.
    llama_log_set(discard, nullptr);
    common_log_set_verbosity_thold(-1);

    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&llama_backend_init), &info) == 0 || !info.dli_fname) {
        return std::string("cannot locate the model runtime library");
    }
    const std::filesystem::path folder = std::filesystem::path(info.dli_fname).parent_path();
    // The AVX-512 kernels only where the processor has them; the baseline module stays the
    // fallback, also when an installation lacks the faster one.
    const std::filesystem::path faster = folder / avx512ModuleName;
    if (CpuSupport::meetsAvx512Level() && std::filesystem::exists(faster) &&
        lm_ggml_backend_load(faster.c_str()) != nullptr) {
        loadedModule = avx512ModuleName;
    } else {
        const std::filesystem::path module = folder / cpuModuleName;
        if (lm_ggml_backend_load(module.c_str()) == nullptr) {
            return "cannot load " + module.string();
        }
        loadedModule = cpuModuleName;
    }
    llama_backend_init();
    return std::nullopt;
}

} // namespace

std::optional<std::string> start()
{
    static const std::optional<std::string> failure = startOnce();
    return failure;
}

std::string cpuModule()
{
    return loadedModule;
}

int physicalCores()
{
    static const int cores = [] {
        cpu_set_t allowed;
        CPU_ZERO(&allowed);
        const bool haveMask = ::sched_getaffinity(0, sizeof allowed, &allowed) == 0;
        std::set<std::pair<std::string, std::string>> seen;
        int logical = 0;
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (haveMask && !CPU_ISSET(cpu, &allowed)) {
                continue;
            }
            const std::string topology = "/sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/topology/";
            std::ifstream package(topology + "physical_package_id");
            std::ifstream core(topology + "core_id");
            std::string packageId, coreId;
            if (!(package >> packageId) || !(core >> coreId)) {
                if (!haveMask)
                    break;
                packageId = "cpu";
                coreId = std::to_string(cpu);
            }
            ++logical;
            seen.emplace(packageId, coreId);
        }
        if (seen.empty()) {
            return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
        }
        return std::min(static_cast<int>(seen.size()), logical);
    }();
    return cores;
}

int threadCount(std::uint64_t modelBytes)
{
    constexpr std::uint64_t bytesPerThread = 32u << 20;
    const auto cores = static_cast<std::uint64_t>(physicalCores());
    return static_cast<int>(std::clamp<std::uint64_t>(modelBytes / bytesPerThread, 1, cores));
}

int threadsNow(int maximum)
{
    if (maximum <= 1) {
        return 1;
    }
    return RunnableTasks::threadsFor(maximum, physicalCores(), RunnableTasks::steadyCount());
}

void ThreadpoolFree::operator()(lm_ggml_threadpool* pool) const
{
    using Free = void (*)(lm_ggml_threadpool*);
    lm_ggml_backend_reg_t cpu = lm_ggml_backend_reg_by_name("CPU");
    if (auto release =
            cpu ? reinterpret_cast<Free>(lm_ggml_backend_reg_get_proc_address(cpu, "lm_ggml_threadpool_free"))
                : nullptr) {
        release(pool);
    }
}

std::unique_ptr<lm_ggml_threadpool, ThreadpoolFree> makeThreadpool(int threads)
{
    using New = lm_ggml_threadpool* (*)(lm_ggml_threadpool_params*);
    lm_ggml_backend_reg_t cpu = lm_ggml_backend_reg_by_name("CPU");
    auto create =
        cpu ? reinterpret_cast<New>(lm_ggml_backend_reg_get_proc_address(cpu, "lm_ggml_threadpool_new")) : nullptr;
    if (!create || !lm_ggml_backend_reg_get_proc_address(cpu, "lm_ggml_threadpool_free")) {
        return nullptr;
    }
    lm_ggml_threadpool_params params = lm_ggml_threadpool_params_default(threads);
    params.poll = 0;
    return std::unique_ptr<lm_ggml_threadpool, ThreadpoolFree>(create(&params));
}

void onFatal(FatalHandler handler)
{
    lm_ggml_set_abort_callback(handler);
}

} // namespace kivo::LlamaRuntime
