// The interpolation with sixteen output frames per vector, for steps below one input frame per
// output: every lane of a group reads within the 16 frames from the group's first one on, so
// each tap is one permute of the channel's own row and nothing is spread over the lanes. Other
// steps take the eight-lane routines. AVX-512F only, so that 32-bit code (eight vector
// registers) can run it too.
#include <immintrin.h>

#include "dsp/kernels/dispatch.h"
#include "dsp/kernels/interpolate_kernels.h"

namespace sonvex {
namespace detail {

namespace {

struct Avx512Operations {
    using V = __m512;
    using I = __m512i;
    static constexpr int kLanes = 16;

    static V Load(const float* p) { return _mm512_load_ps(p); }
    static void Store(float* p, V v) { _mm512_storeu_ps(p, v); }
    static V Mul(V a, V b) { return _mm512_mul_ps(a, b); }
    static V Add(V a, V b) { return _mm512_add_ps(a, b); }
    static I LoadIndex(const int32_t* offsets) { return _mm512_loadu_si512(offsets); }
    // The mask's lanes are -1 where they carry.
    static I CarryIndex(I base, const int32_t* mask) { return _mm512_sub_epi32(base, _mm512_loadu_si512(mask)); }
    static V Window(I index, const float* p) { return _mm512_permutexvar_ps(index, _mm512_loadu_ps(p)); }
    // Leaves no dirty upper halves behind for the SSE code of the caller.
    static void Finish() { _mm256_zeroupper(); }
};

}  // namespace

extern const InterpolationRoutines kInterpolationAvx512 = {
    "avx512", Avx512Operations::kLanes, nullptr, nullptr, nullptr, Avx512Operations::kLanes,
    InterpolateDirect<Avx512Operations>, &kInterpolationAvx2};

}  // namespace detail
}  // namespace sonvex
