#include "dsp/resampler/kernel_table.h"

#include <cmath>

namespace sonvex {

float ComputeCutoff(int32_t origRate, int32_t newRate) {
    double fc = static_cast<double>(newRate) / static_cast<double>(origRate);
    if (fc > 1.0) fc = 1.0;
    return static_cast<float>(fc);
}

void BuildKernelTable(float* table, int32_t kernelLength, float cutoff) {
    const int32_t n = kernelLength;
    const int32_t half = (n + 1) / 2;
    const double pi = static_cast<double>(kShortPi);
    const double fc = static_cast<double>(cutoff);
    const double windowScale = 4096.0 * static_cast<double>(half);
    for (int32_t r = 0; r < kPhaseCount; ++r) {
        float* phase = table + static_cast<int64_t>(r) * n;
        const double frac = static_cast<double>(r) / 4096.0;
        for (int32_t j = -(half - 1); j <= half - 1; ++j) {
            float coefficient;
            if (r == 0 && j == 0) {
                coefficient = cutoff;
            } else {
                const float x = static_cast<float>(pi * fc * (frac - static_cast<double>(j)));
                // The window sits at (j + r/4096)/M: mirrored against the sinc's offset.
                const float a = static_cast<float>(pi * (4096.0 * j + r) / windowScale);
                const float cosA = static_cast<float>(std::cos(static_cast<double>(a)));
                const float w = static_cast<float>(0.54 + 0.46 * static_cast<double>(cosA));
                const float s = static_cast<float>(std::sin(static_cast<double>(x)));
                const float sinc = static_cast<float>(fc * static_cast<double>(s) / static_cast<double>(x));
                coefficient = sinc * w;
            }
            phase[j + half - 1] = coefficient;
        }
    }
}

}  // namespace sonvex
