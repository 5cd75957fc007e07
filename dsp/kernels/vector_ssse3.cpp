// SSSE3 version of the vector kernels (the SSSE3 and SSSE3-with-MOVBE rows), compiled with
// -mssse3.
#include "dsp/kernels/dispatch.h"
#include "dsp/kernels/vector_group.h"
#include "dsp/kernels/vector_ops_sse.h"

namespace sonvex {
namespace detail {
namespace {

int32_t MultiplyVectorsSsse3(const float* vector1, const float* vector2, float* result, int32_t length) {
    return MultiplyVectorsImpl<SseGroupOps>(vector1, vector2, result, length);
}

int32_t ComplexMagnitudesSsse3(const float* complexValues, float* magnitudes, int32_t bins) {
    return ComplexMagnitudesImpl<SseGroupOps>(complexValues, magnitudes, bins);
}

int32_t ComplexPhasesSsse3(const float* complexValues, float* phases, int32_t bins) {
    return ComplexPhasesImpl<SseGroupOps>(complexValues, phases, bins);
}

}  // namespace

extern const VectorRoutines kVectorsSsse3 = {MultiplyVectorsSsse3, ComplexMagnitudesSsse3, ComplexPhasesSsse3};

}  // namespace detail
}  // namespace sonvex
