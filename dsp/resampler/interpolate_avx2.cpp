// AVX2 version: eight output frames per vector, one per lane, each summed tap by tap exactly as
// ApplyKernel does. Separate multiplies and adds: a fused multiply-add would change the bits.
// Built with AVX2 so that GCC can lower its blend of the integer lane masks to vector compares.
#include "dsp/resampler/interpolate.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace sonvex {
namespace resampler_detail {

namespace {

// Without any carrying lane in the table (whole-number step ratios) the blend is skipped.
template <bool Carry>
inline __m256 Select(__m256 current, __m256 next, __m256 mask) {
    return Carry ? _mm256_blendv_ps(current, next, mask) : current;
}

// G groups by C channels of running sums in flight: enough independent additions to hide
// their latency, few enough to stay in registers. Lanes whose start phase carries read the
// next frame (the blend by the group's mask).
template <int G, int C, bool Carry>
inline void SumGroups(const float* const* lanes, const GroupJob* jobs, int32_t n, float* const* out, int64_t at) {
    const float* coefficients[G];
    __m256 mask[G];
    const float* rows[G][C];
    __m256 next[G][C];
    __m256 sum[G][C];
    for (int g = 0; g < G; ++g) {
        coefficients[g] = jobs[g].coefficients;
        mask[g] = _mm256_castsi256_ps(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(jobs[g].mask)));
        const __m256 k = _mm256_load_ps(coefficients[g]);
        for (int c = 0; c < C; ++c) {
            rows[g][c] = lanes[c] + jobs[g].row * 8;
            next[g][c] = _mm256_load_ps(rows[g][c] + 8);
            sum[g][c] = _mm256_mul_ps(k, Select<Carry>(_mm256_load_ps(rows[g][c]), next[g][c], mask[g]));
        }
    }
    for (int32_t t = 1; t < n; ++t) {
        for (int g = 0; g < G; ++g) {
            const __m256 k = _mm256_load_ps(coefficients[g] + t * 8);
            for (int c = 0; c < C; ++c) {
                const __m256 current = next[g][c];
                next[g][c] = _mm256_load_ps(rows[g][c] + (t + 1) * 8);
                sum[g][c] = _mm256_add_ps(sum[g][c], _mm256_mul_ps(k, Select<Carry>(current, next[g][c], mask[g])));
            }
        }
    }
    for (int g = 0; g < G; ++g)
        for (int c = 0; c < C; ++c) _mm256_storeu_ps(out[c] + (at + g) * 8, sum[g][c]);
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

void InterpolateGroupsAvx2(const float* const* lanes, int channels, const GroupJob* jobs, int64_t count, int32_t n,
                           bool carry, float* const* out) {
    if (carry)
        RunGroups<true>(lanes, channels, jobs, count, n, out);
    else
        RunGroups<false>(lanes, channels, jobs, count, n, out);
    _mm256_zeroupper();
}

namespace {

// G groups by C channels of sums in flight; one broadcast coefficient serves all of them.
template <int G, int C>
inline void SumWholeStep(const float* const* phaseRows, const int64_t* tapOffset, const float* coefficients,
                         int32_t n, float* const* out, int64_t first) {
    __m256 sum[G][C];
    {
        const __m256 k = _mm256_broadcast_ss(coefficients);
        for (int g = 0; g < G; ++g)
            for (int c = 0; c < C; ++c)
                sum[g][c] = _mm256_mul_ps(k, _mm256_loadu_ps(phaseRows[c] + tapOffset[0] + first + g * 8));
    }
    for (int32_t t = 1; t < n; ++t) {
        const __m256 k = _mm256_broadcast_ss(coefficients + t);
        const int64_t offset = tapOffset[t] + first;
        for (int g = 0; g < G; ++g)
            for (int c = 0; c < C; ++c)
                sum[g][c] = _mm256_add_ps(sum[g][c], _mm256_mul_ps(k, _mm256_loadu_ps(phaseRows[c] + offset + g * 8)));
    }
    for (int g = 0; g < G; ++g)
        for (int c = 0; c < C; ++c) _mm256_storeu_ps(out[c] + first + g * 8, sum[g][c]);
}

}  // namespace

void InterpolateWholeStepAvx2(const float* const* phaseRows, int channels, const int64_t* tapOffset,
                              const float* coefficients, int32_t n, int64_t groups, float* const* out) {
    int c = 0;
    for (; c + 2 <= channels; c += 2) {
        int64_t g = 0;
        for (; g + kWholePairGroups <= groups; g += kWholePairGroups) SumWholeStep<kWholePairGroups, 2>(phaseRows + c, tapOffset, coefficients, n, out + c, g * 8);
        for (; g < groups; ++g) SumWholeStep<1, 2>(phaseRows + c, tapOffset, coefficients, n, out + c, g * 8);
    }
    if (c < channels) {
        int64_t g = 0;
        for (; g + kWholeSingleGroups <= groups; g += kWholeSingleGroups) SumWholeStep<kWholeSingleGroups, 1>(phaseRows + c, tapOffset, coefficients, n, out + c, g * 8);
        for (; g < groups; ++g) SumWholeStep<1, 1>(phaseRows + c, tapOffset, coefficients, n, out + c, g * 8);
    }
    _mm256_zeroupper();
}

void SpreadLanesAvx2(const float* input, const int32_t* laneBase, int64_t rows, float* lanes) {
    const float* s[8];
    for (int i = 0; i < 8; ++i) s[i] = input + laneBase[i];
    int64_t j = 0;
    for (; j + 8 <= rows; j += 8) {
        // 8 x 8 transpose: row i holds input[j + base_i .. j + base_i + 7].
        const __m256 r0 = _mm256_loadu_ps(s[0] + j), r1 = _mm256_loadu_ps(s[1] + j);
        const __m256 r2 = _mm256_loadu_ps(s[2] + j), r3 = _mm256_loadu_ps(s[3] + j);
        const __m256 r4 = _mm256_loadu_ps(s[4] + j), r5 = _mm256_loadu_ps(s[5] + j);
        const __m256 r6 = _mm256_loadu_ps(s[6] + j), r7 = _mm256_loadu_ps(s[7] + j);
        const __m256 t0 = _mm256_unpacklo_ps(r0, r1), t1 = _mm256_unpackhi_ps(r0, r1);
        const __m256 t2 = _mm256_unpacklo_ps(r2, r3), t3 = _mm256_unpackhi_ps(r2, r3);
        const __m256 t4 = _mm256_unpacklo_ps(r4, r5), t5 = _mm256_unpackhi_ps(r4, r5);
        const __m256 t6 = _mm256_unpacklo_ps(r6, r7), t7 = _mm256_unpackhi_ps(r6, r7);
        const __m256 u0 = _mm256_shuffle_ps(t0, t2, 0x44), u1 = _mm256_shuffle_ps(t0, t2, 0xEE);
        const __m256 u2 = _mm256_shuffle_ps(t1, t3, 0x44), u3 = _mm256_shuffle_ps(t1, t3, 0xEE);
        const __m256 u4 = _mm256_shuffle_ps(t4, t6, 0x44), u5 = _mm256_shuffle_ps(t4, t6, 0xEE);
        const __m256 u6 = _mm256_shuffle_ps(t5, t7, 0x44), u7 = _mm256_shuffle_ps(t5, t7, 0xEE);
        float* o = lanes + j * 8;
        _mm256_store_ps(o + 0, _mm256_permute2f128_ps(u0, u4, 0x20));
        _mm256_store_ps(o + 8, _mm256_permute2f128_ps(u1, u5, 0x20));
        _mm256_store_ps(o + 16, _mm256_permute2f128_ps(u2, u6, 0x20));
        _mm256_store_ps(o + 24, _mm256_permute2f128_ps(u3, u7, 0x20));
        _mm256_store_ps(o + 32, _mm256_permute2f128_ps(u0, u4, 0x31));
        _mm256_store_ps(o + 40, _mm256_permute2f128_ps(u1, u5, 0x31));
        _mm256_store_ps(o + 48, _mm256_permute2f128_ps(u2, u6, 0x31));
        _mm256_store_ps(o + 56, _mm256_permute2f128_ps(u3, u7, 0x31));
    }
    for (; j < rows; ++j)
        for (int i = 0; i < 8; ++i) lanes[j * 8 + i] = s[i][j];
    _mm256_zeroupper();
}

}  // namespace resampler_detail
}  // namespace sonvex
#endif
