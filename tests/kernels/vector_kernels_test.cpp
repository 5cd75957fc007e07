#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "dsp/kernels/dispatch.h"
#include "dsp/kernels/kernels.h"
#include "tests/support/kernel_versions.h"

using sonvex::ComplexMagnitudes;
using sonvex::ComplexPhases;
using sonvex::MultiplyVectors;

namespace {

constexpr float kPi = 3.1415927f;
constexpr float kHalfPi = 1.5707964f;
constexpr float kGuardValue = -12345.5f;
constexpr int kPad = 16;

uint32_t Bits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// Distance in units of the last place between two finite floats of the same sign.
int64_t UlpDistance(float a, float b) { return std::llabs((int64_t)Bits(a) - (int64_t)Bits(b)); }

using sonvex::KernelVersion;

// Runs every test body once per kernel row this processor can execute.
class EveryRow : public ::testing::TestWithParam<const sonvex::detail::KernelRow*> {
protected:
    void SetUp() override {
        if (!sonvex_test::RowUnderTest(*GetParam())) GTEST_SKIP() << GetParam()->name << " not tried on this processor";
        m_forced.reset(new sonvex_test::ForcedRow(*GetParam()));
        ASSERT_EQ(&sonvex::detail::ActiveKernelRow(), GetParam());
    }
    void TearDown() override { m_forced.reset(); }

private:
    std::unique_ptr<sonvex_test::ForcedRow> m_forced;
};

// A float buffer with guard values on both sides of the `count` floats at `offset`.
struct Guarded {
    std::vector<float> storage;
    size_t offset;
    size_t count;
    Guarded(size_t count, size_t offset) : storage(count + offset + 2 * kPad, kGuardValue),
                                           offset(offset), count(count) {}
    float* data() { return storage.data() + kPad + offset; }
    bool GuardsIntact() const {
        for (size_t i = 0; i < storage.size(); ++i) {
            const bool inside = i >= kPad + offset && i < kPad + offset + count;
            if (!inside && storage[i] != kGuardValue) return false;
        }
        return true;
    }
    bool Untouched() const {
        for (float v : storage)
            if (v != kGuardValue) return false;
        return true;
    }
};

std::vector<float> RandomValues(size_t n, uint32_t seed, bool withZeros) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> mantissa(-1.0f, 1.0f);
    std::uniform_int_distribution<int> exponent(-20, 20);
    std::vector<float> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = std::ldexp(mantissa(rng), exponent(rng));
    if (withZeros)
        for (size_t i = 0; i < n; i += 13) v[i] = 0.0f;
    return v;
}

// Correctly rounded single-precision reference for the magnitude of one bin.
float ReferenceMagnitude(float re, float im) {
    const float s = re * re + im * im;
    return (float)std::sqrt((double)s);
}

// Taken during static initialisation, before anything chooses a version.
const KernelVersion g_versionAtLoad = sonvex::ActiveKernelVersion();
const float g_magnitudeAtLoad = [] {
    const float in[2] = {3, 4};
    float out = 0;
    return ComplexMagnitudes(in, &out, 1) == sonvex::StatusOk ? out : -1.0f;
}();

TEST(Dispatch, BaselineServesCallsBeforeTheVersionIsChosen) {
    EXPECT_EQ(g_versionAtLoad, KernelVersion::Baseline);
    EXPECT_LE(UlpDistance(g_magnitudeAtLoad, 5.0f), 3);
}

TEST_P(EveryRow, MultiplyIsTheExactSinglePrecisionProduct) {
    for (int count = 1; count <= 40; ++count)
        for (size_t offset = 0; offset < 8; ++offset) {
            const std::vector<float> a = RandomValues(count + 8, count * 31 + offset, false);
            const std::vector<float> b = RandomValues(count + 8, count * 17 + offset + 1, false);
            Guarded out(count, offset);
            // The inputs sit at other offsets than the output, so loads are misaligned too.
            const float* pa = a.data() + (offset + 3) % 8;
            const float* pb = b.data() + (offset * 5) % 8;
            ASSERT_EQ(MultiplyVectors(pa, pb, out.data(), count), sonvex::StatusOk);
            for (int i = 0; i < count; ++i)
                ASSERT_EQ(Bits(out.data()[i]), Bits(pa[i] * pb[i])) << count << "/" << offset << "/" << i;
            ASSERT_TRUE(out.GuardsIntact()) << count << "/" << offset;
        }
}

