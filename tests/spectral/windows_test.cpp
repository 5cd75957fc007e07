#include "dsp/spectral/windows.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

uint32_t Bits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// Written out step by step with every single-precision rounding made explicit through
// volatile floats, so that it does not share its arithmetic with the library.
float ReferenceWindow(int code, int32_t i, int32_t length) {
    volatile double twoPi = 6.283185307179586;
    volatile float step = (float)(twoPi / (double)length);
    volatile float fi = (float)i;
    volatile float angle1 = fi * step;
    volatile float twoStep = step + step;
    volatile float angle2 = fi * twoStep;
    volatile double threeStep = (double)step * 3.0;
    volatile float angle3 = (float)((double)fi * threeStep);
    volatile float c1 = (float)std::cos((double)angle1);
    volatile float c2 = (float)std::cos((double)angle2);
    volatile float c3 = (float)std::cos((double)angle3);
    volatile double value = 0.0;
    switch (code) {
        case 1: value = 0.54 - 0.46 * (double)c1; break;
        case 2: value = 0.5 - 0.5 * (double)c1; break;
        case 3: {
            volatile double left = 0.42 - 0.5 * (double)c1;
            value = left + 0.08 * (double)c2;
            break;
        }
        case 4: {
            volatile double left = 0.35875 - 0.48829 * (double)c1;
            volatile double middle = left + 0.14128 * (double)c2;
            value = middle - 0.01168 * (double)c3;
            break;
        }
    }
    return (float)value;
}

TEST(Windows, EveryValueMatchesTheReferenceToTheBit) {
    for (int16_t code = 1; code <= 4; ++code)
        for (int32_t length : {1, 2, 3, 4, 5, 7, 8, 16, 63, 64, 100, 441, 1024, 4096, 48000, 65536}) {
            std::vector<float> w(length);
            sonvex::ComputeWindow(code, w.data(), length);
            for (int32_t i = 0; i < length; ++i)
                ASSERT_EQ(Bits(w[i]), Bits(ReferenceWindow(code, i, length)))
                    << "code " << code << " length " << length << " i " << i;
        }
}

TEST(Windows, ShortWindowsHaveTheirClosedFormValues) {
    // Length 4, each to float precision.
    const float expected[4][4] = {{0.08f, 0.54f, 1, 0.54f},
                                  {0, 0.5f, 1, 0.5f},
                                  {-1.3877788e-17f, 0.34f, 1, 0.34f},
                                  {6.0e-05f, 0.21747f, 1, 0.21747f}};
    for (int16_t code = 1; code <= 4; ++code) {
        float w[4];
        sonvex::ComputeWindow(code, w, 4);
        for (int i = 0; i < 4; ++i) EXPECT_NEAR(w[i], expected[code - 1][i], 1e-7) << code << "/" << i;
    }
    // The angle and cosine roundings make Blackman's first value the double sum, not 0.
    float blackman[4];
    sonvex::ComputeWindow(sonvex::WindowBlackman, blackman, 4);
    EXPECT_EQ(Bits(blackman[0]), Bits((float)(0.08 + (0.42 - 0.5))));
    EXPECT_EQ(blackman[0], -1.3877788e-17f);

    float hann[8];
    sonvex::ComputeWindow(sonvex::WindowHann, hann, 8);
    const float hann8[8] = {0, 0.14644662f, 0.5f, 0.85355339f, 1, 0.85355339f, 0.5f, 0.14644662f};
    double sum = 0;
    for (int i = 0; i < 8; ++i) {
        EXPECT_NEAR(hann[i], hann8[i], 2.5e-7) << i;  // the angles' rounding
        sum += hann[i];
    }
    EXPECT_NEAR(sum, 4.0, 1e-6);

    // Length 1: the sum of the signed coefficients.
    const float single[4] = {0.08f, 0.0f, -1.3877788e-17f, 6.0e-05f};
    for (int16_t code = 1; code <= 4; ++code) {
        float w = 99;
        sonvex::ComputeWindow(code, &w, 1);
        EXPECT_FLOAT_EQ(w, single[code - 1]) << code;
    }
}

TEST(Windows, UnknownCodesAndEmptyLengthsWriteNothing) {
    std::vector<float> w(16, -7.5f);
    for (int16_t code : {0, 5, -1, 255, -32768, 32767}) sonvex::ComputeWindow(code, w.data(), 16);
    for (int16_t code = 1; code <= 4; ++code) {
        sonvex::ComputeWindow(code, w.data(), 0);
        sonvex::ComputeWindow(code, w.data(), -1);
        sonvex::ComputeWindow(code, w.data(), INT32_MIN);
        sonvex::ComputeWindow(code, nullptr, 16);
    }
    for (float v : w) EXPECT_EQ(v, -7.5f);
    // A short request leaves the rest alone.
    sonvex::ComputeWindow(sonvex::WindowHann, w.data(), 3);
    for (int i = 3; i < 16; ++i) EXPECT_EQ(w[i], -7.5f);
}

}  // namespace
