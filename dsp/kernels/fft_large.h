// The large-size method of the complex transform, beyond the table tiers: for n = 2^p complex
// values held in data, bit reversal (done by the caller), which leaves each of the n1 blocks of
// n2 values in bit-reversed order, then the transform of each block (its first pass reads that
// order), then the n1-point transforms across the blocks on column tiles, which also apply
// w_n^{j1 k2}.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "dsp/kernels/fft_bit_reverse.h"
#include "dsp/kernels/fft_complex.h"
#include "dsp/kernels/fft_passes.h"

namespace sonvex {
namespace fft {
namespace {

template <class T, bool kInverse>
void LargeTransform(float* data, const LargePlan& plan, char* work) {
    const size_t n1 = size_t(1) << plan.crossOrder;
    const size_t n2 = size_t(1) << plan.blockOrder;
    const size_t n = n1 * n2;
    float* blockWork = reinterpret_cast<float*>(work + plan.workBlockOffset);
    float* tile0 = reinterpret_cast<float*>(work + plan.workTileOffset);
    float* tile1 = tile0 + 2 * n1 * kCrossTileWidth;
    for (size_t b = 0; b < n1; ++b) {
        float* block = data + 2 * b * n2;
        // The first pass reads the block in its bit-reversed order; after an odd number of
        // passes the result is in the work area and comes back with one copy.
        const float* result = Stockham<T, kInverse, true>(block, blockWork, block, n2, 1, plan.blockTwiddles);
        if (result != block) std::memcpy(block, result, n2 * 8);
    }
    using V = typename T::V;
    const size_t fineMask = (size_t(1) << plan.stepFineBits) - 1;
    for (size_t k2 = 0; k2 < n2; k2 += kCrossTileWidth) {
        for (size_t j1 = 0; j1 < n1; ++j1) {
            const float* row = data + 2 * (ReverseBits((uint32_t)j1, plan.crossOrder) * n2 + k2);
            float* out = tile0 + 2 * j1 * kCrossTileWidth;
            // w_n^{j1 (k2 + c)} = w_n^{j1 k2} * w_n^{j1 c}: one factored product per row, then
            // the row's run of small steps.
            const size_t e = (j1 * k2) & (n - 1);
            const Cx base = Mul(LoadCx(plan.stepFine + 2 * (e & fineMask)),
                                LoadCx(plan.stepCoarse + 2 * (e >> plan.stepFineBits)));
            const V baseRe = T::Set1(base.re), baseIm = T::Set1(base.im);
            const float* steps = plan.stepRows + 2 * j1 * kCrossTileWidth;
            for (size_t c = 0; c < kCrossTileWidth; c += T::kComplex) {
                const V w = T::Cmul(T::Load(steps + 2 * c), baseRe, baseIm);
                const V wIm = kInverse ? T::Negate(T::DupIm(w)) : T::DupIm(w);
                T::Store(out + 2 * c, T::Cmul(T::Load(row + 2 * c), T::DupRe(w), wIm));
            }
        }
        const float* result = Stockham<T, kInverse>(tile0, tile1, tile0, n1, kCrossTileWidth, plan.crossTwiddles);
        for (size_t k1 = 0; k1 < n1; ++k1) {
            std::memcpy(data + 2 * (k1 * n2 + k2), result + 2 * k1 * kCrossTileWidth, kCrossTileWidth * 8);
        }
    }
}

}  // namespace
}  // namespace fft
}  // namespace sonvex