TEST_P(EveryRow, MultiplyInPlace) {
    std::vector<float> a = RandomValues(37, 5, true);
    const std::vector<float> original = a;
    const std::vector<float> b = RandomValues(37, 6, false);
    ASSERT_EQ(MultiplyVectors(a.data(), b.data(), a.data(), 37), sonvex::StatusOk);
    for (int i = 0; i < 37; ++i) EXPECT_EQ(Bits(a[i]), Bits(original[i] * b[i])) << i;
    std::vector<float> c = original;
    ASSERT_EQ(MultiplyVectors(b.data(), c.data() + 1, c.data() + 1, 36), sonvex::StatusOk);
    EXPECT_EQ(Bits(c[0]), Bits(original[0]));
    for (int i = 1; i < 37; ++i) EXPECT_EQ(Bits(c[i]), Bits(b[i - 1] * original[i])) << i;
}

TEST_P(EveryRow, MagnitudesWithinThreeUlpsAndExactZeros) {
    for (int count = 1; count <= 40; ++count)
        for (size_t offset = 0; offset < 8; ++offset) {
            const std::vector<float> in = RandomValues(2 * count + 8, count * 7 + offset, true);
            const float* src = in.data() + (offset * 3) % 8;
            Guarded out(count, offset);
            ASSERT_EQ(ComplexMagnitudes(src, out.data(), count), sonvex::StatusOk);
            for (int k = 0; k < count; ++k) {
                const float expected = ReferenceMagnitude(src[2 * k], src[2 * k + 1]);
                const float got = out.data()[k];
                if (expected == 0.0f)
                    ASSERT_EQ(Bits(got), 0u) << count << "/" << offset << "/" << k;
                else
                    ASSERT_LE(UlpDistance(got, expected), 3) << count << "/" << offset << "/" << k
                                                             << ": " << got << " vs " << expected;
            }
            ASSERT_TRUE(out.GuardsIntact()) << count << "/" << offset;
        }
}

TEST_P(EveryRow, MagnitudesOfSmallVectorsZeroBinsAndExtremes) {
    const float in[] = {3, 4, 0, 0, -1, 0};
    for (size_t offset = 0; offset < 8; ++offset) {
        Guarded out(3, offset);
        ASSERT_EQ(ComplexMagnitudes(in, out.data(), 3), sonvex::StatusOk);
        EXPECT_LE(UlpDistance(out.data()[0], 5.0f), 3);
        EXPECT_EQ(Bits(out.data()[1]), 0u);
        EXPECT_LE(UlpDistance(out.data()[2], 1.0f), 3);
        EXPECT_TRUE(out.GuardsIntact());
    }
    // A zero bin inside a whole group is exactly 0 and leaves its neighbours as they would be
    // on their own.
    std::vector<float> group = {3, 4, 0, 0, -1, 0, 6, 8, 0, -2, 1, 1, 5, 12, 0.5f, 0};
    std::vector<float> mags(8);
    ASSERT_EQ(ComplexMagnitudes(group.data(), mags.data(), 8), sonvex::StatusOk);
    const float exact[] = {5, 0, 1, 10, 2, std::sqrt(2.0f), 13, 0.5f};
    for (int k = 0; k < 8; ++k) {
        float alone = -1;
        ASSERT_EQ(ComplexMagnitudes(&group[2 * k], &alone, 1), sonvex::StatusOk);
        EXPECT_EQ(Bits(mags[k]), Bits(alone)) << k;
        EXPECT_LE(UlpDistance(mags[k], exact[k]), 3) << k;
    }
    EXPECT_EQ(Bits(mags[1]), 0u);

    // Squares that underflow (s is formed in single precision), subnormal squares, overflow,
    // and groups mixing them with ordinary values.
    const float inf = std::numeric_limits<float>::infinity();
    const float extremes[] = {1e-30f, 0, 3e-20f, 4e-20f, 1e30f, 0, 2e19f, 0, 1, 1, 1e-45f, 0,
                              inf, 0, -3e38f, 0, 0.25f, 0};
    std::vector<float> r(9);
    ASSERT_EQ(ComplexMagnitudes(extremes, r.data(), 9), sonvex::StatusOk);
    EXPECT_EQ(Bits(r[0]), 0u);  // 1e-60 is 0 in single precision
    EXPECT_EQ(r[1], ReferenceMagnitude(3e-20f, 4e-20f));  // subnormal s: exact root
    EXPECT_EQ(r[2], inf);  // 1e60 overflows single precision
    EXPECT_EQ(r[3], inf);
    EXPECT_LE(UlpDistance(r[4], std::sqrt(2.0f)), 3);  // the estimate path: its bound, not its bits
    EXPECT_EQ(Bits(r[5]), 0u);
    EXPECT_EQ(r[6], inf);
    EXPECT_EQ(r[7], inf);
    EXPECT_LE(UlpDistance(r[8], 0.25f), 3);
    // An overflowing square among ordinary values, at every position and alignment.
    for (size_t offset = 0; offset < 8; ++offset)
        for (int at = 0; at < 11; ++at) {
            std::vector<float> in(22, 0.75f);
            in[2 * at] = 1e30f;
            Guarded out(11, offset);
            ASSERT_EQ(ComplexMagnitudes(in.data(), out.data(), 11), sonvex::StatusOk);
            for (int k = 0; k < 11; ++k)
                ASSERT_LE(UlpDistance(out.data()[k], ReferenceMagnitude(in[2 * k], in[2 * k + 1])), 3)
                    << offset << "/" << at << "/" << k;
        }
    // Large but finite squares keep the estimate path accurate; so does the smallest normal.
    const float large[16] = {1e19f, 0, 0, 1.5e19f, 3e18f, 4e18f, 1e-18f, 0,
                             1.0842022e-19f, 0, 2, 0, 3, 0, 4, 0};
    ASSERT_EQ(ComplexMagnitudes(large, r.data(), 8), sonvex::StatusOk);
    for (int k = 0; k < 8; ++k)
        EXPECT_LE(UlpDistance(r[k], ReferenceMagnitude(large[2 * k], large[2 * k + 1])), 3) << k;
}

