// AVX version: eight output frames per vector, one per lane, each summed tap by tap exactly as
// ApplyKernel does. Only AVX multiplies and adds: a fused multiply-add would change the bits.
#include "dsp/resampler/interpolate.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace sonvex {
namespace resampler_detail {

namespace {

inline __m256 LoadMask(const int32_t* mask) {
    return _mm256_castsi256_ps(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(mask)));
}

// One group's running sum: the lanes whose start phase carries read the next frame.
struct GroupSum {
    const float* coefficients;
    const float* lanes;
    __m256 mask;
    __m256 next;
    __m256 sum;

    inline void Start(const GroupJob& job, const float* laneRows) {
        coefficients = job.coefficients;
        lanes = laneRows + job.row * 8;
        mask = LoadMask(job.mask);
        next = _mm256_load_ps(lanes + 8);
        sum = _mm256_mul_ps(_mm256_load_ps(coefficients), _mm256_blendv_ps(_mm256_load_ps(lanes), next, mask));
    }
    inline void Tap(int32_t t) {
        const __m256 current = next;
        next = _mm256_load_ps(lanes + (t + 1) * 8);
        sum = _mm256_add_ps(sum, _mm256_mul_ps(_mm256_load_ps(coefficients + t * 8),
                                               _mm256_blendv_ps(current, next, mask)));
    }
};

}  // namespace

void InterpolateGroupsAvx(const float* lanes, const GroupJob* jobs, int64_t count, int32_t n,
                          float* out) {
    int64_t g = 0;
    // Four independent sums in flight hide the latency of the additions.
    for (; g + 4 <= count; g += 4) {
        GroupSum a, b, c, d;
        a.Start(jobs[g], lanes);
        b.Start(jobs[g + 1], lanes);
        c.Start(jobs[g + 2], lanes);
        d.Start(jobs[g + 3], lanes);
        for (int32_t t = 1; t < n; ++t) {
            a.Tap(t);
            b.Tap(t);
            c.Tap(t);
            d.Tap(t);
        }
        _mm256_storeu_ps(out + g * 8, a.sum);
        _mm256_storeu_ps(out + g * 8 + 8, b.sum);
        _mm256_storeu_ps(out + g * 8 + 16, c.sum);
        _mm256_storeu_ps(out + g * 8 + 24, d.sum);
    }
    for (; g < count; ++g) {
        GroupSum a;
        a.Start(jobs[g], lanes);
        for (int32_t t = 1; t < n; ++t) a.Tap(t);
        _mm256_storeu_ps(out + g * 8, a.sum);
    }
    _mm256_zeroupper();
}

void SpreadLanesAvx(const float* input, const int32_t* laneBase, int64_t rows, float* lanes) {
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
