// What this processor's 512-bit units sustain, for the limits that the FFT and resampler figures
// are measured against: independent chains of additions, products (mul or fused multiply-add),
// two-source lane permutes, the shuffles of a transpose, loads and stores, alone and in the mixes
// of our routines. Each pattern runs its operations on registers of their own (no chain waits on
// another), and the best of several runs counts. Prints nanoseconds per pattern and operations
// per nanosecond, and from them the least time of our FFT pairs in the 64- and 32-bit builds.
//   vector_ceilings   (needs AVX-512F; prints why not where it is missing)
#include <immintrin.h>

#include <chrono>
#include <cstddef>
#include <cstdio>

#include "dsp/kernels/aligned_array.h"
#include "dsp/kernels/fft_internal.h"
#include "tests/support/bench_report.h"

namespace {

using Clock = std::chrono::steady_clock;

// Where the loads and stores go: 8 KB, in the first-level cache; 64-byte aligned.
alignas(64) float g_area[2048];

// Operation I of a round on its own register: an addition, a product or a permute (kTranspose:
// the shuffles of our transposes instead, in-lane unpacks and 128-bit block shuffles in turn), or
// none beyond the round's A + M + P operations.
template <int I, int A, int M, int P, bool kTranspose>
__attribute__((target("avx512f"), always_inline)) inline void Step(__m512& r, __m512 c, __m512i index) {
    if constexpr (I < A)
        r = _mm512_add_ps(r, c);
    else if constexpr (I < A + M)
        r = _mm512_fmadd_ps(r, c, c);
    else if constexpr (I < A + M + P && kTranspose && I % 2 == 0)
        r = _mm512_unpacklo_ps(r, c);
    else if constexpr (I < A + M + P && kTranspose)
        r = _mm512_shuffle_f32x4(r, c, 0x88);
    else if constexpr (I < A + M + P)
        r = _mm512_permutex2var_ps(r, index, c);
}

// The 24 registers of a round, named so that they stay registers.
#define CEILING_REGISTERS(X)                                                                      \
    X(0) X(1) X(2) X(3) X(4) X(5) X(6) X(7) X(8) X(9) X(10) X(11) X(12) X(13) X(14) X(15) X(16) \
        X(17) X(18) X(19) X(20) X(21) X(22) X(23)
#define CEILING_DECLARE(i) __m512 r##i = _mm512_set1_ps(1.0f + 0.001f * i);
#define CEILING_STEP(i) Step<i, A, M, P, kTranspose>(r##i, c, index);
#define CEILING_SUM(i) sum = _mm512_add_ps(sum, r##i);

// One round: A additions, M products, P permutes (or transpose shuffles), L loads, U loads
// straddling a cache line and S stores, on A + M + P <= 24 registers of their own.
template <int A, int M, int P, int L, int U, int S, bool kTranspose = false>
__attribute__((target("avx512f"), noinline)) float RunPattern(long rounds) {
    static_assert(A + M + P <= 24 && L + U <= 8 && S <= 8, "registers and area of the pattern");
    CEILING_REGISTERS(CEILING_DECLARE)
    const __m512 c = _mm512_set1_ps(1e-7f);
    const __m512i index = _mm512_set_epi32(3, 19, 5, 21, 7, 23, 1, 17, 0, 16, 2, 18, 4, 20, 6, 22);
    for (long n = 0; n < rounds; ++n) {
        CEILING_REGISTERS(CEILING_STEP)
        // Loads into a register that stays as it is; the straddling ones one float past a line.
#pragma GCC unroll 8
        for (int i = 0; i < L + U; ++i) {
            const __m512 v = _mm512_loadu_ps(g_area + 16 * (i & 3) + (i < L ? 0 : 1) + ((n + 4) & 7) * 64);
            asm volatile("" : : "v"(v));
        }
        float* at = g_area + (n & 7) * 64;
        if constexpr (S > 0) _mm512_store_ps(at, r0);
        if constexpr (S > 1) _mm512_store_ps(at + 16, r1);
        if constexpr (S > 2) _mm512_store_ps(at + 32, r2);
        if constexpr (S > 3) _mm512_store_ps(at + 48, r3);
        if constexpr (S > 4) _mm512_store_ps(at + 512, r4);
        if constexpr (S > 5) _mm512_store_ps(at + 528, r5);
        if constexpr (S > 6) _mm512_store_ps(at + 544, r6);
        if constexpr (S > 7) _mm512_store_ps(at + 560, r7);
        // Keeps every register live and the loop from being folded.
        asm volatile("" : "+v"(r0), "+v"(r1), "+v"(r2), "+v"(r3), "+v"(r4), "+v"(r5), "+v"(r6), "+v"(r7),
                     "+v"(r8), "+v"(r9), "+v"(r10), "+v"(r11));
        asm volatile("" : "+v"(r12), "+v"(r13), "+v"(r14), "+v"(r15), "+v"(r16), "+v"(r17), "+v"(r18),
                     "+v"(r19), "+v"(r20), "+v"(r21), "+v"(r22), "+v"(r23));
    }
    __m512 sum = _mm512_setzero_ps();
    CEILING_REGISTERS(CEILING_SUM)
    return _mm512_reduce_add_ps(sum);
}

__attribute__((target("avx512f"), noinline)) float RunLatency(long rounds) {
    __m512 v = _mm512_set1_ps(1.0f);
    const __m512 c = _mm512_set1_ps(1e-7f);
    for (long n = 0; n < rounds; ++n) {
        v = _mm512_add_ps(v, c);
        asm volatile("" : "+v"(v));
    }
    return _mm512_reduce_add_ps(v);
}

template <class F>
double BestNanoseconds(F run, long rounds, float& sink) {
    double best = 1e300;
    for (int attempt = 0; attempt < 7; ++attempt) {
        const auto start = Clock::now();
        sink += run(rounds);
        const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
        if (ns < best) best = ns;
    }
    return best / static_cast<double>(rounds);
}

// Prints the pattern's time and returns its operations per ns.
template <int A, int M, int P, int L, int U, int S, bool kTranspose = false>
double Report(const char* what, float& sink) {
    const double ns = BestNanoseconds(RunPattern<A, M, P, L, U, S, kTranspose>, 2000000, sink);
    const double rate = (A + M + P + L + U + S) / ns;
    std::printf("  %-44s %2d %2d %2d %2d %2d %2d %8.3f %8.2f\n", what, A, M, P, L, U, S, ns, rate);
    return rate;
}

// Instructions of one unit of our 16-lane routines in the 64-bit build, counted from their code.
struct Unit {
    int additions, products, permutes, loads, stores;
    int Operations() const { return additions + products + permutes + loads + stores; }
};
// Products are what runs on the multiply-add units, the additions written as multiply-adds
// among them.
constexpr Unit kRadix8{45, 40, 0, 30, 16};         // twiddled butterfly over eight points
constexpr Unit kRadix8Last{29, 28, 0, 16, 16};     // the last pass's, without twiddles
constexpr Unit kRadix4{16, 12, 0, 14, 8};
constexpr Unit kRadix4Last{16, 0, 0, 8, 8};
constexpr Unit kLaneBlock{97, 128, 128, 64, 32};  // lane step, 16 points (the inverse: 32 more permutes)
constexpr Unit kSplitPair{8, 8, 6, 11, 4};        // split step or inverse pre-step, two points
constexpr Unit kStereoTap{2, 2, 2, 1, 0};         // interpolation tap of a 16-frame stereo group

// Stores of the same units in the 32-bit build, counted in its compiled routines: with eight
// vector registers, the values that do not fit go through the routines' staging areas or the
// compiler's spills, on top of the outputs. Its arithmetic is the 64-bit build's.
struct Stores32 {
    int radix8First, radix8, radix8Inverse, radix4First, radix4, radix4Last, laneForward, laneInverse, splitPair,
        preStepPair;
};
constexpr Stores32 kStores32{34, 38, 42, 15, 10, 9, 124, 135, 6, 7};

int PassStores32(const Stores32& s, int32_t radix, bool first, bool last, bool inverse) {
    if (radix == 8) return first ? s.radix8First : inverse ? s.radix8Inverse : s.radix8;
    return first ? s.radix4First : last ? s.radix4Last : s.radix4;
}

// The least time of a forward-and-inverse pair of 2^order points at the measured rates of the
// routines' mixes, every value in the first-level cache; with `stores32`, the 32-bit build's plan
// and each of its stores beyond the 64-bit count at `storeNs`.
double PairCeiling(int32_t order, double rate8, double rate4, double rateLane, double rateSplit,
                   const Stores32* stores32 = nullptr, double storeNs = 0) {
    const size_t points = (size_t(1) << (order - 1)) / 16;  // of 16 complex values
    const sonvex::fft::WidePlan plan = sonvex::fft::WidePlanFor(order, stores32 != nullptr);
    // Time of `count` units, and of their stores beyond the 64-bit count in the 32-bit build.
    const auto units = [&](size_t count, const Unit& unit, int extraOperations, double rate, int stores) {
        const double beyond = stores32 ? (stores - unit.stores) * storeNs : 0.0;
        return count * ((unit.Operations() + extraOperations) / rate + beyond);
    };
    double ns = 0;
    for (int direction = 0; direction < 2; ++direction) {
        const bool inverse = direction == 1;
        for (int32_t i = 0; i < plan.passes; ++i) {
            const bool last = i + 1 == plan.passes;
            const bool first = i == 0 && !inverse;  // reads the caller's interleaved values
            const int32_t radix = plan.radix[i];
            const Unit& unit = radix == 8 ? (last ? kRadix8Last : kRadix8) : (last ? kRadix4Last : kRadix4);
            const int stores = stores32 ? PassStores32(*stores32, radix, first, last, inverse) : 0;
            ns += units(points / (size_t)radix, unit, 0, radix == 8 ? rate8 : rate4, stores);
        }
        // The inverse lane block has 32 more permutes.
        ns += units(points / 16, kLaneBlock, inverse ? 32 : 0, rateLane,
                    stores32 ? (inverse ? stores32->laneInverse : stores32->laneForward) : 0);
        ns += units(points / 2, kSplitPair, 0, rateSplit,
                    stores32 ? (inverse ? stores32->preStepPair : stores32->splitPair) : 0);
    }
    return ns;
}

// One sweep of a transform's pass over 2^order real values: every 64-byte vector of one array
// read, turned by an addition and written to another (each 4 * 2^order bytes, beyond the
// first-level cache from 2^14, beyond the second from 2^17). Best of several, in ns.
__attribute__((target("avx512f"))) double SweepNanoseconds(int32_t order, float& sink) {
    const int64_t floats = int64_t(1) << order;
    sonvex::AlignedArray<float, sonvex::BlockAlignment::CacheLine> arrays[2];
    if (!arrays[0].Allocate(floats) || !arrays[1].Allocate(floats)) return 0;
    for (auto& array : arrays)
        for (int64_t i = 0; i < floats; ++i) array.Get()[i] = 1.0f;
    const __m512 c = _mm512_set1_ps(1e-7f);
    double best = 1e300;
    for (int attempt = 0; attempt < 9; ++attempt) {
        const float* from = arrays[attempt % 2].Get();
        float* to = arrays[1 - attempt % 2].Get();
        const auto start = Clock::now();
        for (int64_t i = 0; i < floats; i += 16) _mm512_store_ps(to + i, _mm512_add_ps(_mm512_load_ps(from + i), c));
        const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
        if (ns < best) best = ns;
    }
    sink += arrays[1].Get()[floats / 2];
    return best;
}

}  // namespace

