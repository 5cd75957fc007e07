// CFourierTransform through its vtable: transform setup and lengths, windows, vector methods.
#include <cmath>

#include "tests/comserver/test_support.h"

#include <psapi.h>

using namespace sonvex_test;

namespace {

class FourierTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureCom();
        ASSERT_TRUE(Server::get().ready());
        ASSERT_EQ(Server::get().create(CLSID_CFourierTransform, &m_transform), S_OK);
    }
    Ptr<IFourierTransform> m_transform;
};

constexpr float kGuard = -12345.0f;

TEST_F(FourierTest, LengthsRoundDownToAPowerOfTwo) {
    // 1000 sets up 512: samples 0..511 are read, 514 floats written, the rest untouched.
    std::vector<float> buffer(600, kGuard);
    for (int i = 0; i < 512; ++i) buffer[i] = std::sin(0.1f * i);
    ASSERT_EQ(m_transform->InitFFT(1000), S_OK);
    ASSERT_EQ(m_transform->ForwardFFT(buffer.data()), S_OK);
    EXPECT_NE(buffer[512], kGuard);
    EXPECT_EQ(buffer[513], 0.0f) << "imaginary part of the last bin";
    EXPECT_EQ(buffer[514], kGuard);
    EXPECT_EQ(buffer[1], 0.0f);

    // 0, 1 and -5 all set up N = 1: the value stays (times 1) and element 1 becomes 0.
    for (LONG length : {0L, 1L, -5L}) {
        ASSERT_EQ(m_transform->FreeFFT(), S_OK);
        ASSERT_EQ(m_transform->InitFFT(length), S_OK);
        float one[3] = {3.5f, 7.0f, kGuard};
        ASSERT_EQ(m_transform->ForwardFFT(one), S_OK);
        EXPECT_EQ(one[0], 3.5f) << length;
        EXPECT_EQ(one[1], 0.0f) << length;
        EXPECT_EQ(one[2], kGuard) << length;
    }

    // N = 2: ((a+b)/sqrt2, 0, (a-b)/sqrt2, 0).
    ASSERT_EQ(m_transform->InitFFT(2), S_OK);
    float two[5] = {3.0f, 1.0f, 77.0f, 88.0f, kGuard};
    ASSERT_EQ(m_transform->ForwardFFT(two), S_OK);
    EXPECT_FLOAT_EQ(two[0], 4.0f / std::sqrt(2.0f));
    EXPECT_EQ(two[1], 0.0f);
    EXPECT_FLOAT_EQ(two[2], 2.0f / std::sqrt(2.0f));
    EXPECT_EQ(two[3], 0.0f);
    EXPECT_EQ(two[4], kGuard);
}

TEST_F(FourierTest, ForwardThenInverseGivesTheSamplesBack) {
    for (LONG n : {2L, 8L, 64L, 1024L}) {
        ASSERT_EQ(m_transform->InitFFT(n), S_OK);  // replaces the setup held from the round before
        std::vector<float> original(n), buffer(n + 3, kGuard);
        for (LONG i = 0; i < n; ++i) original[i] = buffer[i] = std::cos(0.37f * i) + 0.25f * (i % 3);
        ASSERT_EQ(m_transform->ForwardFFT(buffer.data()), S_OK);
        const float lastBin = buffer[n];
        EXPECT_EQ(buffer[n + 1], 0.0f);
        // The imaginary parts of the first and last bin are not read by the inverse.
        buffer[1] = 1e6f;
        buffer[n + 1] = -1e6f;
        ASSERT_EQ(m_transform->InverseFFT(buffer.data()), S_OK);
        for (LONG i = 0; i < n; ++i) EXPECT_NEAR(buffer[i], original[i], 1e-4f) << "n=" << n << " i=" << i;
        EXPECT_EQ(buffer[n], lastBin) << "elements N and N+1 keep their values";
        EXPECT_EQ(buffer[n + 1], -1e6f);
        EXPECT_EQ(buffer[n + 2], kGuard);
    }
}

TEST_F(FourierTest, WithoutASetupTheTransformsWriteNothing) {
    float buffer[4] = {1, 2, 3, 4};
    EXPECT_EQ(m_transform->ForwardFFT(buffer), S_OK);
    EXPECT_EQ(m_transform->InverseFFT(buffer), S_OK);
    EXPECT_EQ(buffer[0], 1.0f);
    EXPECT_EQ(buffer[1], 2.0f);
    ASSERT_EQ(m_transform->InitFFT(4), S_OK);
    ASSERT_EQ(m_transform->FreeFFT(), S_OK);
    EXPECT_EQ(m_transform->FreeFFT(), S_OK) << "a second FreeFFT does nothing";
    EXPECT_EQ(m_transform->ForwardFFT(buffer), S_OK);
    EXPECT_EQ(buffer[0], 1.0f);
    EXPECT_EQ(buffer[3], 4.0f);
    // An order the kernel refuses leaves no setup; the call still succeeds.
    EXPECT_EQ(m_transform->InitFFT(1 << 30), S_OK);
    EXPECT_EQ(m_transform->ForwardFFT(buffer), S_OK);
    EXPECT_EQ(buffer[0], 1.0f);
    EXPECT_EQ(m_transform->ForwardFFT(nullptr), S_OK);
}

