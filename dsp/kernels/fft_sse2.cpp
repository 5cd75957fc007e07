// The SSE2 version of the real FFT (dispatch slots 0 and 1), compiled for SSE2 only so the
// product runs on every processor it supports.
#include "dsp/kernels/fft_vector_sse.h"
#include "dsp/kernels/fft_engine.h"
#include "dsp/kernels/fft_versions.h"

namespace sonvex {
namespace fft {

int32_t CreateSetupSse2(int32_t order, int32_t scalingMode, RealFftSetup** setupOut) {
    return BuildRealFftSetup(1, order, scalingMode, setupOut);
}
int32_t ForwardSse2(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    return ForwardTransform<SseTraits>(src, dst, setup, workBuffer);
}
int32_t InverseSse2(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    return InverseTransform<SseTraits>(src, dst, setup, workBuffer);
}
int32_t ReleaseSetupCommon(RealFftSetup* setup) { return ReleaseSetup(setup); }
int32_t QueryBufferSizeCommon(const RealFftSetup* setup, int32_t* bytesOut) {
    return QueryWorkBufferSize(setup, bytesOut);
}

}  // namespace fft
}  // namespace sonvex
