// The interpolation with eight output frames per vector: the 256-bit operations and the 8 x 8
// transpose that spreads a channel over the lanes. Built with AVX2 so that GCC can lower its
// blend of the integer lane masks to vector compares.
#include <immintrin.h>

#include "dsp/kernels/dispatch.h"
#include "dsp/kernels/interpolate_kernels.h"

namespace sonvex {
namespace detail {

namespace {

struct Avx2Operations {
    using V = __m256;
    static constexpr int kLanes = 8;
    static constexpr int kRegisters = kSseRegisters;

    static V Load(const float* p) { return _mm256_load_ps(p); }
    static V LoadUnaligned(const float* p) { return _mm256_loadu_ps(p); }
    static void Store(float* p, V v) { _mm256_storeu_ps(p, v); }
    static V Broadcast(const float* p) { return _mm256_broadcast_ss(p); }
    static V Mul(V a, V b) { return _mm256_mul_ps(a, b); }
    static V Add(V a, V b) { return _mm256_add_ps(a, b); }
    static V LoadMask(const int32_t* mask) {
        return _mm256_castsi256_ps(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(mask)));
    }
    static V SelectCarry(V current, V next, V mask) { return _mm256_blendv_ps(current, next, mask); }
    // Leaves no dirty upper halves behind for the SSE code of the caller.
    static void Finish() { _mm256_zeroupper(); }
};

void SpreadLanes(const float* input, const int32_t* laneBase, int64_t rows, float* lanes) {
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
    Avx2Operations::Finish();
}

}  // namespace

extern const InterpolationRoutines kInterpolationAvx2 = {
    "avx2", Avx2Operations::kLanes, SpreadLanes, InterpolateGroups<Avx2Operations>,
    InterpolateWholeStep<Avx2Operations>, 0, nullptr, nullptr};

}  // namespace detail
}  // namespace sonvex
