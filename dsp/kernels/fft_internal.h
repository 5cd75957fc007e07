// Internal side of the real FFT: the setup record, the size tiers of each version, the twiddle
// rules and the routines every version shares. Only the kernel translation units and the tests
// include this header.
#pragma once
#include <cstddef>
#include <cstdint>

#include "dsp/kernels/kernels.h"

namespace sonvex {

namespace detail {
struct KernelRow;
}

namespace fft {

constexpr int32_t kValidSetupTag = 6;
constexpr int32_t kMaxOrder = 29;

// How a setup computes the complex transform of N/2 points (or none, for N <= 16).
enum Tier : int32_t {
    kTierRealStraight = 0,     // N <= 16: unrolled real routines, no tables
    kTierComplexStraight = 1,  // no work buffer; the passes run through a stack scratch area
    kTierTable = 2,            // passes ping-pong between dst and the work buffer
    kTierBitReverse = 3,       // same schedule as kTierTable, its own order range
    kTierLarge = 4,            // bit reversal, blocks, then transforms across the blocks
};

// Highest order of each tier in one version; -1 when the version has no such tier.
struct TierLimits {
    int32_t realStraight;
    int32_t complexStraight;
    int32_t table;
    int32_t bitReverse;
};

Tier TierForOrder(const TierLimits& limits, int32_t order);

// The tier boundaries the routine sets use.
constexpr TierLimits kSse2Tiers{4, 6, 15, 16};
constexpr TierLimits kSsse3Tiers{4, 6, 18, -1};
constexpr TierLimits kAvxTiers{4, 7, 19, -1};

// Width in complex values of the column tiles of the large-size method.
constexpr size_t kCrossTileWidth = 32;
// Bit reversal of long arrays moves 2^6 x 2^6 tiles of complex values.
constexpr int32_t kReverseTileBits = 6;
constexpr size_t kReverseTileSize = size_t(1) << (2 * kReverseTileBits);
// The split step builds its twiddles from a fine and a coarse table from this size on.
constexpr int32_t kFactoredSplitOrder = 19;
constexpr size_t kSplitFineCount = 2048;

// Plan of the large-size method for a complex length n = 2^p: n1 = 2^crossOrder blocks of
// n2 = 2^blockOrder contiguous values each.
struct LargePlan {
    int32_t blockOrder;
    int32_t crossOrder;
    int32_t stepFineBits;        // the block-to-block twiddles are fine[e & mask] * coarse[e >> bits]
    int32_t reserved;
    const float* blockTwiddles;  // pass twiddles of the n2-point transforms
    const float* crossTwiddles;  // pass twiddles of the n1-point transforms
    const float* stepFine;       // e^{-2 pi i e / n}, e < 2^stepFineBits
    const float* stepCoarse;     // e^{-2 pi i (e << stepFineBits) / n}
    const float* stepRows;       // e^{-2 pi i j1 c / n}, j1 < n1, c < kCrossTileWidth
    size_t workBlockOffset;      // byte offsets into the aligned work buffer
    size_t workTileOffset;
    size_t workReverseOffset;
};

// Radix of the next Stockham pass for a remaining length and stride (0: done): radix 4, with the
// first pass of a single transform transposing its outputs in registers; a closing length of 8
// is one radix-8 pass, a closing 2 one radix-2 pass. Radix-8 and radix-16 passes throughout were
// measured slower here (their values and twiddles no longer fit the 16 vector registers, and
// their inputs at power-of-two strides crowd the ways of the first-level cache).
static inline int32_t NextRadix(size_t length, size_t stride) {
    if (length < 4) return length == 2 ? 2 : 0;
    if (length == 8 && stride != 1) return 8;
    return 4;
}

// Floats of twiddles one pass carries: w_L^{rp} for r = 1 .. radix-1, p < L/radix. The first
// pass (stride 1) reads a different twiddle in every lane, so it keeps each run as a run of real
// parts and a run of imaginary parts, each value twice (ready for the interleaved lanes).
static inline size_t PassTwiddleFloatsOf(size_t length, int32_t radix, size_t stride) {
    const size_t m = radix ? length / (size_t)radix : 0;
    if (m <= 1) return 0;
    return (stride == 1 ? 4 : 2) * (size_t)(radix - 1) * m;
}

// Passes and twiddle floats of an n-point transform that starts at stride s0.
int32_t PassCount(size_t n, size_t s0);
size_t PassTwiddleFloats(size_t n, size_t s0);

// sin(2 pi j / size) for j = 0 .. size/4, by the quarter-wave rules: for size <= 1024 from the
// built-in 1024-point table, above that computed in double precision into `area` (size/4 + 1
// floats). Returns the table to use.
const float* QuarterWaveTable(size_t size, float* area);
extern const float kBuiltinQuarterWave[257];

// e^{-2 pi i t / size} from a quarter-wave table of `size` (t may be any value below size).
void TwiddleFromQuarter(const float* quarter, size_t size, size_t t, float* re, float* im);

// Every check of CreateRealFftSetup, the plan and the tables, for the tiers of `row`'s FFT
// routines; the setup keeps the row, and the routines' clearBlock clears the new block. Setups
// of orders kWideMinOrder..kWideMaxOrder also carry the 16-lane tables when the routines have
// them (a large-size setup among them then reports the work area those routines need).
int32_t BuildRealFftSetup(const detail::KernelRow& row, int32_t order, int32_t scalingMode, RealFftSetup** setupOut);

// The 16-lane routines (AVX-512, the avx512 row) cover the table tier from this
// order up and the first order of the large-size tier: an n-point complex transform runs as
// n/16-point transforms down the lanes of whole vectors, then 16-point transforms across them
// after a transpose. At 2^20 this is the two-level method with its levels in the other order:
// the passes across the blocks run first and each 2048-point block then finishes in cache, in
// place in a work area as large as the data (the 8-lane method needs a few tiles but runs at
// half the speed). Beyond 2^20 the gain shrinks to a tenth while the area keeps doubling, so the
// 8-lane method keeps those orders. Their tables follow the version's own in the same block.
constexpr int32_t kWideMinOrder = 9;
constexpr int32_t kWideMaxOrder = 20;

// Radices of the passes down the lanes (4 and 8, fours first) of an order's transform.
struct WidePlan {
    int32_t passes;
    int32_t radix[6];
};
// Six passes of radix 8 or 4 hold lane transforms of up to 2^18 points (order 23).
static_assert(kWideMaxOrder - 5 <= 18, "a plan holds six passes");
// The plan of this build, or (the benchmarks' estimates) that of the 32-bit build (eight vector
// registers) or of the 64-bit one.
WidePlan WidePlanFor(int32_t order, bool fewRegisters = sizeof(void*) == 4);

// From this order on the lane twiddles come from two small tables instead of one as large as
// the data: w_n^{l k1} = w_n^{16 l b} w_n^{l c} for k1 = 16 b + c. The product costs a complex
// multiplication per point, which pays once a table as large as the data no longer fits the
// second-level cache beside the data.
constexpr int32_t kFactoredLaneOrder = 18;

// The 16-lane tables, behind this header at the end of the setup block (64-byte aligned):
//  pass twiddles, pass after pass, w_L^{r p} (r = 1 .. radix-1) interleaved for each p in turn;
//  where each frequency k1 of the lane transforms lands (the passes run in place, so their
//  outputs come out in mixed-radix digit-reversed order);
//  lane twiddles w_n^{l k1}, 16 real parts then 16 imaginary parts per k1: either for every k1
//  (`lane`), or as w_n^{l c} for c < 16 (`laneColumn`) and w_n^{16 l b} for every block b of 16
//  (`laneBlock`);
//  split-step twiddles e^{-2 pi i k / N}, k = 0 .. N/4, as a run of real and a run of imaginary
//  parts.
struct WideTables {
    WidePlan plan;
    const float* pass;
    const uint32_t* position;
    const float* lane;        // or null
    const float* laneColumn;  // with laneBlock, where lane is null
    const float* laneBlock;
    const float* splitRe;
    const float* splitIm;
};
// Bytes of the header and tables of an order (without the alignment slack).
size_t WideTableBytes(int32_t order);
// Builds them at `at` (64-byte aligned) and returns the header.
const WideTables* BuildWideTables(char* at, int32_t order, const float* quarter, size_t size);

// The straight-line routines of the same rows (AVX-512) keep the transforms of these orders in
// registers as points of 16 lanes; their setups carry the twiddles those routines read.
constexpr int32_t kLaneMinOrder = 5;
constexpr int32_t kLaneMaxOrder = 8;
// Floats of an order's straight-line 16-lane twiddles, and their builder (`out` 64-byte aligned);
// the split step's coefficients carry the setup's scale factors.
size_t LaneTwiddleFloats(int32_t order);
void BuildLaneTwiddles(float* out, int32_t order, const float* quarter, size_t size, float forwardScale,
                       float inverseScale);

// Reverses the low `bits` bits of value.
static inline uint32_t ReverseBits(uint32_t value, int32_t bits) {
    if (bits <= 0) return 0;
    value = ((value >> 1) & 0x55555555u) | ((value & 0x55555555u) << 1);
    value = ((value >> 2) & 0x33333333u) | ((value & 0x33333333u) << 2);
    value = ((value >> 4) & 0x0F0F0F0Fu) | ((value & 0x0F0F0F0Fu) << 4);
    value = ((value >> 8) & 0x00FF00FFu) | ((value & 0x00FF00FFu) << 8);
    value = (value >> 16) | (value << 16);
    return value >> (32 - bits);
}

}  // namespace fft

// The setup record: a header followed, in the same aligned block, by the tables it points to.
struct RealFftSetup {
    int32_t tag;             // kValidSetupTag while valid, 0 once released
    int32_t order;
    int32_t forwardScaled;
    int32_t inverseScaled;
    float scale;
    int32_t workBufferBytes;  // 0 for the straight-line tiers
    int32_t owned;            // 1 when CreateRealFftSetup allocated the block
    int32_t tier;             // fft::Tier
    int32_t reserved[2];
    const detail::KernelRow* row;  // the row that built the setup, and whose FFT routines run it
    const float* passTwiddles;   // complex transform of N/2 points (straight-line and table tiers)
    const float* splitTwiddles;  // orders below 19: e^{-2 pi i k / N}, k = 0 .. N/4, as a run of
                                 // real parts and a run of imaginary parts, each value twice
    const float* splitFine;      // orders from 19: e^{-2 pi i k / N}, k < 2048 + 8
    const float* splitCoarse;    //                 e^{-2 pi i 2048 c / N}
    const fft::LargePlan* large;
    const fft::WideTables* wide;  // 16-lane tables, or null
    const float* laneTwiddles;    // straight-line 16-lane twiddles (kLaneMinOrder..kLaneMaxOrder), or null
};

namespace fft {

// The checks of both transform entry points, in their order.
inline int32_t CheckTransform(const float* src, const float* dst, const RealFftSetup* setup) {
    if (!setup) return StatusNullPointer;
    if (setup->tag != kValidSetupTag) return StatusBadSetup;
    if (!src || !dst) return StatusNullPointer;
    return StatusOk;
}

}  // namespace fft

}  // namespace sonvex
