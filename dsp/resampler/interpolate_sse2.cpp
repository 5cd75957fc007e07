// SSE2 version: four output frames per vector, one per lane, each summed tap by tap exactly as
// ApplyKernel does (multiply, then add, each rounded to single precision; no fused operations).
#include "dsp/resampler/interpolate.h"

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>

namespace sonvex {
namespace resampler_detail {

namespace {

// Lanes whose mask is set take the next frame: the one-frame carry of their start phase.
inline __m128 SelectCarry(__m128 current, __m128 next, __m128 mask) {
    return _mm_or_ps(_mm_andnot_ps(mask, current), _mm_and_ps(mask, next));
}

}  // namespace

void InterpolateGroupsSse2(const float* lanes, const GroupJob* jobs, int64_t count, int32_t n,
                           float* out) {
    int64_t g = 0;
    for (; g + 2 <= count; g += 2) {
        const float* c0 = jobs[g].coefficients;
        const float* c1 = jobs[g + 1].coefficients;
        const float* y0 = lanes + jobs[g].row * 4;
        const float* y1 = lanes + jobs[g + 1].row * 4;
        const __m128 m0 = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(jobs[g].mask)));
        const __m128 m1 = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(jobs[g + 1].mask)));
        __m128 next0 = _mm_load_ps(y0 + 4);
        __m128 next1 = _mm_load_ps(y1 + 4);
        __m128 acc0 = _mm_mul_ps(_mm_load_ps(c0), SelectCarry(_mm_load_ps(y0), next0, m0));
        __m128 acc1 = _mm_mul_ps(_mm_load_ps(c1), SelectCarry(_mm_load_ps(y1), next1, m1));
        for (int32_t t = 1; t < n; ++t) {
            const __m128 current0 = next0;
            const __m128 current1 = next1;
            next0 = _mm_load_ps(y0 + (t + 1) * 4);
            next1 = _mm_load_ps(y1 + (t + 1) * 4);
            acc0 = _mm_add_ps(acc0, _mm_mul_ps(_mm_load_ps(c0 + t * 4), SelectCarry(current0, next0, m0)));
            acc1 = _mm_add_ps(acc1, _mm_mul_ps(_mm_load_ps(c1 + t * 4), SelectCarry(current1, next1, m1)));
        }
        _mm_storeu_ps(out + g * 4, acc0);
        _mm_storeu_ps(out + g * 4 + 4, acc1);
    }
    for (; g < count; ++g) {
        const float* c0 = jobs[g].coefficients;
        const float* y0 = lanes + jobs[g].row * 4;
        const __m128 m0 = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(jobs[g].mask)));
        __m128 next0 = _mm_load_ps(y0 + 4);
        __m128 acc0 = _mm_mul_ps(_mm_load_ps(c0), SelectCarry(_mm_load_ps(y0), next0, m0));
        for (int32_t t = 1; t < n; ++t) {
            const __m128 current0 = next0;
            next0 = _mm_load_ps(y0 + (t + 1) * 4);
            acc0 = _mm_add_ps(acc0, _mm_mul_ps(_mm_load_ps(c0 + t * 4), SelectCarry(current0, next0, m0)));
        }
        _mm_storeu_ps(out + g * 4, acc0);
    }
}

void SpreadLanesSse2(const float* input, const int32_t* laneBase, int64_t rows, float* lanes) {
    const float* s0 = input + laneBase[0];
    const float* s1 = input + laneBase[1];
    const float* s2 = input + laneBase[2];
    const float* s3 = input + laneBase[3];
    int64_t j = 0;
    for (; j + 4 <= rows; j += 4) {
        __m128 r0 = _mm_loadu_ps(s0 + j);
        __m128 r1 = _mm_loadu_ps(s1 + j);
        __m128 r2 = _mm_loadu_ps(s2 + j);
        __m128 r3 = _mm_loadu_ps(s3 + j);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        _mm_store_ps(lanes + j * 4, r0);
        _mm_store_ps(lanes + j * 4 + 4, r1);
        _mm_store_ps(lanes + j * 4 + 8, r2);
        _mm_store_ps(lanes + j * 4 + 12, r3);
    }
    for (; j < rows; ++j) {
        lanes[j * 4] = s0[j];
        lanes[j * 4 + 1] = s1[j];
        lanes[j * 4 + 2] = s2[j];
        lanes[j * 4 + 3] = s3[j];
    }
}

}  // namespace resampler_detail
}  // namespace sonvex
#endif
