// The interpolation routines written once over a small operations type. Each instruction-set
// file supplies its operations and its lane transpose and instantiates the routines with its own
// target flags; everything here has internal linkage so that no routine compiled for one
// instruction set is shared with another.
//
// Operations O provide: V (a vector of O::kLanes floats); Load (aligned), LoadUnaligned and Store
// (unaligned); Broadcast(p) of the float at p; Mul and Add (never fused: a fused multiply-add
// would change the bits); LoadMask of kLanes int32 lane masks; SelectCarry(current, next, mask),
// next where the mask is set; and Finish(), run on the way out of every routine.
#pragma once
#include <cstdint>

#include "dsp/kernels/interpolate.h"

namespace sonvex {
namespace detail {
namespace {

// Groups whose sums a batch keeps in flight, for channel pairs and for a single channel: as
// many as the vector registers hold without spilling a running sum (16 registers in 64-bit
// code, 8 in 32-bit code).
#if defined(__x86_64__) || defined(_M_X64)
constexpr int kPairGroups = 2, kSingleGroups = 4, kWholePairGroups = 4, kWholeSingleGroups = 8;
#else
constexpr int kPairGroups = 1, kSingleGroups = 2, kWholePairGroups = 2, kWholeSingleGroups = 4;
#endif

template <class O, bool Carry>
inline typename O::V SelectFrame(typename O::V current, typename O::V next, typename O::V mask) {
    return Carry ? O::SelectCarry(current, next, mask) : current;
}

// G groups by C channels of running sums in flight: enough independent additions to hide
// their latency, few enough to stay in registers. Lanes whose start phase carries read the
// next frame (the select by the group's mask).
template <class O, int G, int C, bool Carry>
inline void SumGroups(const float* const* lanes, const GroupJob* jobs, int32_t taps, float* const* out, int64_t at) {
    using V = typename O::V;
    constexpr int L = O::kLanes;
    const float* coefficients[G];
    V mask[G];
    const float* rows[G][C];
    V next[G][C];
    V sum[G][C];
    for (int g = 0; g < G; ++g) {
        coefficients[g] = jobs[g].coefficients;
        mask[g] = O::LoadMask(jobs[g].mask);
        const V k = O::Load(coefficients[g]);
        for (int c = 0; c < C; ++c) {
            rows[g][c] = lanes[c] + jobs[g].row * L;
            next[g][c] = O::Load(rows[g][c] + L);
            sum[g][c] = O::Mul(k, SelectFrame<O, Carry>(O::Load(rows[g][c]), next[g][c], mask[g]));
        }
    }
    for (int32_t t = 1; t < taps; ++t) {
        for (int g = 0; g < G; ++g) {
            const V k = O::Load(coefficients[g] + t * L);
            for (int c = 0; c < C; ++c) {
                const V current = next[g][c];
                next[g][c] = O::Load(rows[g][c] + (t + 1) * L);
                sum[g][c] = O::Add(sum[g][c], O::Mul(k, SelectFrame<O, Carry>(current, next[g][c], mask[g])));
            }
        }
    }
    for (int g = 0; g < G; ++g)
        for (int c = 0; c < C; ++c) O::Store(out[c] + (at + g) * L, sum[g][c]);
}

template <class O, bool Carry>
void RunGroups(const float* const* lanes, int channels, const GroupJob* jobs, int64_t count, int32_t taps,
               float* const* out) {
    int c = 0;
    for (; c + 2 <= channels; c += 2) {
        int64_t g = 0;
        for (; g + kPairGroups <= count; g += kPairGroups)
            SumGroups<O, kPairGroups, 2, Carry>(lanes + c, jobs + g, taps, out + c, g);
        for (; g < count; ++g) SumGroups<O, 1, 2, Carry>(lanes + c, jobs + g, taps, out + c, g);
    }
    if (c < channels) {
        int64_t g = 0;
        for (; g + kSingleGroups <= count; g += kSingleGroups)
            SumGroups<O, kSingleGroups, 1, Carry>(lanes + c, jobs + g, taps, out + c, g);
        for (; g < count; ++g) SumGroups<O, 1, 1, Carry>(lanes + c, jobs + g, taps, out + c, g);
    }
}

template <class O>
void InterpolateGroups(const float* const* lanes, int channels, const GroupJob* jobs, int64_t count, int32_t taps,
                       bool carry, float* const* out) {
    // Without any carrying lane in the table (whole-number step ratios) the select is skipped.
    if (carry)
        RunGroups<O, true>(lanes, channels, jobs, count, taps, out);
    else
        RunGroups<O, false>(lanes, channels, jobs, count, taps, out);
    O::Finish();
}

// Operations with a lane permute provide instead of the mask and the select: I (a vector of
// kLanes int32 frame offsets), LoadIndex of kLanes int32 offsets, CarryIndex(base, mask), the
// offsets plus one where the int32 mask is set, and Window(index, p), lane i taking p[index[i]]
// out of the kLanes floats from p on.
//
// The groups of the direct routine: every tap's vector is a permute of the kLanes frames from
// the group's first one on, the lanes' carry folded into the permute's indices.
template <class O, int G, int C>
inline void SumDirect(const float* const* rows, typename O::I base, const GroupJob* jobs, int32_t taps,
                      float* const* out, int64_t at) {
    using V = typename O::V;
    constexpr int L = O::kLanes;
    const float* coefficients[G];
    typename O::I index[G];
    const float* from[G][C];
    V sum[G][C];
    for (int g = 0; g < G; ++g) {
        coefficients[g] = jobs[g].coefficients;
        index[g] = O::CarryIndex(base, jobs[g].mask);
        const V k = O::Load(coefficients[g]);
        for (int c = 0; c < C; ++c) {
            from[g][c] = rows[c] + jobs[g].row;
            sum[g][c] = O::Mul(k, O::Window(index[g], from[g][c]));
        }
    }
    for (int32_t t = 1; t < taps; ++t) {
        for (int g = 0; g < G; ++g) {
            const V k = O::Load(coefficients[g] + t * L);
            for (int c = 0; c < C; ++c)
                sum[g][c] = O::Add(sum[g][c], O::Mul(k, O::Window(index[g], from[g][c] + t)));
        }
    }
    for (int g = 0; g < G; ++g)
        for (int c = 0; c < C; ++c) O::Store(out[c] + (at + g) * L, sum[g][c]);
}

template <class O>
void InterpolateDirect(const float* const* rows, int channels, const int32_t* laneBase, const GroupJob* jobs,
                       int64_t count, int32_t taps, float* const* out) {
    const typename O::I base = O::LoadIndex(laneBase);
    int c = 0;
    for (; c + 2 <= channels; c += 2) {
        int64_t g = 0;
        for (; g + kPairGroups <= count; g += kPairGroups)
            SumDirect<O, kPairGroups, 2>(rows + c, base, jobs + g, taps, out + c, g);
        for (; g < count; ++g) SumDirect<O, 1, 2>(rows + c, base, jobs + g, taps, out + c, g);
    }
    if (c < channels) {
        int64_t g = 0;
        for (; g + kSingleGroups <= count; g += kSingleGroups)
            SumDirect<O, kSingleGroups, 1>(rows + c, base, jobs + g, taps, out + c, g);
        for (; g < count; ++g) SumDirect<O, 1, 1>(rows + c, base, jobs + g, taps, out + c, g);
    }
    O::Finish();
}

// G groups by C channels of sums in flight; one broadcast coefficient serves all of them.
template <class O, int G, int C>
inline void SumWholeStep(const float* const* phaseRows, const int64_t* tapOffset, const float* coefficients,
                         int32_t taps, float* const* out, int64_t first) {
    using V = typename O::V;
    constexpr int L = O::kLanes;
    V sum[G][C];
    {
        const V k = O::Broadcast(coefficients);
        for (int g = 0; g < G; ++g)
            for (int c = 0; c < C; ++c)
                sum[g][c] = O::Mul(k, O::LoadUnaligned(phaseRows[c] + tapOffset[0] + first + g * L));
    }
    for (int32_t t = 1; t < taps; ++t) {
        const V k = O::Broadcast(coefficients + t);
        const int64_t offset = tapOffset[t] + first;
        for (int g = 0; g < G; ++g)
            for (int c = 0; c < C; ++c)
                sum[g][c] = O::Add(sum[g][c], O::Mul(k, O::LoadUnaligned(phaseRows[c] + offset + g * L)));
    }
    for (int g = 0; g < G; ++g)
        for (int c = 0; c < C; ++c) O::Store(out[c] + first + g * L, sum[g][c]);
}

template <class O>
void InterpolateWholeStep(const float* const* phaseRows, int channels, const int64_t* tapOffset,
                          const float* coefficients, int32_t taps, int64_t groups, float* const* out) {
    constexpr int L = O::kLanes;
    int c = 0;
    for (; c + 2 <= channels; c += 2) {
        int64_t g = 0;
        for (; g + kWholePairGroups <= groups; g += kWholePairGroups)
            SumWholeStep<O, kWholePairGroups, 2>(phaseRows + c, tapOffset, coefficients, taps, out + c, g * L);
        for (; g < groups; ++g) SumWholeStep<O, 1, 2>(phaseRows + c, tapOffset, coefficients, taps, out + c, g * L);
    }
    if (c < channels) {
        int64_t g = 0;
        for (; g + kWholeSingleGroups <= groups; g += kWholeSingleGroups)
            SumWholeStep<O, kWholeSingleGroups, 1>(phaseRows + c, tapOffset, coefficients, taps, out + c, g * L);
        for (; g < groups; ++g) SumWholeStep<O, 1, 1>(phaseRows + c, tapOffset, coefficients, taps, out + c, g * L);
    }
    O::Finish();
}

}  // namespace
}  // namespace detail
}  // namespace sonvex
