// Helpers of the tests that run the kernel versions (tests/kernels, tests/resampler): which
// versions this run tries, and forcing one of them.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <string>

#include "dsp/kernels/cpu_features.h"
#include "dsp/kernels/dispatch.h"
#include "dsp/kernels/kernels.h"

namespace sonvex {
// Versions by name in test messages.
inline void PrintTo(KernelVersion version, std::ostream* os) { *os << KernelVersionName(version); }
}  // namespace sonvex

namespace sonvex_test {

using sonvex::KernelVersion;

inline KernelVersion VersionAt(int index) { return static_cast<KernelVersion>(index); }

// Parameters and test names of the suites that run once per version.
inline auto AllVersions() {
    return ::testing::Values(KernelVersion::Baseline, KernelVersion::Sse2, KernelVersion::Ssse3,
                             KernelVersion::Ssse3Movbe, KernelVersion::Sse41, KernelVersion::Avx);
}
struct VersionParamName {
    std::string operator()(const ::testing::TestParamInfo<KernelVersion>& info) const {
        return sonvex::KernelVersionName(info.param);
    }
};

inline const sonvex::detail::ProcessorFeatures& Processor() { return sonvex::detail::DetectedProcessorFeatures(); }

// True when this processor (and its operating system) has what the given version's routines
// execute. Baseline and SSE2 need SSE2, which every processor running this code has.
inline bool ProcessorRunsVersion(KernelVersion version) {
    using namespace sonvex::detail;
    const uint32_t mask = Processor().mask;
    switch (version) {
        case KernelVersion::Ssse3:
        case KernelVersion::Ssse3Movbe: return (mask & CpuSsse3) != 0;  // MOVBE's row runs SSSE3 routines
        case KernelVersion::Sse41: return (mask & CpuSse41) != 0;
        case KernelVersion::Avx: return (mask & CpuAvx) && (mask & CpuAvxOsSupport);
        default: return true;
    }
}

// The version the dispatch picks on this processor.
inline KernelVersion PickedVersion() { return sonvex::detail::SelectKernelVersion(Processor().mask); }

// The emulated 32-bit runs go once per processor model, and each run tries only the version
// its model picks (SONVEX_TEST_ONLY_PICKED_VERSION): every version is then tested where it is
// chosen by itself, at a fraction of the time. Other runs force every version the processor
// executes in turn.
inline bool OnlyPickedVersion() {
    const char* value = std::getenv("SONVEX_TEST_ONLY_PICKED_VERSION");
    return value && *value && *value != '0';
}

inline bool VersionUnderTest(KernelVersion version) {
    return ProcessorRunsVersion(version) && (!OnlyPickedVersion() || version == PickedVersion());
}

// The version the run's processor model must select (SONVEX_TEST_EXPECTED_VERSION), or -1.
inline int ExpectedVersionIndex() {
    const char* value = std::getenv("SONVEX_TEST_EXPECTED_VERSION");
    return value && *value ? std::atoi(value) : -1;
}

// Forces a version for the life of the object, then puts back the one active before.
class ForcedVersion {
public:
    explicit ForcedVersion(KernelVersion version) : m_previous(sonvex::ActiveKernelVersion()) {
        sonvex::detail::ForceKernelVersion(version);
    }
    ~ForcedVersion() { sonvex::detail::ForceKernelVersion(m_previous); }
    ForcedVersion(const ForcedVersion&) = delete;
    ForcedVersion& operator=(const ForcedVersion&) = delete;

private:
    KernelVersion m_previous;
};

}  // namespace sonvex_test
