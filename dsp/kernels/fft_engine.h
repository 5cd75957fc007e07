// The real FFT written once over a vector type. Each version's translation unit includes its
// vector traits (fft_vector_sse.h or fft_vector_avx.h) and then this header; everything here has
// internal linkage so each version keeps its own instructions.
//
// Traits T provide: V (a vector of T::kComplex interleaved complex values), load/store (unaligned),
// add, sub, mul, set1, cmul(v, re, im) with re/im holding the twiddle's parts in both lanes of
// each complex, dupRe/dupIm of per-lane twiddles, mulI (i*v), mulNegI (-i*v), conj, negate,
// cmulConj (v times the conjugate), reverse (complex order reversed), storeTransposed4 and the
// block transposes of the bit-reversal tiles.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "dsp/kernels/fft_internal.h"

namespace sonvex {
namespace fft {
namespace {

struct Cx {
    float re, im;
};
inline Cx operator+(Cx a, Cx b) { return Cx{a.re + b.re, a.im + b.im}; }
inline Cx operator-(Cx a, Cx b) { return Cx{a.re - b.re, a.im - b.im}; }
inline Cx Mul(Cx a, Cx b) { return Cx{a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re}; }
inline Cx Scale(Cx a, float s) { return Cx{a.re * s, a.im * s}; }
inline Cx Conj(Cx a) { return Cx{a.re, -a.im}; }
inline Cx TimesI(Cx a) { return Cx{-a.im, a.re}; }
inline Cx TimesNegI(Cx a) { return Cx{a.im, -a.re}; }
inline Cx LoadCx(const float* p) { return Cx{p[0], p[1]}; }
inline void StoreCx(float* p, Cx v) {
    p[0] = v.re;
    p[1] = v.im;
}



// ---------------------------------------------------------------------------------------------
// Straight-line real transforms, N <= 16.

template <int kPoints, bool kInverse>
struct SmallDft;

template <bool kInverse>
struct SmallDft<1, kInverse> {
    static void run(const Cx* z, Cx* out) { out[0] = z[0]; }
};
template <bool kInverse>
struct SmallDft<2, kInverse> {
    static void run(const Cx* z, Cx* out) {
        out[0] = z[0] + z[1];
        out[1] = z[0] - z[1];
    }
};
template <bool kInverse>
struct SmallDft<4, kInverse> {
    static void run(const Cx* z, Cx* out) {
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
    static void run(const Cx* z, Cx* out) {
        const Cx even[4] = {z[0], z[2], z[4], z[6]};
        const Cx odd[4] = {z[1], z[3], z[5], z[7]};
        Cx e[4], o[4];
        SmallDft<4, kInverse>::run(even, e);
        SmallDft<4, kInverse>::run(odd, o);
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
        SmallDft<n, false>::run(z, Z);
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
        SmallDft<n, true>::run(Y, y);
        for (int j = 0; j < n; ++j) {
            x[2 * j] = y[j].re;
            x[2 * j + 1] = y[j].im;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Stockham passes over interleaved complex data. A pass of length L and stride s reads
// x[q + s (p + r L/4)] and writes y[q + s (4p + r)], r = 0..3, with the outputs r = 1..3
// multiplied by w_L^{rp}; the data sort themselves, no bit reversal is needed.

template <class T, bool kInverse>
inline void Radix4(typename T::V a, typename T::V b, typename T::V c, typename T::V d, typename T::V& y0,
                   typename T::V& y1, typename T::V& y2, typename T::V& y3) {
    const typename T::V apc = T::add(a, c), amc = T::sub(a, c), bpd = T::add(b, d), bmd = T::sub(b, d);
    const typename T::V r = kInverse ? T::mulI(bmd) : T::mulNegI(bmd);
    y0 = T::add(apc, bpd);
    y1 = T::add(amc, r);
    y2 = T::sub(apc, bpd);
    y3 = T::sub(amc, r);
}

// v * w, or v * conj(w) for the inverse direction; re/im hold w's parts in both lanes.
template <class T, bool kInverse>
inline typename T::V Twiddle(typename T::V v, typename T::V re, typename T::V im) {
    return kInverse ? T::cmulConj(v, re, im) : T::cmul(v, re, im);
}

// One butterfly of the first pass for the lanes p .. p+kComplex-1 (inputs p + r m in a, b, c,
// d): the outputs turned by their own twiddle in every lane, stored in output order at y + 8p.
template <class T, bool kInverse>
inline void FirstPassButterfly(typename T::V a, typename T::V b, typename T::V c, typename T::V d, float* y,
                               size_t p, size_t m, const float* tw) {
    typename T::V y0, y1, y2, y3;
    Radix4<T, kInverse>(a, b, c, d, y0, y1, y2, y3);
    // Runs of duplicated real and imaginary parts: w^p, w^2p, w^3p, each 4m floats.
    const float* w = tw + 2 * p;
    y1 = Twiddle<T, kInverse>(y1, T::load(w), T::load(w + 2 * m));
    y2 = Twiddle<T, kInverse>(y2, T::load(w + 4 * m), T::load(w + 6 * m));
    y3 = Twiddle<T, kInverse>(y3, T::load(w + 8 * m), T::load(w + 10 * m));
    T::storeTransposed4(y + 8 * p, y0, y1, y2, y3);
}

// First pass of a transform (stride 1): the vector runs over p, the twiddles differ per lane.
template <class T, bool kInverse>
void FirstPass(const float* x, float* y, size_t length, const float* tw) {
    const size_t m = length / 4;
    for (size_t p = 0; p < m; p += T::kComplex) {
        FirstPassButterfly<T, kInverse>(T::load(x + 2 * p), T::load(x + 2 * (p + m)), T::load(x + 2 * (p + 2 * m)),
                                        T::load(x + 2 * (p + 3 * m)), y, p, m, tw);
    }
}

// The first pass for input held in bit-reversed order (value j at position rev(j)): the four
// inputs p + r m of a butterfly sit together at 4 rev(p) + rev(r) (rev(r) swaps r = 1 and 2),
// and the lanes p .. p+kComplex-1 take such quartets from rev(p) + rev(l) for l < kComplex, so
// the reordering costs one transposed load instead of a pass over the data.
template <class T, bool kInverse>
void FirstPassFromReversed(const float* x, float* y, size_t length, const float* tw) {
    using V = typename T::V;
    const size_t m = length / 4;
    int32_t bits = 0;
    while ((size_t(1) << bits) < m) ++bits;
    size_t laneStep[T::kComplex];
    for (size_t l = 0; l < T::kComplex; ++l) laneStep[l] = ReverseBits((uint32_t)l, bits);
    for (size_t p = 0; p < m; p += T::kComplex) {
        const size_t base = ReverseBits((uint32_t)p, bits);
        const float* quartet[T::kComplex];
        for (size_t l = 0; l < T::kComplex; ++l) quartet[l] = x + 8 * (base + laneStep[l]);
        V a, b, c, d;
        T::loadQuartets(quartet, a, c, b, d);
        FirstPassButterfly<T, kInverse>(a, b, c, d, y, p, m, tw);
    }
}

// Later passes (stride s >= kComplex): the vector runs over q, one twiddle per p.
template <class T, bool kInverse>
void StridedPass(const float* x, float* y, size_t length, size_t s, const float* tw) {
    using V = typename T::V;
    const size_t m = length / 4;
    const size_t quarter = 2 * s * m;  // floats between the four inputs
    if (m == 1) {
        for (size_t q = 0; q < s; q += T::kComplex) {
            const float* in = x + 2 * q;
            float* out = y + 2 * q;
            V y0, y1, y2, y3;
            Radix4<T, kInverse>(T::load(in), T::load(in + quarter), T::load(in + 2 * quarter),
                                T::load(in + 3 * quarter), y0, y1, y2, y3);
            T::store(out, y0);
            T::store(out + 2 * s, y1);
            T::store(out + 4 * s, y2);
            T::store(out + 6 * s, y3);
        }
        return;
    }
    for (size_t p = 0; p < m; ++p) {
        const V w1r = T::set1(tw[2 * p]), w1i = T::set1(tw[2 * p + 1]);
        const V w2r = T::set1(tw[2 * (m + p)]), w2i = T::set1(tw[2 * (m + p) + 1]);
        const V w3r = T::set1(tw[2 * (2 * m + p)]), w3i = T::set1(tw[2 * (2 * m + p) + 1]);
        const float* in = x + 2 * s * p;
        float* out = y + 8 * s * p;
        for (size_t q = 0; q < s; q += T::kComplex) {
            V y0, y1, y2, y3;
            Radix4<T, kInverse>(T::load(in + 2 * q), T::load(in + 2 * q + quarter),
                                T::load(in + 2 * q + 2 * quarter), T::load(in + 2 * q + 3 * quarter), y0, y1,
                                y2, y3);
            T::store(out + 2 * q, y0);
            T::store(out + 2 * q + 2 * s, Twiddle<T, kInverse>(y1, w1r, w1i));
            T::store(out + 2 * q + 4 * s, Twiddle<T, kInverse>(y2, w2r, w2i));
            T::store(out + 2 * q + 6 * s, Twiddle<T, kInverse>(y3, w3r, w3i));
        }
    }
}

// Eight-point butterfly: radix 2 across x_r, x_{r+4}, the odd half turned by w_8^r, then two
// four-point butterflies; outputs in natural order.
template <class T, bool kInverse>
inline void Radix8(typename T::V* x) {
    using V = typename T::V;
    const V h = T::set1(0.70710678118654752f);
    const V a0 = T::add(x[0], x[4]), a1 = T::add(x[1], x[5]), a2 = T::add(x[2], x[6]), a3 = T::add(x[3], x[7]);
    const V d0 = T::sub(x[0], x[4]), d1 = T::sub(x[1], x[5]), d2 = T::sub(x[2], x[6]), d3 = T::sub(x[3], x[7]);
    const V r1 = kInverse ? T::mulI(d1) : T::mulNegI(d1);
    const V r3 = kInverse ? T::mulI(d3) : T::mulNegI(d3);
    const V b1 = T::mul(T::add(d1, r1), h);
    const V b2 = kInverse ? T::mulI(d2) : T::mulNegI(d2);
    const V b3 = T::mul(T::sub(r3, d3), h);
    Radix4<T, kInverse>(a0, a1, a2, a3, x[0], x[2], x[4], x[6]);
    Radix4<T, kInverse>(d0, b1, b2, b3, x[1], x[3], x[5], x[7]);
}

// Closing pass of length 8 (no twiddles after it): one eight-point butterfly per q.
template <class T, bool kInverse>
void ClosingPass8(const float* x, float* y, size_t s) {
    using V = typename T::V;
    const size_t eighth = 2 * s;
    for (size_t q = 0; q < s; q += T::kComplex) {
        V v[8];
        for (int r = 0; r < 8; ++r) v[r] = T::load(x + 2 * q + r * eighth);
        Radix8<T, kInverse>(v);
        for (int r = 0; r < 8; ++r) T::store(y + 2 * q + r * eighth, v[r]);
    }
}

template <class T>
void Radix2Pass(const float* x, float* y, size_t s) {
    for (size_t q = 0; q < s; q += T::kComplex) {
        const typename T::V a = T::load(x + 2 * q), b = T::load(x + 2 * (q + s));
        T::store(y + 2 * q, T::add(a, b));
        T::store(y + 2 * (q + s), T::sub(a, b));
    }
}

// n-point transforms (n >= 16), s0 of them interleaved (s0 == 1 or s0 >= kComplex). Pass 1
// reads `in` and writes `a`, pass 2 writes `b`, pass 3 `a` again...; `in` may be `b`. Returns
// the buffer that holds the result.
// kReversedInput: `in` holds the values in bit-reversed order (s0 == 1, n >= 16 kComplex); the
// first pass reads them in that order and cannot run in place.
template <class T, bool kInverse, bool kReversedInput = false>
float* Stockham(const float* in, float* a, float* b, size_t n, size_t s0, const float* tw) {
    const float* x = in;
    float* y = a;
    float* other = b;
    size_t s = s0;
    size_t length = n;
    for (int32_t radix; (radix = NextRadix(length, s)) != 0;) {
        if (radix == 8) {
            ClosingPass8<T, kInverse>(x, y, s);

        } else if (radix == 2) {
            Radix2Pass<T>(x, y, s);
        } else if (s == 1) {
            if (kReversedInput) {
                FirstPassFromReversed<T, kInverse>(x, y, length, tw);
            } else {
                FirstPass<T, kInverse>(x, y, length, tw);
            }
        } else {
            StridedPass<T, kInverse>(x, y, length, s, tw);
        }
        tw += PassTwiddleFloatsOf(length, radix, s);
        x = y;
        float* next = other;
        other = y;
        y = next;
        s *= (size_t)radix;
        length /= (size_t)radix;
    }
    return const_cast<float*>(x);
}

// ---------------------------------------------------------------------------------------------
// Split step of the forward transform and pre-step of the inverse one.

struct SplitTwiddles {
    const float* table;   // duplicated real parts of e^{-2 pi i k / N}, k <= N/4, then the
                          // duplicated imaginary parts (count floats further); or null
    size_t count;         // 2 (N/4 + 1)
    const float* fine;    // factored form for long transforms
    const float* coarse;

    Cx at(size_t k) const {
        if (table) return Cx{table[2 * k], table[count + 2 * k]};
        return Mul(LoadCx(fine + 2 * (k & (kSplitFineCount - 1))), LoadCx(coarse + 2 * (k / kSplitFineCount)));
    }
};

// Twiddles k .. k+kComplex-1 with their parts repeated across each complex lane.
template <class T>
inline void SplitTwiddleVector(const SplitTwiddles& tw, size_t k, typename T::V& re, typename T::V& im) {
    if (tw.table) {
        re = T::load(tw.table + 2 * k);
        im = T::load(tw.table + tw.count + 2 * k);
        return;
    }
    const typename T::V fine = T::load(tw.fine + 2 * (k & (kSplitFineCount - 1)));
    const float* c = tw.coarse + 2 * (k / kSplitFineCount);
    const typename T::V w = T::cmul(fine, T::set1(c[0]), T::set1(c[1]));
    re = T::dupRe(w);
    im = T::dupIm(w);
}

// Z (n complex values in z) to the spectrum layout in dst, scaled by s. z may be dst.
template <class T>
void SplitForward(const float* z, float* dst, size_t n, float s, const SplitTwiddles& tw) {
    using V = typename T::V;
    constexpr size_t kc = T::kComplex;
    const float h = 0.5f * s;
    const float z0re = z[0], z0im = z[1];
    const V half = T::set1(h);
    size_t k = 1;
    for (; 2 * k + 2 * kc - 2 < n; k += kc) {
        const size_t mirror = n - k - (kc - 1);
        const V a = T::load(z + 2 * k);
        const V b = T::conj(T::reverse(T::load(z + 2 * mirror)));
        const V e = T::mul(T::add(a, b), half);
        const V d = T::mul(T::sub(a, b), half);
        V wr, wi;
        SplitTwiddleVector<T>(tw, k, wr, wi);
        // -i d w = d (wi - i wr): the turn by -i goes into the twiddle, no shuffle of d.
        const V t = T::cmulConj(d, wi, wr);
        T::store(dst + 2 * k, T::add(e, t));
        T::store(dst + 2 * mirror, T::reverse(T::conj(T::sub(e, t))));
    }
    for (; k <= n / 2; ++k) {
        const Cx a = LoadCx(z + 2 * k), b = Conj(LoadCx(z + 2 * (n - k)));
        const Cx e = Scale(a + b, h);
        const Cx o = TimesNegI(Scale(a - b, h));
        const Cx t = Mul(o, tw.at(k));
        StoreCx(dst + 2 * k, e + t);
        if (n - k != k) StoreCx(dst + 2 * (n - k), Conj(e - t));
    }
    dst[0] = (z0re + z0im) * s;
    dst[1] = 0.0f;
    dst[2 * n] = (z0re - z0im) * s;
    dst[2 * n + 1] = 0.0f;
}

// Spectrum layout in src to the n complex values Y in y, scaled by s. Floats 1 and 2n+1 of src
// are never read; y may be src.
template <class T>
void PreStepInverse(const float* src, float* y, size_t n, float s, const SplitTwiddles& tw) {
    using V = typename T::V;
    constexpr size_t kc = T::kComplex;
    const float x0 = src[0], xn = src[2 * n];
    const V scale = T::set1(s);
    size_t k = 1;
    for (; 2 * k + 2 * kc - 2 < n; k += kc) {
        const size_t mirror = n - k - (kc - 1);
        const V a = T::load(src + 2 * k);
        const V b = T::conj(T::reverse(T::load(src + 2 * mirror)));
        const V p = T::mul(T::add(a, b), scale);
        const V d = T::mul(T::sub(a, b), scale);
        V wr, wi;
        SplitTwiddleVector<T>(tw, k, wr, wi);
        // i d conj(w) = d (wi + i wr).
        const V q = T::cmul(d, wi, wr);
        T::store(y + 2 * k, T::add(p, q));
        T::store(y + 2 * mirror, T::reverse(T::conj(T::sub(p, q))));
    }
    for (; k <= n / 2; ++k) {
        const Cx a = LoadCx(src + 2 * k), b = Conj(LoadCx(src + 2 * (n - k)));
        const Cx p = Scale(a + b, s);
        const Cx q = TimesI(Mul(Scale(a - b, s), Conj(tw.at(k))));
        StoreCx(y + 2 * k, p + q);
        if (n - k != k) StoreCx(y + 2 * (n - k), Conj(p - q));
    }
    y[0] = (x0 + xn) * s;
    y[1] = (x0 - xn) * s;
}

// ---------------------------------------------------------------------------------------------
// Bit reversal of 2^bits complex values. Long arrays move 64 x 64 tiles: the tile of middle bits
// `mid` (rows: high 6 bits, columns: low 6 bits) lands on the tile of reversed middle bits,
// transposed with reversed rows and columns.

// A tile is gathered with its rows in reversed order, transposed, and written back with its rows
// in reversed order again: element (r, c) of the target tile is element (rev c, rev r) of the
// source tile.
struct ReversedTileIndex {
    uint16_t rowOffset[64];  // (i with its 6 bits reversed) * 64
};

constexpr ReversedTileIndex MakeReversedTileIndex() {
    ReversedTileIndex index{};
    for (uint32_t i = 0; i < 64; ++i) {
        uint32_t reversed = 0;
        for (int bit = 0; bit < 6; ++bit) reversed |= ((i >> bit) & 1u) << (5 - bit);
        index.rowOffset[i] = (uint16_t)(reversed * 64);
    }
    return index;
}

template <class T>
inline void CopyTileRow(const uint64_t* from, uint64_t* to) {
    constexpr size_t kFloatsPerRow = 2 << kReverseTileBits;
    const float* in = reinterpret_cast<const float*>(from);
    float* out = reinterpret_cast<float*>(to);
    for (size_t f = 0; f < kFloatsPerRow; f += 4 * T::kComplex) {
        const typename T::V a = T::load(in + f), b = T::load(in + f + 2 * T::kComplex);
        T::store(out + f, a);
        T::store(out + f + 2 * T::kComplex, b);
    }
}

template <class T>
inline void GatherReverseTile(const uint64_t* x, size_t rowStride, size_t mid, uint64_t* tile) {
    static constexpr ReversedTileIndex index = MakeReversedTileIndex();
    constexpr size_t kSide = size_t(1) << kReverseTileBits;
    for (size_t hi = 0; hi < kSide; ++hi) CopyTileRow<T>(x + hi * rowStride + mid * kSide, tile + index.rowOffset[hi]);
}

template <class T>
inline void ScatterReverseTile(uint64_t* x, size_t rowStride, size_t mid, const uint64_t* tile) {
    static constexpr ReversedTileIndex index = MakeReversedTileIndex();
    constexpr size_t kSide = size_t(1) << kReverseTileBits;
    for (size_t row = 0; row < kSide; ++row) CopyTileRow<T>(tile + index.rowOffset[row], x + row * rowStride + mid * kSide);
}

// In-place transpose of the 64 x 64 complex values of a tile, in blocks of kComplex x kComplex.
template <class T>
inline void TransposeTile(uint64_t* tile) {
    constexpr size_t kSide = size_t(1) << kReverseTileBits;
    constexpr size_t kb = T::kComplex;
    float* f = reinterpret_cast<float*>(tile);
    for (size_t i = 0; i < kSide; i += kb) {
        T::transposeSquare(f + 2 * (i * kSide + i), 2 * kSide);
        for (size_t j = i + kb; j < kSide; j += kb) {
            T::transposeSwap(f + 2 * (i * kSide + j), f + 2 * (j * kSide + i), 2 * kSide);
        }
    }
}

// In place when src == dst. tiles: room for two tiles (2 * 4096 complex values).
template <class T>
void BitReverse(const float* src, float* dst, int32_t bits, uint64_t* tiles) {
    const size_t count = size_t(1) << bits;
    const uint64_t* in = reinterpret_cast<const uint64_t*>(src);
    uint64_t* out = reinterpret_cast<uint64_t*>(dst);
    if (bits < 2 * kReverseTileBits) {
        for (size_t i = 0; i < count; ++i) {
            const size_t j = ReverseBits((uint32_t)i, bits);
            if (src != dst) {
                std::memcpy(out + j, in + i, 8);
            } else if (i < j) {
                uint64_t t;
                std::memcpy(&t, out + i, 8);
                std::memcpy(out + i, out + j, 8);
                std::memcpy(out + j, &t, 8);
            }
        }
        return;
    }
    const int32_t midBits = bits - 2 * kReverseTileBits;
    const size_t rowStride = size_t(1) << (bits - kReverseTileBits);
    const size_t mids = size_t(1) << midBits;
    uint64_t* first = tiles;
    uint64_t* second = tiles + kReverseTileSize;
    for (size_t mid = 0; mid < mids; ++mid) {
        const size_t partner = ReverseBits((uint32_t)mid, midBits);
        if (src != dst) {
            GatherReverseTile<T>(in, rowStride, mid, first);
            TransposeTile<T>(first);
            ScatterReverseTile<T>(out, rowStride, partner, first);
            continue;
        }
        if (partner < mid) continue;
        GatherReverseTile<T>(out, rowStride, mid, first);
        TransposeTile<T>(first);
        if (partner != mid) {
            GatherReverseTile<T>(out, rowStride, partner, second);
            TransposeTile<T>(second);
            ScatterReverseTile<T>(out, rowStride, mid, second);
        }
        ScatterReverseTile<T>(out, rowStride, partner, first);
    }
}

// ---------------------------------------------------------------------------------------------
// Large-size method for n = 2^p complex values held in data: bit reversal (done by the caller),
// which leaves each of the n1 blocks of n2 values in bit-reversed order, then the transform of
// each block (its first pass reads that order), then the n1-point transforms across the blocks
// on column tiles, which also apply w_n^{j1 k2}.

template <class T, bool kInverse>
void LargeTransform(float* data, const LargePlan& plan, char* work) {
    const size_t n1 = size_t(1) << plan.crossOrder;
    const size_t n2 = size_t(1) << plan.blockOrder;
    const size_t n = n1 * n2;
    float* blockWork = reinterpret_cast<float*>(work + plan.workBlockOffset);
    float* tile0 = reinterpret_cast<float*>(work + plan.workTileOffset);
    float* tile1 = tile0 + 2 * n1 * kCrossTileWidth;
    for (size_t b = 0; b < n1; ++b) {
        float* block = data + 2 * b * n2;
        // The first pass reads the block in its bit-reversed order; after an odd number of
        // passes the result is in the work area and comes back with one copy.
        const float* result = Stockham<T, kInverse, true>(block, blockWork, block, n2, 1, plan.blockTwiddles);
        if (result != block) std::memcpy(block, result, n2 * 8);
    }
    using V = typename T::V;
    const size_t fineMask = (size_t(1) << plan.stepFineBits) - 1;
    for (size_t k2 = 0; k2 < n2; k2 += kCrossTileWidth) {
        for (size_t j1 = 0; j1 < n1; ++j1) {
            const float* row = data + 2 * (ReverseBits((uint32_t)j1, plan.crossOrder) * n2 + k2);
            float* out = tile0 + 2 * j1 * kCrossTileWidth;
            // w_n^{j1 (k2 + c)} = w_n^{j1 k2} * w_n^{j1 c}: one factored product per row, then
            // the row's run of small steps.
            const size_t e = (j1 * k2) & (n - 1);
            const Cx base = Mul(LoadCx(plan.stepFine + 2 * (e & fineMask)),
                                LoadCx(plan.stepCoarse + 2 * (e >> plan.stepFineBits)));
            const V baseRe = T::set1(base.re), baseIm = T::set1(base.im);
            const float* steps = plan.stepRows + 2 * j1 * kCrossTileWidth;
            for (size_t c = 0; c < kCrossTileWidth; c += T::kComplex) {
                const V w = T::cmul(T::load(steps + 2 * c), baseRe, baseIm);
                const V wIm = kInverse ? T::negate(T::dupIm(w)) : T::dupIm(w);
                T::store(out + 2 * c, T::cmul(T::load(row + 2 * c), T::dupRe(w), wIm));
            }
        }
        const float* result = Stockham<T, kInverse>(tile0, tile1, tile0, n1, kCrossTileWidth, plan.crossTwiddles);
        for (size_t k1 = 0; k1 < n1; ++k1) {
            std::memcpy(data + 2 * (k1 * n2 + k2), result + 2 * k1 * kCrossTileWidth, kCrossTileWidth * 8);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Entry routines.

// Hands out the aligned work area: the caller's, or one allocated for this call.
class WorkArea {
public:
    WorkArea(const RealFftSetup* setup, void* given) {
        if (setup->workBufferBytes <= 0) return;
        if (given) {
            // The reported size leaves 32 bytes for alignment: a cache-line start when it is
            // within reach, else a 32-byte one.
            const uintptr_t base = reinterpret_cast<uintptr_t>(given);
            const uintptr_t line = (base + 63) & ~uintptr_t(63);
            const uintptr_t at = line - base <= 32 ? line : (base + 31) & ~uintptr_t(31);
            m_pWork = reinterpret_cast<char*>(at);
        } else {
            m_pOwned = AllocAligned(setup->workBufferBytes);
            m_pWork = static_cast<char*>(m_pOwned);
            m_bFailed = m_pOwned == nullptr;
        }
    }
    ~WorkArea() { FreeAligned(m_pOwned); }
    WorkArea(const WorkArea&) = delete;
    WorkArea& operator=(const WorkArea&) = delete;
    bool failed() const { return m_bFailed; }
    char* get() const { return m_pWork; }

private:
    char* m_pWork = nullptr;
    void* m_pOwned = nullptr;
    bool m_bFailed = false;
};

inline SplitTwiddles SplitTwiddlesOf(const RealFftSetup* setup) {
    const size_t count = ((size_t(1) << setup->order) / 4 + 1) * 2;
    return SplitTwiddles{setup->splitTwiddles, count, setup->splitFine, setup->splitCoarse};
}

template <bool kScaled>
void SmallForwardBySize(int32_t order, const float* src, float* dst, float s) {
    switch (order) {
        case 0: SmallRealForward<1, kScaled>(src, dst, s); break;
        case 1: SmallRealForward<2, kScaled>(src, dst, s); break;
        case 2: SmallRealForward<4, kScaled>(src, dst, s); break;
        case 3: SmallRealForward<8, kScaled>(src, dst, s); break;
        default: SmallRealForward<16, kScaled>(src, dst, s); break;
    }
}

template <bool kScaled>
void SmallInverseBySize(int32_t order, const float* src, float* dst, float s) {
    switch (order) {
        case 0: SmallRealInverse<1, kScaled>(src, dst, s); break;
        case 1: SmallRealInverse<2, kScaled>(src, dst, s); break;
        case 2: SmallRealInverse<4, kScaled>(src, dst, s); break;
        case 3: SmallRealInverse<8, kScaled>(src, dst, s); break;
        default: SmallRealInverse<16, kScaled>(src, dst, s); break;
    }
}

// Room for the passes of the straight-line complex tiers (up to 64 complex values).
constexpr size_t kStraightScratchFloats = 2 * 64;

template <class T>
int32_t ForwardTransform(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    const int32_t order = setup->order;
    const float s = setup->forwardScaled ? setup->scale : 1.0f;
    if (setup->tier == kTierRealStraight) {
        if (setup->forwardScaled) {
            SmallForwardBySize<true>(order, src, dst, setup->scale);
        } else {
            SmallForwardBySize<false>(order, src, dst, 1.0f);
        }
        return StatusOk;
    }
    WorkArea work(setup, workBuffer);
    if (work.failed()) return StatusNoMemory;
    const size_t n = size_t(1) << (order - 1);
    const SplitTwiddles split = SplitTwiddlesOf(setup);
    if (setup->tier == kTierLarge) {
        const LargePlan& plan = *setup->large;
        uint64_t* reverseTiles = reinterpret_cast<uint64_t*>(work.get() + plan.workReverseOffset);
        BitReverse<T>(src, dst, order - 1, reverseTiles);
        LargeTransform<T, false>(dst, plan, work.get());
        SplitForward<T>(dst, dst, n, s, split);
        return StatusOk;
    }
    alignas(32) float scratch[kStraightScratchFloats];
    float* buffer = setup->tier == kTierComplexStraight ? scratch : reinterpret_cast<float*>(work.get());
    const float* z = Stockham<T, false>(src, buffer, dst, n, 1, setup->passTwiddles);
    SplitForward<T>(z, dst, n, s, split);
    return StatusOk;
}

template <class T>
int32_t InverseTransform(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    const int32_t order = setup->order;
    const float s = setup->inverseScaled ? setup->scale : 1.0f;
    if (setup->tier == kTierRealStraight) {
        if (setup->inverseScaled) {
            SmallInverseBySize<true>(order, src, dst, setup->scale);
        } else {
            SmallInverseBySize<false>(order, src, dst, 1.0f);
        }
        return StatusOk;
    }
    WorkArea work(setup, workBuffer);
    if (work.failed()) return StatusNoMemory;
    const size_t n = size_t(1) << (order - 1);
    const SplitTwiddles split = SplitTwiddlesOf(setup);
    if (setup->tier == kTierLarge) {
        const LargePlan& plan = *setup->large;
        uint64_t* reverseTiles = reinterpret_cast<uint64_t*>(work.get() + plan.workReverseOffset);
        PreStepInverse<T>(src, dst, n, s, split);
        BitReverse<T>(dst, dst, order - 1, reverseTiles);
        LargeTransform<T, true>(dst, plan, work.get());
        return StatusOk;
    }
    alignas(32) float scratch[kStraightScratchFloats];
    float* buffer = setup->tier == kTierComplexStraight ? scratch : reinterpret_cast<float*>(work.get());
    // The passes alternate between the two areas; start where an even or odd count ends in dst.
    const bool oddPasses = (PassCount(n, 1) & 1) != 0;
    float* first = oddPasses ? buffer : dst;
    float* second = oddPasses ? dst : buffer;
    PreStepInverse<T>(src, first, n, s, split);
    Stockham<T, true>(first, second, first, n, 1, setup->passTwiddles);
    return StatusOk;
}

}  // namespace
}  // namespace fft
}  // namespace sonvex
