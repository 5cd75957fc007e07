// The 16-lane routines of the avx512 row (AVX-512F), for the setups that carry
// their tables (the table tier's orders from 2^9 and 2^20).
//
// Values travel as "points": 16 consecutive complex values held as a vector of their real parts
// followed by a vector of their imaginary parts (32 floats, 128 bytes). With n = 16 n1 complex
// values, z[16 j + l] sits in lane l of point j, so
//   1. n1-point transforms run down the lanes, all 16 at once: decimation-in-frequency passes of
//      radix 8 and 4 over whole points, in place in the work area, every butterfly with one
//      twiddle per output broadcast to all lanes (their outputs land in digit-reversed order);
//   2. each block of 16 frequencies is turned by the lane twiddles w_n^{l k1}, transposed (real
//      parts and imaginary parts apart) and put through 16-point transforms down the lanes
//      again, which leaves Z[k1 + n1 k2] in natural order.
// The real transform's split step then runs in place in dst; the inverse starts with its
// pre-step from src into the work area.
// No value changes lanes except in the transposes and in the steps that meet the interleaved
// layouts of the caller.
#include <immintrin.h>

#include <utility>

#include "dsp/kernels/block_avx.h"
#include "dsp/kernels/dispatch.h"
#include "dsp/kernels/fft_engine.h"
#include "dsp/kernels/fft_points.h"
#include "dsp/kernels/fft_versions.h"

