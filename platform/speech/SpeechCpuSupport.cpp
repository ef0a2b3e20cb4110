#include "platform/speech/SpeechCpuSupport.h"

namespace kivo::SpeechCpuSupport {

bool meetsRequiredLevel()
{
#if defined(__x86_64__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx") && __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") &&
           __builtin_cpu_supports("f16c") && __builtin_cpu_supports("bmi2");
#else
    return false;
#endif
}

} // namespace kivo::SpeechCpuSupport
