// Periodic cosine-sum windows. The angles and cosines are rounded to single precision before
// the double-precision sum on purpose: that rounding is part of the window values, which are
// reproduced to the last bit. -ffp-contract=off keeps the sums unfused.
#include "dsp/spectral/windows.h"

#include <cmath>

namespace sonvex {

namespace {

inline float CosineOf(float angle) { return (float)std::cos((double)angle); }

}  // namespace

void ComputeWindow(int16_t windowCode, float* window, int32_t length) {
    if (windowCode < WindowHamming || windowCode > WindowBlackmanHarris) return;
    if (length <= 0 || !window) return;
    const float step = (float)(6.283185307179586 / (double)length);
    const float doubleStep = 2.0f * step;                // exact
    const double tripleStep = 3.0 * (double)step;        // exact in double
    for (int32_t i = 0; i < length; ++i) {
        const float fi = (float)i;
        const double c1 = CosineOf(fi * step);
        double value;
        switch (windowCode) {
            case WindowHamming:
                value = 0.54 - 0.46 * c1;
                break;
            case WindowHann:
                value = 0.5 - 0.5 * c1;
                break;
            case WindowBlackman: {
                const double c2 = CosineOf(fi * doubleStep);
                value = (0.42 - 0.5 * c1) + 0.08 * c2;
                break;
            }
            default: {
                const double c2 = CosineOf(fi * doubleStep);
                const double c3 = CosineOf((float)((double)fi * tripleStep));
                value = ((0.35875 - 0.48829 * c1) + 0.14128 * c2) - 0.01168 * c3;
                break;
            }
        }
        window[i] = (float)value;
    }
}

}  // namespace sonvex
