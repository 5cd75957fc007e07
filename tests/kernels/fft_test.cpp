// Real FFT of the kernel layer, run through the public entry points with every row forced in
// turn: values against a double-precision oracle, round trips, the packed layout's rules, the
// tiers' work buffers and every refusal.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "dsp/kernels/dispatch.h"
#include "dsp/kernels/fft_internal.h"
#include "dsp/kernels/kernels.h"
#include "tests/support/fft_reference.h"
#include "tests/support/kernel_versions.h"

using namespace sonvex;
using detail::KernelRow;
using sonvex_test::ForcedRow;

namespace {

constexpr float kGuard = -12345.5f;

// Rows this run tries: every one the processor executes, or under emulation only the one the
// processor model picks.
bool Tried(const KernelRow& row) { return sonvex_test::RowUnderTest(row); }

size_t SpectrumFloats(int order) { return order == 0 ? 2 : (size_t(1) << order) + 2; }

std::vector<float> RandomSignal(size_t count, uint32_t seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    std::vector<float> x(count);
    for (float& v : x) v = value(generator);
    return x;
}

bool SameBits(const float* a, const float* b, size_t count) { return std::memcmp(a, b, count * sizeof(float)) == 0; }

// A setup with its reported work buffer; released on scope exit.
class Transform {
public:
    Transform(int order, int mode) : m_order(order) {
        m_status = CreateRealFftSetup(order, mode, &m_setup);
        if (m_status != StatusOk) return;
        int32_t bytes = -1;
        m_status = GetRealFftBufferSize(m_setup, &bytes);
        m_work.resize(bytes > 0 ? (size_t)bytes : 0);
    }
    ~Transform() {
        if (m_setup) ReleaseRealFftSetup(m_setup);
    }
    Transform(const Transform&) = delete;
    Transform& operator=(const Transform&) = delete;

    bool ok() const { return m_status == StatusOk; }
    RealFftSetup* setup() const { return m_setup; }
    void* work() { return m_work.empty() ? nullptr : m_work.data(); }
    size_t size() const { return size_t(1) << m_order; }

