#pragma once

namespace kivo {

// The recogniser's compute kernels are built for x86-64-v3 (AVX2, FMA, F16C, BMI2); they run
// only after this check, so an older processor gets "unavailable" instead of a crash.
namespace SpeechCpuSupport {

bool meetsRequiredLevel();

} // namespace SpeechCpuSupport
} // namespace kivo
