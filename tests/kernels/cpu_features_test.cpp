#include "dsp/kernels/cpu_features.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "dsp/kernels/dispatch.h"
#include "dsp/kernels/kernels.h"
#include "tests/support/kernel_versions.h"

using namespace sonvex::detail;
using sonvex::KernelVersion;

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

TEST(KernelVersionSelection, FirstMatchingRowWins) {
    const uint32_t sse2 = CpuMmx | CpuSse | CpuSse2;
    EXPECT_EQ(SelectKernelVersion(0), KernelVersion::Baseline);
    EXPECT_EQ(SelectKernelVersion(CpuMmx | CpuSse), KernelVersion::Baseline);
    EXPECT_EQ(SelectKernelVersion(sse2), KernelVersion::Sse2);
    EXPECT_EQ(SelectKernelVersion(sse2 | CpuSse3), KernelVersion::Sse2);
    EXPECT_EQ(SelectKernelVersion(sse2 | CpuSse3 | CpuSsse3), KernelVersion::Ssse3);
    EXPECT_EQ(SelectKernelVersion(sse2 | CpuSsse3 | CpuMovbe), KernelVersion::Ssse3Movbe);
    EXPECT_EQ(SelectKernelVersion(sse2 | CpuMovbe), KernelVersion::Sse2);
    EXPECT_EQ(SelectKernelVersion(sse2 | CpuSsse3 | CpuSse41), KernelVersion::Sse41);
    EXPECT_EQ(SelectKernelVersion(sse2 | CpuSsse3 | CpuMovbe | CpuSse41), KernelVersion::Sse41);
    EXPECT_EQ(SelectKernelVersion(sse2 | CpuSsse3 | CpuSse41 | CpuAvx | CpuAvxOsSupport), KernelVersion::Avx);
    // The rows test only their own bits.
    EXPECT_EQ(SelectKernelVersion(CpuAvx | CpuAvxOsSupport), KernelVersion::Avx);
    EXPECT_EQ(SelectKernelVersion(CpuSse41), KernelVersion::Sse41);
    EXPECT_EQ(SelectKernelVersion(CpuSsse3), KernelVersion::Ssse3);
}

TEST(KernelVersionSelection, AvxWithoutOperatingSystemSupportFallsBack) {
    const uint32_t base = CpuMmx | CpuSse | CpuSse2 | CpuSse3 | CpuAvx;
    EXPECT_EQ(SelectKernelVersion(base | CpuSsse3 | CpuSse41), KernelVersion::Sse41);
    EXPECT_EQ(SelectKernelVersion(base | CpuSsse3 | CpuMovbe), KernelVersion::Ssse3Movbe);
    EXPECT_EQ(SelectKernelVersion(base | CpuSsse3), KernelVersion::Ssse3);
    EXPECT_EQ(SelectKernelVersion(base), KernelVersion::Sse2);
    // Operating-system support alone, without the AVX bit, selects nothing either.
    EXPECT_EQ(SelectKernelVersion((base & ~CpuAvx) | CpuAvxOsSupport | CpuSse41), KernelVersion::Sse41);
}

TEST(KernelVersionSelection, FromRegistersEndToEnd) {
    const uint32_t edx = Bit(23) | Bit(25) | Bit(26);
    // SSSE3 and MOVBE, no SSE4.1.
    EXPECT_EQ(SelectKernelVersion(DecodeCpuFeatureMask(Leaf1(Bit(0) | Bit(9) | Bit(22), edx))), KernelVersion::Ssse3Movbe);
    // SSSE3 without MOVBE.
    EXPECT_EQ(SelectKernelVersion(DecodeCpuFeatureMask(Leaf1(Bit(0) | Bit(9), edx))), KernelVersion::Ssse3);
    // AVX reported, OSXSAVE set, but the operating system keeps only the SSE state.
    const uint32_t ecx = Bit(0) | Bit(9) | Bit(19) | Bit(27) | Bit(28);
    EXPECT_EQ(SelectKernelVersion(DecodeCpuFeatureMask(Leaf1(ecx, edx, 2))), KernelVersion::Sse41);
    EXPECT_EQ(SelectKernelVersion(DecodeCpuFeatureMask(Leaf1(ecx, edx, 7))), KernelVersion::Avx);
}

TEST(ProcessorFeatures, InstructionsOfSomeRowsNeedTheAvxStateAndTheirOwnBits) {
    const uint32_t avxState = Bit(27) | Bit(28), fma = Bit(12), avx2 = Bit(5), avx512f = Bit(16);
    auto decode = [](uint32_t ecx, uint32_t leaf7Ebx, uint64_t xcr0, uint32_t maxLeaf = 7) {
        CpuidSnapshot s = Leaf1(ecx, 0, xcr0);
        s.maxLeaf = maxLeaf;
        s.leaf7Ebx = leaf7Ebx;
        return DecodeProcessorFeatures(s);
    };
    const uint32_t avx = CpuAvx | CpuAvxOsSupport;
    const ProcessorFeatures all = decode(avxState | fma, avx2 | avx512f, 0xE7);
    EXPECT_EQ(all.mask, avx);
    EXPECT_EQ(all.features, avx | CpuAvx2 | CpuFma | CpuAvx512f);
    // Without the AVX state saved none of them counts.
    EXPECT_EQ(decode(avxState | fma, avx2 | avx512f, 0x3).features, CpuAvx);
    // Leaf 7 exists only from highest leaf 7 on.
    EXPECT_EQ(decode(avxState | fma, avx2 | avx512f, 0xE7, 6).features, avx | CpuFma);
    // AVX-512F needs the mask and upper register state too (XCR0 bits 5 to 7).
    EXPECT_EQ(decode(avxState | fma, avx2 | avx512f, 0x67).features, avx | CpuAvx2 | CpuFma);
    EXPECT_EQ(decode(avxState, avx2, 0x7).features, avx | CpuAvx2);
}

