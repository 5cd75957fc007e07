// The avx512 row's transforms of N <= 256 (AVX-512F): straight-line routines that keep the whole
// transform in registers, with no work buffer: intrinsics for N = 32 .. 256 (orders 5 to 8),
// scalar code for N = 16, the other rows' routines below.
//
// Values travel as "points" as in the 16-lane routines of fft_avx512.cpp: 16 complex values as a
// vector of real parts and a vector of imaginary parts. The n = N/2 = 16 m complex values of the
// forward transform come in as m points, point p holding z[16 p + l] in lane l. With
// k = k1 + m k2 and k2 = k'' + (16/m) k', l = l' + m l'' (l', k1, k' < m; l'', k'' < 16/m):
//   1. an m-point transform runs down the lanes over the points (p to k1), and point k1 is
//      turned by w_n^{l k1} in lane l;
//   2. rounds that split pairs of vectors into their even and odd lanes trade the low log2(m)
//      bits of the lane (l') for those of the point (k1): point l' then holds k1 + m l'' in its
//      lanes, l'' in bit-reversed order;
//   3. a 16/m-point transform runs across the lanes of each point (l'' to k''; radix-2 steps,
//      each a lane permute and a fused multiply-add, one twiddle vector per step), point l' is
//      turned by w_16^{l' k''}, and an m-point transform runs down the lanes again (l' to k'):
//      point k' then holds Z[16 k' + k1 + m k''] in lane k1 + m k'', Z in natural order;
//   4. the split step pairs each point with its mirror, Z[n - k], gathered from two points by
//      one permute, and the points go out interleaved.
// The inverse runs the same steps backwards. The rounds of step 2 move every value once, where
// a transpose to z[p + m l] and a 16-point transform across the lanes would move it twice.
#include <immintrin.h>

#include <cstdint>

#include "dsp/kernels/fft_engine.h"
#include "dsp/kernels/fft_internal.h"
#include "dsp/kernels/fft_points.h"
#include "dsp/kernels/fft_small.h"
#include "dsp/kernels/fft_versions.h"

