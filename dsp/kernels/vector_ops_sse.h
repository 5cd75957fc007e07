// Group operations on two 4-float vectors, for the SSE2, SSSE3 and SSE4.1 versions (each
// translation unit compiles them with its own flags; under SSE4.1 the selects are blends).
#pragma once
#include <emmintrin.h>
#if defined(__SSE4_1__)
#include <smmintrin.h>
#endif

namespace sonvex {
namespace detail {
namespace {

struct SseGroupOps {
    struct G {
        __m128 lo, hi;
    };

    static G Set1(float v) { return {_mm_set1_ps(v), _mm_set1_ps(v)}; }
    static G Load(const float* p) { return {_mm_loadu_ps(p), _mm_loadu_ps(p + 4)}; }
    static void Store(float* p, G v) {
        _mm_storeu_ps(p, v.lo);
        _mm_storeu_ps(p + 4, v.hi);
    }
    // 8 interleaved complex values into their real and imaginary parts.
    static void Deinterleave(const float* p, G& re, G& im) {
        const __m128 a = _mm_loadu_ps(p), b = _mm_loadu_ps(p + 4);
        const __m128 c = _mm_loadu_ps(p + 8), d = _mm_loadu_ps(p + 12);
        re = {_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)), _mm_shuffle_ps(c, d, _MM_SHUFFLE(2, 0, 2, 0))};
        im = {_mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)), _mm_shuffle_ps(c, d, _MM_SHUFFLE(3, 1, 3, 1))};
    }

#define SONVEX_GROUP_BINARY(name, op) \
    static G name(G a, G b) { return {op(a.lo, b.lo), op(a.hi, b.hi)}; }
    SONVEX_GROUP_BINARY(Add, _mm_add_ps)
    SONVEX_GROUP_BINARY(Sub, _mm_sub_ps)
    SONVEX_GROUP_BINARY(Mul, _mm_mul_ps)
    SONVEX_GROUP_BINARY(Min, _mm_min_ps)
    SONVEX_GROUP_BINARY(Max, _mm_max_ps)
    SONVEX_GROUP_BINARY(And, _mm_and_ps)
    SONVEX_GROUP_BINARY(AndNot, _mm_andnot_ps)
    SONVEX_GROUP_BINARY(Or, _mm_or_ps)
    SONVEX_GROUP_BINARY(CmpGt, _mm_cmpgt_ps)
    SONVEX_GROUP_BINARY(CmpLt, _mm_cmplt_ps)
    SONVEX_GROUP_BINARY(CmpEq, _mm_cmpeq_ps)
#undef SONVEX_GROUP_BINARY

    static G Rcp(G a) { return {_mm_rcp_ps(a.lo), _mm_rcp_ps(a.hi)}; }
    static G Rsqrt(G a) { return {_mm_rsqrt_ps(a.lo), _mm_rsqrt_ps(a.hi)}; }
    static G Sqrt(G a) { return {_mm_sqrt_ps(a.lo), _mm_sqrt_ps(a.hi)}; }

    static bool AllSet(G mask) {
#if defined(__SSE4_1__)
        const __m128i both = _mm_castps_si128(_mm_and_ps(mask.lo, mask.hi));
        return _mm_test_all_ones(both) != 0;
#else
        return (_mm_movemask_ps(_mm_and_ps(mask.lo, mask.hi))) == 0xF;
#endif
    }

    // Mask lanes all ones or all zeros: ifSet where set, else ifClear. Bit arithmetic even
    // under SSE4.1: the compiler turns a blend whose mask comes from a comparison into
    // per-lane branches.
    static G Select(G mask, G ifSet, G ifClear) {
        return {_mm_or_ps(_mm_and_ps(mask.lo, ifSet.lo), _mm_andnot_ps(mask.lo, ifClear.lo)),
                _mm_or_ps(_mm_and_ps(mask.hi, ifSet.hi), _mm_andnot_ps(mask.hi, ifClear.hi))};
    }

    // ifSet where the sign bit of `source` is set (negative values and -0), else ifClear.
    static G SelectBySign(G source, G ifSet, G ifClear) {
#if defined(__SSE4_1__)
        // The blend looks at the sign bit only.
        return {_mm_blendv_ps(ifClear.lo, ifSet.lo, source.lo), _mm_blendv_ps(ifClear.hi, ifSet.hi, source.hi)};
#else
        const G mask = {_mm_castsi128_ps(_mm_srai_epi32(_mm_castps_si128(source.lo), 31)),
                        _mm_castsi128_ps(_mm_srai_epi32(_mm_castps_si128(source.hi), 31))};
        return Select(mask, ifSet, ifClear);
#endif
    }
};

}  // namespace
}  // namespace detail
}  // namespace sonvex
