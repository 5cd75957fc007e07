// The SSSE3 version of the real FFT: the SSSE3 row and the SSSE3-with-MOVBE row run this code,
// each on setups built with its own tiers (the MOVBE row keeps the SSE2 boundaries).
#include "dsp/kernels/dispatch.h"
#include "dsp/kernels/fft_vector_sse.h"
#include "dsp/kernels/fft_engine.h"

namespace sonvex {
namespace fft {
namespace {

int32_t ForwardSsse3(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    return Transform<SseTraits, false>(src, dst, setup, workBuffer);
}
int32_t InverseSsse3(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    return Transform<SseTraits, true>(src, dst, setup, workBuffer);
}

}  // namespace
}  // namespace fft

namespace detail {

extern const FftRoutines kFftSsse3 = {fft::kSsse3Tiers, fft::ForwardSsse3, fft::InverseSsse3, false, nullptr};
extern const FftRoutines kFftSsse3Movbe = {fft::kSse2Tiers, fft::ForwardSsse3, fft::InverseSsse3, false, nullptr};

}  // namespace detail
}  // namespace sonvex
