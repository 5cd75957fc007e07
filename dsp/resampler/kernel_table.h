// The polyphase table of Hamming-windowed sinc kernels and the counting rule of the filter.
#pragma once
#include <cstdint>

namespace sonvex {

constexpr int32_t kPhaseCount = 4096;     // phases per input frame
constexpr int32_t kPhaseShift = 12;       // log2(kPhaseCount)
constexpr float kShortPi = 3.14159f;      // the table's pi, held in single precision

// fc = nNewRate / nOrigRate in double, limited to 1.0, rounded to single precision.
float ComputeCutoff(int32_t origRate, int32_t newRate);

// (origRate * 4096) / newRate truncated; the caller guarantees origRate * 4096 fits 32 bits.
int32_t ComputeStep(int32_t origRate, int32_t newRate);

// Fills table[r * n + t] for the 4096 phases r and the n taps t (n odd, >= 1).
void BuildKernelTable(float* table, int32_t kernelLength, float cutoff);

// Output frames whose read positions (multiples of step) lie in [C*4096, (C+A)*4096):
// S = ceil(C*4096 / step), E = ceil((C+A)*4096 / step) with truncating division, N = E - S.
// A may be negative (then N <= 0).
int64_t CountOutputs(int64_t consumed, int64_t available, int32_t step);

}  // namespace sonvex
