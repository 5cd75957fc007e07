// SSE2 version of the vector kernels (the Baseline and SSE2 rows, and the SSE4.1 set's
// MultiplyVectors).
#include "dsp/kernels/dispatch.h"
#include "dsp/kernels/vector_group.h"
#include "dsp/kernels/vector_kernels.h"
#include "dsp/kernels/vector_ops_sse.h"

namespace sonvex {
namespace detail {

int32_t MultiplyVectorsSse2(const float* vector1, const float* vector2, float* result, int32_t length) {
    return MultiplyVectorsImpl<SseGroupOps>(vector1, vector2, result, length);
}

namespace {

int32_t ComplexMagnitudesSse2(const float* complexValues, float* magnitudes, int32_t bins) {
    return ComplexMagnitudesImpl<SseGroupOps>(complexValues, magnitudes, bins);
}

int32_t ComplexPhasesSse2(const float* complexValues, float* phases, int32_t bins) {
    return ComplexPhasesImpl<SseGroupOps>(complexValues, phases, bins);
}

}  // namespace

extern const VectorRoutines kVectorsSse2 = {MultiplyVectorsSse2, ComplexMagnitudesSse2, ComplexPhasesSse2};

}  // namespace detail
}  // namespace sonvex
