// The SSE2 version of the real FFT (the Baseline and SSE2 rows), compiled for SSE2 only so the
// product runs on every processor it supports.
#include "dsp/kernels/dispatch.h"
#include "dsp/kernels/fft_vector_sse.h"
#include "dsp/kernels/fft_engine.h"

namespace sonvex {
namespace fft {
namespace {

int32_t ForwardSse2(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    return Transform<SseTraits, false>(src, dst, setup, workBuffer);
}
int32_t InverseSse2(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    return Transform<SseTraits, true>(src, dst, setup, workBuffer);
}

}  // namespace
}  // namespace fft

namespace detail {

extern const FftRoutines kFftSse2 = {fft::kSse2Tiers, fft::ForwardSse2, fft::InverseSse2, false, nullptr};

}  // namespace detail
}  // namespace sonvex
