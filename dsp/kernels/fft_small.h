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

// N = 16 from the real samples directly, for the sets whose scalar code beats their vectors at
// this size: sums and differences of x_n and x_{n+8} (a, b); the even bins are the 8-point
// transform of a, again split into a_n +/- a_{n+4}; the odd bins come from the 4-point complex
// transform of v_n = (b_n - i b_{n+4}) w_16^n, whose outputs are X1, X5, conj X7 and conj X3.
// 70 additions and multiplications against about 100 through the complex transform and the split
// step, and short chains of dependent operations. The inverse runs the same steps backwards.
template <bool kScaled>
void RealForward16(const float* x, float* out, float s) {
    const float h = 0.70710678118654752f, c = 0.92387953251128674f, d = 0.38268343236508977f;
    const float scale = kScaled ? s : 1.0f;
    float a[8], b[8];
    for (int n = 0; n < 8; ++n) {
        a[n] = x[n] + x[n + 8];
        b[n] = x[n] - x[n + 8];
    }
    // Even bins.
    float sum[4], diff[4];
    for (int n = 0; n < 4; ++n) {
        sum[n] = a[n] + a[n + 4];
        diff[n] = a[n] - a[n + 4];
    }
    if (kScaled) {
        for (int n = 0; n < 4; ++n) sum[n] *= scale, diff[n] *= scale;
    }
    const float p = sum[0] + sum[2], q = sum[1] + sum[3], r = sum[0] - sum[2], t = sum[1] - sum[3];
    const float t1 = h * scale * ((a[1] - a[5]) - (a[3] - a[7])) , t2 = h * scale * ((a[1] - a[5]) + (a[3] - a[7]));
    // Odd bins: v_n = (b_n - i b_{n+4}) w_16^n, scaled.
    const float hs = h * scale, cs = c * scale, ds = d * scale;
    const float v0re = b[0] * scale, v0im = -b[4] * scale;
    const float v1re = b[1] * cs - b[5] * ds, v1im = -(b[1] * ds + b[5] * cs);
    const float v2re = (b[2] - b[6]) * hs, v2im = -(b[2] + b[6]) * hs;
    const float v3re = b[3] * ds - b[7] * cs, v3im = -(b[3] * cs + b[7] * ds);
    const float e0re = v0re + v2re, e0im = v0im + v2im, e1re = v0re - v2re, e1im = v0im - v2im;
    const float o0re = v1re + v3re, o0im = v1im + v3im, o1re = v1re - v3re, o1im = v1im - v3im;
    out[0] = p + q;
    out[1] = 0.0f;
    out[2] = e0re + o0re;  // X1 = Y0
    out[3] = e0im + o0im;
    out[4] = diff[0] + t1;  // X2
    out[5] = -(diff[2] + t2);
    out[6] = e1re - o1im;  // X3 = conj Y3, Y3 = e1 + i o1
    out[7] = -(e1im + o1re);
    out[8] = r;  // X4
    out[9] = -t;
    out[10] = e1re + o1im;  // X5 = Y1 = e1 - i o1
    out[11] = e1im - o1re;
    out[12] = diff[0] - t1;  // X6
    out[13] = diff[2] - t2;
    out[14] = e0re - o0re;  // X7 = conj Y2
    out[15] = -(e0im - o0im);
    out[16] = p - q;
    out[17] = 0.0f;
}

// Reads floats 0 and 2..16 of the spectrum layout; writes the 16 samples.
template <bool kScaled>
void RealInverse16(const float* in, float* x, float s) {
    const float h = 0.70710678118654752f, c = 0.92387953251128674f, d = 0.38268343236508977f;
    const float scale = kScaled ? s : 1.0f;
    const float twice = 2.0f * scale, twiceH = twice * h;
    // Even part: A_n = P_n + Q_n and A_{n+4} = P_n - Q_n from X0, X2, X4, X6, X8.
    const float e = (in[0] + in[16]) * scale, f = (in[0] - in[16]) * scale;
    const float x4re = in[8] * twice, x4im = in[9] * twice;
    const float pe[4] = {e + x4re, f - x4im, e - x4re, f + x4im};
    const float x2re = in[4], x2im = in[5], x6re = in[12], x6im = in[13];
    const float qe[4] = {(x2re + x6re) * twice, ((x2re - x6re) - (x2im + x6im)) * twiceH, (x6im - x2im) * twice,
                         ((x6re - x2re) - (x2im + x6im)) * twiceH};
    float a[8];
    for (int n = 0; n < 4; ++n) {
        a[n] = pe[n] + qe[n];
        a[n + 4] = pe[n] - qe[n];
    }
    // Odd part: Y = (X1, X5, conj X7, conj X3), V its 4-point inverse transform, then
    // B_n = 2 Re(V_n w_16^-n), B_{n+4} = -2 Im(V_n w_16^-n).
    const float y0re = in[2], y0im = in[3], y1re = in[10], y1im = in[11];
    const float y2re = in[14], y2im = -in[15], y3re = in[6], y3im = -in[7];
    const float e0re = y0re + y2re, e0im = y0im + y2im, e1re = y0re - y2re, e1im = y0im - y2im;
    const float o0re = y1re + y3re, o0im = y1im + y3im, o1re = y1re - y3re, o1im = y1im - y3im;
    const float v0re = e0re + o0re, v0im = e0im + o0im, v2re = e0re - o0re, v2im = e0im - o0im;
    const float v1re = e1re - o1im, v1im = e1im + o1re, v3re = e1re + o1im, v3im = e1im - o1re;
    const float cs = c * twice, ds = d * twice;
    float bo[8];
    bo[0] = v0re * twice;
    bo[4] = -v0im * twice;
    bo[1] = v1re * cs - v1im * ds;  // V1 (c + i d)
    bo[5] = -(v1re * ds + v1im * cs);
    bo[2] = (v2re - v2im) * twiceH;  // V2 h (1 + i)
    bo[6] = -(v2re + v2im) * twiceH;
    bo[3] = v3re * ds - v3im * cs;  // V3 (d + i c)
    bo[7] = -(v3re * cs + v3im * ds);
    for (int n = 0; n < 8; ++n) {
        x[n] = a[n] + bo[n];
        x[n + 8] = a[n] - bo[n];
    }
}

template <bool kInverse, bool kScaled>
inline void Real16(const float* src, float* dst, float s) {
    if constexpr (kInverse) {
        RealInverse16<kScaled>(src, dst, s);
    } else {
        RealForward16<kScaled>(src, dst, s);
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
