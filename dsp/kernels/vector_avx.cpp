// AVX version of the vector kernels (every AVX row), compiled with -mavx: a group of 8 floats is one
// 256-bit register. The arithmetic is the same sequence of single-precision operations as in
// the 4-float versions, without fused multiply-add, so the results do not depend on the
// register width.
#include <immintrin.h>

#include "dsp/kernels/dispatch.h"
#include "dsp/kernels/vector_group.h"

namespace sonvex {
namespace detail {
namespace {

struct AvxGroupOps {
    using G = __m256;

    static G Set1(float v) { return _mm256_set1_ps(v); }
    static G Load(const float* p) { return _mm256_loadu_ps(p); }
    static void Store(float* p, G v) { _mm256_storeu_ps(p, v); }
    static void Deinterleave(const float* p, G& re, G& im) {
        const __m256 a = _mm256_loadu_ps(p), b = _mm256_loadu_ps(p + 8);
        // Values 0-1 and 4-5 in the low lanes, 2-3 and 6-7 in the high lanes.
        const __m256 lo = _mm256_permute2f128_ps(a, b, 0x20);
        const __m256 hi = _mm256_permute2f128_ps(a, b, 0x31);
        re = _mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0));
        im = _mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1));
    }
    static G Add(G a, G b) { return _mm256_add_ps(a, b); }
    static G Sub(G a, G b) { return _mm256_sub_ps(a, b); }
    static G Mul(G a, G b) { return _mm256_mul_ps(a, b); }
    static G Min(G a, G b) { return _mm256_min_ps(a, b); }
    static G Max(G a, G b) { return _mm256_max_ps(a, b); }
    static G And(G a, G b) { return _mm256_and_ps(a, b); }
    static G AndNot(G a, G b) { return _mm256_andnot_ps(a, b); }
    static G Or(G a, G b) { return _mm256_or_ps(a, b); }
    static G CmpGt(G a, G b) { return _mm256_cmp_ps(a, b, _CMP_GT_OQ); }
    static G CmpLt(G a, G b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
    static G CmpEq(G a, G b) { return _mm256_cmp_ps(a, b, _CMP_EQ_OQ); }
    static G Rcp(G a) { return _mm256_rcp_ps(a); }
    static G Rsqrt(G a) { return _mm256_rsqrt_ps(a); }
    static G Sqrt(G a) { return _mm256_sqrt_ps(a); }
    static bool AllSet(G mask) { return _mm256_movemask_ps(mask) == 0xFF; }
    // Masks from comparisons select by bit arithmetic: the compiler turns a blend whose mask
    // it can see coming from a comparison into per-lane branches.
    static G Select(G mask, G ifSet, G ifClear) {
        return _mm256_or_ps(_mm256_and_ps(mask, ifSet), _mm256_andnot_ps(mask, ifClear));
    }
    // The sign bit becomes a full-lane mask through +-1.0 and a comparison; a blend keyed on
    // the sign bit would be split into per-lane branches by the compiler without AVX2.
    static G SelectBySign(G source, G ifSet, G ifClear) {
        const G signOfOne = _mm256_or_ps(_mm256_and_ps(source, _mm256_set1_ps(-0.0f)), _mm256_set1_ps(1.0f));
        return Select(_mm256_cmp_ps(signOfOne, _mm256_setzero_ps(), _CMP_LT_OQ), ifSet, ifClear);
    }
};

int32_t MultiplyVectorsAvx(const float* vector1, const float* vector2, float* result, int32_t length) {
    return MultiplyVectorsImpl<AvxGroupOps>(vector1, vector2, result, length);
}

int32_t ComplexMagnitudesAvx(const float* complexValues, float* magnitudes, int32_t bins) {
    return ComplexMagnitudesImpl<AvxGroupOps>(complexValues, magnitudes, bins);
}

int32_t ComplexPhasesAvx(const float* complexValues, float* phases, int32_t bins) {
    return ComplexPhasesImpl<AvxGroupOps>(complexValues, phases, bins);
}

}  // namespace

extern const VectorRoutines kVectorsAvx = {MultiplyVectorsAvx, ComplexMagnitudesAvx, ComplexPhasesAvx};

}  // namespace detail
}  // namespace sonvex