    int32_t forward(const float* src, float* dst) { return RealFftForward(src, dst, m_setup, work()); }
    int32_t inverse(const float* src, float* dst) { return RealFftInverse(src, dst, m_setup, work()); }

private:
    int m_order;
    int32_t m_status = StatusOk;
    RealFftSetup* m_setup = nullptr;
    std::vector<char> m_work;
};

// Every row as this processor runs it.
class FftRow : public ::testing::TestWithParam<const KernelRow*> {
protected:
    const KernelRow& Row() const { return *GetParam(); }
    void SetUp() override {
        if (!Tried(Row())) GTEST_SKIP() << Row().name << " not tried on this processor";
        detail::ForceKernelRow(Row());
    }
    void TearDown() override { detail::ForceKernelVersion(KernelVersion::Baseline); }
};

// Float rounding of a transform grows with log2 N. Measured: 6e-8 relative RMS at 16 points, 1.8e-7
// at 2^20; the bound sits about 2.5 times above that, so coarse twiddles or a sloppy recurrence
// fail it, not only misplaced values.
double ErrorBound(int order) { return 2.5e-8 * (4 + order); }

TEST_P(FftRow, ForwardMatchesDoublePrecisionReferenceForOrders0To20) {
    for (int order = 0; order <= 20; ++order) {
        SCOPED_TRACE(order);
        Transform fft(order, NoScaling);
        ASSERT_TRUE(fft.ok());
        const std::vector<float> x = RandomSignal(fft.size(), 100 + order);
        const std::vector<double> expected = fft_test::ReferenceSpectrum(x);
        std::vector<float> spectrum(SpectrumFloats(order) + 2, kGuard);
        ASSERT_EQ(StatusOk, fft.forward(x.data(), spectrum.data()));
        EXPECT_LT(fft_test::RelativeRmsError(spectrum.data(), expected.data(), SpectrumFloats(order)),
                  ErrorBound(order));
        EXPECT_EQ(kGuard, spectrum[SpectrumFloats(order)]);
    }
}

TEST_P(FftRow, RoundTripsReturnTheInputInEveryScalingMode) {
    const int modes[] = {ScaleBothBySqrtN, ScaleForwardByN, ScaleInverseByN, NoScaling};
    for (int mode : modes) {
        for (int order = 0; order <= 20; ++order) {
            if (mode != ScaleBothBySqrtN && order > 16 && order != 20) continue;
            SCOPED_TRACE(testing::Message() << "mode " << mode << " order " << order);
            Transform fft(order, mode);
            ASSERT_TRUE(fft.ok());
            const std::vector<float> x = RandomSignal(fft.size(), 7 * order + mode);
            std::vector<float> buffer(SpectrumFloats(order));
            ASSERT_EQ(StatusOk, fft.forward(x.data(), buffer.data()));
            ASSERT_EQ(StatusOk, fft.inverse(buffer.data(), buffer.data()));
            const double gain = mode == NoScaling ? (double)fft.size() : 1.0;
            std::vector<double> expected(x.begin(), x.end());
            for (double& v : expected) v *= gain;
            EXPECT_LT(fft_test::RelativeRmsError(buffer.data(), expected.data(), fft.size()), ErrorBound(order));
        }
    }
}

TEST_P(FftRow, InPlaceAndOutOfPlaceGiveIdenticalBits) {
    for (int order = 0; order <= 20; ++order) {
        SCOPED_TRACE(order);
        Transform fft(order, ScaleBothBySqrtN);
        ASSERT_TRUE(fft.ok());
        const size_t floats = SpectrumFloats(order);
        std::vector<float> x = RandomSignal(fft.size(), 900 + order);
        std::vector<float> separate(floats), inPlace(x);
        inPlace.resize(floats);
        ASSERT_EQ(StatusOk, fft.forward(x.data(), separate.data()));
        ASSERT_EQ(StatusOk, fft.forward(inPlace.data(), inPlace.data()));
        EXPECT_TRUE(SameBits(separate.data(), inPlace.data(), floats));

        std::vector<float> back(fft.size());
        ASSERT_EQ(StatusOk, fft.inverse(separate.data(), back.data()));
        ASSERT_EQ(StatusOk, fft.inverse(inPlace.data(), inPlace.data()));
        EXPECT_TRUE(SameBits(back.data(), inPlace.data(), fft.size()));
        // The source of an out-of-place transform is left alone.
        EXPECT_TRUE(SameBits(x.data(), RandomSignal(fft.size(), 900 + order).data(), fft.size()));
    }
}

TEST_P(FftRow, ImaginaryPartsOfBinsZeroAndHalfAreWrittenAsPlusZeroAndIgnored) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int order : {0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 17, 19, 20}) {
        SCOPED_TRACE(order);
        Transform fft(order, ScaleInverseByN);
        ASSERT_TRUE(fft.ok());
        const size_t n = fft.size();
        const size_t floats = SpectrumFloats(order);
        std::vector<float> x = RandomSignal(n, 31 + order);
        std::vector<float> spectrum(floats, nan);
        ASSERT_EQ(StatusOk, fft.forward(x.data(), spectrum.data()));
        EXPECT_EQ(0u, std::signbit(spectrum[1]) ? 1u : 0u);
        EXPECT_EQ(0.0f, spectrum[1]);
        EXPECT_EQ(0.0f, spectrum[floats - 1]);
        EXPECT_FALSE(std::signbit(spectrum[floats - 1]));

        std::vector<float> plain(n + 2, kGuard);
        ASSERT_EQ(StatusOk, fft.inverse(spectrum.data(), plain.data()));
        // The inverse never writes floats N and N+1 of dst.
        EXPECT_EQ(kGuard, plain[n]);
        EXPECT_EQ(kGuard, plain[n + 1]);

        std::vector<float> poisoned(spectrum);
        poisoned[1] = nan;
        poisoned[floats - 1] = 1e30f;
        std::vector<float> fromPoisoned(n + 2, kGuard);
        ASSERT_EQ(StatusOk, fft.inverse(poisoned.data(), fromPoisoned.data()));
        EXPECT_TRUE(SameBits(plain.data(), fromPoisoned.data(), n + 2));

        if (order > 0) {
            // In place, floats N and N+1 keep the spectrum's values.
            ASSERT_EQ(StatusOk, fft.inverse(poisoned.data(), poisoned.data()));
            EXPECT_TRUE(SameBits(plain.data(), poisoned.data(), n));
            EXPECT_EQ(spectrum[n], poisoned[n]);
            EXPECT_EQ(1e30f, poisoned[n + 1]);
        }
    }
}

