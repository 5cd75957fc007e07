// Helpers shared by the kernel tests.
#pragma once
#include <cstdint>

#include "dsp/kernels/cpu_features.h"

namespace sonvex_test {

// True when this processor (and its operating system) can run the given kernel version.
inline bool ProcessorRunsVariant(int32_t variant) {
    using namespace sonvex::detail;
    if (!CpuidAvailable()) return variant <= 1;
    return SelectKernelVariant(DecodeCpuFeatureMask(ReadCpuidSnapshot())) >= variant ||
           variant <= 1;
}

inline bool ProcessorRunsAvx() {
    using namespace sonvex::detail;
    if (!CpuidAvailable()) return false;
    const uint32_t mask = DecodeCpuFeatureMask(ReadCpuidSnapshot());
    return (mask & CpuAvx) && (mask & CpuAvxOsSupport);
}

}  // namespace sonvex_test
