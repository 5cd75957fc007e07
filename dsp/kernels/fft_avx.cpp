// The AVX version of the real FFT on processors without AVX2 and FMA: 8-wide vectors.
#include "dsp/kernels/fft_vector_avx.h"
#include "dsp/kernels/fft_engine.h"
#include "dsp/kernels/fft_versions.h"

namespace sonvex {
namespace fft {

int32_t ForwardAvx(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    return Transform<AvxTraits, false>(src, dst, setup, workBuffer);
}
int32_t InverseAvx(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    return Transform<AvxTraits, true>(src, dst, setup, workBuffer);
}

}  // namespace fft
}  // namespace sonvex
