// Helpers shared by the kernel tests.
#pragma once
#include <cstdint>
#include <cstdlib>

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

// The version the dispatch picks on this processor.
inline int32_t PickedVariant() { return sonvex::detail::SelectKernelVariant(ProcessorFeatures()); }

// The emulated 32-bit runs go once per processor model, and each run tries only the version
// its model picks (SONVEX_TEST_ONLY_PICKED_VERSION): every version is then tested where it is
// chosen by itself, at a fraction of the time. Other runs force every version the processor
// executes in turn.
inline bool OnlyPickedVariant() {
    const char* value = std::getenv("SONVEX_TEST_ONLY_PICKED_VERSION");
    return value && *value && *value != '0';
}

inline bool VariantUnderTest(int32_t variant) {
    return ProcessorRunsVariant(variant) && (!OnlyPickedVariant() || variant == PickedVariant());
}

// The version the run's processor model must select (SONVEX_TEST_EXPECTED_VERSION), or -1.
inline int32_t ExpectedVariant() {
    const char* value = std::getenv("SONVEX_TEST_EXPECTED_VERSION");
    return value && *value ? std::atoi(value) : -1;
}

}  // namespace sonvex_test
