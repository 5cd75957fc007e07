#include "dsp/kernels/cpu_features.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "dsp/kernels/dispatch.h"
#include "dsp/kernels/kernels.h"
#include "dsp/resampler/interpolate.h"
#include "tests/kernels/test_support.h"

using namespace sonvex::detail;

namespace {

constexpr uint32_t Bit(int n) { return (uint32_t)1 << n; }

CpuidSnapshot Leaf1(uint32_t ecx, uint32_t edx, uint64_t xcr0 = 0) {
    CpuidSnapshot s{};
    s.maxLeaf = 1;
    s.leaf1Eax = 0x00000600;  // family 6
    s.leaf1Ecx = ecx;
    s.leaf1Edx = edx;
    s.xcr0 = xcr0;
    return s;
}

TEST(CpuFeatureMask, EachRegisterBitSetsItsOwnMaskBit) {
    struct Row {
        bool inEdx;
        int bit;
        uint32_t mask;
    };
    const Row rows[] = {
        {true, 23, CpuMmx},    {true, 25, CpuSse},    {true, 26, CpuSse2},
        {false, 0, CpuSse3},   {false, 9, CpuSsse3},  {false, 22, CpuMovbe},
        {false, 19, CpuSse41}, {false, 20, CpuSse42}, {false, 28, CpuAvx},
        {false, 25, CpuAes},   {false, 1, CpuPclmulqdq},
    };
    for (const Row& row : rows) {
        const CpuidSnapshot s = row.inEdx ? Leaf1(0, Bit(row.bit)) : Leaf1(Bit(row.bit), 0);
        EXPECT_EQ(DecodeCpuFeatureMask(s), row.mask) << "register bit " << row.bit;
    }
}

TEST(CpuFeatureMask, UnrelatedBitsAndMissingLeafGiveNothing) {
    // Every bit that names no feature in the table, in both registers.
    const uint32_t ecxUsed = Bit(0) | Bit(1) | Bit(9) | Bit(19) | Bit(20) | Bit(22) | Bit(25) |
                             Bit(27) | Bit(28);
    const uint32_t edxUsed = Bit(23) | Bit(25) | Bit(26);
    EXPECT_EQ(DecodeCpuFeatureMask(Leaf1(~ecxUsed, ~edxUsed, ~0ull)), 0u);
    // Highest leaf 0: leaf 1 does not exist and its register values mean nothing.
    CpuidSnapshot none = Leaf1(~0u, ~0u, ~0ull);
    none.maxLeaf = 0;
    EXPECT_EQ(DecodeCpuFeatureMask(none), 0u);
    // All leaf-1 bits at once: bits 13..31 of the mask stay clear.
    const uint32_t all = DecodeCpuFeatureMask(Leaf1(~0u, ~0u, ~0ull));
    EXPECT_EQ(all, 0xFFFu);
}

TEST(CpuFeatureMask, AvxStateNeedsOsxsaveAvxAndBothXcr0Bits) {
    const uint32_t osxsave = Bit(27), avx = Bit(28);
    EXPECT_EQ(DecodeCpuFeatureMask(Leaf1(osxsave | avx, 0, 6)), CpuAvx | CpuAvxOsSupport);
    EXPECT_EQ(DecodeCpuFeatureMask(Leaf1(osxsave | avx, 0, 0xE7)), CpuAvx | CpuAvxOsSupport);
    EXPECT_EQ(DecodeCpuFeatureMask(Leaf1(osxsave | avx, 0, 2)), CpuAvx);
    EXPECT_EQ(DecodeCpuFeatureMask(Leaf1(osxsave | avx, 0, 4)), CpuAvx);
    EXPECT_EQ(DecodeCpuFeatureMask(Leaf1(avx, 0, 6)), CpuAvx);
    EXPECT_EQ(DecodeCpuFeatureMask(Leaf1(osxsave, 0, 6)), 0u);
}

TEST(CpuFeatureMask, Family11VectorBitOnlyForFamily11) {
    CpuidSnapshot s = Leaf1(0, 0);
    s.family11Edx = Bit(1);
    EXPECT_EQ(DecodeCpuFeatureMask(s), 0u);
    s.leaf1Eax = 0x00000B00;
    EXPECT_EQ(DecodeCpuFeatureMask(s), CpuFamily11Vector);
    s.family11Edx = ~Bit(1);
    EXPECT_EQ(DecodeCpuFeatureMask(s), 0u);
    // Family field 11 with an extended family still has field value 11.
    s.leaf1Eax = 0x00F00B71;
    s.family11Edx = Bit(1);
    EXPECT_EQ(DecodeCpuFeatureMask(s), CpuFamily11Vector);
}

TEST(KernelVariantSelection, FirstMatchingRowWins) {
    const uint32_t sse2 = CpuMmx | CpuSse | CpuSse2;
    EXPECT_EQ(SelectKernelVariant(0), 0);
    EXPECT_EQ(SelectKernelVariant(CpuMmx | CpuSse), 0);
    EXPECT_EQ(SelectKernelVariant(sse2), 1);
    EXPECT_EQ(SelectKernelVariant(sse2 | CpuSse3), 1);
    EXPECT_EQ(SelectKernelVariant(sse2 | CpuSse3 | CpuSsse3), 2);
    EXPECT_EQ(SelectKernelVariant(sse2 | CpuSsse3 | CpuMovbe), 3);
    EXPECT_EQ(SelectKernelVariant(sse2 | CpuMovbe), 1);
    EXPECT_EQ(SelectKernelVariant(sse2 | CpuSsse3 | CpuSse41), 4);
    EXPECT_EQ(SelectKernelVariant(sse2 | CpuSsse3 | CpuMovbe | CpuSse41), 4);
    EXPECT_EQ(SelectKernelVariant(sse2 | CpuSsse3 | CpuSse41 | CpuAvx | CpuAvxOsSupport), 5);
    // The rows test only their own bits.
    EXPECT_EQ(SelectKernelVariant(CpuAvx | CpuAvxOsSupport), 5);
    EXPECT_EQ(SelectKernelVariant(CpuSse41), 4);
    EXPECT_EQ(SelectKernelVariant(CpuSsse3), 2);
}

TEST(KernelVariantSelection, AvxWithoutOperatingSystemSupportFallsBack) {
    const uint32_t base = CpuMmx | CpuSse | CpuSse2 | CpuSse3 | CpuAvx;
    EXPECT_EQ(SelectKernelVariant(base | CpuSsse3 | CpuSse41), 4);
    EXPECT_EQ(SelectKernelVariant(base | CpuSsse3 | CpuMovbe), 3);
    EXPECT_EQ(SelectKernelVariant(base | CpuSsse3), 2);
    EXPECT_EQ(SelectKernelVariant(base), 1);
    // Operating-system support alone, without the AVX bit, selects nothing either.
    EXPECT_EQ(SelectKernelVariant((base & ~CpuAvx) | CpuAvxOsSupport | CpuSse41), 4);
}

TEST(KernelVariantSelection, FromRegistersEndToEnd) {
    const uint32_t edx = Bit(23) | Bit(25) | Bit(26);
    // SSSE3 and MOVBE, no SSE4.1.
    EXPECT_EQ(SelectKernelVariant(DecodeCpuFeatureMask(Leaf1(Bit(0) | Bit(9) | Bit(22), edx))), 3);
    // SSSE3 without MOVBE.
    EXPECT_EQ(SelectKernelVariant(DecodeCpuFeatureMask(Leaf1(Bit(0) | Bit(9), edx))), 2);
    // AVX reported, OSXSAVE set, but the operating system keeps only the SSE state.
    const uint32_t ecx = Bit(0) | Bit(9) | Bit(19) | Bit(27) | Bit(28);
    EXPECT_EQ(SelectKernelVariant(DecodeCpuFeatureMask(Leaf1(ecx, edx, 2))), 4);
    EXPECT_EQ(SelectKernelVariant(DecodeCpuFeatureMask(Leaf1(ecx, edx, 7))), 5);
}

TEST(ProcessorDispatch, QueryCachesAndInitSelects) {
    uint32_t first = 0xDEADBEEF, second = 0;
    ASSERT_TRUE(sonvex::QueryCpuFeatures(&first));
    ASSERT_TRUE(sonvex::QueryCpuFeatures(&second));
    EXPECT_EQ(first, second);
    EXPECT_EQ(first & ~0x1FFFu, 0u);
    EXPECT_NE(first & CpuSse2, 0u);  // every x86-64 processor, and a requirement on i686
    EXPECT_EQ(first, DecodeCpuFeatureMask(ReadCpuidSnapshot()));
    EXPECT_TRUE(sonvex::QueryCpuFeatures(nullptr));

    const int32_t saved = g_kernelVariant;
    ForceKernelVariant(0);
    EXPECT_EQ(sonvex::GetKernelVariant(), 0);
    sonvex::InitProcessorDispatch();
    EXPECT_EQ(sonvex::GetKernelVariant(), SelectKernelVariant(first));
    EXPECT_GE(sonvex::GetKernelVariant(), 1);
    ForceKernelVariant(saved);
}

// The emulated runs name the version their processor model must select; the resampler's own
// check must agree on whether the model has AVX2 (all but Haswell-class models lack it).
TEST(ProcessorDispatch, PicksTheVersionExpectedOfThisProcessorModel) {
    const int32_t expected = sonvex_test::ExpectedVariant();
    if (expected < 0) GTEST_SKIP() << "no expected version given for this processor";
    const int32_t saved = g_kernelVariant;
    sonvex::InitProcessorDispatch();
    EXPECT_EQ(sonvex::GetKernelVariant(), expected);
    ForceKernelVariant(saved);
    const char* model = std::getenv("QEMU_CPU");
    const bool avx2Model = model && std::string(model) == "Haswell";
    EXPECT_EQ(sonvex::resampler_detail::BestSupportedVersion(),
              avx2Model ? sonvex::resampler_detail::kVersionAvx2 : sonvex::resampler_detail::kVersionSse2)
        << "processor model " << (model ? model : "(default)");
}

}  // namespace
