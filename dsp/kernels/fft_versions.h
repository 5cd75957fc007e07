// The transforms that one instruction-set file of the AVX2 generation hands to another. Each
// takes a valid setup built by a row that holds it, and non-null pointers: the entry points
// check those.
#pragma once
#include <cstdint>

#include "dsp/kernels/kernels.h"

namespace sonvex {
namespace fft {

// The 8-lane transforms with fused complex products (fft_avx2.cpp), which the avx512 row also
// runs for setups without the 16-lane tables.
int32_t ForwardAvx2Fma(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);
int32_t InverseAvx2Fma(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);
// The same routines built with the compiler's straight-line vectoriser (fft_avx2_small.cpp): the
// unrolled real transforms of N <= 16 gain from it, the table-driven passes lose.
int32_t ForwardAvx2FmaSmall(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);
int32_t InverseAvx2FmaSmall(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);

// The avx512 row's straight-line transforms of N <= 256 (fft_avx512_small.cpp), which need no
// work buffer; orders 5 to 8 read the setup's lane twiddles.
int32_t ForwardAvx512Small(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);
int32_t InverseAvx512Small(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);

}  // namespace fft
}  // namespace sonvex
