// The transforms of each version's row (dispatch.cpp puts them into the rows). Each takes a
// valid setup built with the tiers of a row that holds it, and non-null pointers: the entry
// points check those.
#pragma once
#include <cstdint>

#include "dsp/kernels/kernels.h"

namespace sonvex {
namespace fft {

// SSE2: the Baseline and SSE2 rows (fft_sse2.cpp).
int32_t ForwardSse2(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);
int32_t InverseSse2(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);

// SSSE3: the SSSE3 row and the SSSE3-with-MOVBE row, which share the code but not the tiers
// (fft_ssse3.cpp).
int32_t ForwardSsse3(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);
int32_t InverseSsse3(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);

// SSE4.1 (fft_sse41.cpp).
int32_t ForwardSse41(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);
int32_t InverseSse41(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);

// The AVX row on processors without AVX2 and FMA: 8 lanes (fft_avx.cpp).
int32_t ForwardAvx(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);
int32_t InverseAvx(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);

// The AVX row on processors with AVX2 and FMA (fft_avx2.cpp): the same passes with fused complex
// products, N <= 16 through the build below, and the 16-lane routines for setups that carry
// their tables while those routines are allowed.
int32_t ForwardAvx2Fma(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);
int32_t InverseAvx2Fma(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);
// The same routines built with the compiler's straight-line vectoriser (fft_avx2_small.cpp): the
// unrolled real transforms of N <= 16 gain from it, the table-driven passes lose.
int32_t ForwardAvx2FmaSmall(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);
int32_t InverseAvx2FmaSmall(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);
// The 16-lane transforms (fft_avx512.cpp, 64-bit builds).
int32_t ForwardAvx512(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);
int32_t InverseAvx512(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);

}  // namespace fft
}  // namespace sonvex
