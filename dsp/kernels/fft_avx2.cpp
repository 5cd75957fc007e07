// The AVX version's routines for processors with AVX2 and FMA, compiled with those flags: the
// row of the AVX version holds them only where the processor has both.
#include "dsp/kernels/fft_vector_avx.h"
#include "dsp/kernels/fft_engine.h"
#include "dsp/kernels/fft_versions.h"

namespace sonvex {
namespace fft {

namespace {

// Setups that carry the 16-lane tables go to those routines while they are allowed.
bool UsesWideRoutines(const RealFftSetup* setup) {
#if defined(__x86_64__)
    return setup->wide && WideRoutinesAllowed();
#else
    (void)setup;
    return false;
#endif
}

}  // namespace

int32_t ForwardAvx2Fma(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    if (UsesWideRoutines(setup)) return ForwardAvx512(src, dst, setup, workBuffer);
    if (setup->tier == kTierRealStraight) return ForwardAvx2FmaSmall(src, dst, setup, workBuffer);
    return Transform<AvxTraits, false>(src, dst, setup, workBuffer);
}
int32_t InverseAvx2Fma(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    if (UsesWideRoutines(setup)) return InverseAvx512(src, dst, setup, workBuffer);
    if (setup->tier == kTierRealStraight) return InverseAvx2FmaSmall(src, dst, setup, workBuffer);
    return Transform<AvxTraits, true>(src, dst, setup, workBuffer);
}

}  // namespace fft
}  // namespace sonvex