TEST_P(FftRow, SmallSizesGiveTheirClosedFormValues) {
    {
        Transform fft(0, ScaleBothBySqrtN);
        const float x[1] = {-3.25f};
        float spectrum[2] = {kGuard, kGuard}, back[1] = {kGuard};
        ASSERT_EQ(StatusOk, fft.forward(x, spectrum));
        EXPECT_EQ(-3.25f, spectrum[0]);
        EXPECT_EQ(0.0f, spectrum[1]);
        ASSERT_EQ(StatusOk, fft.inverse(spectrum, back));
        EXPECT_EQ(-3.25f, back[0]);
    }
    {
        Transform fft(1, ScaleBothBySqrtN);
        const float s = (float)(1.0 / std::sqrt(2.0));
        const float x[2] = {1.5f, -0.25f};
        float spectrum[4];
        ASSERT_EQ(StatusOk, fft.forward(x, spectrum));
        EXPECT_EQ((1.5f + -0.25f) * s, spectrum[0]);
        EXPECT_EQ(0.0f, spectrum[1]);
        EXPECT_EQ((1.5f - -0.25f) * s, spectrum[2]);
        EXPECT_EQ(0.0f, spectrum[3]);
    }
    {
        Transform fft(2, NoScaling);
        const float first[4] = {1, 0, 0, 0}, second[4] = {0, 1, 0, 0};
        const float expectFirst[6] = {1, 0, 1, 0, 1, 0}, expectSecond[6] = {1, 0, 0, -1, -1, 0};
        float spectrum[6];
        ASSERT_EQ(StatusOk, fft.forward(first, spectrum));
        for (int i = 0; i < 6; ++i) EXPECT_EQ(expectFirst[i], spectrum[i]) << i;
        ASSERT_EQ(StatusOk, fft.forward(second, spectrum));
        for (int i = 0; i < 6; ++i) EXPECT_EQ(expectSecond[i], spectrum[i]) << i;
        float back[4];
        ASSERT_EQ(StatusOk, fft.inverse(spectrum, back));
        for (int i = 0; i < 4; ++i) EXPECT_EQ(4.0f * second[i], back[i]) << i;
    }
}

TEST_P(FftRow, ImpulseGivesFlatSpectrumAndConstantGivesBinZero) {
    const int modes[] = {ScaleBothBySqrtN, ScaleForwardByN, NoScaling};
    for (int mode : modes) {
        for (int order = 0; order <= 17; ++order) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << " order " << order);
            Transform fft(order, mode);
            ASSERT_TRUE(fft.ok());
            const size_t n = fft.size();
            const float sf = mode == ScaleBothBySqrtN ? (float)(1.0 / std::sqrt((double)n))
                             : mode == ScaleForwardByN ? 1.0f / (float)n
                                                       : 1.0f;
            std::vector<float> x(n, 0.0f);
            x[0] = 1.0f;
            std::vector<float> spectrum(SpectrumFloats(order));
            ASSERT_EQ(StatusOk, fft.forward(x.data(), spectrum.data()));
            int wrong = 0;
            for (size_t k = 0; k < spectrum.size(); k += 2) wrong += spectrum[k] != sf || spectrum[k + 1] != 0.0f;
            EXPECT_EQ(0, wrong);

            std::fill(x.begin(), x.end(), 1.0f);
            ASSERT_EQ(StatusOk, fft.forward(x.data(), spectrum.data()));
            EXPECT_FLOAT_EQ((float)n * sf, spectrum[0]);
            double rest = 0.0;
            for (size_t i = 1; i < spectrum.size(); ++i) rest = std::max(rest, (double)std::fabs(spectrum[i]));
            EXPECT_LT(rest, 1e-6 * n * sf);
        }
    }
}