SIZE_T CommittedBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    K32GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                            sizeof counters);
    return counters.PagefileUsage;  // private committed memory
}

TEST_F(FourierTest, SetupsAreReleasedOnReinitAndDestruction) {
    // A setup of 2^18 points holds well over a megabyte; 100 rounds that leaked on re-init and on
    // destruction would keep a few hundred megabytes.
    ASSERT_EQ(m_transform->InitFFT(1 << 18), S_OK);
    const SIZE_T before = CommittedBytes();
    ASSERT_GT(before, 0u);
    for (int round = 0; round < 100; ++round) {
        ASSERT_EQ(m_transform->InitFFT(1 << 18), S_OK);
        Ptr<IFourierTransform> other;
        ASSERT_EQ(Server::get().create(CLSID_CFourierTransform, &other), S_OK);
        ASSERT_EQ(other->InitFFT(1 << 18), S_OK);
    }
    const SIZE_T after = CommittedBytes();
    EXPECT_LT(after, before + 32u * 1024 * 1024) << "before " << before << " after " << after;
    std::vector<float> buffer((1 << 18) + 2, 1.0f);
    ASSERT_EQ(m_transform->ForwardFFT(buffer.data()), S_OK);
    EXPECT_FLOAT_EQ(buffer[0], 512.0f) << "the last setup is the one in use";
}

TEST_F(FourierTest, WindowsThroughTheObject) {
    struct Case {
        SHORT code;
        float expected[4];
    } cases[] = {{1, {0.08f, 0.54f, 1.0f, 0.54f}},
                 {2, {0.0f, 0.5f, 1.0f, 0.5f}},
                 {3, {-1.3877788e-17f, 0.34f, 1.0f, 0.34f}},
                 {4, {6.0e-05f, 0.21747f, 1.0f, 0.21747f}}};
    for (const Case& c : cases) {
        float w[5] = {kGuard, kGuard, kGuard, kGuard, kGuard};
        ASSERT_EQ(m_transform->CalcWindow(c.code, w, 4, -3.0f), S_OK);
        for (int i = 0; i < 4; ++i) EXPECT_NEAR(w[i], c.expected[i], 1e-6f) << c.code << " " << i;
        EXPECT_EQ(w[4], kGuard);
    }
    for (SHORT code : {SHORT(0), SHORT(5), SHORT(-1)}) {
        float w[2] = {kGuard, kGuard};
        EXPECT_EQ(m_transform->CalcWindow(code, w, 2, 0.0f), S_OK);
        EXPECT_EQ(w[0], kGuard);
    }
    float w[1] = {kGuard};
    EXPECT_EQ(m_transform->CalcWindow(2, w, 0, 0.0f), S_OK);
    EXPECT_EQ(m_transform->CalcWindow(2, w, -4, 0.0f), S_OK);
    EXPECT_EQ(w[0], kGuard);
    EXPECT_EQ(m_transform->CalcWindow(2, nullptr, 4, 0.0f), S_OK);
}

TEST_F(FourierTest, VectorMethods) {
    float a[5] = {1, 2, 3, 4, 5}, b[5] = {2, 2, 2, 2, 2}, r[6] = {0, 0, 0, 0, 0, kGuard};
    ASSERT_EQ(m_transform->PointWiseMult(a, b, r, 5), S_OK);
    EXPECT_EQ(r[4], 10.0f);
    EXPECT_EQ(r[5], kGuard);
    ASSERT_EQ(m_transform->PointWiseMult(a, b, a, 5), S_OK) << "in place on the first vector";
    EXPECT_EQ(a[2], 6.0f);
    float untouched[2] = {kGuard, kGuard};
    EXPECT_EQ(m_transform->PointWiseMult(a, b, untouched, 0), S_OK);
    EXPECT_EQ(m_transform->PointWiseMult(nullptr, b, untouched, 2), S_OK);
    EXPECT_EQ(untouched[0], kGuard);

    float bins[6] = {3, 4, 0, 0, -1, 0}, magnitudes[3];
    ASSERT_EQ(m_transform->GetMagnitudeVector(bins, magnitudes, 3), S_OK);
    EXPECT_NEAR(magnitudes[0], 5.0f, 1e-5f);
    EXPECT_EQ(magnitudes[1], 0.0f);
    EXPECT_NEAR(magnitudes[2], 1.0f, 1e-6f);

    float complexValues[10] = {1, 0, 0, 1, -1, 0, 0, -1, 1, 1}, phases[5];
    ASSERT_EQ(m_transform->GetPhaseVector(complexValues, phases, 5), S_OK);
    const float pi = 3.14159265f;
    EXPECT_NEAR(phases[0], 0.0f, 1e-6f);
    EXPECT_NEAR(phases[1], pi / 2, 1e-6f);
    EXPECT_NEAR(phases[2], pi, 1e-6f);
    EXPECT_NEAR(phases[3], -pi / 2, 1e-6f);
    EXPECT_NEAR(phases[4], pi / 4, 1e-6f);
}

}  // namespace
