// The real FFT written once over a vector type: the transform in either direction, from the
// setup's tier to the passes, split step and bit reversal of fft_passes.h, fft_split.h,
// fft_bit_reverse.h and fft_large.h, or to the straight-line transforms of fft_small.h. Each
// version's translation unit includes its vector traits (fft_vector_sse.h or fft_vector_avx.h)
// and then this header; everything here has internal linkage so each version keeps its own
// instructions.
//
// Traits T provide: V (a vector of T::kComplex interleaved complex values), Load/Store (unaligned),
// Add, Sub, Mul, Set1, Cmul(v, re, im) with re/im holding the twiddle's parts in both lanes of
// each complex, DupRe/DupIm of per-lane twiddles, MulI (i*v), MulNegI (-i*v), Conj, Negate,
// CmulConj (v times the conjugate), Reverse (complex order reversed), StoreTransposed4,
// LoadQuartets and the block transposes of the bit-reversal tiles.
#pragma once
#include <cstddef>
#include <cstdint>

#include "dsp/kernels/aligned_array.h"
#include "dsp/kernels/fft_bit_reverse.h"
#include "dsp/kernels/fft_internal.h"
#include "dsp/kernels/fft_large.h"
#include "dsp/kernels/fft_passes.h"
#include "dsp/kernels/fft_small.h"
#include "dsp/kernels/fft_split.h"

namespace sonvex {
namespace fft {
namespace {

// Hands out the aligned work area: the caller's, or one allocated for this call.
class WorkArea {
public:
    WorkArea(const RealFftSetup* setup, void* given) {
        if (setup->workBufferBytes <= 0) return;
        if (given) {
            // The reported size leaves 32 bytes for alignment: a cache-line start when it is
            // within reach, else a 32-byte one.
            const uintptr_t base = reinterpret_cast<uintptr_t>(given);
            const uintptr_t line = (base + 63) & ~uintptr_t(63);
            const uintptr_t at = line - base <= 32 ? line : (base + 31) & ~uintptr_t(31);
            m_pWork = reinterpret_cast<char*>(at);
        } else {
            m_bFailed = !m_Owned.Allocate(setup->workBufferBytes);
            m_pWork = m_Owned.Get();
        }
    }
    bool Failed() const { return m_bFailed; }
    char* Get() const { return m_pWork; }

private:
    AlignedArray<char> m_Owned;
    char* m_pWork = nullptr;
    bool m_bFailed = false;
};

inline SplitTwiddles SplitTwiddlesOf(const RealFftSetup* setup) {
    const size_t count = ((size_t(1) << setup->order) / 4 + 1) * 2;
    return SplitTwiddles{setup->splitTwiddles, count, setup->splitFine, setup->splitCoarse};
}

// Room for the passes of the straight-line complex tiers (up to 64 complex values).
constexpr size_t kStraightScratchFloats = 2 * 64;

// The forward transform runs the complex transform of the N/2 values and then the split step;
// the inverse runs the pre-step and then the complex transform. The entry points have checked
// the arguments.
template <class T, bool kInverse>
int32_t Transform(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    const int32_t order = setup->order;
    const bool scaled = (kInverse ? setup->inverseScaled : setup->forwardScaled) != 0;
    const float s = scaled ? setup->scale : 1.0f;
    if (setup->tier == kTierRealStraight) {
        if (scaled) {
            SmallRealTransform<kInverse, true>(order, src, dst, setup->scale);
        } else {
            SmallRealTransform<kInverse, false>(order, src, dst, 1.0f);
        }
        return StatusOk;
    }
    WorkArea work(setup, workBuffer);
    if (work.Failed()) return StatusNoMemory;
    const size_t n = size_t(1) << (order - 1);
    const SplitTwiddles split = SplitTwiddlesOf(setup);
    if (setup->tier == kTierLarge) {
        const LargePlan& plan = *setup->large;
        uint64_t* reverseTiles = reinterpret_cast<uint64_t*>(work.Get() + plan.workReverseOffset);
        if (kInverse) {
            PreStepInverse<T>(src, dst, n, s, split);
            BitReverse<T>(dst, dst, order - 1, reverseTiles);
            LargeTransform<T, true>(dst, plan, work.Get());
        } else {
            BitReverse<T>(src, dst, order - 1, reverseTiles);
            LargeTransform<T, false>(dst, plan, work.Get());
            SplitForward<T>(dst, dst, n, s, split);
        }
        return StatusOk;
    }
    alignas(32) float scratch[kStraightScratchFloats];
    float* buffer = setup->tier == kTierComplexStraight ? scratch : reinterpret_cast<float*>(work.Get());
    if (kInverse) {
        // The passes alternate between the two areas; start where an even or odd count ends in dst.
        const bool oddPasses = (PassCount(n, 1) & 1) != 0;
        float* first = oddPasses ? buffer : dst;
        float* second = oddPasses ? dst : buffer;
        PreStepInverse<T>(src, first, n, s, split);
        Stockham<T, true>(first, second, first, n, 1, setup->passTwiddles);
    } else {
        const float* z = Stockham<T, false>(src, buffer, dst, n, 1, setup->passTwiddles);
        SplitForward<T>(z, dst, n, s, split);
    }
    return StatusOk;
}

}  // namespace
}  // namespace fft
}  // namespace sonvex