TEST_P(EveryRow, PhasesCloseToAtan2ForEveryCountAndAlignment) {
    for (int count = 1; count <= 40; ++count) {
        const std::vector<float> in = RandomValues(2 * count + 8, count * 11, true);
        std::vector<float> first;
        for (size_t offset = 0; offset < 8; ++offset) {
            Guarded out(count, offset);
            ASSERT_EQ(ComplexPhases(in.data(), out.data(), count), sonvex::StatusOk);
            for (int k = 0; k < count; ++k) {
                const double expected = std::atan2((double)in[2 * k + 1], (double)in[2 * k]);
                ASSERT_NEAR(out.data()[k], expected, 5e-7) << count << "/" << offset << "/" << k;
            }
            ASSERT_TRUE(out.GuardsIntact());
            // No group rule for the phases: every alignment gives the same bits.
            std::vector<float> now(out.data(), out.data() + count);
            if (offset == 0) first = now;
            for (int k = 0; k < count; ++k) ASSERT_EQ(Bits(now[k]), Bits(first[k])) << offset;
        }
    }
}

TEST_P(EveryRow, PhasesOfAxesAndSignedZerosAreExact) {
    // (re, im) -> phase, as float bit patterns.
    struct Case {
        float re, im, phase;
    };
    const Case cases[] = {
        {1, 0, 0.0f},           {0, 1, kHalfPi},           {-1, 0, kPi},
        {0, -1, -kHalfPi},      {0.0f, 0.0f, 0.0f},        {-2.5f, 0.0f, kPi},
        {0.0f, -0.0f, -0.0f},   {-0.0f, 0.0f, kPi},        {-0.0f, -0.0f, -kPi},
        {7, -0.0f, -0.0f},      {-7, -0.0f, -kPi},         {0.0f, 3e-20f, kHalfPi},
        {-0.0f, -5.0f, -kHalfPi},
    };
    for (size_t offset = 0; offset < 8; ++offset) {
        std::vector<float> in;
        for (const Case& c : cases) {
            in.push_back(c.re);
            in.push_back(c.im);
        }
        const int count = sizeof(cases) / sizeof(cases[0]);
        Guarded out(count, offset);
        ASSERT_EQ(ComplexPhases(in.data(), out.data(), count), sonvex::StatusOk);
        for (int k = 0; k < count; ++k)
            EXPECT_EQ(Bits(out.data()[k]), Bits(cases[k].phase))
                << "atan2(" << cases[k].im << ", " << cases[k].re << ") = " << out.data()[k];
    }
    // The four axes and the diagonal.
    const float axes[] = {1, 0, 0, 1, -1, 0, 0, -1, 1, 1};
    float phases[5];
    ASSERT_EQ(ComplexPhases(axes, phases, 5), sonvex::StatusOk);
    EXPECT_EQ(phases[0], 0.0f);
    EXPECT_EQ(phases[1], kHalfPi);
    EXPECT_EQ(phases[2], kPi);
    EXPECT_EQ(phases[3], -kHalfPi);
    EXPECT_NEAR(phases[4], 0.7853981633974483, 2e-7);
}

TEST_P(EveryRow, PhasesOfHugeTinyAndInfiniteParts) {
    const float inf = std::numeric_limits<float>::infinity();
    const float in[] = {1e38f, 1e38f, -3e38f, 3e38f,  1e-40f, 0,      1e-40f, -1e-40f,
                        inf,   1,     1,      inf,    inf,    inf,    -inf,   0,
                        2e-45f, 1e-45f, 3e30f, -1e38f, -1e-39f, 2e-39f};
    const int count = sizeof(in) / sizeof(in[0]) / 2;
    float phases[count];
    ASSERT_EQ(ComplexPhases(in, phases, count), sonvex::StatusOk);
    for (int k = 0; k < count; ++k) {
        const double expected = std::atan2((double)in[2 * k + 1], (double)in[2 * k]);
        EXPECT_NEAR(phases[k], expected, 5e-7) << "bin " << k;
    }
}

