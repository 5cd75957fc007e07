// Stockham passes over interleaved complex data, written once over a vector type T (see
// fft_engine.h for what T provides). A pass of length L and stride s reads x[q + s (p + r L/4)]
// and writes y[q + s (4p + r)], r = 0..3, with the outputs r = 1..3 multiplied by w_L^{rp}; the
// data sort themselves, no bit reversal is needed.
#pragma once
#include <cstddef>
#include <cstdint>

#include "dsp/kernels/fft_internal.h"

namespace sonvex {
namespace fft {
namespace {

template <class T, bool kInverse>
inline void Radix4(typename T::V a, typename T::V b, typename T::V c, typename T::V d, typename T::V& y0,
                   typename T::V& y1, typename T::V& y2, typename T::V& y3) {
    const typename T::V apc = T::Add(a, c), amc = T::Sub(a, c), bpd = T::Add(b, d), bmd = T::Sub(b, d);
    const typename T::V r = kInverse ? T::MulI(bmd) : T::MulNegI(bmd);
    y0 = T::Add(apc, bpd);
    y1 = T::Add(amc, r);
    y2 = T::Sub(apc, bpd);
    y3 = T::Sub(amc, r);
}

// v * w, or v * conj(w) for the inverse direction; re/im hold w's parts in both lanes.
template <class T, bool kInverse>
inline typename T::V Twiddle(typename T::V v, typename T::V re, typename T::V im) {
    return kInverse ? T::CmulConj(v, re, im) : T::Cmul(v, re, im);
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
    y1 = Twiddle<T, kInverse>(y1, T::Load(w), T::Load(w + 2 * m));
    y2 = Twiddle<T, kInverse>(y2, T::Load(w + 4 * m), T::Load(w + 6 * m));
    y3 = Twiddle<T, kInverse>(y3, T::Load(w + 8 * m), T::Load(w + 10 * m));
    T::StoreTransposed4(y + 8 * p, y0, y1, y2, y3);
}

// First pass of a transform (stride 1): the vector runs over p, the twiddles differ per lane.
template <class T, bool kInverse>
void FirstPass(const float* x, float* y, size_t length, const float* tw) {
    const size_t m = length / 4;
    for (size_t p = 0; p < m; p += T::kComplex) {
        FirstPassButterfly<T, kInverse>(T::Load(x + 2 * p), T::Load(x + 2 * (p + m)), T::Load(x + 2 * (p + 2 * m)),
                                        T::Load(x + 2 * (p + 3 * m)), y, p, m, tw);
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
        T::LoadQuartets(quartet, a, c, b, d);
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
            Radix4<T, kInverse>(T::Load(in), T::Load(in + quarter), T::Load(in + 2 * quarter),
                                T::Load(in + 3 * quarter), y0, y1, y2, y3);
            T::Store(out, y0);
            T::Store(out + 2 * s, y1);
            T::Store(out + 4 * s, y2);
            T::Store(out + 6 * s, y3);
        }
        return;
    }
    for (size_t p = 0; p < m; ++p) {
        const V w1r = T::Set1(tw[2 * p]), w1i = T::Set1(tw[2 * p + 1]);
        const V w2r = T::Set1(tw[2 * (m + p)]), w2i = T::Set1(tw[2 * (m + p) + 1]);
        const V w3r = T::Set1(tw[2 * (2 * m + p)]), w3i = T::Set1(tw[2 * (2 * m + p) + 1]);
        const float* in = x + 2 * s * p;
        float* out = y + 8 * s * p;
        for (size_t q = 0; q < s; q += T::kComplex) {
            V y0, y1, y2, y3;
            Radix4<T, kInverse>(T::Load(in + 2 * q), T::Load(in + 2 * q + quarter),
                                T::Load(in + 2 * q + 2 * quarter), T::Load(in + 2 * q + 3 * quarter), y0, y1,
                                y2, y3);
            T::Store(out + 2 * q, y0);
            T::Store(out + 2 * q + 2 * s, Twiddle<T, kInverse>(y1, w1r, w1i));
            T::Store(out + 2 * q + 4 * s, Twiddle<T, kInverse>(y2, w2r, w2i));
            T::Store(out + 2 * q + 6 * s, Twiddle<T, kInverse>(y3, w3r, w3i));
        }
    }
}

// Eight-point butterfly: radix 2 across x_r, x_{r+4}, the odd half turned by w_8^r, then two
// four-point butterflies; outputs in natural order.
template <class T, bool kInverse>
inline void Radix8(typename T::V* x) {
    using V = typename T::V;
    const V h = T::Set1(0.70710678118654752f);
    const V a0 = T::Add(x[0], x[4]), a1 = T::Add(x[1], x[5]), a2 = T::Add(x[2], x[6]), a3 = T::Add(x[3], x[7]);
    const V d0 = T::Sub(x[0], x[4]), d1 = T::Sub(x[1], x[5]), d2 = T::Sub(x[2], x[6]), d3 = T::Sub(x[3], x[7]);
    const V r1 = kInverse ? T::MulI(d1) : T::MulNegI(d1);
    const V r3 = kInverse ? T::MulI(d3) : T::MulNegI(d3);
    const V b1 = T::Mul(T::Add(d1, r1), h);
    const V b2 = kInverse ? T::MulI(d2) : T::MulNegI(d2);
    const V b3 = T::Mul(T::Sub(r3, d3), h);
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
        for (int r = 0; r < 8; ++r) v[r] = T::Load(x + 2 * q + r * eighth);
        Radix8<T, kInverse>(v);
        for (int r = 0; r < 8; ++r) T::Store(y + 2 * q + r * eighth, v[r]);
    }
}

template <class T>
void Radix2Pass(const float* x, float* y, size_t s) {
    for (size_t q = 0; q < s; q += T::kComplex) {
        const typename T::V a = T::Load(x + 2 * q), b = T::Load(x + 2 * (q + s));
        T::Store(y + 2 * q, T::Add(a, b));
        T::Store(y + 2 * (q + s), T::Sub(a, b));
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

}  // namespace
}  // namespace fft
}  // namespace sonvex
