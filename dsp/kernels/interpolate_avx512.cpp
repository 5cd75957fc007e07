// The interpolation with sixteen output frames per vector. Steps below two input frames per
// output keep every lane of a group within the 32 frames from the group's first one on, so each
// tap is one permute of the channel's own row and nothing is spread over the lanes: out of one
// window of 16 frames below one frame per output, out of two windows above (the second one
// carried over from an earlier tap while it is only a few frames on). Whole-number steps load
// each tap's sixteen outputs as one vector of the split rows. Longer steps take the eight-lane
// routines. AVX-512F only, so that 32-bit code (eight vector registers) can run it too.
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
    static constexpr int kRegisters = kAvx512Registers;

    static V Load(const float* p) { return _mm512_load_ps(p); }
    static V LoadUnaligned(const float* p) { return _mm512_loadu_ps(p); }
    static void Store(float* p, V v) { _mm512_storeu_ps(p, v); }
    static V Broadcast(const float* p) { return _mm512_set1_ps(*p); }
    static V Mul(V a, V b) { return _mm512_mul_ps(a, b); }
    static V Add(V a, V b) { return _mm512_add_ps(a, b); }
    static I LoadIndex(const int32_t* offsets) { return _mm512_loadu_si512(offsets); }
    // The mask's lanes are -1 where they carry.
    static I CarryIndex(I base, const int32_t* mask) { return _mm512_sub_epi32(base, _mm512_loadu_si512(mask)); }
    static V Window(I index, const float* p) { return _mm512_permutexvar_ps(index, _mm512_loadu_ps(p)); }
    static I PairIndex(I offsets, int reach) {
        const __mmask16 further = _mm512_cmpge_epi32_mask(offsets, _mm512_set1_epi32(kLanes));
        return _mm512_mask_add_epi32(offsets, further, offsets, _mm512_set1_epi32(kLanes - reach));
    }
    static I IndexOf(int32_t n) { return _mm512_set1_epi32(n); }
    static I AddIndex(I a, I b) { return _mm512_add_epi32(a, b); }
    static V Pair(I index, V a, V b) { return _mm512_permutex2var_ps(a, index, b); }
    static void Prefetch(const float* p) { _mm_prefetch(reinterpret_cast<const char*>(p), _MM_HINT_T0); }
    // Leaves no dirty upper halves behind for the SSE code of the caller.
    static void Finish() { _mm256_zeroupper(); }
};

}  // namespace

extern const InterpolationRoutines kInterpolationAvx512 = {
    "avx512", Avx512Operations::kLanes, nullptr, nullptr, InterpolateWholeStep<Avx512Operations>,
    2 * Avx512Operations::kLanes, InterpolateDirect<Avx512Operations>, &kInterpolationAvx2};

}  // namespace detail
}  // namespace sonvex
