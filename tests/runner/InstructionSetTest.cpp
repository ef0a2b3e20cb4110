// rewrite-runner and the core llama library must run on any x86-64 machine: only the CPU
// backend module, loaded after the CPU check, may hold AVX code. One stray flag would turn
// "unavailable(cpuUnsupported)" into SIGILL on older processors.
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

namespace kivo::test {
namespace {

int avxInstructions(const std::string& file) {
    const ChildResult listing = runChild("/usr/bin/objdump", {"-d", "--no-show-raw-insn", file}, "");
    EXPECT_EQ(listing.exitStatus, 0) << listing.err;
    int count = 0;
    for (std::size_t at = 0; (at = listing.out.find("%ymm", at)) != std::string::npos; ++at) {
        ++count;
    }
    return count;
}

TEST(InstructionSetTest, OnlyTheCpuModuleUsesAvx) {
    EXPECT_EQ(avxInstructions(KIVO_REWRITE_RUNNER), 0);
    EXPECT_EQ(avxInstructions(KIVO_LLAMA_CORE), 0);
    EXPECT_GT(avxInstructions(KIVO_LLAMA_CPU_MODULE), 0);
}

}  // namespace
}  // namespace kivo::test