bool SameTiers(const fft::TierLimits& a, const fft::TierLimits& b) {
    return a.realStraight == b.realStraight && a.complexStraight == b.complexStraight && a.table == b.table &&
           a.bitReverse == b.bitReverse;
}

// Where the tiers begin decides the work buffers callers are told to allocate.
TEST(FftTiers, BoundariesOfTheThreeTierTables) {
    EXPECT_EQ(6, fft::kSse2Tiers.complexStraight);
    EXPECT_EQ(15, fft::kSse2Tiers.table);
    EXPECT_EQ(16, fft::kSse2Tiers.bitReverse);
    EXPECT_EQ(6, fft::kSsse3Tiers.complexStraight);
    EXPECT_EQ(18, fft::kSsse3Tiers.table);
    EXPECT_EQ(-1, fft::kSsse3Tiers.bitReverse);
    EXPECT_EQ(7, fft::kAvxTiers.complexStraight);
    EXPECT_EQ(19, fft::kAvxTiers.table);
    EXPECT_EQ(-1, fft::kAvxTiers.bitReverse);
    for (const fft::TierLimits& limits : {fft::kSse2Tiers, fft::kSsse3Tiers, fft::kAvxTiers}) EXPECT_EQ(4, limits.realStraight);
}

TEST_P(FftRow, WorkBufferSizesFollowTheRowsTiers) {
    const KernelRow& row = Row();
    const fft::TierLimits limits = row.fft->tiers;
    const bool sse2Tiers = SameTiers(limits, fft::kSse2Tiers);
    EXPECT_TRUE(sse2Tiers || SameTiers(limits, fft::kSsse3Tiers) || SameTiers(limits, fft::kAvxTiers));
    // The versions whose sizes callers have seen keep their tiers.
    if (row.version == KernelVersion::Baseline || row.version == KernelVersion::Sse2 ||
        row.version == KernelVersion::Ssse3Movbe)
        EXPECT_TRUE(sse2Tiers);
    if (row.version == KernelVersion::Ssse3 || row.version == KernelVersion::Sse41)
        EXPECT_TRUE(SameTiers(limits, fft::kSsse3Tiers));
    if (row.version == KernelVersion::Avx) EXPECT_TRUE(SameTiers(limits, fft::kAvxTiers));
    const int lastWithBuffer = limits.bitReverse > 0 ? limits.bitReverse : limits.table;
    for (int order = 0; order <= 22; ++order) {
        SCOPED_TRACE(order);
        RealFftSetup* setup = nullptr;
        ASSERT_EQ(StatusOk, CreateRealFftSetup(order, ScaleBothBySqrtN, &setup));
        int32_t bytes = -1;
        ASSERT_EQ(StatusOk, GetRealFftBufferSize(setup, &bytes));
        const int32_t n = 1 << order;
        // The 16-lane routines also take the first large-size order, in place in a work area
        // as large as the table tier's.
        const bool wideLarge = row.fft->wideTables && order <= fft::kWideMaxOrder;
        if (order <= limits.complexStraight) {
            EXPECT_EQ(0, bytes);
        } else if (order <= lastWithBuffer || wideLarge) {
            EXPECT_EQ(4 * n + 32, bytes);
        } else {
            // The large-size plan needs one block and a few tiles, less than the data itself.
            EXPECT_GT(bytes, 32);
            EXPECT_LT(bytes, 4 * n);
        }
        EXPECT_EQ(&row, setup->row);
        ASSERT_EQ(StatusOk, ReleaseRealFftSetup(setup));
    }
    // The sizes callers see for the two tiers around 64 points.
    if (sse2Tiers) {
        RealFftSetup* setup = nullptr;
        int32_t bytes = -1;
        ASSERT_EQ(StatusOk, CreateRealFftSetup(6, ScaleBothBySqrtN, &setup));
        ASSERT_EQ(StatusOk, GetRealFftBufferSize(setup, &bytes));
        EXPECT_EQ(0, bytes);
        ReleaseRealFftSetup(setup);
        ASSERT_EQ(StatusOk, CreateRealFftSetup(7, ScaleBothBySqrtN, &setup));
        ASSERT_EQ(StatusOk, GetRealFftBufferSize(setup, &bytes));
        EXPECT_EQ(544, bytes);
        ReleaseRealFftSetup(setup);
    }
}