namespace sonvex {
namespace fft {

namespace {


constexpr int Log2(int m) { return m >= 8 ? 3 : m >= 4 ? 2 : m >= 2 ? 1 : 0; }

// Reverses the low `bits` bits of l.
constexpr int32_t ReverseLow(int32_t l, int bits) {
    int32_t r = 0;
    for (int i = 0; i < bits; ++i) r |= ((l >> i) & 1) << (bits - 1 - i);
    return r;
}

// Lane index vectors, computed when compiled.
struct LaneIndex {
    int32_t lane[16];
};

// Where lane q of a point after the rounds of step 2 comes from in the lanes the last round
// would leave in their plain order (l'' + (16/m) k1): q = k1 + m rev(l'').
constexpr int32_t RoundSource(int32_t q, int points) {
    const int bits = Log2(points);
    return ReverseLow(q >> bits, 4 - bits) + (16 / points) * (q & (points - 1));
}

// Even (odd = 0) or odd lanes of a:b, in lane order or, `points` > 0, in the order of
// RoundSource (with one point, where no round runs, the lanes bit-reversed).
constexpr LaneIndex Unzip(int32_t odd, int points) {
    LaneIndex index{};
    for (int32_t q = 0; q < 16; ++q) index.lane[q] = 2 * (points ? RoundSource(q, points) : q) + odd;
    return index;
}

// Lanes half*8 .. half*8+7 of a and b, interleaved: the inverse of Unzip(., points).
constexpr LaneIndex Zip(int32_t half, int points) {
    LaneIndex index{};
    for (int32_t p = 0; p < 8; ++p) {
        int32_t from = 8 * half + p;
        if (points) {
            for (int32_t q = 0; q < 16; ++q) {
                if (RoundSource(q, points) == 8 * half + p) from = q;
            }
        }
        index.lane[2 * p] = from;
        index.lane[2 * p + 1] = 16 + from;
    }
    return index;
}

// Lane c takes lane 16 - c of `upper` for c >= 1 and lane 0 of `carry`: the values z[n - k]
// when lane k of the point in turn holds z[k + 16 k1], `upper` the point m - 1 - k1 and `carry`
// the point m - k1.
constexpr LaneIndex MirrorIndex() {
    LaneIndex index{};
    for (int32_t c = 0; c < 16; ++c) index.lane[c] = 16 - c;
    return index;
}

template <const LaneIndex& kIndex>
inline __m512i IndexVector() {
    return _mm512_loadu_si512(kIndex.lane);
}

template <int kPoints>
struct RoundIndex {
    static constexpr LaneIndex kEven = Unzip(0, kPoints), kOdd = Unzip(1, kPoints);
    static constexpr LaneIndex kLow = Zip(0, kPoints), kHigh = Zip(1, kPoints);
};
constexpr LaneIndex kUnzipEven = Unzip(0, 0), kUnzipOdd = Unzip(1, 0);
constexpr LaneIndex kZipLow = Zip(0, 0), kZipHigh = Zip(1, 0);
constexpr LaneIndex kMirror = MirrorIndex();

// The caller's arrays are 32-byte aligned at best: a 64-byte access would then straddle two
// cache lines, and a transform that reads what the one before it wrote would wait for those
// split stores (2^7 took 90 instead of 73 ns per pair on such arrays). Halves of 32 bytes
// never straddle, for one more shuffle per vector.
inline V LoadHalves(const float* p) {
    const __m256d low = _mm256_loadu_pd(reinterpret_cast<const double*>(p));
    const __m256d high = _mm256_loadu_pd(reinterpret_cast<const double*>(p + 8));
    return _mm512_castpd_ps(_mm512_insertf64x4(_mm512_castpd256_pd512(low), high, 1));
}
inline void StoreHalves(float* p, V v) {
    _mm256_storeu_pd(reinterpret_cast<double*>(p), _mm512_castpd512_pd256(_mm512_castps_pd(v)));
    _mm256_storeu_pd(reinterpret_cast<double*>(p + 8), _mm512_extractf64x4_pd(_mm512_castps_pd(v), 1));
}

inline V Permute2(V a, const __m512i& index, V b) { return _mm512_permutex2var_ps(a, index, b); }

// Step 2 on the real or the imaginary parts of the m points: each round splits pairs of vectors
// into their even and odd lanes, the last in RoundSource's order; back, each round interleaves
// them again, the first undoing that order.
template <int kPoints, bool kBack>
inline void TradeBits(V* v) {
    using Special = RoundIndex<kPoints>;
    const __m512i plain0 = kBack ? IndexVector<kZipLow>() : IndexVector<kUnzipEven>();
    const __m512i plain1 = kBack ? IndexVector<kZipHigh>() : IndexVector<kUnzipOdd>();
    const __m512i special0 = kBack ? IndexVector<Special::kLow>() : IndexVector<Special::kEven>();
    const __m512i special1 = kBack ? IndexVector<Special::kHigh>() : IndexVector<Special::kOdd>();
    constexpr int kHalf = kPoints / 2;
    for (int round = 1; round < kPoints; round *= 2) {
        const bool special = kBack ? round == 1 : 2 * round == kPoints;
        V next[kPoints];
        for (int i = 0; i < kHalf; ++i) {
            const V a = kBack ? v[i] : v[2 * i], b = kBack ? v[i + kHalf] : v[2 * i + 1];
            next[kBack ? 2 * i : i] = Permute2(a, special ? special0 : plain0, b);
            next[kBack ? 2 * i + 1 : i + kHalf] = Permute2(a, special ? special1 : plain1, b);
        }
        for (int i = 0; i < kPoints; ++i) v[i] = next[i];
    }
}

// Lane l paired with lane l ^ span.
template <int kSpan>
inline V Partner(V v) {
    if constexpr (kSpan == 1) return _mm512_permute_ps(v, 0xB1);
    if constexpr (kSpan == 2) return _mm512_permute_ps(v, 0x4E);
    if constexpr (kSpan == 4) return _mm512_shuffle_f32x4(v, v, 0xB1);
    return _mm512_shuffle_f32x4(v, v, 0x4E);
}

// +1 in the lanes without the span's bit, -1 in those with it.
template <int kSpan>
inline V SpanSign() {
    constexpr __mmask16 kHigh = kSpan == 1 ? 0xAAAA : kSpan == 2 ? 0xCCCC : kSpan == 4 ? 0xF0F0 : 0xFF00;
    return _mm512_mask_blend_ps(kHigh, _mm512_set1_ps(1.0f), _mm512_set1_ps(-1.0f));
}

// The butterflies of one span: x_l + x_{l+span} in the lower lane, x_{l-span} - x_l in the upper.
template <int kSpan>
inline Cv Butterflies(Cv x) {
    const V sign = SpanSign<kSpan>();
    return Cv{_mm512_fmadd_ps(x.re, sign, Partner<kSpan>(x.re)), _mm512_fmadd_ps(x.im, sign, Partner<kSpan>(x.im))};
}

// x * w, or x * conj(w) for the inverse direction.
template <bool kConj>
inline Cv Turn(Cv x, V wr, V wi) {
    if constexpr (kConj) {
        return Cv{_mm512_fmadd_ps(x.im, wi, _mm512_mul_ps(x.re, wr)), _mm512_fnmadd_ps(x.re, wi, _mm512_mul_ps(x.im, wr))};
    } else {
        return Cv{_mm512_fnmadd_ps(x.im, wi, _mm512_mul_ps(x.re, wr)), _mm512_fmadd_ps(x.re, wi, _mm512_mul_ps(x.im, wr))};
    }
}

// The lanes `mask` turned by -i (forward) or +i (inverse).
template <bool kInverse>
inline Cv TurnQuarter(Cv x, __mmask16 mask) {
    const V zero = _mm512_setzero_ps();
    if constexpr (kInverse) {
        return Cv{_mm512_mask_sub_ps(x.re, mask, zero, x.im), _mm512_mask_mov_ps(x.im, mask, x.re)};
    } else {
        return Cv{_mm512_mask_mov_ps(x.re, mask, x.im), _mm512_mask_sub_ps(x.im, mask, zero, x.re)};
    }
}

// The layout of an order's tables (LaneTwiddleFloats and BuildLaneTwiddles): vectors of 16 floats,
// real parts then imaginary parts of each twiddle vector.
//   0, 1  the span-8 step of one point: w_16^{q - 8} in the lanes q >= 8, 1 below;
//   2, 3  the span-4m step (m <= 2): w_8^{(q / m) mod 4} in the lanes with bit 4m set, 1 below;
//   then for each point k1 < m the split step's coefficients P, Q, T (SplitPoint) of the forward
//   transform, then those of the inverse;
//   then for each point k1 = 1 .. m-1: w_n^{q k1} (step 1);
//   then for each point l' = 1 .. m-1: w_16^{l' (q / m)} (step 3);
//   with two points, PairedStep's a and b for point 1, forward, then inverse.
constexpr int kStageVectors = 4;

template <int kPoints>
struct TableLayout {
    static constexpr int kSplit = kStageVectors;
    static constexpr int kDown = kSplit + 6 * kPoints;
    static constexpr int kAcross = kDown + 2 * (kPoints - 1);
    static constexpr int kPaired = kAcross + 2 * (kPoints - 1);
};

inline V TableVector(const float* tables, int vector) { return _mm512_loadu_ps(tables + 16 * vector); }

// The twiddles before step `t` of the transform across the lanes (span m 2^t): lanes 3 mod 4 of
// the l'' index take -i, or the table's vectors.
template <int kPoints, int kStep, bool kInverse>
inline Cv StepTwiddles(Cv x, const float* tables) {
    constexpr int kSpan = kPoints << kStep;
    if constexpr (kStep == 1) {
        constexpr __mmask16 kMask = kPoints == 1 ? 0x8888 : kPoints == 2 ? 0xC0C0 : 0xF000;
        return TurnQuarter<kInverse>(x, kMask);
    } else if constexpr (kStep >= 2) {
        const int at = kSpan == 8 && kPoints == 1 ? 0 : 2;
        return Turn<kInverse>(x, TableVector(tables, at), TableVector(tables, at + 1));
    } else {
        (void)tables;
        return x;
    }
}

// Step 3's transform across the lanes, decimation in time: lanes in bit-reversed order in,
// natural order out.
// Steps kStep .. kEnd - 1 of it.
template <int kPoints, int kStep = 0, int kEnd = 4 - Log2(kPoints)>
inline Cv AcrossLanesForward(Cv x, const float* tables) {
    if constexpr (kStep >= kEnd) {
        (void)tables;
        return x;
    } else {
        x = Butterflies<(kPoints << kStep)>(StepTwiddles<kPoints, kStep, false>(x, tables));
        return AcrossLanesForward<kPoints, kStep + 1, kEnd>(x, tables);
    }
}

// Its inverse, decimation in frequency: natural order in, bit-reversed out.
template <int kPoints, int kStep = 3 - Log2(kPoints)>
inline Cv AcrossLanesInverse(Cv x, const float* tables) {
    constexpr int kSpan = kPoints << kStep;
    x = StepTwiddles<kPoints, kStep, true>(Butterflies<kSpan>(x), tables);
    if constexpr (kStep == 0) {
        return x;
    } else {
        return AcrossLanesInverse<kPoints, kStep - 1>(x, tables);
    }
}

// a x + b x', x' the lanes of x paired by the span, with the lane coefficients a and b at `at`
// (real parts, imaginary parts, then b's): a butterfly step with the twiddles before and after
// it folded in, where two table twiddles meet (the last step of 2^6's forward transform across
// the lanes with the turn of step 3 after it, the first of the inverse with the turn before).
// The terms of x come first, while the lanes are paired.
template <int kSpan>
inline Cv PairedStep(Cv x, const float* at) {
    const V ar = TableVector(at, 0), ai = TableVector(at, 1), br = TableVector(at, 2), bi = TableVector(at, 3);
    const V pr = Partner<kSpan>(x.re), pi = Partner<kSpan>(x.im);
    const V re = _mm512_fnmadd_ps(bi, pi, _mm512_fmadd_ps(br, pr, _mm512_fnmadd_ps(ai, x.im, _mm512_mul_ps(ar, x.re))));
    const V im = _mm512_fmadd_ps(bi, pr, _mm512_fmadd_ps(br, pi, _mm512_fmadd_ps(ai, x.re, _mm512_mul_ps(ar, x.im))));
    return Cv{re, im};
}

// a - i b (forward) or a + i b (inverse), and the other sign.
template <bool kInverse>
inline Cv AddTurned(Cv a, Cv b) {
    return kInverse ? Cv{_mm512_sub_ps(a.re, b.im), _mm512_add_ps(a.im, b.re)}
                    : Cv{_mm512_add_ps(a.re, b.im), _mm512_sub_ps(a.im, b.re)};
}
template <bool kInverse>
inline Cv SubTurned(Cv a, Cv b) {
    return AddTurned<!kInverse>(a, b);
}

// x times w_8 (forward) or its conjugate: h (re + im, im - re) or h (re - im, re + im).
template <bool kInverse>
inline Cv TurnEighth(Cv x, V h) {
    return kInverse ? Cv{_mm512_mul_ps(_mm512_sub_ps(x.re, x.im), h), _mm512_mul_ps(_mm512_add_ps(x.re, x.im), h)}
                    : Cv{_mm512_mul_ps(_mm512_add_ps(x.re, x.im), h), _mm512_mul_ps(_mm512_sub_ps(x.im, x.re), h)};
}

// The m-point transform down the lanes, in place, natural order in and out. The four-point one
// adds its sums on the multiply-add units (the same bits): 2^8 runs two of them per direction
// among few products, 5 % faster on the figures' processor.
template <int kPoints, bool kInverse>
inline void DownLanes(Cv* p) {
    if constexpr (kPoints == 2) {
        const Cv a = p[0], b = p[1];
        p[0] = Add(a, b);
        p[1] = Sub(a, b);
    } else if constexpr (kPoints == 4) {
        const Cv s02 = Add(p[0], p[2]), d02 = Sub(p[0], p[2]), s13 = Add(p[1], p[3]), d13 = Sub(p[1], p[3]);
        p[0] = AddOnMultiplier(s02, s13);
        p[2] = SubOnMultiplier(s02, s13);
        p[1] = AddTurned<kInverse>(d02, d13);
        p[3] = SubTurned<kInverse>(d02, d13);
    } else if constexpr (kPoints == 8) {
        Cv even[4] = {p[0], p[2], p[4], p[6]};
        Cv odd[4] = {p[1], p[3], p[5], p[7]};
        DownLanes<4, kInverse>(even);
        DownLanes<4, kInverse>(odd);
        const V h = _mm512_set1_ps(0.70710678118654752f);
        // w_8^k o_k: 1, h (1 -/+ i), -/+ i, -h (1 +/- i).
        const Cv o1 = TurnEighth<kInverse>(odd[1], h);
        const Cv o3 = TurnEighth<kInverse>(odd[3], h);
        p[0] = Add(even[0], odd[0]);
        p[4] = Sub(even[0], odd[0]);
        p[1] = Add(even[1], o1);
        p[5] = Sub(even[1], o1);
        p[2] = AddTurned<kInverse>(even[2], odd[2]);
        p[6] = SubTurned<kInverse>(even[2], odd[2]);
        // w_8^3 = -i w_8 (forward), w_8^-3 = +i w_8^-1.
        p[3] = AddTurned<kInverse>(even[3], o3);
        p[7] = SubTurned<kInverse>(even[3], o3);
    }
}

// Points 1 .. m-1 turned by the table's vectors from `at` on (two a point).
template <int kPoints, bool kInverse>
inline void TurnPoints(Cv* p, const float* tables, int at) {
    for (int i = 1; i < kPoints; ++i) {
        p[i] = Turn<kInverse>(p[i], TableVector(tables, at + 2 * (i - 1)), TableVector(tables, at + 2 * (i - 1) + 1));
    }
}

// The split step of one point (forward) or the pre-step (inverse) from the point a, its mirror
// b = z[n - k] and the point's coefficients: with w = w_N^k, S = a + conj b and D = a - conj b,
// the forward X = f S + f w (-i) D (f = scale / 2) and the inverse Y = f S + f conj(w) i D
// (f = scale), expanded so that the terms of a, which is ready first, come first:
//   re = P a.re + T a.im + Q b.re + T b.im,  im = P a.im - T a.re - Q b.im + T b.re
// with P = f (1 + Im w), Q = 2f - P and T = +/- f Re w. An even input (b = a) gives
// (P + Q) a.re = 2f a.re exactly.
inline Cv SplitPoint(Cv a, Cv b, V p, V q, V t) {
    const V re = _mm512_fmadd_ps(t, b.im, _mm512_fmadd_ps(q, b.re, _mm512_fmadd_ps(t, a.im, _mm512_mul_ps(p, a.re))));
    const V im = _mm512_fmadd_ps(t, b.re, _mm512_fnmadd_ps(q, b.im, _mm512_fnmadd_ps(t, a.re, _mm512_mul_ps(p, a.im))));
    return Cv{re, im};
}

// The mirror of point k1: z[n - k] in lane k.
template <int kPoints>
inline Cv MirrorOf(const Cv* z, const Cv& carry, int k1, const __m512i& index) {
    const Cv& upper = z[kPoints - 1 - k1];
    const Cv& low = k1 == 0 ? carry : z[kPoints - k1];
    return Cv{Permute2(upper.re, index, low.re), Permute2(upper.im, index, low.im)};
}

// The complex transform of steps 1 to 3 (forward) on m points in place.
template <int kPoints, bool kInverse>
inline void ComplexTransform(Cv* p, const float* tables) {
    using Layout = TableLayout<kPoints>;
    V re[kPoints], im[kPoints];
    if constexpr (!kInverse) {
        DownLanes<kPoints, false>(p);
        TurnPoints<kPoints, false>(p, tables, Layout::kDown);
        for (int i = 0; i < kPoints; ++i) re[i] = p[i].re, im[i] = p[i].im;
        TradeBits<kPoints, false>(re);
        TradeBits<kPoints, false>(im);
        for (int i = 0; i < kPoints; ++i) p[i] = AcrossLanesForward<kPoints>(Cv{re[i], im[i]}, tables);
        if constexpr (kPoints == 2) {
            p[1] = PairedStep<8>(AcrossLanesForward<2, 0, 2>(Cv{re[1], im[1]}, tables), tables + 16 * Layout::kPaired);
        } else {
            TurnPoints<kPoints, false>(p, tables, Layout::kAcross);
        }
        DownLanes<kPoints, false>(p);
    } else {
        DownLanes<kPoints, true>(p);
        if constexpr (kPoints != 2) TurnPoints<kPoints, true>(p, tables, Layout::kAcross);
        for (int i = 0; i < kPoints; ++i) {
            Cv x;
            if (kPoints == 2 && i == 1) {
                x = AcrossLanesInverse<kPoints, 1>(PairedStep<8>(p[i], tables + 16 * (Layout::kPaired + 4)), tables);
            } else {
                x = AcrossLanesInverse<kPoints>(p[i], tables);
            }
            re[i] = x.re;
            im[i] = x.im;
        }
        TradeBits<kPoints, true>(re);
        TradeBits<kPoints, true>(im);
        for (int i = 0; i < kPoints; ++i) p[i] = Cv{re[i], im[i]};
        TurnPoints<kPoints, true>(p, tables, Layout::kDown);
        DownLanes<kPoints, true>(p);
    }
}

// One routine per order and direction, each with the signature of the row's transforms, so that
// the entry reaches it with one indirect jump.
// 2^8 is in the table tier, whose setups report a work buffer: a call without one allocates it,
// as the interface promises (and reports a heap that cannot give it), though the transform
// runs in registers. Out of line, off the path of the calls that pass their buffer.
[[gnu::noinline]] bool AllocatesReportedBuffer(const RealFftSetup* setup) {
    const WorkArea area(setup, nullptr);
    return !area.Failed();
}
inline bool WorkBufferAvailable(const RealFftSetup* setup, void* workBuffer) {
    return workBuffer || setup->workBufferBytes <= 0 || AllocatesReportedBuffer(setup);
}

template <int kPoints>
int32_t LaneForward(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    if (!WorkBufferAvailable(setup, workBuffer)) return StatusNoMemory;
    using Layout = TableLayout<kPoints>;
    const float* tables = setup->laneTwiddles;
    // With one point the transform across the lanes reads the lanes bit-reversed right away.
    using First = RoundIndex<1>;
    const __m512i even = kPoints == 1 ? IndexVector<First::kEven>() : IndexVector<kUnzipEven>();
    const __m512i odd = kPoints == 1 ? IndexVector<First::kOdd>() : IndexVector<kUnzipOdd>();
    Cv z[kPoints];
    for (int i = 0; i < kPoints; ++i) {
        const V lo = LoadHalves(src + 32 * i), hi = LoadHalves(src + 32 * i + 16);
        z[i] = Cv{Permute2(lo, even, hi), Permute2(lo, odd, hi)};
    }
    ComplexTransform<kPoints, false>(z, tables);
    const __m512i mirror = IndexVector<kMirror>();
    for (int k1 = 0; k1 < kPoints; ++k1) {
        const int at = Layout::kSplit + 6 * k1;
        const Cv b = MirrorOf<kPoints>(z, z[0], k1, mirror);
        const Cv x = SplitPoint(z[k1], b, TableVector(tables, at), TableVector(tables, at + 1),
                                TableVector(tables, at + 2));
        // Bin 0's imaginary part is written as +0 whatever the rounding left there.
        const __mmask16 keep = k1 == 0 ? 0xFFFD : 0xFFFF;
        StoreHalves(dst + 32 * k1, _mm512_maskz_permutex2var_ps(keep, x.re, IndexVector<kZipLow>(), x.im));
        StoreHalves(dst + 32 * k1 + 16, Permute2(x.re, IndexVector<kZipHigh>(), x.im));
    }
    const float z0re = _mm512_cvtss_f32(z[0].re), z0im = _mm512_cvtss_f32(z[0].im);
    const float scale = setup->forwardScaled ? setup->scale : 1.0f;
    _mm_storel_pi(reinterpret_cast<__m64*>(dst + 32 * kPoints), _mm_set_ss((z0re - z0im) * scale));
    return StatusOk;
}

template <int kPoints>
int32_t LaneInverse(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    if (!WorkBufferAvailable(setup, workBuffer)) return StatusNoMemory;
    using Layout = TableLayout<kPoints>;
    const float* tables = setup->laneTwiddles;
    const __m512i even = IndexVector<kUnzipEven>(), odd = IndexVector<kUnzipOdd>();
    Cv x[kPoints];
    for (int k1 = 0; k1 < kPoints; ++k1) {
        const V lo = LoadHalves(src + 32 * k1), hi = LoadHalves(src + 32 * k1 + 16);
        // Float 1 (bin 0's imaginary part) is not read: lane 0 of point 0 takes +0.
        x[k1] = Cv{Permute2(lo, even, hi), _mm512_maskz_permutex2var_ps(k1 == 0 ? 0xFFFE : 0xFFFF, lo, odd, hi)};
    }
    // Bin N/2, real: the lane 0 that the mirror of point 0 takes.
    const Cv last{_mm512_set1_ps(src[32 * kPoints]), _mm512_setzero_ps()};
    const __m512i mirror = IndexVector<kMirror>();
    Cv y[kPoints];
    for (int k1 = 0; k1 < kPoints; ++k1) {
        const int at = Layout::kSplit + 6 * k1 + 3;
        const Cv b = MirrorOf<kPoints>(x, last, k1, mirror);
        y[k1] = SplitPoint(x[k1], b, TableVector(tables, at), TableVector(tables, at + 1), TableVector(tables, at + 2));
    }
    ComplexTransform<kPoints, true>(y, tables);
    using First = RoundIndex<1>;
    const __m512i low = kPoints == 1 ? IndexVector<First::kLow>() : IndexVector<kZipLow>();
    const __m512i high = kPoints == 1 ? IndexVector<First::kHigh>() : IndexVector<kZipHigh>();
    for (int p = 0; p < kPoints; ++p) {
        StoreHalves(dst + 32 * p, Permute2(y[p].re, low, y[p].im));
        StoreHalves(dst + 32 * p + 16, Permute2(y[p].re, high, y[p].im));
    }
    return StatusOk;
}

// N = 16 in scalar code (this file is built without the vectorisers): its chains of
// dependent operations are shorter than those of any vector arrangement of eight complex values,
// and it keeps the wide units out of a transform this short.
template <bool kInverse>
int32_t Scalar16(const float* src, float* dst, const RealFftSetup* setup, void*) {
    if ((kInverse ? setup->inverseScaled : setup->forwardScaled) != 0) {
        Real16<kInverse, true>(src, dst, setup->scale);
    } else {
        Real16<kInverse, false>(src, dst, 1.0f);
    }
    return StatusOk;
}

using Routine = int32_t (*)(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);

// N < 16 as the row before it computes them.
constexpr Routine kForwardRoutines[kLaneMaxOrder + 1] = {
    ForwardAvx2FmaSmall,   ForwardAvx2FmaSmall,   ForwardAvx2FmaSmall,   ForwardAvx2FmaSmall,  Scalar16<false>,
    LaneForward<1>, LaneForward<2>, LaneForward<4>, LaneForward<8>};
constexpr Routine kInverseRoutines[kLaneMaxOrder + 1] = {
    InverseAvx2FmaSmall,   InverseAvx2FmaSmall,   InverseAvx2FmaSmall,   InverseAvx2FmaSmall,  Scalar16<true>,
    LaneInverse<1>, LaneInverse<2>, LaneInverse<4>, LaneInverse<8>};

}  // namespace

int32_t ForwardAvx512Small(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    return kForwardRoutines[setup->order](src, dst, setup, workBuffer);
}

int32_t InverseAvx512Small(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    return kInverseRoutines[setup->order](src, dst, setup, workBuffer);
}

}  // namespace fft
}  // namespace sonvex
