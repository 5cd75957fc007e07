// The polyphase table of Hamming-windowed sinc kernels. The step and the output count are in
// output_count.h.
#pragma once
#include <cstdint>

#include "dsp/resampler/output_count.h"

namespace sonvex {

constexpr float kShortPi = 3.14159f;      // the table's pi, held in single precision

// fc = nNewRate / nOrigRate in double, limited to 1.0, rounded to single precision.
float ComputeCutoff(int32_t origRate, int32_t newRate);

// Fills table[r * n + t] for the 4096 phases r and the n taps t (n odd, >= 1).
void BuildKernelTable(float* table, int32_t kernelLength, float cutoff);

}  // namespace sonvex
