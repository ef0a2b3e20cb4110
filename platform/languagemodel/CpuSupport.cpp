#include "platform/languagemodel/CpuSupport.h"

#if defined(__x86_64__)
#include <cpuid.h>
#endif

namespace kivo::CpuSupport {

bool meetsRequiredLevel()
{
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

bool meetsAvx512Level()
{
#if defined(__x86_64__)
    if (!meetsRequiredLevel()) {
        return false;
    }
    // Opmask and both halves of the 512-bit registers (XCR0 bits 5 to 7) besides SSE and AVX.
    unsigned int xcr0 = 0, xcr0High = 0;
    __asm__("xgetbv" : "=a"(xcr0), "=d"(xcr0High) : "c"(0));
    if ((xcr0 & 0xE6u) != 0xE6u) {
        return false;
    }
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) {
        return false;
    }
    const unsigned int foundation = (1u << 16) | (1u << 17) | (1u << 28) | (1u << 30) | (1u << 31); // F DQ CD BW VL
    const bool vnni = ecx & (1u << 11);
    if ((ebx & foundation) != foundation || !vnni || eax < 1) {
        return false;
    }
    unsigned int eax1 = 0, ebx1 = 0, ecx1 = 0, edx1 = 0;
    __get_cpuid_count(7, 1, &eax1, &ebx1, &ecx1, &edx1);
    return eax1 & (1u << 5); // BF16
#else
    return false;
#endif
}

} // namespace kivo::CpuSupport
