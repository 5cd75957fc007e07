// Helpers shared by the kernel tests.
#pragma once
#include <cstdint>

#include "dsp/kernels/cpu_features.h"

namespace sonvex_test {

inline uint32_t ProcessorFeatures() {
    using namespace sonvex::detail;
    return CpuidAvailable() ? DecodeCpuFeatureMask(ReadCpuidSnapshot()) : 0;
}

// True when this processor (and its operating system) has what the given version's routines
// execute. Versions 0 and 1 need SSE2, which every processor running this code has.
inline bool ProcessorRunsVariant(int32_t variant) {
    using namespace sonvex::detail;
    const uint32_t mask = ProcessorFeatures();
    switch (variant) {
        case 2:
        case 3: return (mask & CpuSsse3) != 0;  // the MOVBE slot runs the SSSE3 routines
        case 4: return (mask & CpuSse41) != 0;
        case 5: return (mask & CpuAvx) && (mask & CpuAvxOsSupport);
        default: return true;
    }
}

inline bool ProcessorRunsAvx() { return ProcessorRunsVariant(5); }

}  // namespace sonvex_test
