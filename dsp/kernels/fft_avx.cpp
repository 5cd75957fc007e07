// The AVX version of the real FFT on processors without AVX2 and FMA (the avx row): 8-wide
// vectors.
#include "dsp/kernels/block_avx.h"
#include "dsp/kernels/dispatch.h"
#include "dsp/kernels/fft_vector_avx.h"
#include "dsp/kernels/fft_engine.h"

namespace sonvex {
namespace fft {
namespace {

int32_t ForwardAvx(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    return Transform<AvxTraits, false>(src, dst, setup, workBuffer);
}
int32_t InverseAvx(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    return Transform<AvxTraits, true>(src, dst, setup, workBuffer);
}

}  // namespace
}  // namespace fft

namespace detail {

extern const FftRoutines kFftAvx = {fft::kAvxTiers, fft::ForwardAvx, fft::InverseAvx, false, BlockFillAvx};

}  // namespace detail
}  // namespace sonvex
