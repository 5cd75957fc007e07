// Setup records of the real FFT: the size of the block and the twiddle tables, and the entry
// points that create, measure and release setups. Scalar code shared by every version; the
// versions differ only in where their tiers begin (the tiers of their rows' FFT routines), which decides the
// tables a setup carries and the work buffer it reports.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "dsp/kernels/aligned_array.h"
#include "dsp/kernels/dispatch.h"
#include "dsp/kernels/fft_internal.h"

namespace sonvex {
namespace fft {

Tier TierForOrder(const TierLimits& limits, int32_t order) {
    if (order <= limits.realStraight) return kTierRealStraight;
    if (order <= limits.complexStraight) return kTierComplexStraight;
    if (order <= limits.table) return kTierTable;
    if (order <= limits.bitReverse) return kTierBitReverse;
    return kTierLarge;
}

int32_t PassCount(size_t n, size_t s0) {
    int32_t passes = 0;
    for (int32_t radix; (radix = NextRadix(n, s0)) != 0; n /= (size_t)radix, s0 *= (size_t)radix) ++passes;
    return passes;
}

size_t PassTwiddleFloats(size_t n, size_t s0) {
    size_t floats = 0;
    for (int32_t radix; (radix = NextRadix(n, s0)) != 0; n /= (size_t)radix, s0 *= (size_t)radix) {
        floats += PassTwiddleFloatsOf(n, radix, s0);
    }
    return floats;
}

namespace {

size_t RoundUp32(size_t bytes) { return (bytes + 31) & ~size_t(31); }

// count twiddles e^{-2 pi i (first + k step) / size} as 2*count real parts then 2*count
// imaginary parts, each value twice.
void BuildDuplicatedRun(float* out, size_t count, size_t first, size_t step, const float* quarter, size_t size) {
    for (size_t k = 0; k < count; ++k) {
        float re, im;
        TwiddleFromQuarter(quarter, size, first + k * step, &re, &im);
        out[2 * k] = out[2 * k + 1] = re;
        out[2 * count + 2 * k] = out[2 * count + 2 * k + 1] = im;
    }
}

// Twiddles of the Stockham passes of an n-point transform, pass after pass, each pass as runs
// w^p, w^2p, ... (p < L/radix) of interleaved complex values.
void BuildPassTwiddles(float* out, size_t n, size_t s0, const float* quarter, size_t size) {
    for (int32_t radix; (radix = NextRadix(n, s0)) != 0; n /= (size_t)radix, s0 *= (size_t)radix) {
        if (PassTwiddleFloatsOf(n, radix, s0) == 0) continue;
        const size_t m = n / (size_t)radix;
        const size_t stride = size / n;  // w_L^j = e^{-2 pi i j stride / size}
        for (size_t r = 1; r < (size_t)radix; ++r) {
            if (s0 == 1) {
                BuildDuplicatedRun(out, m, 0, r * stride, quarter, size);
                out += 4 * m;
                continue;
            }
            for (size_t p = 0; p < m; ++p) {
                TwiddleFromQuarter(quarter, size, r * p * stride, &out[2 * p], &out[2 * p + 1]);
            }
            out += 2 * m;
        }
    }
}

void BuildTwiddleRun(float* out, size_t count, size_t first, size_t step, const float* quarter,
                     size_t size) {
    for (size_t k = 0; k < count; ++k) {
        TwiddleFromQuarter(quarter, size, first + k * step, &out[2 * k], &out[2 * k + 1]);
    }
}

// Floats of twiddles the passes down the lanes carry.
size_t WidePassFloats(int32_t order) {
    const WidePlan plan = WidePlanFor(order);
    size_t length = size_t(1) << (order - 5);
    size_t floats = 0;
    for (int32_t i = 0; i < plan.passes; ++i) {
        const size_t m = length / (size_t)plan.radix[i];
        if (m > 1) floats += 2 * (size_t)(plan.radix[i] - 1) * m;
        length = m;
    }
    return floats;
}

int32_t CrossOrderFor(int32_t p) {
    if (p <= 18) return 4;
    if (p <= 21) return 6;
    return 8;
}

// Everything a setup of one order and version needs, in bytes from the start of the block.
struct SetupLayout {
    size_t passOffset = 0, splitOffset = 0, fineOffset = 0, coarseOffset = 0;
    size_t planOffset = 0, blockTwOffset = 0, crossTwOffset = 0, stepFineOffset = 0, stepCoarseOffset = 0;
    size_t stepRowsOffset = 0;
    size_t totalBytes = 0;
    size_t workBytes = 0;
    size_t buildFloats = 0;
    int32_t blockOrder = 0, crossOrder = 0, stepFineBits = 0;
};

SetupLayout PlanLayout(Tier tier, int32_t order) {
    SetupLayout layout;
    const size_t size = size_t(1) << order;
    const size_t n = size / 2;
    size_t at = RoundUp32(sizeof(RealFftSetup));
    if (tier == kTierComplexStraight || tier == kTierTable || tier == kTierBitReverse) {
        layout.passOffset = at;
        at += RoundUp32(PassTwiddleFloats(n, 1) * sizeof(float));
    }
    if (order >= 5) {
        if (order < kFactoredSplitOrder) {
            layout.splitOffset = at;
            at += RoundUp32((size / 4 + 1) * 4 * sizeof(float));
        } else {
            layout.fineOffset = at;
            at += RoundUp32((kSplitFineCount + 8) * 2 * sizeof(float));
            layout.coarseOffset = at;
            at += RoundUp32(((size / 4) / kSplitFineCount + 2) * 2 * sizeof(float));
        }
    }
    if (tier == kTierTable || tier == kTierBitReverse) {
        layout.workBytes = RoundUp32(n * 2 * sizeof(float));
    }
    if (tier == kTierLarge) {
        const int32_t p = order - 1;
        layout.crossOrder = CrossOrderFor(p);
        layout.blockOrder = p - layout.crossOrder;
        layout.stepFineBits = (p + 1) / 2;
        const size_t n1 = size_t(1) << layout.crossOrder;
        const size_t n2 = size_t(1) << layout.blockOrder;
        layout.planOffset = at;
        at += RoundUp32(sizeof(LargePlan));
        layout.blockTwOffset = at;
        at += RoundUp32(PassTwiddleFloats(n2, 1) * sizeof(float));
        layout.crossTwOffset = at;
        at += RoundUp32(PassTwiddleFloats(n1, kCrossTileWidth) * sizeof(float));
        layout.stepFineOffset = at;
        at += RoundUp32((size_t(1) << layout.stepFineBits) * 2 * sizeof(float));
        layout.stepCoarseOffset = at;
        at += RoundUp32((size_t(1) << (p - layout.stepFineBits)) * 2 * sizeof(float));
        layout.stepRowsOffset = at;
        at += RoundUp32(n1 * kCrossTileWidth * 2 * sizeof(float));
        layout.workBytes = RoundUp32(n2 * 8) + 2 * RoundUp32(n1 * kCrossTileWidth * 8) +
                           2 * RoundUp32(kReverseTileSize * 8);
    }
    layout.totalBytes = at;
    if (order > 10) layout.buildFloats = size / 4 + 1;
    return layout;
}

// The passes of the lane transforms of 2^4 to 2^15 points (orders 9 to 20), radix 4 or 8 in the
// order they run, for 32-bit and for 64-bit code: the fastest of every ordering of eights and
// fours in at most six passes, each build timed on an AMD EPYC (Zen 4). Eights first, where
// the points of a butterfly lie far apart, cost 4 to 13 % more from 2^13 on; 32-bit code, whose
// radix-8 butterflies go through memory, runs best with as few eights as six passes allow.
constexpr const char* kPlans[2][12] = {
    {"44", "84", "444", "844", "4444", "4448", "44444", "44448", "444444", "444448", "448448", "448488"},
    {"44", "48", "88", "448", "488", "4844", "4488", "4888", "44488", "48884", "444848", "484848"}};

// Every plan's radices multiply to its length, in at most the six passes a plan holds.
constexpr bool PlansMakeUpTheirLengths() {
    for (const auto& build : kPlans) {
        for (int i = 0; i < 12; ++i) {
            int bits = 0, passes = 0;
            for (const char* r = build[i]; *r; ++r, ++passes) bits += *r == '8' ? 3 : *r == '4' ? 2 : 100;
            if (bits != i + 4 || passes > 6) return false;
        }
    }
    return true;
}
static_assert(PlansMakeUpTheirLengths(), "a plan's passes make up its length");

}  // namespace

WidePlan WidePlanFor(int32_t order, bool fewRegisters) {
    WidePlan plan{};
    for (const char* r = kPlans[fewRegisters ? 0 : 1][order - kWideMinOrder]; *r; ++r)
        plan.radix[plan.passes++] = *r - '0';
    return plan;
}

namespace {

// Offsets in bytes from the header's start.
struct WideLayout {
    size_t pass, position, lane, laneColumn, laneBlock, splitRe, splitIm, total;
};

size_t RoundUp64(size_t bytes) { return (bytes + 63) & ~size_t(63); }

WideLayout WideLayoutFor(int32_t order) {
    const size_t size = size_t(1) << order;
    const size_t lanes = size / 32;
    const size_t blocks = lanes / 16;
    const size_t point = 32 * sizeof(float);
    WideLayout layout{};
    layout.pass = RoundUp64(sizeof(WideTables));
    layout.position = layout.pass + RoundUp64(WidePassFloats(order) * sizeof(float));
    layout.lane = layout.position + RoundUp64(lanes * sizeof(uint32_t));
    if (order < kFactoredLaneOrder) {
        layout.laneColumn = layout.laneBlock = layout.lane + lanes * point;
        layout.splitRe = layout.laneBlock;
    } else {
        layout.laneColumn = layout.lane;
        layout.laneBlock = layout.laneColumn + 16 * point;
        layout.splitRe = layout.laneBlock + blocks * point;
    }
    layout.splitIm = layout.splitRe + RoundUp64((size / 4 + 1) * sizeof(float));
    layout.total = layout.splitIm + RoundUp64((size / 4 + 1) * sizeof(float));
    return layout;
}

// w_n^{l k} for l < 16 as a point: 16 real parts, then 16 imaginary parts.
void BuildLanePoint(float* out, size_t k, const float* quarter, size_t size) {
    // w_n^{l k} is index 2 l k of the size-point wave.
    for (size_t l = 0; l < 16; ++l) TwiddleFromQuarter(quarter, size, 2 * l * k, &out[l], &out[16 + l]);
}

}  // namespace

size_t WideTableBytes(int32_t order) { return WideLayoutFor(order).total; }

const WideTables* BuildWideTables(char* at, int32_t order, const float* quarter, size_t size) {
    const WideLayout layout = WideLayoutFor(order);
    WideTables* tables = reinterpret_cast<WideTables*>(at);
    tables->plan = WidePlanFor(order);
    const WidePlan& plan = tables->plan;
    const size_t n = size / 2;
    const size_t lanes = n / 16;
    const size_t blocks = lanes / 16;
    size_t length = lanes;
    float* pass = reinterpret_cast<float*>(at + layout.pass);
    tables->pass = pass;
    for (int32_t i = 0; i < plan.passes; ++i) {
        const size_t radix = (size_t)plan.radix[i];
        const size_t m = length / radix;
        if (m > 1) {
            const size_t stride = size / length;  // w_L^j is index j stride of the size-point wave
            for (size_t p = 0; p < m; ++p) {
                for (size_t r = 1; r < radix; ++r, pass += 2) {
                    TwiddleFromQuarter(quarter, size, r * p * stride, &pass[0], &pass[1]);
                }
            }
        }
        length = m;
    }
    // Frequency k = r1 + R1 (r2 + R2 (r3 + ...)) of the in-place passes lands at
    // r1 L/R1 + r2 L/(R1 R2) + ...
    uint32_t* position = reinterpret_cast<uint32_t*>(at + layout.position);
    tables->position = position;
    for (size_t k = 0; k < lanes; ++k) {
        size_t rest = k, span = lanes, landing = 0;
        for (int32_t i = 0; i < plan.passes; ++i) {
            const size_t radix = (size_t)plan.radix[i];
            span /= radix;
            landing += (rest % radix) * span;
            rest /= radix;
        }
        position[k] = (uint32_t)landing;
    }
    if (order < kFactoredLaneOrder) {
        float* lane = reinterpret_cast<float*>(at + layout.lane);
        for (size_t k = 0; k < lanes; ++k) BuildLanePoint(lane + 32 * k, k, quarter, size);
        tables->lane = lane;
    } else {
        float* column = reinterpret_cast<float*>(at + layout.laneColumn);
        float* block = reinterpret_cast<float*>(at + layout.laneBlock);
        for (size_t c = 0; c < 16; ++c) BuildLanePoint(column + 32 * c, c, quarter, size);
        for (size_t b = 0; b < blocks; ++b) BuildLanePoint(block + 32 * b, 16 * b, quarter, size);
        tables->laneColumn = column;
        tables->laneBlock = block;
    }
    float* splitRe = reinterpret_cast<float*>(at + layout.splitRe);
    float* splitIm = reinterpret_cast<float*>(at + layout.splitIm);
    for (size_t k = 0; k <= size / 4; ++k) TwiddleFromQuarter(quarter, size, k, &splitRe[k], &splitIm[k]);
    tables->splitRe = splitRe;
    tables->splitIm = splitIm;
    return tables;
}

namespace {

// With two points, point 1's last forward step across the lanes (span 8, w_8 before it) and the
// turn by w_16^{q / 2} after it as one pair of lane coefficients, y = a x + b x', and the first
// inverse step with the conjugate turns on the other side.
void BuildPairedStep(float* out, const float* quarter, size_t size) {
    struct Complex {
        double re, im;
    };
    const auto at = [&](size_t t) {
        float re, im;
        TwiddleFromQuarter(quarter, size, t, &re, &im);
        return Complex{re, im};
    };
    const auto times = [](Complex a, Complex b) { return Complex{a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re}; };
    const auto conj = [](Complex a) { return Complex{a.re, -a.im}; };
    const auto eighth = [&](size_t q) { return (q & 8) ? at(((q >> 1) & 3) * (size / 8)) : Complex{1.0, 0.0}; };
    const auto across = [&](size_t q) { return at((q >> 1) * (size / 16)); };
    for (size_t q = 0; q < 16; ++q) {
        const size_t partner = q ^ 8;
        Complex a[2], b[2];
        if (q < 8) {
            a[0] = across(q);
            b[0] = times(across(q), eighth(partner));
            a[1] = conj(across(q));
            b[1] = conj(across(partner));
        } else {
            const Complex turned = times(across(q), eighth(q));
            a[0] = Complex{-turned.re, -turned.im};
            b[0] = across(q);
            a[1] = Complex{-turned.re, turned.im};
            b[1] = conj(times(eighth(q), across(partner)));
        }
        for (int inverse = 0; inverse < 2; ++inverse) {
            float* set = out + 64 * inverse;
            set[q] = (float)a[inverse].re;
            set[16 + q] = (float)a[inverse].im;
            set[32 + q] = (float)b[inverse].re;
            set[48 + q] = (float)b[inverse].im;
        }
    }
}

}  // namespace

size_t LaneTwiddleFloats(int32_t order) {
    const size_t points = size_t(1) << (order - kLaneMinOrder);
    return 16 * (4 + 6 * points + 4 * (points - 1) + (points == 2 ? 8 : 0));
}

void BuildLaneTwiddles(float* out, int32_t order, const float* quarter, size_t size, float forwardScale,
                       float inverseScale) {
    const size_t points = size_t(1) << (order - kLaneMinOrder);
    size_t pointBits = 0;
    while ((size_t(1) << pointBits) < points) ++pointBits;
    // Twiddles of the steps across the lanes: w_16^{q - 8} in the upper half (one point), and
    // w_8^{(q / m) mod 4} in the lanes with bit 4m set; 1 where a lane is not turned.
    for (size_t q = 0; q < 16; ++q) {
        out[q] = out[32 + q] = 1.0f;
        out[16 + q] = out[48 + q] = 0.0f;
        if (q >= 8) TwiddleFromQuarter(quarter, size, (q - 8) * (size / 16), &out[q], &out[16 + q]);
        if (q & (4 * points)) {
            TwiddleFromQuarter(quarter, size, ((q >> pointBits) & 3) * (size / 8), &out[32 + q], &out[48 + q]);
        }
    }
    out += 64;
    // The split step's coefficients of each point from w = w_N^k, k = 16 k1 + q, with the
    // direction's factor f (half the forward scale, the inverse scale): P = f (1 + Im w) and
    // Q = 2f - P, P moved by a unit in its last place where needed so that P + Q rounds to 2f
    // exactly (an impulse then gives the flat spectrum exactly), and +f Re w (forward) or -f Re w.
    for (size_t k1 = 0; k1 < points; ++k1, out += 96) {
        for (size_t q = 0; q < 16; ++q) {
            float re, im;
            TwiddleFromQuarter(quarter, size, 16 * k1 + q, &re, &im);
            for (int inverse = 0; inverse < 2; ++inverse) {
                const float f = inverse ? inverseScale : 0.5f * forwardScale;
                const float twice = 2.0f * f;
                const float first = f * (1.0f + im);
                float p = first, rest = twice - p;
                // Units moved: +1, -1, +2, -2, +3, -3.
                for (int offset = 1; offset < 7 && p + rest != twice; ++offset) {
                    const float toward = (offset & 1) ? twice : -twice;
                    p = first;
                    for (int unit = 0; unit < (offset + 1) / 2; ++unit) p = std::nextafter(p, toward);
                    rest = twice - p;
                }
                float* at = out + 48 * inverse;
                at[q] = p;
                at[16 + q] = rest;
                at[32 + q] = inverse ? -(f * re) : f * re;
            }
        }
    }
    // w_n^{q k1} of the points k1 >= 1, n = size / 2: index 2 q k1 of the size-point wave.
    for (size_t k1 = 1; k1 < points; ++k1, out += 32) {
        for (size_t q = 0; q < 16; ++q) TwiddleFromQuarter(quarter, size, 2 * q * k1, &out[q], &out[16 + q]);
    }
    // w_16^{l' (q / m)} of the points l' >= 1.
    for (size_t l = 1; l < points; ++l, out += 32) {
        for (size_t q = 0; q < 16; ++q) {
            TwiddleFromQuarter(quarter, size, l * (q >> pointBits) * (size / 16), &out[q], &out[16 + q]);
        }
    }
    if (points == 2) BuildPairedStep(out, quarter, size);
}

int32_t BuildRealFftSetup(const detail::KernelRow& row, int32_t order, int32_t scalingMode, RealFftSetup** setupOut) {
    if (!setupOut) return StatusNullPointer;
    if (order < 0 || order > kMaxOrder) return StatusBadOrder;
    if (scalingMode != ScaleForwardByN && scalingMode != ScaleInverseByN &&
        scalingMode != ScaleBothBySqrtN && scalingMode != NoScaling) {
        return StatusBadScaling;
    }
    const detail::FftRoutines& routines = *row.fft;
    const Tier tier = TierForOrder(routines.tiers, order);
    SetupLayout layout = PlanLayout(tier, order);
    // The 16-lane tables go last, on a 64-byte boundary found once the block's address is known.
    size_t wideOffset = 0;
    if (routines.wideTables && (tier == kTierTable || tier == kTierLarge) && order >= kWideMinOrder &&
        order <= kWideMaxOrder) {
        wideOffset = layout.totalBytes;
        layout.totalBytes += WideTableBytes(order) + 64;
        layout.workBytes = std::max(layout.workBytes, RoundUp32((size_t(1) << (order - 1)) * 2 * sizeof(float)));
    }
    size_t laneOffset = 0;
    if (routines.wideTables && order >= kLaneMinOrder && order <= kLaneMaxOrder) {
        laneOffset = layout.totalBytes;
        layout.totalBytes += LaneTwiddleFloats(order) * sizeof(float) + 64;
    }
    // Sizes travel as signed 32-bit byte counts; a table that cannot be described is no memory.
    const size_t limit = 0x7FFFFFFF - 64;
    if (layout.totalBytes > limit || layout.workBytes > limit || layout.buildFloats * sizeof(float) > limit) {
        return StatusNoMemory;
    }
    AlignedArray<char> blockOwner;
    if (!blockOwner.Allocate((int64_t)layout.totalBytes)) return StatusNoMemory;
    AlignedArray<float> buildArea;
    if (layout.buildFloats && !buildArea.Allocate((int64_t)layout.buildFloats)) return StatusNoMemory;
    char* block = blockOwner.Get();
    // Cleared whole, so the padding between the tables holds no stale heap bytes.
    if (routines.clearBlock) {
        routines.clearBlock(block, 0, layout.totalBytes);
    } else {
        std::memset(block, 0, layout.totalBytes);
    }
    RealFftSetup* setup = reinterpret_cast<RealFftSetup*>(block);
    const size_t size = size_t(1) << order;
    const size_t n = size / 2;

    setup->order = order;
    setup->forwardScaled = (scalingMode == ScaleForwardByN || scalingMode == ScaleBothBySqrtN) ? 1 : 0;
    setup->inverseScaled = (scalingMode == ScaleInverseByN || scalingMode == ScaleBothBySqrtN) ? 1 : 0;
    if (scalingMode == ScaleBothBySqrtN) {
        setup->scale = (float)(1.0 / std::sqrt((double)size));
    } else if (scalingMode == NoScaling) {
        setup->scale = 1.0f;
    } else {
        setup->scale = 1.0f / (float)size;
    }
    setup->workBufferBytes = (int32_t)layout.workBytes;
    setup->tier = tier;
    setup->row = &row;

    if (order >= 5) {
        float smallArea[257];
        const float* quarter = QuarterWaveTable(size, size <= 1024 ? smallArea : buildArea.Get());
        if (layout.passOffset) {
            float* pass = reinterpret_cast<float*>(block + layout.passOffset);
            BuildPassTwiddles(pass, n, 1, quarter, size);
            setup->passTwiddles = pass;
        }
        if (layout.splitOffset) {
            float* split = reinterpret_cast<float*>(block + layout.splitOffset);
            BuildDuplicatedRun(split, size / 4 + 1, 0, 1, quarter, size);
            setup->splitTwiddles = split;
        }
        if (layout.fineOffset) {
            float* fine = reinterpret_cast<float*>(block + layout.fineOffset);
            float* coarse = reinterpret_cast<float*>(block + layout.coarseOffset);
            BuildTwiddleRun(fine, kSplitFineCount + 8, 0, 1, quarter, size);
            BuildTwiddleRun(coarse, (size / 4) / kSplitFineCount + 2, 0, kSplitFineCount, quarter, size);
            setup->splitFine = fine;
            setup->splitCoarse = coarse;
        }
        if (wideOffset) {
            const uintptr_t at = (reinterpret_cast<uintptr_t>(block + wideOffset) + 63) & ~uintptr_t(63);
            setup->wide = BuildWideTables(reinterpret_cast<char*>(at), order, quarter, size);
        }
        if (laneOffset) {
            const uintptr_t at = (reinterpret_cast<uintptr_t>(block + laneOffset) + 63) & ~uintptr_t(63);
            float* lane = reinterpret_cast<float*>(at);
            BuildLaneTwiddles(lane, order, quarter, size, setup->forwardScaled ? setup->scale : 1.0f,
                              setup->inverseScaled ? setup->scale : 1.0f);
            setup->laneTwiddles = lane;
        }
        if (layout.planOffset) {
            LargePlan* plan = reinterpret_cast<LargePlan*>(block + layout.planOffset);
            plan->blockOrder = layout.blockOrder;
            plan->crossOrder = layout.crossOrder;
            plan->stepFineBits = layout.stepFineBits;
            float* blockTw = reinterpret_cast<float*>(block + layout.blockTwOffset);
            float* crossTw = reinterpret_cast<float*>(block + layout.crossTwOffset);
            float* stepFine = reinterpret_cast<float*>(block + layout.stepFineOffset);
            float* stepCoarse = reinterpret_cast<float*>(block + layout.stepCoarseOffset);
            const size_t n1 = size_t(1) << layout.crossOrder;
            const size_t n2 = size_t(1) << layout.blockOrder;
            BuildPassTwiddles(blockTw, n2, 1, quarter, size);
            BuildPassTwiddles(crossTw, n1, kCrossTileWidth, quarter, size);
            // Twiddles of the n-point transform: index e of w_n is index 2e of the size-point wave.
            const size_t fineCount = size_t(1) << layout.stepFineBits;
            BuildTwiddleRun(stepFine, fineCount, 0, 2, quarter, size);
            BuildTwiddleRun(stepCoarse, n / fineCount, 0, 2 * fineCount, quarter, size);
            float* stepRows = reinterpret_cast<float*>(block + layout.stepRowsOffset);
            for (size_t j1 = 0; j1 < n1; ++j1) {
                BuildTwiddleRun(stepRows + 2 * j1 * kCrossTileWidth, kCrossTileWidth, 0, 2 * j1, quarter, size);
            }
            plan->stepRows = stepRows;
            plan->blockTwiddles = blockTw;
            plan->crossTwiddles = crossTw;
            plan->stepFine = stepFine;
            plan->stepCoarse = stepCoarse;
            plan->workBlockOffset = 0;
            plan->workTileOffset = RoundUp32(n2 * 8);
            plan->workReverseOffset = plan->workTileOffset + 2 * RoundUp32(n1 * kCrossTileWidth * 8);
            setup->large = plan;
        }
    }
    setup->owned = 1;
    setup->tag = kValidSetupTag;
    *setupOut = reinterpret_cast<RealFftSetup*>(blockOwner.Release());
    return StatusOk;
}

}  // namespace fft

int32_t CreateRealFftSetup(int32_t order, int32_t scalingMode, RealFftSetup** setupOut) {
    return fft::BuildRealFftSetup(detail::ActiveKernelRow(), order, scalingMode, setupOut);
}

int32_t GetRealFftBufferSize(const RealFftSetup* setup, int32_t* bytesOut) {
    if (!setup || !bytesOut) return StatusNullPointer;
    if (setup->tag != fft::kValidSetupTag) return StatusBadSetup;
    *bytesOut = setup->workBufferBytes <= 0 ? 0 : setup->workBufferBytes + 32;
    return StatusOk;
}

int32_t ReleaseRealFftSetup(RealFftSetup* setup) {
    if (!setup) return StatusNullPointer;
    if (setup->tag != fft::kValidSetupTag) return StatusBadSetup;
    setup->tag = 0;
    if (setup->owned) FreeAligned(setup);
    return StatusOk;
}

}  // namespace sonvex
