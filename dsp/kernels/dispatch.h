// The routine table of the kernels: one row per line of dsp/kernels/kernel_rows.def, each a
// set of FFT routines, a set of vector kernels and the resampler's interpolation, and the active
// row that the entry points use. A setup of the real FFT keeps the row that built it, so its
// transforms run the routines that match its tables.
#pragma once
#include <cstddef>
#include <cstdint>

#include "dsp/kernels/cpu_features.h"
#include "dsp/kernels/fft_internal.h"
#include "dsp/kernels/interpolate.h"
#include "dsp/kernels/kernels.h"

namespace sonvex {
namespace detail {

using FftTransformRoutine = int32_t (*)(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);
using MultiplyRoutine = int32_t (*)(const float* vector1, const float* vector2, float* result, int32_t length);
using ComplexRoutine = int32_t (*)(const float* complexValues, float* out, int32_t bins);
using BlockFillRoutine = void (*)(void* dst, uint8_t value, size_t bytes);

// The real FFT of a row: where its size tiers begin (they decide a setup's tables and work
// buffer), its two transforms, whether its setups also carry the 16-lane tables, and what
// clears a new setup's block (null: memset). The transforms take a valid setup built by a row
// that holds this set, and non-null pointers: the entry points check them.
struct FftRoutines {
    fft::TierLimits tiers;
    FftTransformRoutine forward;
    FftTransformRoutine inverse;
    bool wideTables;
    BlockFillRoutine clearBlock;
};

// The spectral vector kernels of a row; each checks its own arguments.
struct VectorRoutines {
    MultiplyRoutine multiply;
    ComplexRoutine magnitudes;
    ComplexRoutine phases;
};

// The routine sets the table names, each defined in its instruction-set file:
// kFft<set>, kVectors<set> and kInterpolation<set> for fft(<set>), vectors(<set>) and
// interpolation(<set>). kInterpolationNone stands for the resampler's plain loop, which rows
// hold as a null set.
#define SONVEX_DECLARE_fft(set) extern const FftRoutines kFft##set;
#define SONVEX_DECLARE_vectors(set) extern const VectorRoutines kVectors##set;
#define SONVEX_DECLARE_interpolation(set) extern const InterpolationRoutines kInterpolation##set;
#define SONVEX_KERNEL_ROW(name, version, needs, models, fft, vectors, interpolation) \
    SONVEX_DECLARE_##fft SONVEX_DECLARE_##vectors SONVEX_DECLARE_##interpolation
#define SONVEX_KERNEL_VERSION(index, version, name, needs, models, fft, vectors, interpolation) \
    SONVEX_KERNEL_ROW(name, version, needs, models, fft, vectors, interpolation)
#include "dsp/kernels/kernel_rows.def"
#undef SONVEX_KERNEL_VERSION
#undef SONVEX_KERNEL_ROW
#undef SONVEX_DECLARE_fft
#undef SONVEX_DECLARE_vectors
#undef SONVEX_DECLARE_interpolation

struct KernelRow {
    const char* name;  // as the table names the row: "avx2_fma"
    KernelVersion version;
    uint32_t needs;  // CpuFeatureBit values
    const FftRoutines* fft;
    const VectorRoutines* vectors;
    const InterpolationRoutines* interpolation;  // null: the resampler's plain loop
};

// The rows in table order, from the weakest to the strongest.
constexpr int32_t kKernelRowCount = 0
#define SONVEX_KERNEL_VERSION(...) +1
#define SONVEX_KERNEL_ROW(...) +1
#include "dsp/kernels/kernel_rows.def"
#undef SONVEX_KERNEL_VERSION
#undef SONVEX_KERNEL_ROW
    ;
extern const KernelRow kKernelRows[kKernelRowCount];

// True when the features include everything the row needs.
constexpr bool RowRunsOn(const KernelRow& row, uint32_t features) { return (row.needs & ~features) == 0; }

// The row a feature set selects: the last one whose needs it meets (Baseline's when none).
const KernelRow& SelectKernelRow(uint32_t features);
// The version of that row.
KernelVersion SelectKernelVersion(uint32_t mask);

// True when this processor (and its operating system) runs the row's instructions.
bool ProcessorRuns(const KernelRow& row);

// The best row of a version that this processor runs; the version's first row when it runs
// none of them.
const KernelRow& KernelRowFor(KernelVersion version);

// The row the entry points use: Baseline's until InitProcessorDispatch or a forced row.
const KernelRow& ActiveKernelRow();

// Tests and benchmarks run every row this processor runs by forcing it; forcing a version
// forces KernelRowFor(version). Forcing a row the processor lacks is the caller's
// responsibility.
void ForceKernelRow(const KernelRow& row);
void ForceKernelVersion(KernelVersion version);

}  // namespace detail
}  // namespace sonvex