TEST_P(FftRow, MissingOrUnalignedWorkBufferGivesTheSameResult) {
    for (int order : {7, 10, 13, 16, 17, 19, 20}) {
        SCOPED_TRACE(order);
        Transform fft(order, ScaleForwardByN);
        ASSERT_TRUE(fft.ok());
        int32_t bytes = 0;
        ASSERT_EQ(StatusOk, GetRealFftBufferSize(fft.setup(), &bytes));
        const std::vector<float> x = RandomSignal(fft.size(), 5000 + order);
        std::vector<float> given(SpectrumFloats(order)), allocated(given.size()), shifted(given.size());
        ASSERT_EQ(StatusOk, fft.forward(x.data(), given.data()));
        ASSERT_EQ(StatusOk, RealFftForward(x.data(), allocated.data(), fft.setup(), nullptr));
        EXPECT_TRUE(SameBits(given.data(), allocated.data(), given.size()));
        // A buffer of exactly the reported size that starts 4 bytes past an aligned address.
        std::vector<char> raw((size_t)bytes + 64);
        char* start = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(raw.data()) + 31) & ~uintptr_t(31)) + 4;
        ASSERT_EQ(StatusOk, RealFftForward(x.data(), shifted.data(), fft.setup(), start));
        EXPECT_TRUE(SameBits(given.data(), shifted.data(), given.size()));
        // The input 64 bytes below the work area modulo 4 KB (where the passes run another way).
        const size_t pages = (fft.size() * sizeof(float) + 4095) / 4096 * 4096;
        std::vector<char> block(4095 + pages + 64 + (size_t)bytes);
        char* input = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(block.data()) + 4095) & ~uintptr_t(4095));
        std::memcpy(input, x.data(), fft.size() * sizeof(float));
        ASSERT_EQ(StatusOk, RealFftForward(reinterpret_cast<float*>(input), shifted.data(), fft.setup(), input + pages + 64));
        EXPECT_TRUE(SameBits(given.data(), shifted.data(), given.size()));

        std::vector<float> back1(fft.size()), back2(fft.size());
        ASSERT_EQ(StatusOk, fft.inverse(given.data(), back1.data()));
        ASSERT_EQ(StatusOk, RealFftInverse(given.data(), back2.data(), fft.setup(), nullptr));
        EXPECT_TRUE(SameBits(back1.data(), back2.data(), fft.size()));
    }
}

