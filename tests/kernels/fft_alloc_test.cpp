// The transforms allocate nothing when they are given the reported work buffer, and allocate for
// the call when they are not. Counted by interposing malloc, so native builds without sanitizers
// only (the sanitizers own malloc themselves).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <vector>

#include "dsp/kernels/kernels.h"
#include "tests/support/kernel_versions.h"

extern "C" void* __libc_malloc(size_t);
static bool g_counting = false;
static int g_allocations = 0;
static size_t g_largestRequest = 0;

extern "C" void* malloc(size_t bytes) {
    if (g_counting) {
        ++g_allocations;
        if (bytes > g_largestRequest) g_largestRequest = bytes;
    }
    return __libc_malloc(bytes);
}

namespace {

using namespace sonvex;

int CountAllocations(void (*body)(void*), void* context) {
    g_allocations = 0;
    g_counting = true;
    body(context);
    g_counting = false;
    return g_allocations;
}

struct Case {
    RealFftSetup* setup;
    std::vector<float>* data;
    void* work;
};

void RoundTrip(void* context) {
    Case* c = static_cast<Case*>(context);
    RealFftForward(c->data->data(), c->data->data(), c->setup, c->work);
    RealFftInverse(c->data->data(), c->data->data(), c->setup, c->work);
}

TEST(FftAllocation, NoneWithTheReportedBufferOneAllocationPerTransformWithout) {
    for (const detail::KernelRow& row : detail::kKernelRows) {
        if (!sonvex_test::ProcessorRunsRow(row)) continue;
        sonvex_test::ForcedRow forced(row);
        for (int order = 0; order <= 20; ++order) {
            SCOPED_TRACE(testing::Message() << row.name << " order " << order);
            RealFftSetup* setup = nullptr;
            ASSERT_EQ(StatusOk, CreateRealFftSetup(order, ScaleBothBySqrtN, &setup));
            int32_t bytes = 0;
            ASSERT_EQ(StatusOk, GetRealFftBufferSize(setup, &bytes));
            std::vector<char> work(bytes > 0 ? bytes : 1);
            std::vector<float> data((size_t(1) << order) + 2, 0.5f);
            Case given{setup, &data, bytes > 0 ? work.data() : nullptr};
            EXPECT_EQ(0, CountAllocations(RoundTrip, &given));
            Case missing{setup, &data, nullptr};
            EXPECT_EQ(bytes > 0 ? 2 : 0, CountAllocations(RoundTrip, &missing));
            ReleaseRealFftSetup(setup);
        }
    }
}

// A setup is one block of header and tables; the temporary build area is smaller (N/4 + 1
// floats). Both stay within a small constant times N floats: at most about 2.8 N, and 4.45 N
// where the avx512 row adds its 16-lane tables (a lane twiddle per value and split-step runs).
TEST(FftAllocation, SetupBlockStaysWithinFourAndAHalfTimesNFloats) {
    double worst = 0.0;
    for (const detail::KernelRow& row : detail::kKernelRows) {
        if (!sonvex_test::ProcessorRunsRow(row)) continue;
        sonvex_test::ForcedRow forced(row);
        for (int order = 5; order <= 22; ++order) {
            RealFftSetup* setup = nullptr;
            g_largestRequest = 0;
            g_allocations = 0;
            g_counting = true;
            const int32_t status = CreateRealFftSetup(order, ScaleBothBySqrtN, &setup);
            g_counting = false;
            ASSERT_EQ(StatusOk, status);
            EXPECT_LE(g_allocations, 2);
            const double floats = (double)(size_t(1) << order);
            const double ratio = (double)g_largestRequest / (4.0 * floats);
            if (order >= 10) worst = std::max(worst, ratio);
            EXPECT_LE((double)g_largestRequest, 4.5 * 4.0 * floats + 4096.0)
                << row.name << " order " << order;
            ReleaseRealFftSetup(setup);
        }
    }
    std::printf("largest setup block, orders 10..22: %.2f N floats\n", worst);
}

}  // namespace
