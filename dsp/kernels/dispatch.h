// The routine table of the kernel versions: one row per version holding everything that version
// runs, and the active row that the entry points use. A setup of the real FFT keeps the row that
// built it, so its transforms run the routines that match its tables.
#pragma once
#include <cstddef>
#include <cstdint>

#include "dsp/kernels/fft_internal.h"
#include "dsp/kernels/interpolate.h"
#include "dsp/kernels/kernels.h"

namespace sonvex {
namespace detail {

using FftTransformRoutine = int32_t (*)(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);
using MultiplyRoutine = int32_t (*)(const float* vector1, const float* vector2, float* result, int32_t length);
using ComplexRoutine = int32_t (*)(const float* complexValues, float* out, int32_t bins);
using BlockCopyRoutine = void (*)(void* dst, const void* src, size_t bytes);
using BlockFillRoutine = void (*)(void* dst, uint8_t value, size_t bytes);

struct KernelRow {
    KernelVersion version;
    // Real FFT: where the version's size tiers begin (they decide a setup's tables and work
    // buffer), its two transforms, and whether its setups also carry the 16-lane tables. The
    // transforms take a valid setup and non-null pointers: the entry points check them.
    fft::TierLimits fftTiers;
    FftTransformRoutine fftForward;
    FftTransformRoutine fftInverse;
    bool fftWideTables;
    // The spectral vector kernels; each checks its own arguments.
    MultiplyRoutine multiplyVectors;
    ComplexRoutine complexMagnitudes;
    ComplexRoutine complexPhases;
    // Block copy and fill (null: the C library's memcpy and memset).
    BlockCopyRoutine copyBlock;
    BlockFillRoutine fillBlock;
    // The resampler's interpolation (null: its plain loop).
    const InterpolationRoutines* interpolation;
};

// The row of a version. The AVX version's row is completed on first use from the processor's
// features: its FFT routines for AVX2 with FMA, its interpolation for AVX2, and its 16-lane
// tables where AVX-512F runs.
const KernelRow& KernelRowFor(KernelVersion version);

// The row the entry points use: Baseline's until InitProcessorDispatch or ForceKernelVersion.
const KernelRow& ActiveKernelRow();

// Tests and benchmarks run every version on this processor by forcing it. Forcing a version
// the processor lacks is the caller's responsibility.
void ForceKernelVersion(KernelVersion version);

}  // namespace detail
}  // namespace sonvex
