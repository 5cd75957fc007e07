// SSE4.1 version of the complex kernels (the SSE4.1 row), compiled with -msse4.1: blends instead
// of mask arithmetic. That row multiplies vectors with the SSE2 routine.
#include "dsp/kernels/dispatch.h"
#include "dsp/kernels/vector_group.h"
#include "dsp/kernels/vector_kernels.h"
#include "dsp/kernels/vector_ops_sse.h"

namespace sonvex {
namespace detail {
namespace {

int32_t ComplexMagnitudesSse41(const float* complexValues, float* magnitudes, int32_t bins) {
    return ComplexMagnitudesImpl<SseGroupOps>(complexValues, magnitudes, bins);
}

int32_t ComplexPhasesSse41(const float* complexValues, float* phases, int32_t bins) {
    return ComplexPhasesImpl<SseGroupOps>(complexValues, phases, bins);
}

}  // namespace

extern const VectorRoutines kVectorsSse41 = {MultiplyVectorsSse2, ComplexMagnitudesSse41, ComplexPhasesSse41};

}  // namespace detail
}  // namespace sonvex
