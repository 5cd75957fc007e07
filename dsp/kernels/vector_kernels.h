// The vector kernels that one instruction-set file hands to another's routine set. Every routine
// validates its arguments itself (null pointers, then counts <= 0) and writes nothing on failure.
#pragma once
#include <cstdint>

namespace sonvex {
namespace detail {

// The SSE2 product (vector_sse2.cpp), which the SSE4.1 set uses too.
int32_t MultiplyVectorsSse2(const float* vector1, const float* vector2, float* result, int32_t length);

}  // namespace detail
}  // namespace sonvex
