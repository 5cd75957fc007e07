// The real FFT for processors with AVX2 and FMA (the avx2_fma row, and the avx512 row for the
// setups that carry no 16-lane tables), compiled with those flags: the AVX passes with fused
// complex products, and N <= 16 through the build of fft_avx2_small.cpp.
#include "dsp/kernels/block_avx.h"
#include "dsp/kernels/dispatch.h"
#include "dsp/kernels/fft_vector_avx.h"
#include "dsp/kernels/fft_engine.h"
#include "dsp/kernels/fft_versions.h"

namespace sonvex {
namespace fft {

int32_t ForwardAvx2Fma(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    if (setup->tier == kTierRealStraight) return ForwardAvx2FmaSmall(src, dst, setup, workBuffer);
    return Transform<AvxTraits, false>(src, dst, setup, workBuffer);
}
int32_t InverseAvx2Fma(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    if (setup->tier == kTierRealStraight) return InverseAvx2FmaSmall(src, dst, setup, workBuffer);
    return Transform<AvxTraits, true>(src, dst, setup, workBuffer);
}

}  // namespace fft

namespace detail {

extern const FftRoutines kFftAvx2Fma = {fft::kAvxTiers, fft::ForwardAvx2Fma, fft::InverseAvx2Fma, false, BlockFillAvx};

}  // namespace detail
}  // namespace sonvex
