// The interpolation routines written once over a small operations type. Each instruction-set
// file supplies its operations and its lane transpose and instantiates the routines with its own
// target flags; everything here has internal linkage so that no routine compiled for one
// instruction set is shared with another.
//
// Operations O provide: V (a vector of O::kLanes floats); kRegisters, the vector registers the
// set has in this build; Load (aligned), LoadUnaligned and Store (unaligned); Broadcast(p) of
// the float at p; Mul and Add (never fused: a fused multiply-add would change the bits); LoadMask
// of kLanes int32 lane masks; SelectCarry(current, next, mask), next where the mask is set; and
// Finish(), run on the way out of every routine.
#pragma once
#include <cstdint>
#include <type_traits>
#include <utility>

#include "dsp/kernels/interpolate.h"

namespace sonvex {
namespace detail {
namespace {

// Groups whose sums a batch keeps in flight, for channel pairs and for a single channel: as
// many as the vector registers hold without spilling a running sum. The spread groups hold a
// sum and the next frame's vector per group and channel and a mask per group; the direct
// groups a sum (and, where they carry their windows, Reach + 1 windows) per channel and an
// index per group, and their row and coefficient pointers (a general register each) bound them
// as well; the whole-step groups hold their sums alone. Eight registers carry windows in
// single-channel passes only, and keep one direct group per channel pair (with two, the pointers
// of the second no longer fit the general registers: about 10 % slower at 65 and 129 taps).
template <class O>
struct Batches {
    static constexpr int kPairGroups = O::kRegisters >= 16 ? 2 : 1;
    static constexpr int kSingleGroups = O::kRegisters >= 16 ? 4 : 2;
    static constexpr int kWholePairGroups = O::kRegisters >= 32 ? 8 : O::kRegisters >= 16 ? 4 : 2;
    static constexpr int kWholeSingleGroups = O::kRegisters >= 32 ? 16 : O::kRegisters >= 16 ? 8 : 4;
    // The whole-step groups that share their windows (SumWholeStepShared): groups per tile, the
    // channels (tiles side by side counting as channels) of one batch, and the most groups a
    // window serves whose sums the registers hold. Only 16-lane vectors share them: their
    // windows' loads, which nearly all read across a line, cost more than the broadcasts that
    // sharing adds. With 8 and 4 lanes it measured slower (64-bit, 96000 -> 48000 Hz: 8 lanes at
    // 65 taps 5.8 -> 7.4 ns per output frame, 4 lanes at 17 taps 4.2 -> 5.9), where 16 lanes
    // went from 5.8 to 4.9, and in 32-bit code from 8.3 to 6.8.
    static constexpr bool kShareWindows = O::kLanes >= 16;
    static constexpr int kSharedTileGroups = 8;
    static constexpr int SharedChannels(int k) { return O::kRegisters >= 32 ? (k <= 3 ? 8 : 4) : 2; }
    static constexpr int kMaxShared = O::kRegisters >= 32 ? 5 : 3;
    // The longest reach whose windows are carried from tap to tap, or, with kHeldBlocks, whose
    // groups hold the rows' lines (SumDirectHeld) instead.
    static constexpr int kCarriedReach = O::kRegisters >= 32 ? 4 : 3;
    static constexpr bool kHeldBlocks = O::kRegisters >= 32;
    static constexpr bool Carried(int reach) { return reach > 0 && reach < O::kLanes; }
    static constexpr int DirectPairGroups(int reach) { return Carried(reach) && O::kRegisters < 32 ? 0 : kPairGroups; }
    static constexpr int DirectSingleGroups(int reach) {
        return Carried(reach) ? (O::kRegisters >= 32 ? 4 : 1) : (O::kRegisters >= 16 ? 4 : 2);
    }
};

// Vector registers of x86 code: eight in 32-bit code whatever the set, sixteen in 64-bit code,
// thirty-two there for the AVX-512 sets.
#if defined(__x86_64__) || defined(_M_X64)
constexpr int kSseRegisters = 16, kAvx512Registers = 32;
#else
constexpr int kSseRegisters = 8, kAvx512Registers = 8;
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
    constexpr int kPair = Batches<O>::kPairGroups, kSingle = Batches<O>::kSingleGroups;
    for (; c + 2 <= channels; c += 2) {
        int64_t g = 0;
        for (; g + kPair <= count; g += kPair) SumGroups<O, kPair, 2, Carry>(lanes + c, jobs + g, taps, out + c, g);
        for (; g < count; ++g) SumGroups<O, 1, 2, Carry>(lanes + c, jobs + g, taps, out + c, g);
    }
    if (c < channels) {
        int64_t g = 0;
        for (; g + kSingle <= count; g += kSingle)
            SumGroups<O, kSingle, 1, Carry>(lanes + c, jobs + g, taps, out + c, g);
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
// offsets plus one where the int32 mask is set, Window(index, p), lane i taking p[index[i]] out
// of the kLanes floats from p on, PairIndex(offsets, d), offsets of kLanes and more moved down
// by d (where they fall in a window d frames on), Pair(index, a, b), lane i taking element
// index[i] of a and b side by side, IndexOf(n), n in every lane, AddIndex(a, b), the lanes'
// sums, and Prefetch(p), a hint to bring the coefficients at p towards the core.
//
// The groups of the direct routine: every tap's vector is a permute of the frames from the
// group's first one on, the lanes' carry folded into the permute's indices. Steps below one
// frame per output keep every lane within kLanes frames: one window of kLanes frames (Reach 0).
// Longer ones reach Reach frames further and pair the window W(t) of tap t with W(t + Reach).
// Up to a few frames that window is carried from tap to tap, as W(t + Reach) is the first one
// of tap t + Reach, so that each tap loads one window per channel; beyond (Reach = kLanes) each
// tap loads both.

// Taps ahead whose coefficients a direct group asks for: the table streams from the second-level
// cache, and the hint keeps a few lines in flight beyond what the hardware's streamer fetches.
constexpr int32_t kPrefetchTaps = 8;

template <class O, int G, int C, int Reach>
inline void SumDirect(const float* const* rows, typename O::I base, const GroupJob* jobs, int32_t taps,
                      float* const* out, int64_t at) {
    using V = typename O::V;
    constexpr int L = O::kLanes;
    constexpr bool kCarried = Reach > 0 && Reach < L;
    constexpr int kHeld = kCarried ? Reach + 1 : 1;
    const float* coefficients[G];
    typename O::I index[G];
    const float* from[G][C];
    V window[G][C][kHeld];
    V sum[G][C];
    // Tap t's vector of group g, channel c; a carried group holds W(t) .. W(t + Reach).
    const auto tapVector = [&](int g, int c, int32_t t) {
        if (Reach == 0) return O::Window(index[g], from[g][c] + t);
        if (!kCarried) return O::Pair(index[g], O::LoadUnaligned(from[g][c] + t), O::LoadUnaligned(from[g][c] + t + L));
        return O::Pair(index[g], window[g][c][0], window[g][c][kHeld - 1]);
    };
    // After tap t: W(t + 1 + Reach) comes in, the oldest goes.
    const auto carry = [&](int g, int c, int32_t t) {
        if (!kCarried) return;
        for (int j = 0; j + 1 < kHeld; ++j) window[g][c][j] = window[g][c][j + 1];
        window[g][c][kHeld - 1] = O::LoadUnaligned(from[g][c] + t + 1 + Reach);
    };
    for (int g = 0; g < G; ++g) {
        coefficients[g] = jobs[g].coefficients;
        const typename O::I carried = O::CarryIndex(base, jobs[g].mask);
        index[g] = Reach == 0 ? carried : O::PairIndex(carried, Reach);
        const V k = O::Load(coefficients[g]);
        for (int c = 0; c < C; ++c) {
            from[g][c] = rows[c] + jobs[g].row;
            if (kCarried)
                for (int j = 0; j < kHeld; ++j) window[g][c][j] = O::LoadUnaligned(from[g][c] + j);
            sum[g][c] = O::Mul(k, tapVector(g, c, 0));
            carry(g, c, 0);
        }
    }
    // Two taps per turn of the loop: its counters take issue slots on the ports that the
    // permutes, products and sums contend for (7-8 % on the kernel alone, 32- and 64-bit).
#pragma GCC unroll 2
    for (int32_t t = 1; t < taps; ++t) {
        for (int g = 0; g < G; ++g) {
            const V k = O::Load(coefficients[g] + t * L);
            O::Prefetch(coefficients[g] + (t + kPrefetchTaps) * L);
            for (int c = 0; c < C; ++c) {
                sum[g][c] = O::Add(sum[g][c], O::Mul(k, tapVector(g, c, t)));
                carry(g, c, t);
            }
        }
    }
    for (int g = 0; g < G; ++g)
        for (int c = 0; c < C; ++c) O::Store(out[c] + (at + g) * L, sum[g][c]);
}

// The direct groups up to a few frames' reach with the row's lines held instead of a window
// loaded at every tap: a window that starts inside a 64-byte line spans two, and such loads, not
// the permutes, bound the taps. Two registers hold the 16-frame blocks of the line-aligned row
// that the group's first lane is in and the one after, and a lane's index into the pair steps up
// by one a tap; as the first lane enters the next block, the pair moves on by a block. The few
// taps whose lanes reach into a third block (Reach of every 16 less one) load their two windows
// as SumDirect's uncarried groups do. The same frames as SumDirect's, in the same order of
// products and sums.
template <class O, int G, int C, int Reach>
inline void SumDirectHeld(const float* const* rows, typename O::I base, const GroupJob* jobs, int32_t taps,
                          float* const* out, int64_t at) {
    using V = typename O::V;
    using I = typename O::I;
    constexpr int L = O::kLanes;
    const I one = O::IndexOf(1);
    const float* coefficients[G];
    I offsets[G];  // each lane's frame from the group's first one (a pair's index from tap t's window)
    I index[G];    // each lane's element of the held pair
    int32_t phase[G];
    const float* from[G][C];
    V held[G][C][2];
    V sum[G][C];
    // Tap t's vector of group g, channel c, the first lane being x frames into the first block.
    const auto tapVector = [&](int g, int c, int32_t t, int32_t x) {
        if (Reach > 0 && x % L > L - Reach)
            return O::Pair(offsets[g], O::LoadUnaligned(from[g][c] + t), O::LoadUnaligned(from[g][c] + t + L));
        return O::Pair(index[g], held[g][c][0], held[g][c][1]);
    };
    for (int g = 0; g < G; ++g) {
        coefficients[g] = jobs[g].coefficients;
        phase[g] = static_cast<int32_t>((reinterpret_cast<uintptr_t>(rows[0] + jobs[g].row) / sizeof(float)) % L);
        offsets[g] = O::CarryIndex(base, jobs[g].mask);
        index[g] = O::AddIndex(offsets[g], O::IndexOf(phase[g]));
        const V k = O::Load(coefficients[g]);
        for (int c = 0; c < C; ++c) {
            from[g][c] = rows[c] + jobs[g].row;
            held[g][c][0] = O::Load(from[g][c] - phase[g]);
            held[g][c][1] = O::Load(from[g][c] - phase[g] + L);
            sum[g][c] = O::Mul(k, tapVector(g, c, 0, phase[g]));
        }
        index[g] = O::AddIndex(index[g], one);
    }
#pragma GCC unroll 2
    for (int32_t t = 1; t < taps; ++t) {
        for (int g = 0; g < G; ++g) {
            const V k = O::Load(coefficients[g] + t * L);
            O::Prefetch(coefficients[g] + (t + kPrefetchTaps) * L);
            const int32_t x = phase[g] + t;
            if (x % L == 0) {
                for (int c = 0; c < C; ++c) {
                    held[g][c][0] = held[g][c][1];
                    held[g][c][1] = O::Load(from[g][c] + t + L);
                }
                index[g] = offsets[g];
            }
            for (int c = 0; c < C; ++c) sum[g][c] = O::Add(sum[g][c], O::Mul(k, tapVector(g, c, t, x)));
            index[g] = O::AddIndex(index[g], one);
        }
    }
    for (int g = 0; g < G; ++g)
        for (int c = 0; c < C; ++c) O::Store(out[c] + (at + g) * L, sum[g][c]);
}

template <class O, int G, int C, int Reach>
inline void SumDirectBatch(const float* const* rows, typename O::I base, const GroupJob* jobs, int32_t taps,
                           float* const* out, int64_t at, bool held) {
    if constexpr (Reach < O::kLanes && Batches<O>::kHeldBlocks) {
        if (held) return SumDirectHeld<O, G, C, Reach>(rows, base, jobs, taps, out, at);
    }
    SumDirect<O, G, C, Reach>(rows, base, jobs, taps, out, at);
}

template <class O, int Reach>
void RunDirect(const float* const* rows, int channels, typename O::I base, const GroupJob* jobs, int64_t count,
               int32_t taps, float* const* out) {
    constexpr int kPair = Batches<O>::DirectPairGroups(Reach), kSingle = Batches<O>::DirectSingleGroups(Reach);
    // The held blocks are those of the first channel's row: the others must lie as it does.
    bool held = Batches<O>::kHeldBlocks;
    for (int i = 1; held && i < channels; ++i)
        held = (reinterpret_cast<uintptr_t>(rows[i]) - reinterpret_cast<uintptr_t>(rows[0])) % (O::kLanes * sizeof(float)) == 0;
    int c = 0;
    if constexpr (kPair > 0) {
        for (; c + 2 <= channels; c += 2) {
            int64_t g = 0;
            for (; g + kPair <= count; g += kPair)
                SumDirectBatch<O, kPair, 2, Reach>(rows + c, base, jobs + g, taps, out + c, g, held);
            for (; g < count; ++g) SumDirectBatch<O, 1, 2, Reach>(rows + c, base, jobs + g, taps, out + c, g, held);
        }
    }
    for (; c < channels; ++c) {
        int64_t g = 0;
        for (; g + kSingle <= count; g += kSingle)
            SumDirectBatch<O, kSingle, 1, Reach>(rows + c, base, jobs + g, taps, out + c, g, held);
        for (; g < count; ++g) SumDirectBatch<O, 1, 1, Reach>(rows + c, base, jobs + g, taps, out + c, g, held);
    }
}

template <class O>
void InterpolateDirect(const float* const* rows, int channels, const int32_t* laneBase, const GroupJob* jobs,
                       int64_t count, int32_t taps, float* const* out) {
    constexpr int L = O::kLanes;
    const typename O::I base = O::LoadIndex(laneBase);
    // Frames the last lane reaches beyond the first window, its carry included.
    const int32_t reach = laneBase[L - 1] + 2 - L;
    if (reach <= 0)
        RunDirect<O, 0>(rows, channels, base, jobs, count, taps, out);
    else if (reach == 1 && Batches<O>::kCarriedReach >= 1)
        RunDirect<O, 1>(rows, channels, base, jobs, count, taps, out);
    else if (reach == 2 && Batches<O>::kCarriedReach >= 2)
        RunDirect<O, 2>(rows, channels, base, jobs, count, taps, out);
    else if (reach == 3 && Batches<O>::kCarriedReach >= 3)
        RunDirect<O, 3>(rows, channels, base, jobs, count, taps, out);
    else if (reach == 4 && Batches<O>::kCarriedReach >= 4)
        RunDirect<O, 4>(rows, channels, base, jobs, count, taps, out);
    else
        RunDirect<O, L>(rows, channels, base, jobs, count, taps, out);
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
    // Two taps a turn, as for the direct groups: in 32-bit code, where two groups by two channels
    // are all the registers hold, the loop's counters otherwise hold it back (about 10 %).
#pragma GCC unroll 2
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

// f(std::integral_constant<int, i>()) for i = 0, 1, ...: each call's i a constant.
template <class F, int... i>
inline void ForEachIndex(F&& f, std::integer_sequence<int, i...>) {
    (f(std::integral_constant<int, i>()), ...);
}

// Whole-number steps of D frames, with each window loaded once for all the groups that read it:
// tap t of group g and tap t + S of group g - 1 (S = L D) read the same L frames, so a kernel of
// n taps meets each window in K = 1 + (n - 1) / S groups. A tile of B groups runs B + K - 1
// rounds; round b loads the windows L b + o of the D rows (t0 = D o + r = 0 .. S - 1, in that
// order) and adds each one to group b - k at tap t0 + S k, for every k whose group is in the tile
// and whose tap is in the kernel. Every group still meets its taps in ascending order (round j
// holds its taps 0 .. S - 1, round j + 1 the next S, ...), one product and one sum a tap: the
// same bits as SumWholeStep's, with about 1 / K of its loads. At most K groups by C channels hold
// sums at a time.
template <class O, int B, int K, int C>
inline void SumWholeStepShared(const float* const* phaseRows, const int64_t* tapOffset, const float* coefficients,
                               int32_t taps, int32_t share, float* const* out, int64_t first) {
    using V = typename O::V;
    constexpr int L = O::kLanes;
    V sum[B][C];
    // Taps t0 from `edge` on have no tap K - 1 shares further on.
    const int32_t edge = taps - share * (K - 1);
    const auto round = [&](auto roundIndex) {
        constexpr int b = decltype(roundIndex)::value;
        constexpr int kLow = b - B + 1 > 0 ? b - B + 1 : 0;
        constexpr int kHigh = b < K - 1 ? b : K - 1;
        const float* from[C];
        for (int c = 0; c < C; ++c) from[c] = phaseRows[c] + first + b * L;
        // The products of tap t0's windows for the groups b - k, k in kLow .. kTop.
        const auto tap = [&](int32_t t0, auto topIndex, auto firstTap) {
            constexpr int kTop = decltype(topIndex)::value;
            constexpr bool kFirst = decltype(firstTap)::value;  // t0 == 0, where group b begins
            V window[C];
            for (int c = 0; c < C; ++c) window[c] = O::LoadUnaligned(from[c] + tapOffset[t0]);
            for (int k = kLow; k <= kTop; ++k) {
                const V w = O::Broadcast(coefficients + t0 + share * k);
                for (int c = 0; c < C; ++c) {
                    const V product = O::Mul(w, window[c]);
                    sum[b - k][c] = (kFirst && k == 0) ? product : O::Add(sum[b - k][c], product);
                }
            }
        };
        using Top = std::integral_constant<int, kHigh>;
        using Below = std::integral_constant<int, kHigh < K - 1 ? kHigh : K - 2>;
        tap(0, Top(), std::true_type());
        const int32_t split = edge < share ? edge : share;
        for (int32_t t0 = 1; t0 < split; ++t0) tap(t0, Top(), std::false_type());
        if constexpr (kLow <= Below::value)
            for (int32_t t0 = split; t0 < share; ++t0) tap(t0, Below(), std::false_type());
        // Group b - K + 1 has met its last tap.
        if constexpr (b - K + 1 >= 0)
            for (int c = 0; c < C; ++c) O::Store(out[c] + first + (b - K + 1) * L, sum[b - K + 1][c]);
    };
    ForEachIndex(round, std::make_integer_sequence<int, B + K - 1>());
}

// The shared groups of one channel or a channel pair, in tiles of B groups. With registers to
// spare, V / C tiles run side by side as V channels (rows and outputs moved on by their tiles),
// so that each coefficient serves more products and more sums are in flight; the groups too few
// for V channels go V / 2 at a time, and so on down to the C channels themselves.
template <class O, int K, int C, int V>
void RunWholeStepTiles(const float* const* phaseRows, const int64_t* tapOffset, const float* coefficients,
                       int32_t taps, int32_t share, int64_t groups, float* const* out, int64_t g) {
    constexpr int L = O::kLanes, B = Batches<O>::kSharedTileGroups;
    if constexpr (V > C) {
        constexpr int kTiles = V / C;
        const float* rows[V];
        float* outs[V];
        for (int i = 0; i < kTiles; ++i)
            for (int c = 0; c < C; ++c) {
                rows[i * C + c] = phaseRows[c] + i * B * L;
                outs[i * C + c] = out[c] + i * B * L;
            }
        for (; g + kTiles * B <= groups; g += kTiles * B)
            SumWholeStepShared<O, B, K, V>(rows, tapOffset, coefficients, taps, share, outs, g * L);
        RunWholeStepTiles<O, K, C, V / 2>(phaseRows, tapOffset, coefficients, taps, share, groups, out, g);
    } else {
        for (; g + B <= groups; g += B)
            SumWholeStepShared<O, B, K, C>(phaseRows, tapOffset, coefficients, taps, share, out, g * L);
        for (; g < groups; ++g)
            SumWholeStepShared<O, 1, K, C>(phaseRows, tapOffset, coefficients, taps, share, out, g * L);
    }
}

template <class O, int K>
void RunWholeStepShared(const float* const* phaseRows, int channels, const int64_t* tapOffset,
                        const float* coefficients, int32_t taps, int32_t share, int64_t groups, float* const* out) {
    int c = 0;
    for (; c + 2 <= channels; c += 2)
        RunWholeStepTiles<O, K, 2, Batches<O>::SharedChannels(K)>(phaseRows + c, tapOffset, coefficients, taps, share,
                                                                groups, out + c, 0);
    for (; c < channels; ++c)
        RunWholeStepTiles<O, K, 1, Batches<O>::SharedChannels(K)>(phaseRows + c, tapOffset, coefficients, taps, share,
                                                                groups, out + c, 0);
}

template <class O>
void InterpolateWholeStep(const float* const* phaseRows, int channels, const int64_t* tapOffset,
                          const float* coefficients, int32_t taps, int64_t groups, float* const* out) {
    constexpr int L = O::kLanes;
    constexpr int kPair = Batches<O>::kWholePairGroups, kSingle = Batches<O>::kWholeSingleGroups;
    if constexpr (Batches<O>::kShareWindows) {
        // D is the first tap whose window lies one frame on in row 0.
        int32_t rows = 1;
        while (rows < taps && tapOffset[rows] != tapOffset[0] + 1) ++rows;
        const int32_t share = L * rows;
        // Below three groups a window the shared tiles hold too few sums in flight to pay; beyond
        // kMaxShared, more than the registers hold.
        const int32_t reuse = rows < taps ? 1 + (taps - 1) / share : 1;
        if (reuse >= 3 && reuse <= Batches<O>::kMaxShared) {
            if (reuse == 3)
                RunWholeStepShared<O, 3>(phaseRows, channels, tapOffset, coefficients, taps, share, groups, out);
            if constexpr (Batches<O>::kMaxShared >= 4) {
                if (reuse == 4)
                    RunWholeStepShared<O, 4>(phaseRows, channels, tapOffset, coefficients, taps, share, groups, out);
                if (reuse == 5)
                    RunWholeStepShared<O, 5>(phaseRows, channels, tapOffset, coefficients, taps, share, groups, out);
            }
            O::Finish();
            return;
        }
    }
    int c = 0;
    for (; c + 2 <= channels; c += 2) {
        int64_t g = 0;
        for (; g + kPair <= groups; g += kPair)
            SumWholeStep<O, kPair, 2>(phaseRows + c, tapOffset, coefficients, taps, out + c, g * L);
        for (; g < groups; ++g) SumWholeStep<O, 1, 2>(phaseRows + c, tapOffset, coefficients, taps, out + c, g * L);
    }
    if (c < channels) {
        int64_t g = 0;
        for (; g + kSingle <= groups; g += kSingle)
            SumWholeStep<O, kSingle, 1>(phaseRows + c, tapOffset, coefficients, taps, out + c, g * L);
        for (; g < groups; ++g) SumWholeStep<O, 1, 1>(phaseRows + c, tapOffset, coefficients, taps, out + c, g * L);
    }
    O::Finish();
}

}  // namespace
}  // namespace detail
}  // namespace sonvex
