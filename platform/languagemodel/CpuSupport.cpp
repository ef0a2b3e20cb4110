#include "platform/languagemodel/CpuSupport.h"

#if defined(__x86_64__)
#include <cpuid.h>
#endif

namespace kivo::CpuSupport {

bool meetsRequiredLevel() {
#if defined(__x86_64__)
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) {
        return false;
    }
    const bool fma = ecx & (1u << 12), osxsave = ecx & (1u << 27), avx = ecx & (1u << 28), f16c = ecx & (1u << 29);
    if (!(fma && osxsave && avx && f16c)) {
        return false;
    }
    // The operating system must save the AVX registers too (XCR0 bits 1 and 2).
    unsigned int xcr0 = 0, xcr0High = 0;
    __asm__("xgetbv" : "=a"(xcr0), "=d"(xcr0High) : "c"(0));
    if ((xcr0 & 0x6u) != 0x6u) {
        return false;
    }
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) {
        return false;
    }
    const bool bmi1 = ebx & (1u << 3), avx2 = ebx & (1u << 5), bmi2 = ebx & (1u << 8);
    return bmi1 && avx2 && bmi2;
#else
    return false;
#endif
}

}  // namespace kivo::CpuSupport
