// The SSSE3 versions of the real FFT: slot 2 (SSSE3) and slot 3 (SSSE3 with MOVBE). They share
// the vector code but not their tier tables: slot 3 keeps the SSE2 boundaries.
#include "dsp/kernels/fft_vector_sse.h"
#include "dsp/kernels/fft_engine.h"
#include "dsp/kernels/fft_versions.h"

namespace sonvex {
namespace fft {

int32_t CreateSetupSsse3(int32_t order, int32_t scalingMode, RealFftSetup** setupOut) {
    return BuildRealFftSetup(2, order, scalingMode, setupOut);
}
int32_t ForwardSsse3(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    return ForwardTransform<SseTraits>(src, dst, setup, workBuffer);
}
int32_t InverseSsse3(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    return InverseTransform<SseTraits>(src, dst, setup, workBuffer);
}

int32_t CreateSetupSsse3Movbe(int32_t order, int32_t scalingMode, RealFftSetup** setupOut) {
    return BuildRealFftSetup(3, order, scalingMode, setupOut);
}
int32_t ForwardSsse3Movbe(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    return ForwardTransform<SseTraits>(src, dst, setup, workBuffer);
}
int32_t InverseSsse3Movbe(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    return InverseTransform<SseTraits>(src, dst, setup, workBuffer);
}
int32_t ReleaseSetupSsse3Movbe(RealFftSetup* setup) { return ReleaseSetup(setup); }

}  // namespace fft
}  // namespace sonvex
