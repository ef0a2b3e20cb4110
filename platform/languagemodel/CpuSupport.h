#pragma once

#include <string_view>

namespace kivo {

// The model runtime's compute kernels are built for x86-64-v3 (AVX2, FMA, F16C, BMI2). They
// live in a separately loaded module, and this check runs before that module is loaded, so a
// machine without those instructions gets an "unavailable" answer instead of a crash.
namespace CpuSupport {

inline constexpr std::string_view requiredLevel = "x86-64-v3 (AVX2, FMA, F16C, BMI1, BMI2)";

bool meetsRequiredLevel();

}  // namespace CpuSupport
}  // namespace kivo
