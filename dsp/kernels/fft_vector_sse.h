// 128-bit vectors of two interleaved complex values for the SSE2, SSSE3 and SSE4.1 versions.
// Built with SSE3 or later the complex product uses ADDSUBPS and the duplicating moves; the SSE2
// build flips signs with a mask instead.
#pragma once
#include <emmintrin.h>
#if defined(__SSE3__)
#include <pmmintrin.h>
#endif
#include <cstddef>

namespace sonvex {
namespace fft {
namespace {

struct SseTraits {
    using V = __m128;
    static constexpr size_t kComplex = 2;

    static V Load(const float* p) { return _mm_loadu_ps(p); }
    static void Store(float* p, V v) { _mm_storeu_ps(p, v); }
    static V Add(V a, V b) { return _mm_add_ps(a, b); }
    static V Sub(V a, V b) { return _mm_sub_ps(a, b); }
    static V Mul(V a, V b) { return _mm_mul_ps(a, b); }
    static V Set1(float v) { return _mm_set1_ps(v); }

    static V SignEven() { return _mm_castsi128_ps(_mm_set_epi32(0, (int)0x80000000, 0, (int)0x80000000)); }
    static V SignOdd() { return _mm_castsi128_ps(_mm_set_epi32((int)0x80000000, 0, (int)0x80000000, 0)); }
    static V SwapParts(V v) { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 3, 0, 1)); }

    // v * (re + i im), with re and im repeated in both lanes of each complex value.
    static V Cmul(V v, V re, V im) {
        const V cross = _mm_mul_ps(SwapParts(v), im);
#if defined(__SSE3__)
        return _mm_addsub_ps(_mm_mul_ps(v, re), cross);
#else
        return _mm_add_ps(_mm_mul_ps(v, re), _mm_xor_ps(cross, SignEven()));
#endif
    }
    static V CmulConj(V v, V re, V im) {
        const V cross = _mm_mul_ps(SwapParts(v), im);
        return _mm_add_ps(_mm_mul_ps(v, re), _mm_xor_ps(cross, SignOdd()));
    }
    static V DupRe(V w) {
#if defined(__SSE3__)
        return _mm_moveldup_ps(w);
#else
        return _mm_shuffle_ps(w, w, _MM_SHUFFLE(2, 2, 0, 0));
#endif
    }
    static V DupIm(V w) {
#if defined(__SSE3__)
        return _mm_movehdup_ps(w);
#else
        return _mm_shuffle_ps(w, w, _MM_SHUFFLE(3, 3, 1, 1));
#endif
    }
    static V MulI(V v) { return _mm_xor_ps(SwapParts(v), SignEven()); }
    static V MulNegI(V v) { return _mm_xor_ps(SwapParts(v), SignOdd()); }
    static V Conj(V v) { return _mm_xor_ps(v, SignOdd()); }
    static V Negate(V v) { return _mm_xor_ps(v, _mm_set1_ps(-0.0f)); }
    static V Reverse(V v) { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 0, 3, 2)); }

    // out[4l + r] = y_r[l] for the complex lanes l.
    static void StoreTransposed4(float* out, V y0, V y1, V y2, V y3) {
        _mm_storeu_ps(out, _mm_movelh_ps(y0, y1));
        _mm_storeu_ps(out + 4, _mm_movelh_ps(y2, y3));
        _mm_storeu_ps(out + 8, _mm_movehl_ps(y1, y0));
        _mm_storeu_ps(out + 12, _mm_movehl_ps(y3, y2));
    }

    // Lane l takes the four complex values at quartet[l]: o0 gets the first of each, o1 the
    // second, o2 the third, o3 the fourth.
    static void LoadQuartets(const float* const* quartet, V& o0, V& o1, V& o2, V& o3) {
        const V a0 = _mm_loadu_ps(quartet[0]), a1 = _mm_loadu_ps(quartet[0] + 4);
        const V b0 = _mm_loadu_ps(quartet[1]), b1 = _mm_loadu_ps(quartet[1] + 4);
        o0 = _mm_movelh_ps(a0, b0);
        o1 = _mm_movehl_ps(b0, a0);
        o2 = _mm_movelh_ps(a1, b1);
        o3 = _mm_movehl_ps(b1, a1);
    }

    // Transposes the 2 x 2 complex block at a (rows `stride` floats apart) in place.
    static void TransposeSquare(float* a, size_t stride) {
        const __m128d r0 = _mm_loadu_pd(reinterpret_cast<const double*>(a));
        const __m128d r1 = _mm_loadu_pd(reinterpret_cast<const double*>(a + stride));
        _mm_storeu_pd(reinterpret_cast<double*>(a), _mm_unpacklo_pd(r0, r1));
        _mm_storeu_pd(reinterpret_cast<double*>(a + stride), _mm_unpackhi_pd(r0, r1));
    }
    // Swaps the 2 x 2 blocks at a and b, each transposed.
    static void TransposeSwap(float* a, float* b, size_t stride) {
        const __m128d a0 = _mm_loadu_pd(reinterpret_cast<const double*>(a));
        const __m128d a1 = _mm_loadu_pd(reinterpret_cast<const double*>(a + stride));
        const __m128d b0 = _mm_loadu_pd(reinterpret_cast<const double*>(b));
        const __m128d b1 = _mm_loadu_pd(reinterpret_cast<const double*>(b + stride));
        _mm_storeu_pd(reinterpret_cast<double*>(a), _mm_unpacklo_pd(b0, b1));
        _mm_storeu_pd(reinterpret_cast<double*>(a + stride), _mm_unpackhi_pd(b0, b1));
        _mm_storeu_pd(reinterpret_cast<double*>(b), _mm_unpacklo_pd(a0, a1));
        _mm_storeu_pd(reinterpret_cast<double*>(b + stride), _mm_unpackhi_pd(a0, a1));
    }
};

}  // namespace
}  // namespace fft
}  // namespace sonvex
