// The rows of the kernel table, the active row, and the entry points that run through it.
// Each entry point is one load of the active row and a tail call into it; a transform runs its
// setup's row instead.
#include "dsp/kernels/dispatch.h"

#include <atomic>

namespace sonvex {
namespace detail {

// The resampler's plain loop: rows that name it hold no interpolation set.
extern const InterpolationRoutines kInterpolationNone = {"scalar", 1, nullptr, nullptr, nullptr, 0, nullptr, nullptr};

namespace {
constexpr const InterpolationRoutines* InterpolationSet(const InterpolationRoutines& set) {
    return &set == &kInterpolationNone ? nullptr : &set;
}
}  // namespace

#define SONVEX_ROW_needs(bits) (bits)
#define SONVEX_ROW_fft(set) &kFft##set
#define SONVEX_ROW_vectors(set) &kVectors##set
#define SONVEX_ROW_interpolation(set) InterpolationSet(kInterpolation##set)
#define SONVEX_KERNEL_ROW(name, version, needs, models, fft, vectors, interpolation)                      \
    KernelRow{#name, KernelVersion::version, SONVEX_ROW_##needs, SONVEX_ROW_##fft, SONVEX_ROW_##vectors, \
              SONVEX_ROW_##interpolation},
#define SONVEX_KERNEL_VERSION(index, version, name, needs, models, fft, vectors, interpolation) \
    SONVEX_KERNEL_ROW(name, version, needs, models, fft, vectors, interpolation)
extern constexpr KernelRow kKernelRows[kKernelRowCount] = {
#include "dsp/kernels/kernel_rows.def"
};
#undef SONVEX_KERNEL_VERSION
#undef SONVEX_KERNEL_ROW
#undef SONVEX_ROW_needs
#undef SONVEX_ROW_fft
#undef SONVEX_ROW_vectors
#undef SONVEX_ROW_interpolation

namespace {

// Each version's index and name, in table order.
#define SONVEX_KERNEL_VERSION(index, version, name, ...) {index, #name},
#define SONVEX_KERNEL_ROW(...)
constexpr struct {
    int32_t index;
    const char* name;
} kVersions[] = {
#include "dsp/kernels/kernel_rows.def"
};
#undef SONVEX_KERNEL_VERSION
#undef SONVEX_KERNEL_ROW

// The table's promises: versions numbered 0, 1, 2 ... in order, Baseline's row first and
// needing nothing, and every further row after the row that opens its version, so the rows of
// a version are neighbours.
constexpr bool TableIsOrdered() {
    for (int32_t v = 0; v < kKernelVersionCount; ++v) {
        if (kVersions[v].index != v) return false;
    }
    if (kKernelRows[0].version != KernelVersion::Baseline || kKernelRows[0].needs != 0) return false;
    for (int32_t r = 1; r < kKernelRowCount; ++r) {
        const int32_t step =
            static_cast<int32_t>(kKernelRows[r].version) - static_cast<int32_t>(kKernelRows[r - 1].version);
        if (step != 0 && step != 1) return false;
    }
    return static_cast<int32_t>(kKernelRows[kKernelRowCount - 1].version) == kKernelVersionCount - 1;
}
static_assert(TableIsOrdered(), "kernel_rows.def: versions 0, 1, 2 ... in order, each row after its version");

// Read on every entry-point call; Baseline's row until a row is chosen.
std::atomic<const KernelRow*> g_activeRow{&kKernelRows[0]};

inline const KernelRow& ActiveRow() { return *g_activeRow.load(std::memory_order_acquire); }

}  // namespace

const KernelRow& SelectKernelRow(uint32_t features) {
    int32_t best = 0;
    for (int32_t r = 1; r < kKernelRowCount; ++r) {
        if (RowRunsOn(kKernelRows[r], features)) best = r;
    }
    return kKernelRows[best];
}

KernelVersion SelectKernelVersion(uint32_t mask) { return SelectKernelRow(mask).version; }

bool ProcessorRuns(const KernelRow& row) { return RowRunsOn(row, DetectedProcessorFeatures().features); }

const KernelRow& KernelRowFor(KernelVersion version) {
    const KernelRow* chosen = nullptr;
    for (const KernelRow& row : kKernelRows) {
        if (row.version != version) continue;
        if (!chosen || ProcessorRuns(row)) chosen = &row;
    }
    return chosen ? *chosen : kKernelRows[0];
}

const KernelRow& ActiveKernelRow() { return ActiveRow(); }

void ForceKernelRow(const KernelRow& row) { g_activeRow.store(&row, std::memory_order_release); }

void ForceKernelVersion(KernelVersion version) {
    const int32_t index = static_cast<int32_t>(version);
    if (index >= 0 && index < kKernelVersionCount) ForceKernelRow(KernelRowFor(version));
}

}  // namespace detail

void InitProcessorDispatch() {
    const detail::ProcessorFeatures& processor = detail::DetectedProcessorFeatures();
    detail::ForceKernelRow(processor.hasCpuid ? detail::SelectKernelRow(processor.features) : detail::kKernelRows[0]);
}

KernelVersion ActiveKernelVersion() { return detail::ActiveRow().version; }

const char* KernelVersionName(KernelVersion version) {
    const int32_t index = static_cast<int32_t>(version);
    return index >= 0 && index < kKernelVersionCount ? detail::kVersions[index].name : "unknown";
}

int32_t RealFftForward(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    const int32_t status = fft::CheckTransform(src, dst, setup);
    if (status != StatusOk) return status;
    return setup->row->fft->forward(src, dst, setup, workBuffer);
}

int32_t RealFftInverse(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    const int32_t status = fft::CheckTransform(src, dst, setup);
    if (status != StatusOk) return status;
    return setup->row->fft->inverse(src, dst, setup, workBuffer);
}

int32_t MultiplyVectors(const float* vector1, const float* vector2, float* result, int32_t length) {
    return detail::ActiveRow().vectors->multiply(vector1, vector2, result, length);
}

int32_t ComplexMagnitudes(const float* complexValues, float* magnitudes, int32_t bins) {
    return detail::ActiveRow().vectors->magnitudes(complexValues, magnitudes, bins);
}

int32_t ComplexPhases(const float* complexValues, float* phases, int32_t bins) {
    return detail::ActiveRow().vectors->phases(complexValues, phases, bins);
}

const InterpolationRoutines* ActiveInterpolationRoutines() { return detail::ActiveRow().interpolation; }

}  // namespace sonvex