int main() {
    std::printf("processor: %s\n", sonvex_bench::ProcessorReport().c_str());
    if ((sonvex::detail::DetectedProcessorFeatures().features & sonvex::detail::CpuAvx512f) == 0) {
        std::printf("vector ceilings: no AVX-512F here (or the system does not keep its state), nothing to measure\n");
        return 0;
    }
    float sink = 0;
    const double latency = BestNanoseconds(RunLatency, 20000000, sink);
    std::printf("512-bit ceilings of this processor, best of 7 runs; one dependent addition takes %.3f ns\n", latency);
    std::printf("  %-44s %2s %2s %2s %2s %2s %2s %8s %8s\n", "pattern (operations per round)", "A", "M", "P", "L", "U",
                "S", "ns", "ops/ns");
    std::printf("  (A additions, M products, P two-source permutes or, where named, transpose shuffles, L loads,\n"
                "   U loads across a line, S stores)\n");
    Report<16, 0, 0, 0, 0, 0>("additions", sink);
    Report<0, 16, 0, 0, 0, 0>("products", sink);
    Report<0, 0, 16, 0, 0, 0>("permutes", sink);
    Report<0, 0, 0, 8, 0, 0>("loads", sink);
    Report<0, 0, 0, 0, 8, 0>("loads across a line", sink);
    Report<8, 0, 0, 0, 0, 8>("stores (with additions to store)", sink);
    const double roundNs = 16 / Report<8, 8, 0, 0, 0, 0>("additions + products", sink);
    Report<8, 0, 8, 0, 0, 0>("additions + permutes", sink);
    Report<0, 8, 8, 0, 0, 0>("products + permutes", sink);
    Report<0, 0, 16, 0, 0, 0, true>("transpose shuffles", sink);
    Report<8, 0, 8, 0, 0, 0, true>("additions + transpose shuffles", sink);
    Report<0, 8, 8, 0, 0, 0, true>("products + transpose shuffles", sink);
    const double roundWithStoresNs = 24 / Report<8, 8, 0, 0, 0, 8>("additions + products + stores", sink);
    // What a store adds to a round of additions and products.
    const double storeNs = (roundWithStoresNs - roundNs) / 8;
    // The mixes of our routines, their units' proportions (above) scaled to a round, and three
    // taps of a stereo 16-lane interpolation group (each two permutes, two products, two sums
    // and a coefficient load; the blocks the permutes pick from are loaded once in 16 taps, and
    // the integer step of the permutes' index is left out) and two taps of four whole-number
    // step groups
    // (products, sums, window loads). Enough registers in each that no chain's latency holds
    // the round back.
    const double rateLane = Report<6, 8, 8, 4, 0, 2, true>("FFT lane step", sink);
    const double rate8 = Report<9, 8, 0, 6, 0, 3>("FFT radix-8 butterfly", sink);
    const double rate4 = Report<8, 6, 0, 7, 0, 4>("FFT radix-4 butterfly", sink);
    const double rateSplit = Report<8, 8, 6, 8, 0, 4>("FFT split step", sink);
    const double rateTaps = Report<6, 6, 6, 3, 0, 0>("interpolation, three taps of two channels", sink);
    Report<8, 8, 0, 0, 8, 0>("whole-step, two taps of four groups", sink);

    std::printf("\nceilings of our routines at these rates (64-bit build, values in the first-level cache)\n");
    std::printf("  real FFT, forward + inverse, 16-lane routines:");
    for (int32_t order = sonvex::fft::kWideMinOrder; order <= sonvex::fft::kWideMaxOrder; ++order)
        std::printf(" 2^%d %.2f us%s", order, PairCeiling(order, rate8, rate4, rateLane, rateSplit) / 1000.0,
                    order < sonvex::fft::kWideMaxOrder ? "," : "\n");
    std::printf("  the same in the 32-bit build, its plans and its %.2f ns for each store beyond those (8 registers):", storeNs);
    for (int32_t order = sonvex::fft::kWideMinOrder; order <= 14; ++order)
        std::printf(" 2^%d %.2f us%s", order,
                    PairCeiling(order, rate8, rate4, rateLane, rateSplit, &kStores32, storeNs) / 1000.0,
                    order < 14 ? "," : "\n");
    std::printf("  one sweep over the values of a transform (read one array, write another):");
    for (int32_t order = 14; order <= sonvex::fft::kWideMaxOrder; ++order)
        std::printf(" 2^%d %.1f us%s", order, SweepNanoseconds(order, sink) / 1000.0,
                    order < sonvex::fft::kWideMaxOrder ? "," : "\n");
    std::printf("  interpolation, 65 taps, stereo: %.2f ns per output frame\n",
                65 * kStereoTap.Operations() / rateTaps / 16);
    return sink == 0.125f ? 1 : 0;
}
