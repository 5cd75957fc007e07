// Analysis windows of CFourierTransform::CalcWindow, computed to the last bit.
#pragma once
#include <cstdint>

namespace sonvex {

enum WindowCode : int16_t {
    WindowHamming = 1,
    WindowHann = 2,
    WindowBlackman = 3,
    WindowBlackmanHarris = 4,
};

// Fills window[0..length-1]; unknown codes and lengths <= 0 write nothing.
void ComputeWindow(int16_t windowCode, float* window, int32_t length);

}  // namespace sonvex
