// The avx512 row's transforms of N <= 256 (AVX-512F): straight-line routines that keep the whole
// transform in registers, with no work buffer, for N = 32 .. 256 (orders 5 to 8); N <= 16 as in
// the other rows of the generation.
//
// Values travel as "points" as in the 16-lane routines of fft_avx512.cpp: 16 complex values as a
// vector of real parts and a vector of imaginary parts. The n = N/2 = 16 m complex values of the
// forward transform go in as m points, point r holding z[r + m l] in lane l, so that
//   1. a 16-point transform runs across the lanes of each point (radix-2 steps, each a lane
//      permute and a fused multiply-add, the twiddles one vector per step);
//   2. point r is turned by w_n^{r k} in lane k;
//   3. an m-point transform runs down the lanes over the points, which leaves
//      Z[k + 16 k1] in lane k of point k1: the points hold Z in natural order;
//   4. the split step pairs each point with its mirror, Z[n - k], gathered from two points by
//      one permute, and the points go out interleaved.
// The inverse runs the same steps backwards. Gathering z[r + m l] from the caller's interleaved
// floats is a transpose of 16 rows by 2m columns: log2(2m) rounds of splitting pairs of vectors
// into their even and odd lanes (each round rotates the float index right by one bit), the last
// one putting the lanes in bit-reversed order for step 1. The inverse interleaves back.
#include <immintrin.h>

#include <cstdint>

#include "dsp/kernels/fft_internal.h"
#include "dsp/kernels/fft_small.h"
#include "dsp/kernels/fft_versions.h"

