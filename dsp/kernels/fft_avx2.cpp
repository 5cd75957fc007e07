// The AVX version's routines for processors with AVX2 and FMA; compiled with those flags and
// reached only after ProcessorHasAvx2Fma() said yes.
#include "dsp/kernels/fft_vector_avx.h"
#include "dsp/kernels/fft_engine.h"
#include "dsp/kernels/fft_versions.h"

namespace sonvex {
namespace fft {

namespace {

// Valid setups of the real straight-line tier go to the build made for them; everything else,
// failures included, is decided here.
bool UsesSmallBuild(const RealFftSetup* setup) {
    return setup && setup->tag == kValidSetupTag && setup->tier == kTierRealStraight;
}

}  // namespace

int32_t ForwardAvx2Fma(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    if (UsesSmallBuild(setup)) return ForwardAvx2FmaSmall(src, dst, setup, workBuffer);
    return ForwardTransform<AvxTraits>(src, dst, setup, workBuffer);
}
int32_t InverseAvx2Fma(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    if (UsesSmallBuild(setup)) return InverseAvx2FmaSmall(src, dst, setup, workBuffer);
    return InverseTransform<AvxTraits>(src, dst, setup, workBuffer);
}

}  // namespace fft
}  // namespace sonvex
