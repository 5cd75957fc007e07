// The AVX version's routines for processors with AVX2 and FMA, built with the compiler's
// straight-line vectoriser on; fft_avx2.cpp sends valid setups of N <= 16 here.
#include "dsp/kernels/fft_vector_avx.h"
#include "dsp/kernels/fft_engine.h"
#include "dsp/kernels/fft_versions.h"

namespace sonvex {
namespace fft {

int32_t ForwardAvx2FmaSmall(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    return ForwardTransform<AvxTraits>(src, dst, setup, workBuffer);
}
int32_t InverseAvx2FmaSmall(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    return InverseTransform<AvxTraits>(src, dst, setup, workBuffer);
}

}  // namespace fft
}  // namespace sonvex