TEST_P(FftRow, RefusalsWriteNothing) {
    RealFftSetup* untouched = reinterpret_cast<RealFftSetup*>(uintptr_t(0x1234));
    RealFftSetup* out = untouched;
    EXPECT_EQ(StatusNullPointer, CreateRealFftSetup(5, ScaleBothBySqrtN, nullptr));
    EXPECT_EQ(StatusBadOrder, CreateRealFftSetup(30, ScaleBothBySqrtN, &out));
    EXPECT_EQ(StatusBadOrder, CreateRealFftSetup(-1, ScaleBothBySqrtN, &out));
    EXPECT_EQ(StatusBadScaling, CreateRealFftSetup(5, 3, &out));
    EXPECT_EQ(StatusBadScaling, CreateRealFftSetup(5, 0, &out));
    EXPECT_EQ(StatusBadScaling, CreateRealFftSetup(5, 16, &out));
    EXPECT_EQ(untouched, out);

    for (int order : {3, 6, 10, 17, 20}) {
        SCOPED_TRACE(order);
        Transform fft(order, ScaleBothBySqrtN);
        ASSERT_TRUE(fft.ok());
        const size_t floats = SpectrumFloats(order);
        std::vector<float> src = RandomSignal(floats, 3);
        std::vector<float> dst(floats, kGuard);
        const std::vector<float> srcCopy(src);
        auto dstUntouched = [&] {
            for (float v : dst) {
                if (v != kGuard) return false;
            }
            return true;
        };
        EXPECT_EQ(StatusNullPointer, RealFftForward(nullptr, dst.data(), fft.setup(), fft.work()));
        EXPECT_EQ(StatusNullPointer, RealFftForward(src.data(), nullptr, fft.setup(), fft.work()));
        EXPECT_EQ(StatusNullPointer, RealFftForward(src.data(), dst.data(), nullptr, fft.work()));
        EXPECT_EQ(StatusNullPointer, RealFftInverse(nullptr, dst.data(), fft.setup(), fft.work()));
        EXPECT_EQ(StatusNullPointer, RealFftInverse(src.data(), nullptr, fft.setup(), fft.work()));
        EXPECT_EQ(StatusNullPointer, RealFftInverse(src.data(), dst.data(), nullptr, fft.work()));
        int32_t bytes = -7;
        EXPECT_EQ(StatusNullPointer, GetRealFftBufferSize(nullptr, &bytes));
        EXPECT_EQ(StatusNullPointer, GetRealFftBufferSize(fft.setup(), nullptr));
        EXPECT_EQ(StatusNullPointer, ReleaseRealFftSetup(nullptr));

        // A record that is not a valid setup: a copy of the header with another tag, as a
        // released setup or a foreign structure would look.
        for (int32_t tag : {0, 5, 7, -6}) {
            RealFftSetup foreign = *fft.setup();
            foreign.tag = tag;
            foreign.owned = 0;
            EXPECT_EQ(StatusBadSetup, RealFftForward(src.data(), dst.data(), &foreign, fft.work()));
            EXPECT_EQ(StatusBadSetup, RealFftInverse(src.data(), dst.data(), &foreign, fft.work()));
            EXPECT_EQ(StatusBadSetup, RealFftForward(src.data(), src.data(), &foreign, nullptr));
            EXPECT_EQ(StatusBadSetup, GetRealFftBufferSize(&foreign, &bytes));
            EXPECT_EQ(StatusBadSetup, ReleaseRealFftSetup(&foreign));
            EXPECT_EQ(tag, foreign.tag);
        }
        EXPECT_EQ(-7, bytes);
        EXPECT_TRUE(dstUntouched());
        EXPECT_TRUE(SameBits(src.data(), srcCopy.data(), floats));

        // Releasing a record the kernels did not allocate clears its tag and frees nothing;
        // from then on it is refused like any other.
        RealFftSetup borrowed = *fft.setup();
        borrowed.owned = 0;
        EXPECT_EQ(StatusOk, ReleaseRealFftSetup(&borrowed));
        EXPECT_EQ(0, borrowed.tag);
        EXPECT_EQ(StatusBadSetup, RealFftForward(src.data(), dst.data(), &borrowed, fft.work()));
        EXPECT_EQ(StatusBadSetup, ReleaseRealFftSetup(&borrowed));
        EXPECT_TRUE(dstUntouched());
    }
}

INSTANTIATE_TEST_SUITE_P(AllRows, FftRow, sonvex_test::AllRows(), sonvex_test::RowParamName());

// Setups carry the 16-lane tables, and the straight-line routines' twiddles, exactly for the
// orders those routines cover, and only when the row that builds them has those routines.
TEST(FftWideRoutines, TablesFollowTheRowThatBuildsTheSetup) {
    for (const KernelRow& row : detail::kKernelRows) {
        if (!Tried(row)) continue;
        ForcedRow forced(row);
        for (int order = 3; order <= 21; ++order) {
            SCOPED_TRACE(testing::Message() << row.name << " order " << order);
            Transform fft(order, ScaleInverseByN);
            ASSERT_TRUE(fft.ok());
            const bool wide = row.fft->wideTables && order >= fft::kWideMinOrder && order <= fft::kWideMaxOrder;
            EXPECT_EQ(wide, fft.setup()->wide != nullptr);
            const bool lane = row.fft->wideTables && order >= fft::kLaneMinOrder && order <= fft::kLaneMaxOrder;
            EXPECT_EQ(lane, fft.setup()->laneTwiddles != nullptr);
        }
    }
}

