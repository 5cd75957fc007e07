// The rows of the kernel versions, the active row, and the entry points that run through it.
// Each entry point is one load of the active row and a tail call into it; a transform runs its
// setup's row instead.
#include "dsp/kernels/dispatch.h"

#include <atomic>

#include "dsp/kernels/block_avx.h"
#include "dsp/kernels/cpu_features.h"
#include "dsp/kernels/fft_versions.h"
#include "dsp/kernels/vector_kernels.h"

namespace sonvex {
namespace detail {

namespace {

// Highest order of each FFT tier: straight-line real, straight-line complex, table,
// bit-reversed table. Beyond them the large-size method.
constexpr fft::TierLimits kSse2Tiers{4, 6, 15, 16};
constexpr fft::TierLimits kSsse3Tiers{4, 6, 18, -1};
constexpr fft::TierLimits kAvxTiers{4, 7, 19, -1};

// Every row but the AVX version's, which depends on more than the version's own instructions.
// Baseline runs what SSE2 runs but the interpolation: it keeps the resampler's plain loop, the
// sum every vector version must match, within reach of tests and benchmarks that force it.
constexpr KernelRow kFixedRows[] = {
    {KernelVersion::Baseline, kSse2Tiers, fft::ForwardSse2, fft::InverseSse2, false, MultiplyVectorsSse2,
     ComplexMagnitudesSse2, ComplexPhasesSse2, nullptr, nullptr, nullptr},
    {KernelVersion::Sse2, kSse2Tiers, fft::ForwardSse2, fft::InverseSse2, false, MultiplyVectorsSse2,
     ComplexMagnitudesSse2, ComplexPhasesSse2, nullptr, nullptr, &kInterpolationSse2},
    {KernelVersion::Ssse3, kSsse3Tiers, fft::ForwardSsse3, fft::InverseSsse3, false, MultiplyVectorsSsse3,
     ComplexMagnitudesSsse3, ComplexPhasesSsse3, nullptr, nullptr, &kInterpolationSse2},
    // The SSSE3 routines, on the SSE2 tier boundaries.
    {KernelVersion::Ssse3Movbe, kSse2Tiers, fft::ForwardSsse3, fft::InverseSsse3, false, MultiplyVectorsSsse3,
     ComplexMagnitudesSsse3, ComplexPhasesSsse3, nullptr, nullptr, &kInterpolationSse2},
    {KernelVersion::Sse41, kSsse3Tiers, fft::ForwardSse41, fft::InverseSse41, false, MultiplyVectorsSse2,
     ComplexMagnitudesSse41, ComplexPhasesSse41, nullptr, nullptr, &kInterpolationSse2},
};
static_assert(sizeof(kFixedRows) / sizeof(kFixedRows[0]) == kKernelVersionCount - 1, "one row per version");

KernelRow MakeAvxRow(const ProcessorFeatures& processor) {
    const bool avx2Fma = processor.avx2 && processor.fma;
    KernelRow row{KernelVersion::Avx, kAvxTiers, fft::ForwardAvx, fft::InverseAvx, false, MultiplyVectorsAvx,
                  ComplexMagnitudesAvx, ComplexPhasesAvx, BlockCopyAvx, BlockFillAvx, &kInterpolationSse2};
    if (avx2Fma) {
        row.fftForward = fft::ForwardAvx2Fma;
        row.fftInverse = fft::InverseAvx2Fma;
    }
    if (processor.avx2) row.interpolation = &kInterpolationAvx2;
#if defined(__x86_64__)
    // In 32-bit code the 16-lane routines would have a quarter of the registers they are
    // written for.
    row.fftWideTables = processor.avx512f;
#endif
    return row;
}

const KernelRow& AvxRow() {
    static const KernelRow row = MakeAvxRow(DetectedProcessorFeatures());
    return row;
}

// Read on every entry-point call; Baseline's row until a version is chosen.
std::atomic<const KernelRow*> g_activeRow{&kFixedRows[0]};

inline const KernelRow& ActiveRow() { return *g_activeRow.load(std::memory_order_acquire); }

}  // namespace

const KernelRow& KernelRowFor(KernelVersion version) {
    if (version == KernelVersion::Avx) return AvxRow();
    return kFixedRows[static_cast<int32_t>(version)];
}

const KernelRow& ActiveKernelRow() { return ActiveRow(); }

void ForceKernelVersion(KernelVersion version) {
    const int32_t index = static_cast<int32_t>(version);
    if (index >= 0 && index < kKernelVersionCount) g_activeRow.store(&KernelRowFor(version), std::memory_order_release);
}

}  // namespace detail

void InitProcessorDispatch() {
    uint32_t mask = 0;
    const KernelVersion version = QueryCpuFeatures(&mask) ? detail::SelectKernelVersion(mask) : KernelVersion::Baseline;
    detail::ForceKernelVersion(version);
}

KernelVersion ActiveKernelVersion() { return detail::ActiveRow().version; }

const char* KernelVersionName(KernelVersion version) {
    switch (version) {
        case KernelVersion::Baseline: return "baseline";
        case KernelVersion::Sse2: return "sse2";
        case KernelVersion::Ssse3: return "ssse3";
        case KernelVersion::Ssse3Movbe: return "ssse3_movbe";
        case KernelVersion::Sse41: return "sse41";
        case KernelVersion::Avx: return "avx";
    }
    return "unknown";
}

int32_t RealFftForward(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    const int32_t status = fft::CheckTransform(src, dst, setup);
    if (status != StatusOk) return status;
    return setup->row->fftForward(src, dst, setup, workBuffer);
}

int32_t RealFftInverse(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    const int32_t status = fft::CheckTransform(src, dst, setup);
    if (status != StatusOk) return status;
    return setup->row->fftInverse(src, dst, setup, workBuffer);
}

int32_t MultiplyVectors(const float* vector1, const float* vector2, float* result, int32_t length) {
    return detail::ActiveRow().multiplyVectors(vector1, vector2, result, length);
}

int32_t ComplexMagnitudes(const float* complexValues, float* magnitudes, int32_t bins) {
    return detail::ActiveRow().complexMagnitudes(complexValues, magnitudes, bins);
}

int32_t ComplexPhases(const float* complexValues, float* phases, int32_t bins) {
    return detail::ActiveRow().complexPhases(complexValues, phases, bins);
}

const InterpolationRoutines* ActiveInterpolationRoutines() { return detail::ActiveRow().interpolation; }

}  // namespace sonvex
