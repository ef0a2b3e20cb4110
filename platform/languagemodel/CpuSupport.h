#pragma once

#include <string_view>

namespace kivo {

// The model runtime's compute kernels are built for x86-64-v3 (AVX2, FMA, F16C, BMI2). They
// live in a separately loaded module, and this check runs before that module is loaded, so a
// machine without those instructions gets an "unavailable" answer instead of a crash.
namespace CpuSupport {

inline constexpr std::string_view requiredLevel = "x86-64-v3 (AVX2, FMA, F16C, BMI1, BMI2)";

bool meetsRequiredLevel();

// Whether the faster kernels built for x86-64-v4 with AVX-512 VNNI and BF16 may run here: the
// processor has them and the operating system saves the AVX-512 registers.
bool meetsAvx512Level();

} // namespace CpuSupport
} // namespace kivo