namespace sonvex {
namespace fft {

namespace {

using V = __m512;

struct Cv {
    V re, im;
};

// Lane index vectors, computed when compiled.
struct LaneIndex {
    int32_t lane[16];
};

constexpr int32_t ReverseLane(int32_t l) { return ((l & 1) << 3) | ((l & 2) << 1) | ((l & 4) >> 1) | ((l & 8) >> 3); }

// Even (odd = 0) or odd lanes of a:b, in lane order or with the lanes bit-reversed.
constexpr LaneIndex Unzip(int32_t odd, bool reversed) {
    LaneIndex index{};
    for (int32_t l = 0; l < 16; ++l) index.lane[l] = 2 * (reversed ? ReverseLane(l) : l) + odd;
    return index;
}

// Lanes half*8 .. half*8+7 of a and b, interleaved; `reversed` reads a and b in bit-reversed lane
// order (the exact inverse of Unzip).
constexpr LaneIndex Zip(int32_t half, bool reversed) {
    LaneIndex index{};
    for (int32_t p = 0; p < 8; ++p) {
        const int32_t from = reversed ? ReverseLane(8 * half + p) : 8 * half + p;
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

constexpr LaneIndex kUnzipEven = Unzip(0, false), kUnzipOdd = Unzip(1, false);
constexpr LaneIndex kUnzipEvenReversed = Unzip(0, true), kUnzipOddReversed = Unzip(1, true);
constexpr LaneIndex kZipLow = Zip(0, false), kZipHigh = Zip(1, false);
constexpr LaneIndex kZipLowReversed = Zip(0, true), kZipHighReversed = Zip(1, true);
constexpr LaneIndex kMirror = MirrorIndex();

inline V Permute2(V a, const __m512i& index, V b) { return _mm512_permutex2var_ps(a, index, b); }

// The transpose between the caller's interleaved floats and the points, in place on kVectors
// vectors: v[2 r] becomes the real parts of point r and v[2 r + 1] its imaginary parts.
template <int kVectors>
inline void ToPoints(V* v) {
    const __m512i even = IndexVector<kUnzipEven>(), odd = IndexVector<kUnzipOdd>();
    const __m512i evenReversed = IndexVector<kUnzipEvenReversed>(), oddReversed = IndexVector<kUnzipOddReversed>();
    for (int round = 1; round < kVectors; round *= 2) {
        const bool last = 2 * round >= kVectors;
        V next[kVectors];
        for (int i = 0; i < kVectors / 2; ++i) {
            next[i] = Permute2(v[2 * i], last ? evenReversed : even, v[2 * i + 1]);
            next[i + kVectors / 2] = Permute2(v[2 * i], last ? oddReversed : odd, v[2 * i + 1]);
        }
        for (int i = 0; i < kVectors; ++i) v[i] = next[i];
    }
}

// The inverse of ToPoints.
template <int kVectors>
inline void FromPoints(V* v) {
    const __m512i low = IndexVector<kZipLow>(), high = IndexVector<kZipHigh>();
    const __m512i lowReversed = IndexVector<kZipLowReversed>(), highReversed = IndexVector<kZipHighReversed>();
    for (int round = 1; round < kVectors; round *= 2) {
        const bool first = round == 1;
        V next[kVectors];
        for (int i = 0; i < kVectors / 2; ++i) {
            next[2 * i] = Permute2(v[i], first ? lowReversed : low, v[i + kVectors / 2]);
            next[2 * i + 1] = Permute2(v[i], first ? highReversed : high, v[i + kVectors / 2]);
        }
        for (int i = 0; i < kVectors; ++i) v[i] = next[i];
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

// Lanes 3 mod 4 turned by -i (forward) or +i (inverse): the twiddles of the span-2 butterflies.
template <bool kInverse>
inline Cv TurnQuarterLanes(Cv x) {
    constexpr __mmask16 kLanes = 0x8888;
    const V zero = _mm512_setzero_ps();
    if constexpr (kInverse) {
        return Cv{_mm512_mask_sub_ps(x.re, kLanes, zero, x.im), _mm512_mask_mov_ps(x.im, kLanes, x.re)};
    } else {
        return Cv{_mm512_mask_mov_ps(x.re, kLanes, x.im), _mm512_mask_sub_ps(x.im, kLanes, zero, x.re)};
    }
}

// The layout of an order's tables (LaneTwiddleFloats and BuildLaneTwiddles): vectors of 16 floats.
//   0, 1  w_16^{l - 8} in the lanes l >= 8, 1 below (real, imaginary parts);
//   2, 3  w_8^{l mod 4} in the lanes with bit 2 set, 1 in the others;
//   then for each point k1 < m: w_N^{16 k1 + l} (real, imaginary parts);
//   then for each point r = 1 .. m-1: w_n^{r l} (real, imaginary parts).
constexpr int kStageVectors = 4;
constexpr int kSplitVectors = 2;

inline V TableVector(const float* tables, int vector) { return _mm512_loadu_ps(tables + 16 * vector); }

// 16-point transform across the lanes of x, forward: bit-reversed input order, natural output.
inline Cv AcrossLanesForward(Cv x, const float* tables) {
    x = Butterflies<1>(x);
    x = Butterflies<2>(TurnQuarterLanes<false>(x));
    x = Butterflies<4>(Turn<false>(x, TableVector(tables, 2), TableVector(tables, 3)));
    return Butterflies<8>(Turn<false>(x, TableVector(tables, 0), TableVector(tables, 1)));
}

// 16-point inverse transform across the lanes: natural input order, bit-reversed output.
inline Cv AcrossLanesInverse(Cv x, const float* tables) {
    x = Turn<true>(Butterflies<8>(x), TableVector(tables, 0), TableVector(tables, 1));
    x = Turn<true>(Butterflies<4>(x), TableVector(tables, 2), TableVector(tables, 3));
    x = TurnQuarterLanes<true>(Butterflies<2>(x));
    return Butterflies<1>(x);
}

inline Cv Add(Cv a, Cv b) { return Cv{_mm512_add_ps(a.re, b.re), _mm512_add_ps(a.im, b.im)}; }
inline Cv Sub(Cv a, Cv b) { return Cv{_mm512_sub_ps(a.re, b.re), _mm512_sub_ps(a.im, b.im)}; }
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

// The m-point transform down the lanes, in place, natural order in and out.
template <int kPoints, bool kInverse>
inline void DownLanes(Cv* p) {
    if constexpr (kPoints == 2) {
        const Cv a = p[0], b = p[1];
        p[0] = Add(a, b);
        p[1] = Sub(a, b);
    } else if constexpr (kPoints == 4) {
        const Cv s02 = Add(p[0], p[2]), d02 = Sub(p[0], p[2]), s13 = Add(p[1], p[3]), d13 = Sub(p[1], p[3]);
        p[0] = Add(s02, s13);
        p[2] = Sub(s02, s13);
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

// The split step of one point (forward) or the pre-step (inverse) from the point a, its mirror
// b = z[n - k] and the point's twiddles w = w_N^k scaled by f (wr, wi): with S = a + conj b and
// D = a - conj b, the forward X = f S + f w (-i) D (f = scale / 2) and the inverse
// Y = f S + f conj(w) i D (f = scale). D vanishes for even inputs, which then come out exact.
template <bool kInverse>
inline Cv SplitPoint(Cv a, Cv b, V f, V wr, V wi) {
    const V sRe = _mm512_add_ps(a.re, b.re), sIm = _mm512_sub_ps(a.im, b.im);
    const V dRe = _mm512_sub_ps(a.re, b.re), dIm = _mm512_add_ps(a.im, b.im);
    if constexpr (kInverse) {
        return Cv{_mm512_fmadd_ps(f, sRe, _mm512_fmsub_ps(wi, dRe, _mm512_mul_ps(wr, dIm))),
                  _mm512_fmadd_ps(f, sIm, _mm512_fmadd_ps(wi, dIm, _mm512_mul_ps(wr, dRe)))};
    } else {
        return Cv{_mm512_fmadd_ps(f, sRe, _mm512_fmadd_ps(wi, dRe, _mm512_mul_ps(wr, dIm))),
                  _mm512_fmadd_ps(f, sIm, _mm512_fmsub_ps(wi, dIm, _mm512_mul_ps(wr, dRe)))};
    }
}

template <int kPoints>
struct LaneLayout {
    static constexpr int kSplit = kStageVectors;
    static constexpr int kLane = kStageVectors + kSplitVectors * kPoints;
};

// The mirror of point k1: z[n - k] in lane k.
template <int kPoints>
inline Cv MirrorOf(const Cv* z, const Cv& carry, int k1, const __m512i& index) {
    const Cv& upper = z[kPoints - 1 - k1];
    const Cv& low = k1 == 0 ? carry : z[kPoints - k1];
    return Cv{Permute2(upper.re, index, low.re), Permute2(upper.im, index, low.im)};
}

template <int kPoints>
void LaneForward(const float* src, float* dst, float scale, const float* tables) {
    constexpr int kVectors = 2 * kPoints;
    using Layout = LaneLayout<kPoints>;
    V v[kVectors];
    for (int i = 0; i < kVectors; ++i) v[i] = _mm512_loadu_ps(src + 16 * i);
    ToPoints<kVectors>(v);
    Cv z[kPoints];
    for (int r = 0; r < kPoints; ++r) {
        z[r] = AcrossLanesForward(Cv{v[2 * r], v[2 * r + 1]}, tables);
        if (r > 0) {
            const int at = Layout::kLane + 2 * (r - 1);
            z[r] = Turn<false>(z[r], TableVector(tables, at), TableVector(tables, at + 1));
        }
    }
    DownLanes<kPoints, false>(z);
    const __m512i mirror = IndexVector<kMirror>();
    const V half = _mm512_set1_ps(0.5f * scale);
    for (int k1 = 0; k1 < kPoints; ++k1) {
        const int at = Layout::kSplit + kSplitVectors * k1;
        const Cv b = MirrorOf<kPoints>(z, z[0], k1, mirror);
        const Cv x = SplitPoint<false>(z[k1], b, half, _mm512_mul_ps(TableVector(tables, at), half),
                                       _mm512_mul_ps(TableVector(tables, at + 1), half));
        // Bin 0's imaginary part is written as +0 whatever the rounding left there.
        const __mmask16 keep = k1 == 0 ? 0xFFFD : 0xFFFF;
        _mm512_storeu_ps(dst + 32 * k1, _mm512_maskz_permutex2var_ps(keep, x.re, IndexVector<kZipLow>(), x.im));
        _mm512_storeu_ps(dst + 32 * k1 + 16, Permute2(x.re, IndexVector<kZipHigh>(), x.im));
    }
    const float z0re = _mm512_cvtss_f32(z[0].re), z0im = _mm512_cvtss_f32(z[0].im);
    _mm_storel_pi(reinterpret_cast<__m64*>(dst + 32 * kPoints), _mm_set_ss((z0re - z0im) * scale));
}

template <int kPoints>
void LaneInverse(const float* src, float* dst, float scale, const float* tables) {
    constexpr int kVectors = 2 * kPoints;
    using Layout = LaneLayout<kPoints>;
    const __m512i even = IndexVector<kUnzipEven>(), odd = IndexVector<kUnzipOdd>();
    Cv x[kPoints];
    for (int k1 = 0; k1 < kPoints; ++k1) {
        const V lo = _mm512_loadu_ps(src + 32 * k1), hi = _mm512_loadu_ps(src + 32 * k1 + 16);
        // Float 1 (bin 0's imaginary part) is not read: lane 0 of point 0 takes +0.
        x[k1] = Cv{Permute2(lo, even, hi), _mm512_maskz_permutex2var_ps(k1 == 0 ? 0xFFFE : 0xFFFF, lo, odd, hi)};
    }
    // Bin N/2, real: the lane 0 that the mirror of point 0 takes.
    const Cv last{_mm512_set1_ps(src[32 * kPoints]), _mm512_setzero_ps()};
    const __m512i mirror = IndexVector<kMirror>();
    const V factor = _mm512_set1_ps(scale);
    Cv y[kPoints];
    for (int k1 = 0; k1 < kPoints; ++k1) {
        const int at = Layout::kSplit + kSplitVectors * k1;
        const Cv b = MirrorOf<kPoints>(x, last, k1, mirror);
        y[k1] = SplitPoint<true>(x[k1], b, factor, _mm512_mul_ps(TableVector(tables, at), factor),
                                 _mm512_mul_ps(TableVector(tables, at + 1), factor));
    }
    DownLanes<kPoints, true>(y);
    V v[kVectors];
    for (int r = 0; r < kPoints; ++r) {
        Cv p = y[r];
        if (r > 0) {
            const int at = Layout::kLane + 2 * (r - 1);
            p = Turn<true>(p, TableVector(tables, at), TableVector(tables, at + 1));
        }
        p = AcrossLanesInverse(p, tables);
        v[2 * r] = p.re;
        v[2 * r + 1] = p.im;
    }
    FromPoints<kVectors>(v);
    for (int i = 0; i < kVectors; ++i) _mm512_storeu_ps(dst + 16 * i, v[i]);
}

// One routine per order, each with the signature of the row's transforms, so that the entry
// reaches it with one indirect jump.
template <int kPoints>
int32_t LaneForwardRoutine(const float* src, float* dst, const RealFftSetup* setup, void*) {
    LaneForward<kPoints>(src, dst, setup->forwardScaled ? setup->scale : 1.0f, setup->laneTwiddles);
    return StatusOk;
}
template <int kPoints>
int32_t LaneInverseRoutine(const float* src, float* dst, const RealFftSetup* setup, void*) {
    LaneInverse<kPoints>(src, dst, setup->inverseScaled ? setup->scale : 1.0f, setup->laneTwiddles);
    return StatusOk;
}

// N = 16 in scalar code (this file is built without the vectorisers): its chains of
// dependent operations are shorter than those of any vector arrangement of eight complex values,
// and it keeps the wide units out of a transform this short.
int32_t Forward16Routine(const float* src, float* dst, const RealFftSetup* setup, void*) {
    if (setup->forwardScaled) {
        RealForward16<true>(src, dst, setup->scale);
    } else {
        RealForward16<false>(src, dst, 1.0f);
    }
    return StatusOk;
}
int32_t Inverse16Routine(const float* src, float* dst, const RealFftSetup* setup, void*) {
    if (setup->inverseScaled) {
        RealInverse16<true>(src, dst, setup->scale);
    } else {
        RealInverse16<false>(src, dst, 1.0f);
    }
    return StatusOk;
}

using Routine = int32_t (*)(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer);

// N < 16 as the row before it computes them.
constexpr Routine kForwardRoutines[kLaneMaxOrder + 1] = {
    ForwardAvx2FmaSmall,   ForwardAvx2FmaSmall,   ForwardAvx2FmaSmall,   ForwardAvx2FmaSmall,  Forward16Routine,
    LaneForwardRoutine<1>, LaneForwardRoutine<2>, LaneForwardRoutine<4>, LaneForwardRoutine<8>};
constexpr Routine kInverseRoutines[kLaneMaxOrder + 1] = {
    InverseAvx2FmaSmall,   InverseAvx2FmaSmall,   InverseAvx2FmaSmall,   InverseAvx2FmaSmall,  Inverse16Routine,
    LaneInverseRoutine<1>, LaneInverseRoutine<2>, LaneInverseRoutine<4>, LaneInverseRoutine<8>};

}  // namespace

int32_t ForwardAvx512Small(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    return kForwardRoutines[setup->order](src, dst, setup, workBuffer);
}

int32_t InverseAvx512Small(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    return kInverseRoutines[setup->order](src, dst, setup, workBuffer);
}

}  // namespace fft
}  // namespace sonvex
