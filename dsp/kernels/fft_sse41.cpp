// The SSE4.1 version of the real FFT: the SSSE3 tier boundaries, built for SSE4.1.
#include "dsp/kernels/dispatch.h"
#include "dsp/kernels/fft_vector_sse.h"
#include "dsp/kernels/fft_engine.h"

namespace sonvex {
namespace fft {
namespace {

int32_t ForwardSse41(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    return Transform<SseTraits, false>(src, dst, setup, workBuffer);
}
int32_t InverseSse41(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    return Transform<SseTraits, true>(src, dst, setup, workBuffer);
}

}  // namespace
}  // namespace fft

namespace detail {

extern const FftRoutines kFftSse41 = {fft::kSsse3Tiers, fft::ForwardSse41, fft::InverseSse41, false, nullptr};

}  // namespace detail
}  // namespace sonvex
