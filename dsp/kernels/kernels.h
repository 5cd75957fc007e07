// Public entry points of the numeric kernel layer: the real FFT with its setup record, the
// spectral vector kernels, the aligned allocator and the processor-feature dispatch.
// Portable C++: no COM, no window code. Every entry point but AllocAligned/FreeAligned returns a
// KernelStatus and writes nothing when it fails.
#pragma once
#include <cstdint>
#include <memory>

namespace sonvex {

enum KernelStatus : int32_t {
    StatusOk = 0,
    StatusBadSize = -6,
    StatusNullPointer = -8,
    StatusNoMemory = -9,
    StatusBadOrder = -15,
    StatusBadScaling = -16,
    StatusBadSetup = -17,
};

enum ScalingMode : int32_t {
    ScaleForwardByN = 1,
    ScaleInverseByN = 2,
    ScaleBothBySqrtN = 4,
    NoScaling = 8,
};

// The versions of the dispatched kernels, one per instruction-set generation, as
// dsp/kernels/kernel_rows.def declares them: Baseline 0, Sse2 1, Ssse3 2, Ssse3Movbe 3,
// Sse41 4, Avx 5. Baseline is what runs before the processor's version is chosen, or on a
// processor without CPUID; the product needs SSE2, so it runs the SSE2 routines. A version may
// hold several rows of routines (the AVX version: AVX, AVX2 with FMA, AVX-512); the dispatch
// picks the best row the processor runs, and the version reported is that row's.
enum class KernelVersion : int32_t {
#define SONVEX_KERNEL_VERSION(index, version, ...) version = index,
#define SONVEX_KERNEL_ROW(...)
#include "dsp/kernels/kernel_rows.def"
#undef SONVEX_KERNEL_VERSION
#undef SONVEX_KERNEL_ROW
};
constexpr int32_t kKernelVersionCount = 0
#define SONVEX_KERNEL_VERSION(...) +1
#define SONVEX_KERNEL_ROW(...)
#include "dsp/kernels/kernel_rows.def"
#undef SONVEX_KERNEL_VERSION
#undef SONVEX_KERNEL_ROW
    ;

struct RealFftSetup;  // opaque; one aligned block holding header and tables

// Aligned heap blocks: 32-byte aligned, nothing for bytes <= 0.
void* AllocAligned(int32_t bytes);
void FreeAligned(void* block);

// A setup keeps the version that built it: its transforms run that version's routines whatever
// version is active when they are called.
int32_t CreateRealFftSetup(int32_t order, int32_t scalingMode, RealFftSetup** setupOut);
int32_t GetRealFftBufferSize(const RealFftSetup* setup, int32_t* bytesOut);
int32_t RealFftForward(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);
int32_t RealFftInverse(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);
int32_t ReleaseRealFftSetup(RealFftSetup* setup);

// An owning handle of a setup, released with the handle.
struct RealFftSetupRelease {
    void operator()(RealFftSetup* setup) const { ReleaseRealFftSetup(setup); }
};
using RealFftSetupHandle = std::unique_ptr<RealFftSetup, RealFftSetupRelease>;

int32_t MultiplyVectors(const float* vector1, const float* vector2, float* result, int32_t length);
int32_t ComplexMagnitudes(const float* complexValues, float* magnitudes, int32_t bins);
int32_t ComplexPhases(const float* complexValues, float* phases, int32_t bins);

// Processor-feature dispatch. The active version is Baseline until InitProcessorDispatch
// chooses the one this processor's features select.
bool QueryCpuFeatures(uint32_t* maskOut);
void InitProcessorDispatch();
KernelVersion ActiveKernelVersion();
// "baseline", "sse2", "ssse3", "ssse3_movbe", "sse41", "avx".
const char* KernelVersionName(KernelVersion version);

}  // namespace sonvex
