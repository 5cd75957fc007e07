// The AVX version of the real FFT (slot 5): 8-wide vectors, the AVX2/FMA build of the same
// routines when the processor has them, and 16-lane routines where AVX-512 runs.
#include "dsp/kernels/dispatch.h"
#include "dsp/kernels/fft_vector_avx.h"
#include "dsp/kernels/fft_engine.h"
#include "dsp/kernels/fft_versions.h"

#if defined(__GNUC__)
#include <cpuid.h>
#endif

namespace sonvex {
namespace fft {

namespace {

bool DetectAvx2Fma() {
#if defined(__GNUC__)
    unsigned eax, ebx, ecx, edx;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
    const bool fma = (ecx >> 12) & 1, osxsave = (ecx >> 27) & 1, avx = (ecx >> 28) & 1;
    if (!fma || !osxsave || !avx) return false;
    unsigned xcr0Low, xcr0High;
    __asm__ volatile("xgetbv" : "=a"(xcr0Low), "=d"(xcr0High) : "c"(0));
    if ((xcr0Low & 6) != 6) return false;
    if (__get_cpuid_max(0, nullptr) < 7) return false;
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    return (ebx >> 5) & 1;
#else
    return false;
#endif
}

// AVX-512F on the processor, and the operating system saving the mask and upper vector registers
// (XCR0 bits 1, 2, 5, 6, 7). Only 64-bit builds use it: in 32-bit mode the 16-lane routines would
// have a quarter of the registers they are written for.
bool DetectAvx512() {
#if defined(__GNUC__) && defined(__x86_64__)
    if (!ProcessorHasAvx2Fma()) return false;
    unsigned eax, ebx, ecx, edx;
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    if (!((ebx >> 16) & 1)) return false;
    unsigned xcr0Low, xcr0High;
    __asm__ volatile("xgetbv" : "=a"(xcr0Low), "=d"(xcr0High) : "c"(0));
    return (xcr0Low & 0xE6) == 0xE6;
#else
    return false;
#endif
}

// -1 until known; every thread that races here stores the same answer.
int32_t g_avx2Fma = -1;
int32_t g_avx512 = -1;
bool g_wideAllowed = true;

// The 16-lane routines take a setup only when it carries their tables.
bool WideRoutinesApply(const RealFftSetup* setup) {
    return setup && setup->tag == kValidSetupTag && setup->wide && WideRoutinesRun();
}

}  // namespace

bool ProcessorHasAvx2Fma() {
    if (g_avx2Fma < 0) g_avx2Fma = DetectAvx2Fma() ? 1 : 0;
    return g_avx2Fma == 1;
}

bool WideRoutinesRun() {
    if (g_avx512 < 0) g_avx512 = DetectAvx512() ? 1 : 0;
    return g_avx512 == 1 && g_wideAllowed;
}

void AllowWideRoutines(bool allowed) { g_wideAllowed = allowed; }

int32_t CreateSetupAvx(int32_t order, int32_t scalingMode, RealFftSetup** setupOut) {
    return BuildRealFftSetup(5, order, scalingMode, setupOut, detail::BlockFillAvx, WideRoutinesRun());
}
int32_t ForwardAvx(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
#if defined(__x86_64__)
    if (WideRoutinesApply(setup)) return ForwardAvx512(src, dst, setup, workBuffer);
#endif
    if (ProcessorHasAvx2Fma()) return ForwardAvx2Fma(src, dst, setup, workBuffer);
    return ForwardTransform<AvxTraits>(src, dst, setup, workBuffer);
}
int32_t InverseAvx(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
#if defined(__x86_64__)
    if (WideRoutinesApply(setup)) return InverseAvx512(src, dst, setup, workBuffer);
#endif
    if (ProcessorHasAvx2Fma()) return InverseAvx2Fma(src, dst, setup, workBuffer);
    return InverseTransform<AvxTraits>(src, dst, setup, workBuffer);
}

}  // namespace fft
}  // namespace sonvex
