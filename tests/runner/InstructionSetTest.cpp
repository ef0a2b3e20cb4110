// rewrite-runner and the core llama library must run on any x86-64 machine: only the CPU
// backend module, loaded after the CPU check, may hold AVX code. One stray flag would turn
// "unavailable(cpuUnsupported)" into SIGILL on older processors.
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

namespace kivo::test {
namespace {

int registerUses(const std::string& file, const std::string& name)
{
    const ChildResult listing = runChild("/usr/bin/objdump", {"-d", "--no-show-raw-insn", file}, "");
    EXPECT_EQ(listing.exitStatus, 0) << listing.err;
    int count = 0;
    for (std::size_t at = 0; (at = listing.out.find(name, at)) != std::string::npos; ++at) {
        ++count;
    }
    return count;
}

TEST(InstructionSetTest, OnlyTheCpuModuleUsesAvx)
{
    EXPECT_EQ(registerUses(KIVO_REWRITE_RUNNER, "%ymm"), 0);
    EXPECT_EQ(registerUses(KIVO_LLAMA_CORE, "%ymm"), 0);
    EXPECT_GT(registerUses(KIVO_LLAMA_CPU_MODULE, "%ymm"), 0);
    // The baseline module must also run where AVX-512 is missing; only its sibling may use it.
    EXPECT_EQ(registerUses(KIVO_LLAMA_CPU_MODULE, "%zmm"), 0);
    EXPECT_GT(registerUses(KIVO_LLAMA_CPU_AVX512_MODULE, "%zmm"), 0);
}

} // namespace
} // namespace kivo::test