// A setup keeps the row that built it: whatever row is active when it is used, its transforms
// give the bits they give under its own row.
TEST(FftAcrossRows, SetupRunsTheRoutinesOfTheRowThatBuiltIt) {
    for (const KernelRow& builder : detail::kKernelRows) {
        if (!Tried(builder)) continue;
        for (int order : {4, 6, 7, 8, 16, 17, 19, 20}) {
            ForcedRow built(builder);
            Transform fft(order, NoScaling);
            ASSERT_TRUE(fft.ok());
            const std::vector<float> x = RandomSignal(fft.size(), 77 + order);
            std::vector<float> own(SpectrumFloats(order)), ownBack(fft.size());
            ASSERT_EQ(StatusOk, fft.forward(x.data(), own.data()));
            ASSERT_EQ(StatusOk, fft.inverse(own.data(), ownBack.data()));
            EXPECT_LT(fft_test::RelativeRmsError(own.data(), fft_test::ReferenceSpectrum(x).data(), own.size()),
                      ErrorBound(order));
            for (const KernelRow& runner : detail::kKernelRows) {
                if (&runner == &builder || !Tried(runner)) continue;
                SCOPED_TRACE(testing::Message() << "built by " << builder.name << " run under " << runner.name
                                                << " order " << order);
                ForcedRow running(runner);
                std::vector<float> spectrum(own.size()), back(fft.size());
                ASSERT_EQ(StatusOk, fft.forward(x.data(), spectrum.data()));
                ASSERT_EQ(StatusOk, fft.inverse(own.data(), back.data()));
                EXPECT_TRUE(SameBits(own.data(), spectrum.data(), own.size()));
                EXPECT_TRUE(SameBits(ownBack.data(), back.data(), back.size()));
            }
        }
    }
}

// Orders above 20 for each distinct tier table (the other versions share these tables).
TEST(FftLongRoundTrips, OrdersUpTo24ReturnTheInput) {
    const std::vector<KernelVersion> versions =
        sonvex_test::OnlyPickedVersion() ? std::vector<KernelVersion>{sonvex_test::PickedVersion()}
                                         : std::vector<KernelVersion>{KernelVersion::Sse2, KernelVersion::Ssse3,
                                                                      KernelVersion::Avx};
    for (KernelVersion version : versions) {
        if (!Tried(detail::KernelRowFor(version))) continue;
        ForcedRow forced(version);
        for (int order = 21; order <= 24; ++order) {
            SCOPED_TRACE(testing::Message() << KernelVersionName(version) << " order " << order);
            Transform fft(order, ScaleBothBySqrtN);
            ASSERT_TRUE(fft.ok());
            const std::vector<float> x = RandomSignal(fft.size(), order);
            std::vector<float> buffer(SpectrumFloats(order));
            ASSERT_EQ(StatusOk, fft.forward(x.data(), buffer.data()));
            ASSERT_EQ(StatusOk, fft.inverse(buffer.data(), buffer.data()));
            std::vector<double> expected(x.begin(), x.end());
            EXPECT_LT(fft_test::RelativeRmsError(buffer.data(), expected.data(), fft.size()), ErrorBound(order));
        }
    }
}

TEST(FftScaleFactor, FollowsItsRoundingRecipe) {
    for (int order = 0; order <= 22; ++order) {
        const double n = std::ldexp(1.0, order);
        RealFftSetup* setup = nullptr;
        ASSERT_EQ(StatusOk, CreateRealFftSetup(order, ScaleBothBySqrtN, &setup));
        EXPECT_EQ((float)(1.0 / std::sqrt(n)), setup->scale) << order;
        EXPECT_EQ(1, setup->forwardScaled);
        EXPECT_EQ(1, setup->inverseScaled);
        ReleaseRealFftSetup(setup);
        ASSERT_EQ(StatusOk, CreateRealFftSetup(order, ScaleForwardByN, &setup));
        EXPECT_EQ(1.0f / (float)n, setup->scale) << order;
        EXPECT_EQ(1, setup->forwardScaled);
        EXPECT_EQ(0, setup->inverseScaled);
        ReleaseRealFftSetup(setup);
        ASSERT_EQ(StatusOk, CreateRealFftSetup(order, ScaleInverseByN, &setup));
        EXPECT_EQ(0, setup->forwardScaled);
        EXPECT_EQ(1, setup->inverseScaled);
        ReleaseRealFftSetup(setup);
    }
}

}  // namespace