TEST_P(EveryRow, BadArgumentsWriteNothing) {
    const float in[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    Guarded out(8, 0);
    float* o = out.data();
    EXPECT_EQ(MultiplyVectors(nullptr, in, o, 8), sonvex::StatusNullPointer);
    EXPECT_EQ(MultiplyVectors(in, nullptr, o, 8), sonvex::StatusNullPointer);
    EXPECT_EQ(MultiplyVectors(in, in, nullptr, 8), sonvex::StatusNullPointer);
    EXPECT_EQ(MultiplyVectors(nullptr, in, o, 0), sonvex::StatusNullPointer);
    EXPECT_EQ(MultiplyVectors(in, in, o, 0), sonvex::StatusBadSize);
    EXPECT_EQ(MultiplyVectors(in, in, o, -1), sonvex::StatusBadSize);
    EXPECT_EQ(MultiplyVectors(in, in, o, INT32_MIN), sonvex::StatusBadSize);
    for (auto kernel : {ComplexMagnitudes, ComplexPhases}) {
        EXPECT_EQ(kernel(nullptr, o, 8), sonvex::StatusNullPointer);
        EXPECT_EQ(kernel(in, nullptr, 8), sonvex::StatusNullPointer);
        EXPECT_EQ(kernel(nullptr, nullptr, -3), sonvex::StatusNullPointer);
        EXPECT_EQ(kernel(in, o, 0), sonvex::StatusBadSize);
        EXPECT_EQ(kernel(in, o, -8), sonvex::StatusBadSize);
    }
    EXPECT_TRUE(out.Untouched());
}

// One allocator for every version: a block taken before a version is chosen may be freed after.
TEST(AlignedBlocks, AreAlignedWritableAndOutliveAVersionChange) {
    sonvex_test::ForcedRow baseline(KernelVersion::Baseline);
    EXPECT_EQ(sonvex::AllocAligned(0), nullptr);
    EXPECT_EQ(sonvex::AllocAligned(-32), nullptr);
    sonvex::FreeAligned(nullptr);
    std::vector<void*> blocks;
    for (int32_t bytes : {1, 3, 31, 32, 33, 4096, 100001}) {
        void* p = sonvex::AllocAligned(bytes);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 32, 0u) << bytes;
        std::memset(p, 0x5A, bytes);  // the whole block is writable (checked under ASan)
        blocks.push_back(p);
    }
    sonvex_test::ForcedRow chosen(sonvex_test::PickedRow());
    for (void* p : blocks) sonvex::FreeAligned(p);
}

// A result depends only on its own input: not on the neighbours that share its group, nor on
// where the output buffer begins (32-bit heaps hand out 8-byte-aligned blocks, others 16).
// The versions run the same single-precision operations in the same order, whatever the
// register width or select instructions, so they also agree to the bit with the SSE2 version.
TEST_P(EveryRow, SameBitsWhereverTheOutputLiesAndAsTheSse2Version) {
    const int count = 1000;
    std::vector<float> in = RandomValues(2 * count, 99, true);
    in[2 * 100] = 1e30f;  // an overflowing square among ordinary values
    in[2 * 200] = 3e-20f;  // a subnormal one
    in[2 * 300] = -0.0f;
    in[2 * 300 + 1] = -0.0f;
    for (auto kernel : {ComplexMagnitudes, ComplexPhases}) {
        std::vector<float> alone(count);
        for (int k = 0; k < count; ++k) ASSERT_EQ(kernel(&in[2 * k], &alone[k], 1), sonvex::StatusOk);
        for (int offset = 0; offset < 8; ++offset) {
            std::vector<float> mine(count + 8), reference(count + 8);
            const int referenceOffset = (offset + 3) % 8;  // never the same alignment
            ASSERT_EQ(kernel(in.data(), mine.data() + offset, count), sonvex::StatusOk);
            {
                sonvex_test::ForcedRow sse2(KernelVersion::Sse2);
                ASSERT_EQ(kernel(in.data(), reference.data() + referenceOffset, count), sonvex::StatusOk);
            }
            for (int k = 0; k < count; ++k) {
                ASSERT_EQ(Bits(mine[offset + k]), Bits(alone[k])) << offset << "/" << k;
                ASSERT_EQ(Bits(mine[offset + k]), Bits(reference[referenceOffset + k])) << offset << "/" << k;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kernels, EveryRow, sonvex_test::AllRows(), sonvex_test::RowParamName());

}  // namespace
