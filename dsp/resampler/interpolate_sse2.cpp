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

template <bool Carry>
inline __m128 Select(__m128 current, __m128 next, __m128 mask) {
    return Carry ? SelectCarry(current, next, mask) : current;
}

// G groups by C channels of running sums in flight, as in the AVX2 version.
template <int G, int C, bool Carry>
inline void SumGroups(const float* const* lanes, const GroupJob* jobs, int32_t n, float* const* out, int64_t at) {
    const float* coefficients[G];
    __m128 mask[G];
    const float* rows[G][C];
    __m128 next[G][C];
    __m128 sum[G][C];
    for (int g = 0; g < G; ++g) {
        coefficients[g] = jobs[g].coefficients;
        mask[g] = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(jobs[g].mask)));
        const __m128 k = _mm_load_ps(coefficients[g]);
        for (int c = 0; c < C; ++c) {
            rows[g][c] = lanes[c] + jobs[g].row * 4;
            next[g][c] = _mm_load_ps(rows[g][c] + 4);
            sum[g][c] = _mm_mul_ps(k, Select<Carry>(_mm_load_ps(rows[g][c]), next[g][c], mask[g]));
        }
    }
    for (int32_t t = 1; t < n; ++t) {
        for (int g = 0; g < G; ++g) {
            const __m128 k = _mm_load_ps(coefficients[g] + t * 4);
            for (int c = 0; c < C; ++c) {
                const __m128 current = next[g][c];
                next[g][c] = _mm_load_ps(rows[g][c] + (t + 1) * 4);
                sum[g][c] = _mm_add_ps(sum[g][c], _mm_mul_ps(k, Select<Carry>(current, next[g][c], mask[g])));
            }
        }
    }
    for (int g = 0; g < G; ++g)
        for (int c = 0; c < C; ++c) _mm_storeu_ps(out[c] + (at + g) * 4, sum[g][c]);
}

template <bool Carry>
void RunGroups(const float* const* lanes, int channels, const GroupJob* jobs, int64_t count, int32_t n,
               float* const* out) {
    int c = 0;
    for (; c + 2 <= channels; c += 2) {
        int64_t g = 0;
        for (; g + kPairGroups <= count; g += kPairGroups) SumGroups<kPairGroups, 2, Carry>(lanes + c, jobs + g, n, out + c, g);
        for (; g < count; ++g) SumGroups<1, 2, Carry>(lanes + c, jobs + g, n, out + c, g);
    }
    if (c < channels) {
        int64_t g = 0;
        for (; g + kSingleGroups <= count; g += kSingleGroups) SumGroups<kSingleGroups, 1, Carry>(lanes + c, jobs + g, n, out + c, g);
        for (; g < count; ++g) SumGroups<1, 1, Carry>(lanes + c, jobs + g, n, out + c, g);
    }
}

}  // namespace

void InterpolateGroupsSse2(const float* const* lanes, int channels, const GroupJob* jobs, int64_t count, int32_t n,
                           bool carry, float* const* out) {
    if (carry)
        RunGroups<true>(lanes, channels, jobs, count, n, out);
    else
        RunGroups<false>(lanes, channels, jobs, count, n, out);
}

namespace {

// G groups by C channels of sums in flight; one broadcast coefficient serves all of them.
template <int G, int C>
inline void SumWholeStep(const float* const* phaseRows, const int64_t* tapOffset, const float* coefficients,
                         int32_t n, float* const* out, int64_t first) {
    __m128 sum[G][C];
    {
        const __m128 k = _mm_set1_ps(coefficients[0]);
        for (int g = 0; g < G; ++g)
            for (int c = 0; c < C; ++c)
                sum[g][c] = _mm_mul_ps(k, _mm_loadu_ps(phaseRows[c] + tapOffset[0] + first + g * 4));
    }
    for (int32_t t = 1; t < n; ++t) {
        const __m128 k = _mm_set1_ps(coefficients[t]);
        const int64_t offset = tapOffset[t] + first;
        for (int g = 0; g < G; ++g)
            for (int c = 0; c < C; ++c)
                sum[g][c] = _mm_add_ps(sum[g][c], _mm_mul_ps(k, _mm_loadu_ps(phaseRows[c] + offset + g * 4)));
    }
    for (int g = 0; g < G; ++g)
        for (int c = 0; c < C; ++c) _mm_storeu_ps(out[c] + first + g * 4, sum[g][c]);
}

}  // namespace

void InterpolateWholeStepSse2(const float* const* phaseRows, int channels, const int64_t* tapOffset,
                              const float* coefficients, int32_t n, int64_t groups, float* const* out) {
    int c = 0;
    for (; c + 2 <= channels; c += 2) {
        int64_t g = 0;
        for (; g + kWholePairGroups <= groups; g += kWholePairGroups) SumWholeStep<kWholePairGroups, 2>(phaseRows + c, tapOffset, coefficients, n, out + c, g * 4);
        for (; g < groups; ++g) SumWholeStep<1, 2>(phaseRows + c, tapOffset, coefficients, n, out + c, g * 4);
    }
    if (c < channels) {
        int64_t g = 0;
        for (; g + kWholeSingleGroups <= groups; g += kWholeSingleGroups) SumWholeStep<kWholeSingleGroups, 1>(phaseRows + c, tapOffset, coefficients, n, out + c, g * 4);
        for (; g < groups; ++g) SumWholeStep<1, 1>(phaseRows + c, tapOffset, coefficients, n, out + c, g * 4);
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
