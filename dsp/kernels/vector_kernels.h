// The vector kernels of each instruction-set version, as the rows of dispatch.cpp hold them.
// Every routine validates its arguments itself (null pointers, then counts <= 0) and writes
// nothing on failure.
#pragma once
#include <cstdint>

namespace sonvex {
namespace detail {

int32_t MultiplyVectorsSse2(const float* vector1, const float* vector2, float* result, int32_t length);
int32_t MultiplyVectorsSsse3(const float* vector1, const float* vector2, float* result, int32_t length);
int32_t MultiplyVectorsAvx(const float* vector1, const float* vector2, float* result, int32_t length);

int32_t ComplexMagnitudesSse2(const float* complexValues, float* magnitudes, int32_t bins);
int32_t ComplexMagnitudesSsse3(const float* complexValues, float* magnitudes, int32_t bins);
int32_t ComplexMagnitudesSse41(const float* complexValues, float* magnitudes, int32_t bins);
int32_t ComplexMagnitudesAvx(const float* complexValues, float* magnitudes, int32_t bins);

int32_t ComplexPhasesSse2(const float* complexValues, float* phases, int32_t bins);
int32_t ComplexPhasesSsse3(const float* complexValues, float* phases, int32_t bins);
int32_t ComplexPhasesSse41(const float* complexValues, float* phases, int32_t bins);
int32_t ComplexPhasesAvx(const float* complexValues, float* phases, int32_t bins);

}  // namespace detail
}  // namespace sonvex