namespace sonvex {
namespace fft {

namespace {

inline Cv LoadPoint(const float* p) { return Cv{_mm512_loadu_ps(p), _mm512_loadu_ps(p + 16)}; }
inline void StorePoint(float* p, Cv v) {
    _mm512_storeu_ps(p, v.re);
    _mm512_storeu_ps(p + 16, v.im);
}

// Lane indices of the permutes that meet the interleaved layout.
inline __m512i Index(int a0, int step) {
    return _mm512_set_epi32(a0 + 15 * step, a0 + 14 * step, a0 + 13 * step, a0 + 12 * step, a0 + 11 * step,
                            a0 + 10 * step, a0 + 9 * step, a0 + 8 * step, a0 + 7 * step, a0 + 6 * step,
                            a0 + 5 * step, a0 + 4 * step, a0 + 3 * step, a0 + 2 * step, a0 + step, a0);
}

// 16 interleaved complex values (32 floats) to a point.
inline Cv LoadInterleaved(const float* p) {
    const V lo = _mm512_loadu_ps(p), hi = _mm512_loadu_ps(p + 16);
    return Cv{_mm512_permutex2var_ps(lo, Index(0, 2), hi), _mm512_permutex2var_ps(lo, Index(1, 2), hi)};
}

// A point to 16 interleaved complex values.
inline void StoreInterleaved(float* p, Cv v) {
    // Lane 2j takes re[j], lane 2j+1 takes im[j] (index 16 + j).
    const __m512i low = _mm512_set_epi32(23, 7, 22, 6, 21, 5, 20, 4, 19, 3, 18, 2, 17, 1, 16, 0);
    const __m512i high = _mm512_set_epi32(31, 15, 30, 14, 29, 13, 28, 12, 27, 11, 26, 10, 25, 9, 24, 8);
    _mm512_storeu_ps(p, _mm512_permutex2var_ps(v.re, low, v.im));
    _mm512_storeu_ps(p + 16, _mm512_permutex2var_ps(v.re, high, v.im));
}

// A point with its lanes in reverse order, as 16 interleaved complex values.
inline void StoreInterleavedReversed(float* p, Cv v) {
    const __m512i low = _mm512_set_epi32(24, 8, 25, 9, 26, 10, 27, 11, 28, 12, 29, 13, 30, 14, 31, 15);
    const __m512i high = _mm512_set_epi32(16, 0, 17, 1, 18, 2, 19, 3, 20, 4, 21, 5, 22, 6, 23, 7);
    _mm512_storeu_ps(p, _mm512_permutex2var_ps(v.re, low, v.im));
    _mm512_storeu_ps(p + 16, _mm512_permutex2var_ps(v.re, high, v.im));
}

// Lane c of the result is lane 16 - c of `upper` for c = 1..15 and lane 0 of `carry` for c = 0:
// the values z[m - c] when `upper` holds z[m - 16 .. m - 1] and `carry` starts with z[m].
inline V Mirror(V upper, V carry) {
    const __m512i index = _mm512_set_epi32(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    return _mm512_permutex2var_ps(upper, index, carry);
}

// v * w, or v * conj(w) for the inverse direction.
template <bool kInverse>
inline Cv Turn(Cv v, V wr, V wi) {
    if (kInverse) {
        return Cv{_mm512_fmadd_ps(v.re, wr, _mm512_mul_ps(v.im, wi)),
                  _mm512_fnmadd_ps(v.re, wi, _mm512_mul_ps(v.im, wr))};
    }
    return Cv{_mm512_fmsub_ps(v.re, wr, _mm512_mul_ps(v.im, wi)), _mm512_fmadd_ps(v.re, wi, _mm512_mul_ps(v.im, wr))};
}

// Four-point butterfly in place: a, b, c, d become outputs 0, 1, 2, 3. kOnMultiplier: its second
// round of additions goes to the multiply-add units (the same bits).
template <bool kInverse, bool kOnMultiplier = false>
inline void Dft4(Cv& a, Cv& b, Cv& c, Cv& d) {
    const Cv s0 = Add(a, c), d0 = Sub(a, c), s1 = Add(b, d), d1 = Sub(b, d);
    const auto add = [](V x, V y) { return kOnMultiplier ? AddOnMultiplier(x, y) : _mm512_add_ps(x, y); };
    const auto sub = [](V x, V y) { return kOnMultiplier ? SubOnMultiplier(x, y) : _mm512_sub_ps(x, y); };
    a = Cv{add(s0.re, s1.re), add(s0.im, s1.im)};
    c = Cv{sub(s0.re, s1.re), sub(s0.im, s1.im)};
    // Forward: d0 -/+ i d1 for outputs 1/3; inverse: d0 +/- i d1.
    const Cv minus{add(d0.re, d1.im), sub(d0.im, d1.re)};  // d0 - i d1
    const Cv plus{sub(d0.re, d1.im), add(d0.im, d1.re)};   // d0 + i d1
    b = kInverse ? plus : minus;
    d = kInverse ? minus : plus;
}

// A difference of the eight-point butterfly turned by w_8^r (r = 1, 2, 3) forward, by its
// conjugate for the inverse; r = 0 leaves it as it is.
template <bool kInverse>
inline Cv TurnByW8(Cv d, int r) {
    const V h = _mm512_set1_ps(0.70710678118654752f);
    const V minusH = _mm512_set1_ps(-0.70710678118654752f);
    if (r == 1)
        return kInverse ? Cv{_mm512_mul_ps(_mm512_sub_ps(d.re, d.im), h), _mm512_mul_ps(_mm512_add_ps(d.im, d.re), h)}
                        : Cv{_mm512_mul_ps(_mm512_add_ps(d.re, d.im), h), _mm512_mul_ps(_mm512_sub_ps(d.im, d.re), h)};
    if (r == 2)
        return kInverse ? Cv{_mm512_sub_ps(_mm512_setzero_ps(), d.im), d.re}
                        : Cv{d.im, _mm512_sub_ps(_mm512_setzero_ps(), d.re)};
    if (r == 3)
        return kInverse
                   ? Cv{_mm512_mul_ps(_mm512_add_ps(d.re, d.im), minusH), _mm512_mul_ps(_mm512_sub_ps(d.re, d.im), h)}
                   : Cv{_mm512_mul_ps(_mm512_sub_ps(d.im, d.re), h), _mm512_mul_ps(_mm512_add_ps(d.re, d.im), minusH)};
    return d;
}

// Eight-point butterfly in place, outputs in natural order: radix 2 across x_r and x_{r+4}, the
// differences turned by w_8^r, then two four-point butterflies.
// kShare (0 to 3): how many of its 53 additions go to the multiply-add units, for butterflies
// with fewer products: 1 the second round of the sums' four-point butterfly (8), 2 that of both
// (16), 3 also half of the radix-2 step (24).
template <bool kInverse, int kShare = 0>
inline void Dft8(Cv* x) {
    Cv a[4], d[4];
    for (int r = 0; r < 4; ++r) {
        const bool moved = kShare >= 3 && r < 2;
        a[r] = moved ? AddOnMultiplier(x[r], x[r + 4]) : Add(x[r], x[r + 4]);
        d[r] = TurnByW8<kInverse>(moved ? SubOnMultiplier(x[r], x[r + 4]) : Sub(x[r], x[r + 4]), r);
    }
    Dft4<kInverse, (kShare >= 1)>(a[0], a[1], a[2], a[3]);
    Dft4<kInverse, (kShare >= 2)>(d[0], d[1], d[2], d[3]);
    x[0] = a[0], x[2] = a[1], x[4] = a[2], x[6] = a[3];
    x[1] = d[0], x[3] = d[1], x[5] = d[2], x[7] = d[3];
}

template <int kRadix, bool kInverse, int kShare = 0>
inline void Butterfly(Cv* v) {
    if constexpr (kRadix == 8) {
        Dft8<kInverse, kShare>(v);
    } else {
        Dft4<kInverse>(v[0], v[1], v[2], v[3]);
    }
}

// 32-bit code has 8 vector registers, 64-bit code 32: the routines that hold more values than
// that at once go through a small area of their own there instead, with the same arithmetic on
// every value (the compiler's spills of 64-byte vectors would cost more).
constexpr bool kFewRegisters = sizeof(void*) == 4;

// The passes' eight-point butterflies with the additions shared out so that neither kind of
// unit waits on the other: twiddled ones have 32 products (45 and 40 with their share), those of
// a last pass only 4 (29 and 28). Measured against none moved on the figures' processor: 2 to 5 %
// less time from 2^9 to 2^16.
constexpr int kShareTwiddled = 1;
constexpr int kShareLast = 3;

// Output r of a pass's butterfly, turned by w_length^{r p} (r >= 1) and stored.
template <bool kInverse>
inline void StoreTurned(float* out, size_t m, int r, Cv v, const float* w) {
    // Broadcast where they are used: held in registers they would crowd out the values.
    const Cv turned =
        m > 1 ? Turn<kInverse>(v, _mm512_set1_ps(w[2 * (r - 1)]), _mm512_set1_ps(w[2 * (r - 1) + 1])) : v;
    StorePoint(out + 32 * m * (size_t)r, turned);
}

// An output of a pass's butterfly as its two parts, turned by the pass's twiddle at w when the
// pass has twiddles, and stored.
template <bool kInverse, bool kTurned>
inline void StorePartsTurned(float* out, V re, V im, const float* w) {
    if constexpr (kTurned) {
        const Cv turned = Turn<kInverse>(Cv{re, im}, _mm512_set1_ps(w[0]), _mm512_set1_ps(w[1]));
        re = turned.re;
        im = turned.im;
    }
    _mm512_storeu_ps(out, re);
    _mm512_storeu_ps(out + 16, im);
}

// The four-point butterfly of Dft4 on the four points at `in` (kHalf 0: the sums of an
// eight-point butterfly, 1: its turned differences), with the same arithmetic, whose output k
// is the eight-point butterfly's output 2 k + kHalf: it goes to out + k * twoM, turned by the
// pass's twiddle of that output. Real parts before imaginary parts and every input read where it
// is used, so that 32-bit code keeps at most eight values and few addresses live.
template <bool kInverse, int kHalf, bool kTurned>
inline void Dft4Interleaving(const float* in, float* out, size_t twoM, const float* w) {
    const V s0r = _mm512_add_ps(_mm512_load_ps(in), _mm512_load_ps(in + 64));
    const V d0r = _mm512_sub_ps(_mm512_load_ps(in), _mm512_load_ps(in + 64));
    const V s1r = _mm512_add_ps(_mm512_load_ps(in + 32), _mm512_load_ps(in + 96));
    const V d1r = _mm512_sub_ps(_mm512_load_ps(in + 32), _mm512_load_ps(in + 96));
    const V y0r = _mm512_add_ps(s0r, s1r), y2r = _mm512_sub_ps(s0r, s1r);
    const V s0i = _mm512_add_ps(_mm512_load_ps(in + 16), _mm512_load_ps(in + 80));
    const V d0i = _mm512_sub_ps(_mm512_load_ps(in + 16), _mm512_load_ps(in + 80));
    const V s1i = _mm512_add_ps(_mm512_load_ps(in + 48), _mm512_load_ps(in + 112));
    const V d1i = _mm512_sub_ps(_mm512_load_ps(in + 48), _mm512_load_ps(in + 112));
    // Output 2 k + kHalf of the eight is turned by the twiddle at w + 2 (2 k + kHalf - 1).
    if constexpr (kHalf == 0) {
        StorePartsTurned<kInverse, false>(out, y0r, _mm512_add_ps(s0i, s1i), w);
    } else {
        StorePartsTurned<kInverse, kTurned>(out, y0r, _mm512_add_ps(s0i, s1i), w);
    }
    StorePartsTurned<kInverse, kTurned>(out + 2 * twoM, y2r, _mm512_sub_ps(s0i, s1i), w + 2 * (4 + kHalf - 1));
    // d0 - i d1 and d0 + i d1: outputs 1 and 3 of the four forward, 3 and 1 inverse.
    constexpr int kMinus = kInverse ? 3 : 1, kPlus = kInverse ? 1 : 3;
    StorePartsTurned<kInverse, kTurned>(out + kMinus * twoM, _mm512_add_ps(d0r, d1i), _mm512_sub_ps(d0i, d1r),
                                         w + 2 * (2 * kMinus + kHalf - 1));
    StorePartsTurned<kInverse, kTurned>(out + kPlus * twoM, _mm512_sub_ps(d0r, d1i), _mm512_add_ps(d0i, d1r),
                                         w + 2 * (2 * kPlus + kHalf - 1));
}

// The eight-point butterfly of Dft8 in three steps of at most four values, through `area`
// (8 points): the radix-2 step, then each four-point butterfly with its outputs turned and
// stored.
template <bool kInverse, bool kInterleavedIn>
inline void Butterfly8Staged(const float* in, size_t inStride, size_t m, float* out, const float* w, float* area) {
    for (int r = 0; r < 4; ++r) {
        const float* a = in + 32 * inStride * (size_t)r;
        const float* b = in + 32 * inStride * (size_t)(r + 4);
        const Cv x = kInterleavedIn ? LoadInterleaved(a) : LoadPoint(a);
        const Cv y = kInterleavedIn ? LoadInterleaved(b) : LoadPoint(b);
        const Cv sum = Add(x, y), turned = TurnByW8<kInverse>(Sub(x, y), r);
        StorePoint(area + 32 * r, sum);
        StorePoint(area + 32 * (r + 4), turned);
    }
    // The sums give outputs 0, 2, 4, 6, the turned differences 1, 3, 5, 7.
    const size_t twoM = 64 * m;  // floats between outputs 2k and 2k + 2
    if (m > 1) {
        Dft4Interleaving<kInverse, 0, true>(area, out, twoM, w);
        Dft4Interleaving<kInverse, 1, true>(area + 128, out + 32 * m, twoM, w);
    } else {
        Dft4Interleaving<kInverse, 0, false>(area, out, twoM, w);
        Dft4Interleaving<kInverse, 1, false>(area + 128, out + 32 * m, twoM, w);
    }
}

// The four-point butterfly of Dft4, with the same arithmetic, for the eight vector registers of
// 32-bit code: real parts before imaginary parts and every input read where it is used, so that
// no more than eight values are live and nothing is spilled.
template <bool kInverse, bool kTurned>
inline void Butterfly4Frugal(const float* in, size_t inStride, size_t m, float* out, const float* w) {
    const size_t p = 32 * inStride, q = 32 * m;
    const V s0r = _mm512_add_ps(_mm512_loadu_ps(in), _mm512_loadu_ps(in + 2 * p));
    const V d0r = _mm512_sub_ps(_mm512_loadu_ps(in), _mm512_loadu_ps(in + 2 * p));
    const V s1r = _mm512_add_ps(_mm512_loadu_ps(in + p), _mm512_loadu_ps(in + 3 * p));
    const V d1r = _mm512_sub_ps(_mm512_loadu_ps(in + p), _mm512_loadu_ps(in + 3 * p));
    _mm512_storeu_ps(out, _mm512_add_ps(s0r, s1r));
    const V y2r = _mm512_sub_ps(s0r, s1r);
    const V s0i = _mm512_add_ps(_mm512_loadu_ps(in + 16), _mm512_loadu_ps(in + 2 * p + 16));
    const V d0i = _mm512_sub_ps(_mm512_loadu_ps(in + 16), _mm512_loadu_ps(in + 2 * p + 16));
    const V s1i = _mm512_add_ps(_mm512_loadu_ps(in + p + 16), _mm512_loadu_ps(in + 3 * p + 16));
    const V d1i = _mm512_sub_ps(_mm512_loadu_ps(in + p + 16), _mm512_loadu_ps(in + 3 * p + 16));
    _mm512_storeu_ps(out + 16, _mm512_add_ps(s0i, s1i));
    StorePartsTurned<kInverse, kTurned>(out + 2 * q, y2r, _mm512_sub_ps(s0i, s1i), w + 2);
    // d0 - i d1 and d0 + i d1: outputs 1 and 3 forward, 3 and 1 inverse.
    const V minusRe = _mm512_add_ps(d0r, d1i), minusIm = _mm512_sub_ps(d0i, d1r);
    StorePartsTurned<kInverse, kTurned>(out + (kInverse ? 3 : 1) * q, minusRe, minusIm, w + (kInverse ? 4 : 0));
    const V plusRe = _mm512_sub_ps(d0r, d1i), plusIm = _mm512_add_ps(d0i, d1r);
    StorePartsTurned<kInverse, kTurned>(out + (kInverse ? 1 : 3) * q, plusRe, plusIm, w + (kInverse ? 0 : 4));
}

// One butterfly of a pass: input r at in + 32 r inStride (points, or the caller's interleaved
// values), output r at out + 32 r m, turned by the pass's twiddles at w; `area` is the staging
// area of 32-bit code (8 points).
template <int kRadix, bool kInverse, bool kInterleavedIn>
[[gnu::always_inline]] inline void PassButterfly(const float* in, size_t inStride, float* out, size_t m, const float* w, float* area) {
    if constexpr (kFewRegisters && kRadix == 8) {
        Butterfly8Staged<kInverse, kInterleavedIn>(in, inStride, m, out, w, area);
    } else if constexpr (kFewRegisters && kRadix == 4 && !kInterleavedIn) {
        if (m > 1) {
            Butterfly4Frugal<kInverse, true>(in, inStride, m, out, w);
        } else {
            Butterfly4Frugal<kInverse, false>(in, inStride, m, out, w);
        }
    } else {
        Cv v[kRadix];
        for (int r = 0; r < kRadix; ++r) {
            const float* at = in + 32 * inStride * (size_t)r;
            v[r] = kInterleavedIn ? LoadInterleaved(at) : LoadPoint(at);
        }
        if (m > 1) {
            Butterfly<kRadix, kInverse, kShareTwiddled>(v);
        } else {
            Butterfly<kRadix, kInverse, kShareLast>(v);
        }
        StorePoint(out, v[0]);
        for (int r = 1; r < kRadix; ++r) StoreTurned<kInverse>(out, m, r, v[r], w);
    }
}

// One decimation-in-frequency pass down the lanes, in place over points: for every group of
// `length` points and p < length/R, the R points p + r length/R go through a butterfly and come
// back turned by w_length^{r p}. The first pass of the forward transform reads the caller's
// interleaved values instead and writes the work area.
template <int kRadix, bool kInverse, bool kInterleavedIn>
void LanePass(const float* x, float* y, size_t total, size_t length, const float* tw) {
    const size_t m = length / kRadix;
    alignas(64) float area[kFewRegisters ? 8 * 32 : 1];
    // From the caller's array into the work area, point p of each goes to the same place. Where
    // the work area lies a little past the array modulo 4 KB, the stores of one butterfly land at
    // the page offsets of the next one's loads (the processor then holds those loads back as if
    // they read what was stored): the butterflies run downwards there, which leaves the stores
    // behind the loads.
    bool downwards = false;
    if constexpr (kInterleavedIn) {
        const uintptr_t ahead = (reinterpret_cast<uintptr_t>(y) - reinterpret_cast<uintptr_t>(x)) & 4095;
        downwards = ahead != 0 && ahead <= 2048;
    }
    for (size_t group = 0; group < total; group += length) {
        for (size_t i = 0; i < m; ++i) {
            const size_t p = downwards ? m - 1 - i : i;
            PassButterfly<kRadix, kInverse, kInterleavedIn>(x + 32 * (group + p), m, y + 32 * (group + p), m,
                                                            tw + 2 * (kRadix - 1) * p, area);
        }
    }
}

// 16 x 16 transpose of the lanes of r[0..15]: lane c of r[l] becomes lane l of r[c].
inline void Transpose16(V* r) {
    V t[16], u[16];
    for (int i = 0; i < 8; ++i) {
        t[2 * i] = _mm512_unpacklo_ps(r[2 * i], r[2 * i + 1]);
        t[2 * i + 1] = _mm512_unpackhi_ps(r[2 * i], r[2 * i + 1]);
    }
    for (int i = 0; i < 4; ++i) {
        const __m512d a = _mm512_castps_pd(t[4 * i]), b = _mm512_castps_pd(t[4 * i + 2]);
        const __m512d c = _mm512_castps_pd(t[4 * i + 1]), d = _mm512_castps_pd(t[4 * i + 3]);
        u[4 * i] = _mm512_castpd_ps(_mm512_unpacklo_pd(a, b));
        u[4 * i + 1] = _mm512_castpd_ps(_mm512_unpackhi_pd(a, b));
        u[4 * i + 2] = _mm512_castpd_ps(_mm512_unpacklo_pd(c, d));
        u[4 * i + 3] = _mm512_castpd_ps(_mm512_unpackhi_pd(c, d));
    }
    // u[4 i + k], 128-bit block j: rows 4i..4i+3 of column 4j + k.
    for (int k = 0; k < 4; ++k) {
        t[k] = _mm512_shuffle_f32x4(u[k], u[k + 4], 0x88);       // columns k, k + 8; rows 0-7
        t[k + 4] = _mm512_shuffle_f32x4(u[k], u[k + 4], 0xDD);   // columns k + 4, k + 12
        t[k + 8] = _mm512_shuffle_f32x4(u[k + 8], u[k + 12], 0x88);
        t[k + 12] = _mm512_shuffle_f32x4(u[k + 8], u[k + 12], 0xDD);
    }
    for (int k = 0; k < 8; ++k) {
        r[k] = _mm512_shuffle_f32x4(t[k], t[k + 8], 0x88);
        r[k + 8] = _mm512_shuffle_f32x4(t[k], t[k + 8], 0xDD);
    }
}

// 16-point transforms down the lanes of v[0..15] in place, as 4 x 4 (inputs l1 + 4 l2, outputs
// k1 + 4 k2); output k ends in v[Dft16Slot(k)]. The first round's butterflies take the
// multiply-add units for half their additions (a 16-point block has 129 additions to 96 products).
template <bool kInverse>
inline void Dft16(Cv* v) {
    for (int l1 = 0; l1 < 4; ++l1) Dft4<kInverse, true>(v[l1], v[l1 + 4], v[l1 + 8], v[l1 + 12]);
    // v[l1 + 4 k1] is turned by w_16^{l1 k1}.
    const float c1 = 0.92387953251128674f, s1 = 0.38268343236508977f, h = 0.70710678118654752f;
    const auto turn = [](Cv& x, float re, float im) { x = Turn<kInverse>(x, _mm512_set1_ps(re), _mm512_set1_ps(im)); };
    turn(v[5], c1, -s1);    // w^1
    turn(v[9], h, -h);      // w^2
    turn(v[13], s1, -c1);   // w^3
    turn(v[6], h, -h);      // w^2
    turn(v[14], -h, -h);    // w^6
    turn(v[7], s1, -c1);    // w^3
    turn(v[11], -h, -h);    // w^6
    turn(v[15], -c1, s1);   // w^9
    // w^4 = -i (forward), +i (inverse).
    const V zero = _mm512_setzero_ps();
    v[10] = kInverse ? Cv{_mm512_sub_ps(zero, v[10].im), v[10].re} : Cv{v[10].im, _mm512_sub_ps(zero, v[10].re)};
    for (int k1 = 0; k1 < 4; ++k1) Dft4<kInverse>(v[4 * k1], v[4 * k1 + 1], v[4 * k1 + 2], v[4 * k1 + 3]);
}

// Output k of Dft16 sits in v[4 (k % 4) + k / 4].
constexpr int Dft16Slot(int k) { return 4 * (k & 3) + (k >> 2); }

// Lane twiddle w_n^{l k1} of the lane step for k1 = 16 b + c, in all 16 lanes: from the full
// table, or (kFactored) as w_n^{16 l b} w_n^{l c}.
template <bool kFactored>
inline Cv LaneTwiddle(const WideTables& tables, size_t b, int c) {
    if constexpr (!kFactored) return LoadPoint(tables.lane + 32 * (16 * b + (size_t)c));
    const Cv block = LoadPoint(tables.laneBlock + 32 * b);
    return Turn<false>(LoadPoint(tables.laneColumn + 32 * c), block.re, block.im);
}

// Step 2 on block b of 16 frequencies of the lane transforms (found through the position
// table): lane twiddles, transposes, 16-point transforms. Output k2 (Z[16 b + c + n1 k2] in
// lane c) goes to out + k2 * stride, as a point or interleaved for the caller.
template <bool kInverse, bool kInterleavedOut, bool kFactored>
inline void LaneBlockHeld(const float* x, size_t b, const WideTables& tables, float* out, size_t stride) {
    V re[16], im[16];
    for (int c = 0; c < 16; ++c) {
        const Cv w = LaneTwiddle<kFactored>(tables, b, c);
        const Cv v = Turn<kInverse>(LoadPoint(x + 32 * (size_t)tables.position[16 * b + (size_t)c]), w.re, w.im);
        re[c] = v.re;
        im[c] = v.im;
    }
    Transpose16(re);
    Transpose16(im);
    Cv v[16];
    for (int l = 0; l < 16; ++l) v[l] = Cv{re[l], im[l]};
    Dft16<kInverse>(v);
    for (int k = 0; k < 16; ++k) {
        if (kInterleavedOut) {
            StoreInterleaved(out + k * stride, v[Dft16Slot(k)]);
        } else {
            StorePoint(out + k * stride, v[Dft16Slot(k)]);
        }
    }
}

// The first two and the last two rounds of Transpose16 over the four rows each joins: rows
// 4i..4i+3 in r[0..3] become u[4i..4i+3]; u[k], u[k+4], u[k+8], u[k+12] in r[0..3] become rows
// k, k+4, k+8, k+12.
inline void TransposeFirstRounds(V* r) {
    const V t0 = _mm512_unpacklo_ps(r[0], r[1]), t1 = _mm512_unpackhi_ps(r[0], r[1]);
    const V t2 = _mm512_unpacklo_ps(r[2], r[3]), t3 = _mm512_unpackhi_ps(r[2], r[3]);
    const __m512d a = _mm512_castps_pd(t0), b = _mm512_castps_pd(t2);
    const __m512d c = _mm512_castps_pd(t1), d = _mm512_castps_pd(t3);
    r[0] = _mm512_castpd_ps(_mm512_unpacklo_pd(a, b));
    r[1] = _mm512_castpd_ps(_mm512_unpackhi_pd(a, b));
    r[2] = _mm512_castpd_ps(_mm512_unpacklo_pd(c, d));
    r[3] = _mm512_castpd_ps(_mm512_unpackhi_pd(c, d));
}

inline void TransposeLastRounds(V* r) {
    const V t0 = _mm512_shuffle_f32x4(r[0], r[1], 0x88), t4 = _mm512_shuffle_f32x4(r[0], r[1], 0xDD);
    const V t8 = _mm512_shuffle_f32x4(r[2], r[3], 0x88), t12 = _mm512_shuffle_f32x4(r[2], r[3], 0xDD);
    r[0] = _mm512_shuffle_f32x4(t0, t8, 0x88);
    r[2] = _mm512_shuffle_f32x4(t0, t8, 0xDD);
    r[1] = _mm512_shuffle_f32x4(t4, t12, 0x88);
    r[3] = _mm512_shuffle_f32x4(t4, t12, 0xDD);
}

// w_16^e as (re, im) for the turns of Dft16, e = l1 k1 (1, 2, 3, 6 or 9).
inline void Sixteenth(int e, float& re, float& im) {
    const float c1 = 0.92387953251128674f, s1 = 0.38268343236508977f, h = 0.70710678118654752f;
    switch (e) {
        case 1: re = c1, im = -s1; break;
        case 2: re = h, im = -h; break;
        case 3: re = s1, im = -c1; break;
        case 6: re = -h, im = -h; break;
        default: re = -c1, im = s1; break;
    }
}

// LaneBlockHeld with at most eight values held at a time: the turned points, the transposes and
// the two rounds of four-point butterflies of Dft16 each go through the block's area.
template <bool kInverse, bool kInterleavedOut, bool kFactored>
inline void LaneBlockStaged(const float* x, size_t b, const WideTables& tables, float* out, size_t stride) {
    alignas(64) float area[2][16][16];  // real parts, imaginary parts; row l
    {
        // Four turned points at a time: their real parts go straight into the first rounds of
        // the transpose, their imaginary parts wait in the area.
        for (int i = 0; i < 4; ++i) {
            V r[4];
            for (int j = 0; j < 4; ++j) {
                const int c = 4 * i + j;
                const Cv w = LaneTwiddle<kFactored>(tables, b, c);
                const Cv v = Turn<kInverse>(LoadPoint(x + 32 * (size_t)tables.position[16 * b + (size_t)c]), w.re, w.im);
                r[j] = v.re;
                _mm512_store_ps(area[1][4 * i + j], v.im);
            }
            TransposeFirstRounds(r);
            for (int j = 0; j < 4; ++j) _mm512_store_ps(area[0][4 * i + j], r[j]);
        }
        for (int i = 0; i < 4; ++i) {
            V r[4];
            for (int j = 0; j < 4; ++j) r[j] = _mm512_load_ps(area[1][4 * i + j]);
            TransposeFirstRounds(r);
            for (int j = 0; j < 4; ++j) _mm512_store_ps(area[1][4 * i + j], r[j]);
        }
        // Rows l1, l1 + 4, l1 + 8, l1 + 12 are the inputs of the first four-point butterflies.
        for (int l1 = 0; l1 < 4; ++l1) {
            V re[4], im[4];
            for (int j = 0; j < 4; ++j) {
                re[j] = _mm512_load_ps(area[0][l1 + 4 * j]);
                im[j] = _mm512_load_ps(area[1][l1 + 4 * j]);
            }
            TransposeLastRounds(re);
            TransposeLastRounds(im);
            Cv v[4];
            for (int j = 0; j < 4; ++j) v[j] = Cv{re[j], im[j]};
            Dft4<kInverse, true>(v[0], v[1], v[2], v[3]);
            for (int k1 = 0; k1 < 4; ++k1) {
                Cv t = v[k1];
                const int e = l1 * k1;
                if (e == 4) {
                    const V zero = _mm512_setzero_ps();
                    t = kInverse ? Cv{_mm512_sub_ps(zero, t.im), t.re} : Cv{t.im, _mm512_sub_ps(zero, t.re)};
                } else if (e != 0) {
                    float wr, wi;
                    Sixteenth(e, wr, wi);
                    t = Turn<kInverse>(t, _mm512_set1_ps(wr), _mm512_set1_ps(wi));
                }
                _mm512_store_ps(area[0][l1 + 4 * k1], t.re);
                _mm512_store_ps(area[1][l1 + 4 * k1], t.im);
            }
        }
        for (int k1 = 0; k1 < 4; ++k1) {
            Cv v[4];
            for (int j = 0; j < 4; ++j) v[j] = Cv{_mm512_load_ps(area[0][4 * k1 + j]), _mm512_load_ps(area[1][4 * k1 + j])};
            Dft4<kInverse>(v[0], v[1], v[2], v[3]);
            // v[j] holds output k1 + 4 j.
            for (int j = 0; j < 4; ++j) {
                float* to = out + (size_t)(k1 + 4 * j) * stride;
                if (kInterleavedOut) {
                    StoreInterleaved(to, v[j]);
                } else {
                    StorePoint(to, v[j]);
                }
            }
        }
    }
}

// One block of the lane step, in the form the registers of the build allow.
template <bool kInverse, bool kInterleavedOut, bool kFactored>
inline void LaneBlock(const float* x, size_t b, const WideTables& tables, float* out, size_t stride) {
    if constexpr (kFewRegisters) {
        LaneBlockStaged<kInverse, kInterleavedOut, kFactored>(x, b, tables, out, stride);
    } else {
        LaneBlockHeld<kInverse, kInterleavedOut, kFactored>(x, b, tables, out, stride);
    }
}

// The lane step over every block of 16 frequencies, results in natural order:
// Z[16 b + c + n1 k2] in lane c of point b + nb k2 of y.
template <bool kInverse, bool kInterleavedOut>
void LaneStep(const float* x, float* y, size_t lanes, const WideTables& tables) {
    const size_t blocks = lanes / 16;
    if (tables.lane) {
        for (size_t b = 0; b < blocks; ++b) LaneBlock<kInverse, kInterleavedOut, false>(x, b, tables, y + 32 * b, 32 * blocks);
    } else {
        for (size_t b = 0; b < blocks; ++b) LaneBlock<kInverse, kInterleavedOut, true>(x, b, tables, y + 32 * b, 32 * blocks);
    }
}

// Iteration i of the split step and of the inverse pre-step: point i of a run of n values
// (points, or interleaved values) and the values mirrored around n, x[n - 16 i - c] in lane c:
// lanes 15..1 of point n1-1-i and lane 0 of point n1-i, which the iteration before loaded and
// handed on in `carry` (the caller seeds it with x[n]). Also the split-step twiddles of i.
struct MirroredPair {
    Cv a, m;
    V wr, wi;
};

template <bool kInterleaved>
inline MirroredPair LoadMirroredPair(const float* x, size_t lanes, size_t i, Cv& carry, const float* wRe,
                                     const float* wIm) {
    const float* low = x + 32 * i;
    const float* high = x + 32 * (lanes - 1 - i);
    MirroredPair pair;
    pair.a = kInterleaved ? LoadInterleaved(low) : LoadPoint(low);
    const Cv upper = kInterleaved ? LoadInterleaved(high) : LoadPoint(high);
    pair.m = Cv{Mirror(upper.re, carry.re), Mirror(upper.im, carry.im)};
    carry = upper;
    pair.wr = _mm512_loadu_ps(wRe + 16 * i);
    pair.wi = _mm512_loadu_ps(wIm + 16 * i);
    return pair;
}

// (a + conj m) scale and (a - conj m) scale, the halves both steps build their results from.
struct MirroredSums {
    Cv sum, difference;
};

inline MirroredSums SumsOf(const MirroredPair& pair, V scale) {
    const Cv &a = pair.a, &m = pair.m;
    return MirroredSums{Cv{_mm512_mul_ps(_mm512_add_ps(a.re, m.re), scale), _mm512_mul_ps(_mm512_sub_ps(a.im, m.im), scale)},
                        Cv{_mm512_mul_ps(_mm512_sub_ps(a.re, m.re), scale), _mm512_mul_ps(_mm512_add_ps(a.im, m.im), scale)}};
}

// Lane 0 of a carried point, as one complex value.
inline Cx LaneZero(const Cv& point) { return Cx{_mm512_cvtss_f32(point.re), _mm512_cvtss_f32(point.im)}; }

// Z (n complex values as points in data) to the spectrum layout in place, scaled by s: every
// value is read before its floats are written.
void SplitForward16(float* data, size_t n, float s, const float* wRe, const float* wIm) {
    const float* z = data;
    float* dst = data;
    const size_t lanes = n / 16;
    const float z0re = z[0], z0im = z[16];
    const V h = _mm512_set1_ps(0.5f * s);
    Cv carry = LoadPoint(z);  // lane 0: z[0], the value z[n] stands for
    for (size_t i = 0; i < lanes / 2; ++i) {
        const MirroredPair pair = LoadMirroredPair<false>(z, lanes, i, carry, wRe, wIm);
        // e = (a + conj m) / 2, d = (a - conj m) / 2, t = -i d w.
        const MirroredSums sums = SumsOf(pair, h);
        const V er = sums.sum.re, ei = sums.sum.im, dr = sums.difference.re, di = sums.difference.im;
        const V tr = _mm512_fmadd_ps(di, pair.wr, _mm512_mul_ps(dr, pair.wi));
        const V ti = _mm512_fmsub_ps(di, pair.wi, _mm512_mul_ps(dr, pair.wr));
        StoreInterleavedReversed(dst + 32 * (lanes - 1 - i) + 2, Cv{_mm512_sub_ps(er, tr), _mm512_sub_ps(ti, ei)});
        StoreInterleaved(dst + 32 * i, Cv{_mm512_add_ps(er, tr), _mm512_add_ps(ei, ti)});
    }
    // Bin n/2 (lane 0 of the middle point, now in carry) and bins 0 and n.
    const size_t k = n / 2;
    const Cx a = LaneZero(carry), b = Conj(a);
    const float half = 0.5f * s;
    const Cx e = Scale(a + b, half);
    const Cx o = TimesNegI(Scale(a - b, half));
    const Cx t = Mul(o, Cx{wRe[k], wIm[k]});
    StoreCx(dst + 2 * k, e + t);
    dst[0] = (z0re + z0im) * s;
    dst[1] = 0.0f;
    dst[2 * n] = (z0re - z0im) * s;
    dst[2 * n + 1] = 0.0f;
}


// A vector with its lanes in reverse order.
inline V ReversedLanes(V v) {
    return _mm512_permutexvar_ps(_mm512_set_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15), v);
}

// The inverse pre-step's values of a mirrored pair: Y[i] (`direct`) and Y[n - 16 i - c] in lane c
// (`mirrored`). p = (a + conj m) s, d = (a - conj m) s, q = i d conj(w) = d (wi + i wr).
inline void PreStepValues(const MirroredPair& pair, V scale, Cv& direct, Cv& mirrored) {
    const MirroredSums sums = SumsOf(pair, scale);
    const V pr = sums.sum.re, pi = sums.sum.im, dr = sums.difference.re, di = sums.difference.im;
    const V qr = _mm512_fmsub_ps(dr, pair.wi, _mm512_mul_ps(di, pair.wr));
    const V qi = _mm512_fmadd_ps(dr, pair.wr, _mm512_mul_ps(di, pair.wi));
    direct = Cv{_mm512_add_ps(pr, qr), _mm512_add_ps(pi, qi)};
    mirrored = Cv{_mm512_sub_ps(pr, qr), _mm512_sub_ps(qi, pi)};
}

// The inverse pre-step of points i < n1/2 and n1-1-i: Y[i] (`direct`), and Y[n - 16 i - c] in
// lane c (`mirrored`: lanes 1..15 belong to point n1-1-i, lane 0 to point n1-i). X[n - 16 i - c]
// is lane 15 - c of the 16 values one value past point n1-1-i, so no value need be carried from
// one pair to the next.
inline void PreStepPair(const float* src, size_t n1, size_t i, V scale, const float* wRe, const float* wIm,
                        Cv& direct, Cv& mirrored) {
    MirroredPair pair;
    pair.a = LoadInterleaved(src + 32 * i);
    const Cv far = LoadInterleaved(src + 32 * (n1 - 1 - i) + 2);
    pair.m = Cv{ReversedLanes(far.re), ReversedLanes(far.im)};
    pair.wr = _mm512_loadu_ps(wRe + 16 * i);
    pair.wi = _mm512_loadu_ps(wIm + 16 * i);
    PreStepValues(pair, scale, direct, mirrored);
}

// Spectrum layout in src to the n complex values Y as points in y, scaled by s. The mirrored
// results go out with masks so that lane 0 of point n1-1-i, whose value the next iteration
// computes, is left alone until then. Floats 1 and 2n+1 of src take no part in the result.
// kCarried: each pair's mirrored values come from the point loaded for the pair before, y may even
// be src, and floats 1 and 2n+1 are never read. Otherwise, for y apart from src, each pair loads
// its own (PreStepPair): in 32-bit code the carried point does not stay in the eight registers,
// and its spills cost more than the loads (2^11 to 2^13, the step alone: 3 to 20 % faster; in
// 64-bit code 15 to 30 % slower). The first pair then reads float 2n+1 into lane 0 only, whose
// results are overwritten (Y[0]) or never stored (Y[n]).
template <bool kCarried>
void PreStepInverse16(const float* src, float* y, size_t n, float s, const float* wRe, const float* wIm) {
    const size_t lanes = n / 16;
    const float x0 = src[0], xn = src[2 * n];
    const V scale = _mm512_set1_ps(s);
    Cv carry{_mm512_set1_ps(xn), _mm512_setzero_ps()};  // lane 0: bin n (its imaginary part unused)
    for (size_t i = 0; i < lanes / 2; ++i) {
        Cv direct, mirrored;
        if constexpr (kCarried) {
            PreStepValues(LoadMirroredPair<true>(src, lanes, i, carry, wRe, wIm), scale, direct, mirrored);
        } else {
            PreStepPair(src, lanes, i, scale, wRe, wIm, direct, mirrored);
        }
        StorePoint(y + 32 * i, direct);
        // Lane c holds Y[n - 16 i - c]: c = 1..15 go to lanes 15..1 of point n1-1-i, c = 0 to
        // lane 0 of point n1-i (none for i = 0: that is Y[n], not part of the transform).
        const V rr = Mirror(mirrored.re, mirrored.re), ri = Mirror(mirrored.im, mirrored.im);  // lane j: c = 16 - j
        float* upperOut = y + 32 * (lanes - 1 - i);
        _mm512_mask_storeu_ps(upperOut, (__mmask16)0xFFFE, rr);
        _mm512_mask_storeu_ps(upperOut + 16, (__mmask16)0xFFFE, ri);
        if (i > 0) {
            _mm512_mask_storeu_ps(upperOut + 32, (__mmask16)0x0001, mirrored.re);
            _mm512_mask_storeu_ps(upperOut + 48, (__mmask16)0x0001, mirrored.im);
        }
    }
    // Bin n/2 (lane 0 of the middle point, in carry when carried) and bin 0.
    const size_t k = n / 2;
    const Cx a = kCarried ? LaneZero(carry) : Cx{src[2 * k], src[2 * k + 1]}, b = Conj(a);
    const Cx p = Scale(a + b, s);
    const Cx q = TimesI(Mul(Scale(a - b, s), Conj(Cx{wRe[k], wIm[k]})));
    float* middle = y + 32 * (lanes / 2);
    middle[0] = (p + q).re;
    middle[16] = (p + q).im;
    y[0] = (x0 + xn) * s;
    y[16] = (x0 - xn) * s;
}

// Lanes 1..15 of a point from a pair's mirrored values (lane j takes lane 16 - j), lane 0 from
// lane 0 of `zero`.
inline Cv MirroredPoint(const Cv& mirrored, const Cv& zero) {
    return Cv{Mirror(mirrored.re, zero.re), Mirror(mirrored.im, zero.im)};
}

// Lane 0 of the point at p replaced by lane 0 of v.
inline void SetLaneZero(float* p, const Cv& v) {
    StorePoint(p, Cv{_mm512_mask_mov_ps(_mm512_loadu_ps(p), 1, v.re), _mm512_mask_mov_ps(_mm512_loadu_ps(p + 16), 1, v.im)});
}

// The inverse transform's pre-step and its first pass (radix R over all n1 points, m = n1/R
// groups, twiddles tw) in one sweep: the pre-step's values of a group never leave a small area.
// Group g (points g + r m) takes the pre-step pairs of its lower half, r < R/2, and those of
// group q = m-1-g, whose lower half is its upper half's mirror; lane 0 of an upper point comes
// from the pairs of the group after g (the pairs of group g+1's mirror group, made one group
// earlier), so each group q waits one turn for its lanes 0 before its butterfly.
template <int kRadix>
void PreStepFirstPass(const float* src, float* work, size_t n1, float s, const WideTables& tables, const float* tw) {
    constexpr int kHalf = kRadix / 2;
    const size_t m = n1 / kRadix;
    const size_t n = 16 * n1;
    const V scale = _mm512_set1_ps(s);
    const float* wRe = tables.splitRe;
    const float* wIm = tables.splitIm;
    alignas(64) float areas[3][kRadix * 32];
    alignas(64) float carries[kHalf * 32];  // lanes 0 of group g's upper points: carries[r] for point R-1-r
    alignas(64) float stage[kFewRegisters ? 8 * 32 : 1];
    float* own = areas[0];      // group g
    float* other = areas[1];    // group q
    float* waiting = areas[2];  // group m - g, the group q before, waiting for lanes 0
    for (size_t g = 0; g < m / 2; ++g) {
        const size_t q = m - 1 - g;
        Cv direct, mirrored;
        for (int r = 0; r < kHalf; ++r) {
            PreStepPair(src, n1, g + (size_t)r * m, scale, wRe, wIm, direct, mirrored);
            StorePoint(own + 32 * r, direct);
            StorePoint(other + 32 * (kRadix - 1 - r), MirroredPoint(mirrored, mirrored));  // lane 0 later
            // Lane 0 is Y[n - 16 i] of point n1 - i: point R-1-r of the waiting group, or for
            // g = 0 point R-r of this one (r = 0: Y[n], no part of the transform).
            if (g > 0) {
                SetLaneZero(waiting + 32 * (kRadix - 1 - r), mirrored);
            } else if (r > 0) {
                StorePoint(carries + 32 * (r - 1), mirrored);
            }
        }
        if (g == 0) {
            // Bins 0 and n/2: lane 0 of points 0 and n1/2 (point R/2 of group 0).
            const float x0 = src[0], xn = src[2 * n];
            SetLaneZero(own, Cv{_mm512_set1_ps((x0 + xn) * s), _mm512_set1_ps((x0 - xn) * s)});
            const size_t k = n / 2;
            const Cx a{src[2 * k], src[2 * k + 1]}, b = Conj(a);
            const Cx y = Scale(a + b, s) + TimesI(Mul(Scale(a - b, s), Conj(Cx{wRe[k], wIm[k]})));
            StorePoint(carries + 32 * (kHalf - 1), Cv{_mm512_set1_ps(y.re), _mm512_set1_ps(y.im)});
        }
        for (int r = 0; r < kHalf; ++r) {
            PreStepPair(src, n1, q + (size_t)r * m, scale, wRe, wIm, direct, mirrored);
            StorePoint(other + 32 * r, direct);
            StorePoint(own + 32 * (kRadix - 1 - r), MirroredPoint(mirrored, LoadPoint(carries + 32 * r)));
            // Lane 0: point R-1-r of group g + 1, which is group q itself after the last pair.
            if (g + 1 == q) {
                SetLaneZero(other + 32 * (kRadix - 1 - r), mirrored);
            } else {
                StorePoint(carries + 32 * r, mirrored);
            }
        }
        PassButterfly<kRadix, true, false>(own, 1, work + 32 * g, m, tw + 2 * (kRadix - 1) * g, stage);
        if (g > 0) {
            const size_t w = m - g;
            PassButterfly<kRadix, true, false>(waiting, 1, work + 32 * w, m, tw + 2 * (kRadix - 1) * w, stage);
        }
        std::swap(waiting, other);
    }
    const size_t last = m / 2;
    PassButterfly<kRadix, true, false>(waiting, 1, work + 32 * last, m, tw + 2 * (kRadix - 1) * last, stage);
}

// Sub-transforms at most this many points long get all their remaining passes while they are
// in the second-level cache (256 KB), and within those, the first-level cache (32 KB).
constexpr size_t kCachedPoints[2] = {2048, 256};

// One pass of the plan over `total` points from x into y (x is y after the first pass).
template <bool kInverse, bool kInterleavedIn>
void RunLanePass(int32_t radix, const float* x, float* y, size_t total, size_t length, const float* tw) {
    if (radix == 8) {
        LanePass<8, kInverse, kInterleavedIn>(x, y, total, length, tw);
    } else {
        LanePass<4, kInverse, kInterleavedIn>(x, y, total, length, tw);
    }
}

// The passes of a plan with their twiddles and the sub-transform length each works on.
struct PassList {
    int32_t count;
    int32_t radix[6];
    size_t length[6];
    const float* twiddles[6];
};

// Passes first .. count-1 over the `total` points of x (the caller's values, read by pass 0
// only) into y, finishing each sub-transform on its own once it fits the cache of `level`: the
// passes are in place, so they touch nothing outside it.
template <bool kInverse, bool kInterleavedIn>
void RunPasses(const PassList& list, int32_t first, int32_t level, const float* x, float* y, size_t total) {
    int32_t i = first;
    if (level < 2) {
        for (; i < list.count && list.length[i] > kCachedPoints[level]; ++i) {
            if (i == 0) {
                RunLanePass<kInverse, kInterleavedIn>(list.radix[0], x, y, total, list.length[0], list.twiddles[0]);
            } else {
                RunLanePass<kInverse, false>(list.radix[i], y, y, total, list.length[i], list.twiddles[i]);
            }
        }
    }
    if (i == list.count) return;
    if (level < 2) {
        const size_t block = list.length[i];
        for (size_t start = 0; start < total; start += block) {
            RunPasses<kInverse, kInterleavedIn>(list, i, level + 1, x + 32 * start, y + 32 * start, block);
        }
        return;
    }
    for (; i < list.count; ++i) {
        if (i == 0) {
            RunLanePass<kInverse, kInterleavedIn>(list.radix[0], x, y, total, list.length[0], list.twiddles[0]);
        } else {
            RunLanePass<kInverse, false>(list.radix[i], y, y, total, list.length[i], list.twiddles[i]);
        }
    }
}

// The passes down the lanes, all in the work area; the first reads x (interleaved for the
// forward transform).
template <bool kInverse, bool kInterleavedIn>
void LanePasses(const float* x, float* work, size_t lanes, const WideTables& tables, int32_t first) {
    PassList list{};
    list.count = tables.plan.passes;
    const float* tw = tables.pass;
    size_t length = lanes;
    for (int32_t i = 0; i < list.count; ++i) {
        list.radix[i] = tables.plan.radix[i];
        list.twiddles[i] = tw;
        list.length[i] = length;
        const size_t m = length / (size_t)list.radix[i];
        if (m > 1) tw += 2 * (size_t)(list.radix[i] - 1) * m;
        length = m;
    }
    RunPasses<kInverse, kInterleavedIn>(list, first, 0, x, work, lanes);
}

// From this order the inverse's pre-step goes with its first pass: the sweep over the data it
// saves costs more than the pairs' values staged in a small area do (below it, less).
constexpr int32_t kFusedPreStepOrder = 18;

// Both directions: the work area, then the forward transform's passes, lane step
// and split step, or the inverse's pre-step, passes and lane step.
template <bool kInverse>
int32_t Transform16(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    WorkArea area(setup, workBuffer);
    if (area.Failed()) return StatusNoMemory;
    float* work = reinterpret_cast<float*>(area.Get());
    const size_t n = size_t(1) << (setup->order - 1);
    const WideTables& tables = *setup->wide;
    if constexpr (kInverse) {
        const float s = setup->inverseScaled ? setup->scale : 1.0f;
        if (setup->order >= kFusedPreStepOrder) {
            if (tables.plan.radix[0] == 8) {
                PreStepFirstPass<8>(src, work, n / 16, s, tables, tables.pass);
            } else {
                PreStepFirstPass<4>(src, work, n / 16, s, tables, tables.pass);
            }
            LanePasses<true, false>(work, work, n / 16, tables, 1);
        } else {
            PreStepInverse16<!kFewRegisters>(src, work, n, s, tables.splitRe, tables.splitIm);
            LanePasses<true, false>(work, work, n / 16, tables, 0);
        }
        LaneStep<true, true>(work, dst, n / 16, tables);
    } else {
        // The first pass reads src and writes the work area, so src may be dst.
        LanePasses<false, true>(src, work, n / 16, tables, 0);
        LaneStep<false, false>(work, dst, n / 16, tables);
        SplitForward16(dst, n, setup->forwardScaled ? setup->scale : 1.0f, tables.splitRe, tables.splitIm);
    }
    return StatusOk;
}

// Setups that carry the 16-lane tables run the 16-lane transforms; the others, of the orders
// those routines do not cover, the 8-lane ones. Out of line, so that the straight-line orders
// below reach their routines without the frame these build.
template <bool kInverse>
[[gnu::noinline]] int32_t TransformBeyondStraight(const float* src, float* dst, const RealFftSetup* setup,
                                                  void* workBuffer) {
    if (setup->wide) return Transform16<kInverse>(src, dst, setup, workBuffer);
    return kInverse ? InverseAvx2Fma(src, dst, setup, workBuffer) : ForwardAvx2Fma(src, dst, setup, workBuffer);
}

// Orders up to 2^8 run the straight-line routines of fft_avx512_small.cpp.
int32_t ForwardAvx512(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    if (setup->order <= kLaneMaxOrder) return ForwardAvx512Small(src, dst, setup, workBuffer);
    return TransformBeyondStraight<false>(src, dst, setup, workBuffer);
}

int32_t InverseAvx512(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    if (setup->order <= kLaneMaxOrder) return InverseAvx512Small(src, dst, setup, workBuffer);
    return TransformBeyondStraight<true>(src, dst, setup, workBuffer);
}

}  // namespace
}  // namespace fft

namespace detail {

extern const FftRoutines kFftAvx512 = {fft::kAvxTiers, fft::ForwardAvx512, fft::InverseAvx512, true, BlockFillAvx};

}  // namespace detail
}  // namespace sonvex