// The rows' needs decide the pick: the last row whose needs the features meet.
TEST(KernelRowSelection, TheAvxVersionsRowsFollowAvx2FmaAndAvx512f) {
    const uint32_t avx = CpuMmx | CpuSse | CpuSse2 | CpuSse3 | CpuSsse3 | CpuSse41 | CpuAvx | CpuAvxOsSupport;
    EXPECT_STREQ(SelectKernelRow(avx).name, "avx");
    EXPECT_STREQ(SelectKernelRow(avx | CpuAvx2).name, "avx");
    EXPECT_STREQ(SelectKernelRow(avx | CpuFma).name, "avx");
    EXPECT_STREQ(SelectKernelRow(avx | CpuAvx2 | CpuFma).name, "avx2_fma");
    // 16-lane routines only with AVX2 and FMA beside AVX-512F, in both pointer sizes.
    EXPECT_STREQ(SelectKernelRow(avx | CpuAvx2 | CpuFma | CpuAvx512f).name, "avx512");
    EXPECT_STREQ(SelectKernelRow(avx | CpuAvx2 | CpuAvx512f).name, "avx");
    // The bits of the AVX rows without the AVX state select nothing above SSE4.1.
    EXPECT_STREQ(SelectKernelRow((avx & ~CpuAvxOsSupport) | CpuAvx2 | CpuFma).name, "sse41");
    // No row hides behind a later one: each is the pick for exactly its own needs.
    for (const KernelRow& row : kKernelRows) {
        EXPECT_EQ(&SelectKernelRow(row.needs), &row) << row.name;
        EXPECT_EQ(SelectKernelVersion(row.needs), row.version) << row.name;
    }
}

TEST(KernelRowTable, EveryRowIsCompleteAndNamedAndItsVersionIsNamedByItsFirstRow) {
    std::string names;
    for (int r = 0; r < kKernelRowCount; ++r) {
        const KernelRow& row = kKernelRows[r];
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(row.fft && row.vectors);
        EXPECT_TRUE(row.fft->forward && row.fft->inverse && row.vectors->multiply && row.vectors->magnitudes &&
                    row.vectors->phases);
        EXPECT_EQ(names.find(std::string(" ") + row.name + " "), std::string::npos) << "a second row of this name";
        names += std::string(" ") + row.name + " ";
        // Baseline keeps the resampler's plain loop; only rows that need AVX-512F may carry
        // 16-lane tables, and only AVX rows clear blocks with their own routine.
        EXPECT_EQ(row.interpolation == nullptr, row.version == KernelVersion::Baseline);
        if (row.fft->wideTables) EXPECT_NE(row.needs & CpuAvx512f, 0u);
        if (row.fft->clearBlock) EXPECT_NE(row.needs & CpuAvx, 0u);
        if (r == 0 || kKernelRows[r - 1].version != row.version)
            EXPECT_STREQ(sonvex::KernelVersionName(row.version), row.name);
    }
    EXPECT_STREQ(sonvex::KernelVersionName(static_cast<KernelVersion>(sonvex::kKernelVersionCount)), "unknown");
    // A version's row on this processor is the best of its rows that the processor runs.
    for (int v = 0; v < sonvex::kKernelVersionCount; ++v) {
        const KernelVersion version = sonvex_test::VersionAt(v);
        const KernelRow& chosen = KernelRowFor(version);
        EXPECT_EQ(chosen.version, version);
        for (const KernelRow* later = &chosen + 1; later < kKernelRows + kKernelRowCount && later->version == version;
             ++later)
            EXPECT_FALSE(ProcessorRuns(*later)) << later->name << " runs here, yet " << chosen.name << " was chosen";
    }
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

    sonvex_test::ForcedRow restore(KernelVersion::Baseline);
    EXPECT_EQ(sonvex::ActiveKernelVersion(), KernelVersion::Baseline);
    sonvex::InitProcessorDispatch();
    EXPECT_EQ(&ActiveKernelRow(), &SelectKernelRow(DetectedProcessorFeatures().features));
    EXPECT_EQ(sonvex::ActiveKernelVersion(), ActiveKernelRow().version);
    EXPECT_NE(sonvex::ActiveKernelVersion(), KernelVersion::Baseline);
}

// The emulated runs name the row and version their processor model must select; the row's
// interpolation is what the resampler then takes.
TEST(ProcessorDispatch, PicksTheRowExpectedOfThisProcessorModel) {
    const int expected = sonvex_test::ExpectedVersionIndex();
    if (expected < 0) GTEST_SKIP() << "no expected version given for this processor";
    const char* model = std::getenv("QEMU_CPU");
    SCOPED_TRACE(testing::Message() << "processor model " << (model ? model : "(default)"));
    sonvex_test::ForcedRow restore(ActiveKernelRow());
    sonvex::InitProcessorDispatch();
    EXPECT_EQ(static_cast<int>(sonvex::ActiveKernelVersion()), expected);
    ASSERT_NE(sonvex_test::ExpectedRowName(), nullptr);
    EXPECT_STREQ(ActiveKernelRow().name, sonvex_test::ExpectedRowName());
    EXPECT_EQ(sonvex::ActiveInterpolationRoutines(), ActiveKernelRow().interpolation);
}

}  // namespace
