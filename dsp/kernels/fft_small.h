// Straight-line real transforms of N <= 16: unrolled, no tables, scalar code that the compiler
// vectorises as each version's flags allow.
#pragma once
#include <cstdint>

#include "dsp/kernels/fft_complex.h"

namespace sonvex {
namespace fft {
namespace {

template <int kPoints, bool kInverse>
struct SmallDft;

template <bool kInverse>
struct SmallDft<1, kInverse> {
    static void Run(const Cx* z, Cx* out) { out[0] = z[0]; }
};
template <bool kInverse>
struct SmallDft<2, kInverse> {
    static void Run(const Cx* z, Cx* out) {
        out[0] = z[0] + z[1];
        out[1] = z[0] - z[1];
    }
};
template <bool kInverse>
struct SmallDft<4, kInverse> {
    static void Run(const Cx* z, Cx* out) {
        const Cx apc = z[0] + z[2], amc = z[0] - z[2], bpd = z[1] + z[3], bmd = z[1] - z[3];
        const Cx r = kInverse ? TimesI(bmd) : TimesNegI(bmd);
        out[0] = apc + bpd;
        out[1] = amc + r;
        out[2] = apc - bpd;
        out[3] = amc - r;
    }
};
template <bool kInverse>
struct SmallDft<8, kInverse> {
    static void Run(const Cx* z, Cx* out) {
        const Cx even[4] = {z[0], z[2], z[4], z[6]};
        const Cx odd[4] = {z[1], z[3], z[5], z[7]};
        Cx e[4], o[4];
        SmallDft<4, kInverse>::Run(even, e);
        SmallDft<4, kInverse>::Run(odd, o);
        const float h = 0.70710678118654752f;
        const float sign = kInverse ? 1.0f : -1.0f;
        const Cx w[4] = {Cx{1.0f, 0.0f}, Cx{h, sign * h}, Cx{0.0f, sign}, Cx{-h, sign * h}};
        for (int k = 0; k < 4; ++k) {
            const Cx t = Mul(o[k], w[k]);
            out[k] = e[k] + t;
            out[k + 4] = e[k] - t;
        }
    }
};

// e^{-2 pi i k / N} for k = 0 .. N/4 of the two straight-line sizes that use the split step.
inline const Cx* SmallSplitTwiddles(int points) {
    static const Cx eight[3] = {{1.0f, 0.0f}, {0.70710678118654752f, -0.70710678118654752f}, {0.0f, -1.0f}};
    static const Cx sixteen[5] = {{1.0f, 0.0f},
                                  {0.92387953251128674f, -0.38268343236508977f},
                                  {0.70710678118654752f, -0.70710678118654752f},
                                  {0.38268343236508977f, -0.92387953251128674f},
                                  {0.0f, -1.0f}};
    return points == 8 ? eight : sixteen;
}

template <int kN, bool kScaled>
void SmallRealForward(const float* x, float* out, float s) {
    if constexpr (kN == 1) {
        const float v = kScaled ? x[0] * s : x[0];
        out[0] = v;
        out[1] = 0.0f;
    } else if constexpr (kN == 2) {
        float a = x[0] + x[1], b = x[0] - x[1];
        if (kScaled) a *= s, b *= s;
        out[0] = a, out[1] = 0.0f, out[2] = b, out[3] = 0.0f;
    } else if constexpr (kN == 4) {
        const float s02 = x[0] + x[2], s13 = x[1] + x[3], d02 = x[0] - x[2], d31 = x[3] - x[1];
        float r0 = s02 + s13, r2 = s02 - s13, r1 = d02, i1 = d31;
        if (kScaled) r0 *= s, r2 *= s, r1 *= s, i1 *= s;
        out[0] = r0, out[1] = 0.0f, out[2] = r1, out[3] = i1, out[4] = r2, out[5] = 0.0f;
    } else {
        constexpr int n = kN / 2;
        Cx z[n], Z[n];
        for (int j = 0; j < n; ++j) z[j] = LoadCx(x + 2 * j);
        SmallDft<n, false>::Run(z, Z);
        const Cx* w = SmallSplitTwiddles(kN);
        const float scale = kScaled ? s : 1.0f;
        const float h = 0.5f * scale;
        Cx X[n + 1];
        X[0] = Cx{(Z[0].re + Z[0].im) * scale, 0.0f};
        X[n] = Cx{(Z[0].re - Z[0].im) * scale, 0.0f};
        for (int k = 1; k <= n / 2; ++k) {
            const Cx a = Z[k], b = Conj(Z[n - k]);
            const Cx e = Scale(a + b, h);
            const Cx o = TimesNegI(Scale(a - b, h));
            const Cx t = Mul(o, w[k]);
            X[k] = e + t;
            X[n - k] = Conj(e - t);
        }
        for (int k = 0; k <= n; ++k) StoreCx(out + 2 * k, X[k]);
    }
}

template <int kN, bool kScaled>
void SmallRealInverse(const float* in, float* x, float s) {
    if constexpr (kN == 1) {
        x[0] = kScaled ? in[0] * s : in[0];
    } else if constexpr (kN == 2) {
        float a = in[0] + in[2], b = in[0] - in[2];
        if (kScaled) a *= s, b *= s;
        x[0] = a, x[1] = b;
    } else if constexpr (kN == 4) {
        const float sum = in[0] + in[4], diff = in[0] - in[4];
        const float re = 2.0f * in[2], im = 2.0f * in[3];
        float x0 = sum + re, x2 = sum - re, x1 = diff - im, x3 = diff + im;
        if (kScaled) x0 *= s, x1 *= s, x2 *= s, x3 *= s;
        x[0] = x0, x[1] = x1, x[2] = x2, x[3] = x3;
    } else {
        constexpr int n = kN / 2;
        const float scale = kScaled ? s : 1.0f;
        const Cx* w = SmallSplitTwiddles(kN);
        Cx X[n + 1], Y[n], y[n];
        X[0] = Cx{in[0], 0.0f};
        X[n] = Cx{in[kN], 0.0f};
        for (int k = 1; k < n; ++k) X[k] = LoadCx(in + 2 * k);
        Y[0] = Cx{(X[0].re + X[n].re) * scale, (X[0].re - X[n].re) * scale};
        for (int k = 1; k <= n / 2; ++k) {
            const Cx a = X[k], b = Conj(X[n - k]);
            const Cx p = Scale(a + b, scale);
            const Cx q = TimesI(Mul(Scale(a - b, scale), Conj(w[k])));
            Y[k] = p + q;
            Y[n - k] = Conj(p - q);
        }
        SmallDft<n, true>::Run(Y, y);
        for (int j = 0; j < n; ++j) {
            x[2 * j] = y[j].re;
            x[2 * j + 1] = y[j].im;
        }
    }
}

template <int kN, bool kInverse, bool kScaled>
inline void SmallReal(const float* src, float* dst, float s) {
    if constexpr (kInverse) {
        SmallRealInverse<kN, kScaled>(src, dst, s);
    } else {
        SmallRealForward<kN, kScaled>(src, dst, s);
    }
}

// The transform of the order's size, in the direction asked for.
template <bool kInverse, bool kScaled>
void SmallRealTransform(int32_t order, const float* src, float* dst, float s) {
    switch (order) {
        case 0: SmallReal<1, kInverse, kScaled>(src, dst, s); break;
        case 1: SmallReal<2, kInverse, kScaled>(src, dst, s); break;
        case 2: SmallReal<4, kInverse, kScaled>(src, dst, s); break;
        case 3: SmallReal<8, kInverse, kScaled>(src, dst, s); break;
        default: SmallReal<16, kInverse, kScaled>(src, dst, s); break;
    }
}

}  // namespace
}  // namespace fft
}  // namespace sonvex
