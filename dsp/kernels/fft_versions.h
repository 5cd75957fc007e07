// The routines of each FFT version, one set per dispatch slot group; dispatch_fft.cpp puts them
// into the tables.
#pragma once
#include <cstdint>

#include "dsp/kernels/kernels.h"

namespace sonvex {
namespace fft {

int32_t CreateSetupSse2(int32_t order, int32_t scalingMode, RealFftSetup** setupOut);
int32_t ForwardSse2(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);
int32_t InverseSse2(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);

int32_t CreateSetupSsse3(int32_t order, int32_t scalingMode, RealFftSetup** setupOut);
int32_t ForwardSsse3(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);
int32_t InverseSsse3(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);

int32_t CreateSetupSsse3Movbe(int32_t order, int32_t scalingMode, RealFftSetup** setupOut);
int32_t ForwardSsse3Movbe(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);
int32_t InverseSsse3Movbe(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);
int32_t ReleaseSetupSsse3Movbe(RealFftSetup* setup);

int32_t CreateSetupSse41(int32_t order, int32_t scalingMode, RealFftSetup** setupOut);
int32_t ForwardSse41(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);
int32_t InverseSse41(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);

int32_t CreateSetupAvx(int32_t order, int32_t scalingMode, RealFftSetup** setupOut);
int32_t ForwardAvx(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);
int32_t InverseAvx(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);
// The AVX version's inner routines for processors with AVX2 and FMA (fft_avx2.cpp).
int32_t ForwardAvx2Fma(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);
int32_t InverseAvx2Fma(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);
// The same routines built with the compiler's straight-line vectoriser (fft_avx2_small.cpp): the
// unrolled real transforms of N <= 16 gain from it, the table-driven passes lose.
int32_t ForwardAvx2FmaSmall(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);
int32_t InverseAvx2FmaSmall(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);
// True when the processor and the operating system support AVX2 with FMA (checked once).
bool ProcessorHasAvx2Fma();
// True when the 16-lane routines run here: a 64-bit build, AVX-512F with its register state
// enabled by the operating system, and not withheld by AllowWideRoutines(false).
bool WideRoutinesRun();
// Tests withhold the 16-lane routines to reach the 8-lane ones on the same processor; setups made
// while withheld carry no 16-lane tables.
void AllowWideRoutines(bool allowed);
// The 16-lane transforms of setups that carry their tables (fft_avx512.cpp).
int32_t ForwardAvx512(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);
int32_t InverseAvx512(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);

int32_t ReleaseSetupCommon(RealFftSetup* setup);
int32_t QueryBufferSizeCommon(const RealFftSetup* setup, int32_t* bytesOut);

}  // namespace fft
}  // namespace sonvex
