// Which interpolation versions this processor can run. The resampler keeps its own small
// processor check so that it does not depend on the kernel library's dispatch.
#include "dsp/resampler/interpolate.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define SONVEX_RESAMPLER_X86 1
#endif

namespace sonvex {
namespace resampler_detail {

namespace {

#if SONVEX_RESAMPLER_X86
bool ProcessorHasAvx2() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
    const bool osxsave = (ecx & (1u << 27)) != 0;
    const bool avx = (ecx & (1u << 28)) != 0;
    if (!osxsave || !avx) return false;
    // The operating system must save the upper halves of the YMM registers (XCR0 bits 1, 2).
    unsigned xcr0Low = 0, xcr0High = 0;
    __asm__ volatile("xgetbv" : "=a"(xcr0Low), "=d"(xcr0High) : "c"(0));
    if ((xcr0Low & 6u) != 6u) return false;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
    return (ebx & (1u << 5)) != 0;
}
#endif

}  // namespace

bool VersionSupported(int32_t version) {
    switch (version) {
    case kVersionScalar:
        return true;
#if SONVEX_RESAMPLER_X86
    case kVersionSse2:
        return true;  // the product requires SSE2; x86-64 always has it
    case kVersionAvx2: {
        static const bool hasAvx2 = ProcessorHasAvx2();
        return hasAvx2;
    }
#endif
    default:
        return false;
    }
}

int32_t BestSupportedVersion() {
    for (int32_t version = kVersionCount - 1; version > kVersionScalar; --version)
        if (VersionSupported(version)) return version;
    return kVersionScalar;
}

int32_t LaneCount(int32_t version) {
    switch (version) {
    case kVersionSse2:
        return 4;
    case kVersionAvx2:
        return 8;
    default:
        return 1;
    }
}

const char* VersionName(int32_t version) {
    switch (version) {
    case kVersionScalar:
        return "scalar";
    case kVersionSse2:
        return "sse2";
    case kVersionAvx2:
        return "avx2";
    default:
        return "unknown";
    }
}

}  // namespace resampler_detail
}  // namespace sonvex
