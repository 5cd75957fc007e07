// The interpolation with four output frames per vector: the SSE2 operations and the 4 x 4
// transpose that spreads a channel over the lanes.
#include <emmintrin.h>

#include "dsp/kernels/dispatch.h"
#include "dsp/kernels/interpolate_kernels.h"

namespace sonvex {
namespace detail {

namespace {

struct Sse2Operations {
    using V = __m128;
    static constexpr int kLanes = 4;
    static constexpr int kRegisters = kSseRegisters;

    static V Load(const float* p) { return _mm_load_ps(p); }
    static V LoadUnaligned(const float* p) { return _mm_loadu_ps(p); }
    static void Store(float* p, V v) { _mm_storeu_ps(p, v); }
    static V Broadcast(const float* p) { return _mm_set1_ps(*p); }
    static V Mul(V a, V b) { return _mm_mul_ps(a, b); }
    static V Add(V a, V b) { return _mm_add_ps(a, b); }
    static V LoadMask(const int32_t* mask) {
        return _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(mask)));
    }
    static V SelectCarry(V current, V next, V mask) {
        return _mm_or_ps(_mm_andnot_ps(mask, current), _mm_and_ps(mask, next));
    }
    static void Finish() {}
};

void SpreadLanes(const float* input, const int32_t* laneBase, int64_t rows, float* lanes) {
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

}  // namespace

extern const InterpolationRoutines kInterpolationSse2 = {
    "sse2", Sse2Operations::kLanes, SpreadLanes, InterpolateGroups<Sse2Operations>,
    InterpolateWholeStep<Sse2Operations>, 0, nullptr, nullptr};

}  // namespace detail
}  // namespace sonvex
