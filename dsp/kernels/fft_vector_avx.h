// 256-bit vectors of four interleaved complex values for the AVX version. The FMA flavour fuses
// the complex product into FMADDSUB; it is compiled in its own translation unit and chosen at run
// time when the processor has AVX2 and FMA.
#pragma once
#include <immintrin.h>
#include <cstddef>

namespace sonvex {
namespace fft {
namespace {

struct AvxTraits {
    using V = __m256;
    static constexpr size_t kComplex = 4;

    static V Load(const float* p) { return _mm256_loadu_ps(p); }
    static void Store(float* p, V v) { _mm256_storeu_ps(p, v); }
    static V Add(V a, V b) { return _mm256_add_ps(a, b); }
    static V Sub(V a, V b) { return _mm256_sub_ps(a, b); }
    static V Mul(V a, V b) { return _mm256_mul_ps(a, b); }
    static V Set1(float v) { return _mm256_set1_ps(v); }

    static V SignEven() { return _mm256_castsi256_ps(_mm256_set1_epi64x(0x0000000080000000LL)); }
    static V SignOdd() { return _mm256_castsi256_ps(_mm256_set1_epi64x((long long)0x8000000000000000ULL)); }
    static V SwapParts(V v) { return _mm256_permute_ps(v, _MM_SHUFFLE(2, 3, 0, 1)); }

    static V Cmul(V v, V re, V im) {
        const V cross = _mm256_mul_ps(SwapParts(v), im);
#if defined(__FMA__)
        return _mm256_fmaddsub_ps(v, re, cross);
#else
        return _mm256_addsub_ps(_mm256_mul_ps(v, re), cross);
#endif
    }
    // v * conj(re + i im).
    static V CmulConj(V v, V re, V im) {
        const V cross = _mm256_mul_ps(SwapParts(v), im);
#if defined(__FMA__)
        return _mm256_fmsubadd_ps(v, re, cross);
#else
        return _mm256_add_ps(_mm256_mul_ps(v, re), _mm256_xor_ps(cross, SignOdd()));
#endif
    }
    static V DupRe(V w) { return _mm256_moveldup_ps(w); }
    static V DupIm(V w) { return _mm256_movehdup_ps(w); }
    static V MulI(V v) { return _mm256_xor_ps(SwapParts(v), SignEven()); }
    static V MulNegI(V v) { return _mm256_xor_ps(SwapParts(v), SignOdd()); }
    static V Conj(V v) { return _mm256_xor_ps(v, SignOdd()); }
    static V Negate(V v) { return _mm256_xor_ps(v, _mm256_set1_ps(-0.0f)); }
    static V Reverse(V v) {
        const V halves = _mm256_permute2f128_ps(v, v, 1);
        return _mm256_permute_ps(halves, _MM_SHUFFLE(1, 0, 3, 2));
    }

    // Lane l takes the four complex values at quartet[l]: o0 gets the first of each, o1 the
    // second, o2 the third, o3 the fourth.
    static void LoadQuartets(const float* const* quartet, V& o0, V& o1, V& o2, V& o3) {
        const __m256d q0 = _mm256_loadu_pd(reinterpret_cast<const double*>(quartet[0]));
        const __m256d q1 = _mm256_loadu_pd(reinterpret_cast<const double*>(quartet[1]));
        const __m256d q2 = _mm256_loadu_pd(reinterpret_cast<const double*>(quartet[2]));
        const __m256d q3 = _mm256_loadu_pd(reinterpret_cast<const double*>(quartet[3]));
        const __m256d t0 = _mm256_unpacklo_pd(q0, q1), t1 = _mm256_unpackhi_pd(q0, q1);
        const __m256d t2 = _mm256_unpacklo_pd(q2, q3), t3 = _mm256_unpackhi_pd(q2, q3);
        o0 = _mm256_castpd_ps(_mm256_permute2f128_pd(t0, t2, 0x20));
        o1 = _mm256_castpd_ps(_mm256_permute2f128_pd(t1, t3, 0x20));
        o2 = _mm256_castpd_ps(_mm256_permute2f128_pd(t0, t2, 0x31));
        o3 = _mm256_castpd_ps(_mm256_permute2f128_pd(t1, t3, 0x31));
    }

    static void StoreTransposed4(float* out, V y0, V y1, V y2, V y3) {
        const __m256d t0 = _mm256_unpacklo_pd(_mm256_castps_pd(y0), _mm256_castps_pd(y1));
        const __m256d t1 = _mm256_unpackhi_pd(_mm256_castps_pd(y0), _mm256_castps_pd(y1));
        const __m256d t2 = _mm256_unpacklo_pd(_mm256_castps_pd(y2), _mm256_castps_pd(y3));
        const __m256d t3 = _mm256_unpackhi_pd(_mm256_castps_pd(y2), _mm256_castps_pd(y3));
        _mm256_storeu_pd(reinterpret_cast<double*>(out), _mm256_permute2f128_pd(t0, t2, 0x20));
        _mm256_storeu_pd(reinterpret_cast<double*>(out + 8), _mm256_permute2f128_pd(t1, t3, 0x20));
        _mm256_storeu_pd(reinterpret_cast<double*>(out + 16), _mm256_permute2f128_pd(t0, t2, 0x31));
        _mm256_storeu_pd(reinterpret_cast<double*>(out + 24), _mm256_permute2f128_pd(t1, t3, 0x31));
    }

    // 4 x 4 blocks of complex values, rows `stride` floats apart.
    static void LoadBlock(const float* a, size_t stride, V* rows) {
        for (int r = 0; r < 4; ++r) rows[r] = _mm256_loadu_ps(a + r * stride);
    }
    static void StoreBlockTransposed(float* a, size_t stride, const V* rows) {
        float packed[32];
        StoreTransposed4(packed, rows[0], rows[1], rows[2], rows[3]);
        // StoreTransposed4 writes complex 4l + r = rows[r][l]: row l of the transposed block.
        for (int r = 0; r < 4; ++r) _mm256_storeu_ps(a + r * stride, _mm256_loadu_ps(packed + 8 * r));
    }
    static void TransposeSquare(float* a, size_t stride) {
        V rows[4];
        LoadBlock(a, stride, rows);
        StoreBlockTransposed(a, stride, rows);
    }
    static void TransposeSwap(float* a, float* b, size_t stride) {
        V ra[4], rb[4];
        LoadBlock(a, stride, ra);
        LoadBlock(b, stride, rb);
        StoreBlockTransposed(a, stride, rb);
        StoreBlockTransposed(b, stride, ra);
    }
};

}  // namespace
}  // namespace fft
}  // namespace sonvex
