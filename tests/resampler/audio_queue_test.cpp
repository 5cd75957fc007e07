#include "dsp/resampler/audio_queue.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

namespace {

using sonvex::CAudioQueue;

std::vector<float> Ramp(int64_t n, float start) {
    std::vector<float> v(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) v[i] = start + static_cast<float>(i);
    return v;
}

TEST(AudioQueue, CapacityGrowsAdditivelyBeforeTheRingWouldBeFull) {
    CAudioQueue q;
    EXPECT_EQ(q.GetCount(), 0);
    EXPECT_EQ(q.GetCapacity(), 2048);
    auto a = Ramp(2047, 0.0f);
    ASSERT_TRUE(q.Push(a.data(), 2047));
    EXPECT_EQ(q.GetCapacity(), 2048);
    ASSERT_TRUE(q.PushSample(2047.0f));
    EXPECT_EQ(q.GetCapacity(), 4096);
    EXPECT_EQ(q.GetCount(), 2048);
    for (int i = 0; i < 2048; ++i) ASSERT_EQ(q.PopSample(), static_cast<float>(i));

    CAudioQueue big;
    auto b = Ramp(5000, 1.0f);
    ASSERT_TRUE(big.Push(b.data(), 5000));
    EXPECT_EQ(big.GetCapacity(), 7048);  // one step of exactly the store's length
    std::vector<float> out(5000);
    EXPECT_EQ(big.Pop(out.data(), 5000), 5000);
    EXPECT_EQ(out, b);
}

TEST(AudioQueue, StoresWrapAndGrowthKeepsOrder) {
    CAudioQueue q;
    std::vector<float> sink(2048);
    auto a = Ramp(1000, 0.0f);
    ASSERT_TRUE(q.Push(a.data(), 1000));
    ASSERT_EQ(q.Pop(sink.data(), 1000), 1000);
    // w = 1000, n = 1048: the store ends exactly at the end of the ring.
    auto b = Ramp(1048, 100.0f);
    ASSERT_TRUE(q.Push(b.data(), 1048));
    ASSERT_TRUE(q.PushSample(-1.0f));  // goes to position 0
    EXPECT_EQ(q.GetCapacity(), 2048);
    // Fill until the next store forces growth while the content wraps.
    auto c = Ramp(998, 5000.0f);
    ASSERT_TRUE(q.Push(c.data(), 998));
    EXPECT_EQ(q.GetCount(), 2047);
    EXPECT_EQ(q.GetCapacity(), 2048);
    ASSERT_TRUE(q.PushSample(9999.0f));
    EXPECT_EQ(q.GetCapacity(), 4096);
    std::vector<float> expected(b);
    expected.push_back(-1.0f);
    expected.insert(expected.end(), c.begin(), c.end());
    expected.push_back(9999.0f);
    std::vector<float> got(expected.size());
    ASSERT_EQ(q.Pop(got.data(), static_cast<int64_t>(got.size())), static_cast<int64_t>(got.size()));
    EXPECT_EQ(got, expected);
    EXPECT_EQ(q.GetCount(), 0);
}

TEST(AudioQueue, ClearKeepsCapacityAndPeekDiscardLeaveOrder) {
    CAudioQueue q;
    auto a = Ramp(3000, 0.0f);
    ASSERT_TRUE(q.Push(a.data(), 3000));
    const int64_t capacity = q.GetCapacity();
    q.Clear();
    EXPECT_EQ(q.GetCount(), 0);
    EXPECT_EQ(q.GetCapacity(), capacity);

    ASSERT_TRUE(q.Push(a.data(), 100));
    std::vector<float> window(10, -7.0f);
    EXPECT_TRUE(q.Peek(window.data(), 40, 10));
    EXPECT_EQ(window, Ramp(10, 40.0f));
    EXPECT_FALSE(q.Peek(window.data(), 95, 10));  // past the content: nothing written
    EXPECT_EQ(window, Ramp(10, 40.0f));
    bool read = false;
    EXPECT_FALSE(q.ReadInPlace(95, 10, [&](const CAudioQueue::Runs&) { read = true; }));
    EXPECT_FALSE(read);
    EXPECT_EQ(q.Discard(30), 30);
    EXPECT_EQ(q.PopSample(), 30.0f);
    // Taking more than is held takes what is there; an empty queue yields silence.
    std::vector<float> rest(200, -1.0f);
    EXPECT_EQ(q.Pop(rest.data(), 200), 69);
    EXPECT_EQ(rest[68], 99.0f);
    EXPECT_EQ(rest[69], -1.0f);
    EXPECT_EQ(q.PopSample(), 0.0f);
    EXPECT_EQ(q.GetCount(), 0);
}

TEST(AudioQueue, InPlaceRunsSplitWhereTheRingWraps) {
    CAudioQueue q;
    auto a = Ramp(1500, 0.0f);
    ASSERT_TRUE(q.Push(a.data(), 1500));
    ASSERT_EQ(q.Discard(1400), 1400);
    ASSERT_TRUE(q.Push(a.data(), 1500));  // the ring of 2048 wraps: held 100 + 1500
    ASSERT_EQ(q.GetCapacity(), 2048);
    CAudioQueue::Runs runs{};
    const auto keep = [&](const CAudioQueue::Runs& seen) { runs = seen; };
    // From the 50th held sample on: 598 samples before the ring's end, the rest from its start.
    ASSERT_TRUE(q.ReadInPlace(50, 1000, keep));
    ASSERT_EQ(runs.firstCount + runs.secondCount, 1000);
    EXPECT_EQ(runs.firstCount, 2048 - 1450);
    std::vector<float> joined(runs.first, runs.first + runs.firstCount);
    joined.insert(joined.end(), runs.second, runs.second + runs.secondCount);
    std::vector<float> copied(1000);
    ASSERT_TRUE(q.Peek(copied.data(), 50, 1000));
    EXPECT_EQ(joined, copied);
    // A range that ends on the ring's end is one run.
    ASSERT_TRUE(q.ReadInPlace(0, 2048 - 1400, keep));
    EXPECT_EQ(runs.secondCount, 0);
    EXPECT_EQ(q.GetCount(), 1600);
}

TEST(AudioQueue, SilenceAndReplaceWithSilence) {
    CAudioQueue q;
    auto a = Ramp(10, 1.0f);
    ASSERT_TRUE(q.Push(a.data(), 10));
    ASSERT_TRUE(q.PushSilence(5));
    std::vector<float> got(15);
    ASSERT_EQ(q.Pop(got.data(), 15), 15);
    for (int i = 10; i < 15; ++i) EXPECT_EQ(got[i], 0.0f);

    ASSERT_TRUE(q.Push(a.data(), 10));
    ASSERT_TRUE(q.ReplaceWithSilence(3000));
    EXPECT_EQ(q.GetCount(), 3000);
    EXPECT_EQ(q.GetCapacity(), 2048 + 3000);  // as Clear then PushSilence(3000) would grow it
    std::vector<float> zeros(3000, 1.0f);
    ASSERT_EQ(q.Pop(zeros.data(), 3000), 3000);
    for (float v : zeros) ASSERT_EQ(v, 0.0f);
}

TEST(AudioQueue, RefusesImpossibleStoresWithoutChange) {
    CAudioQueue q;
    auto a = Ramp(4, 1.0f);
    ASSERT_TRUE(q.Push(a.data(), 4));
    EXPECT_FALSE(q.Push(a.data(), -1));
    EXPECT_FALSE(q.Push(nullptr, 3));
    // A store that no allocation can hold fails before anything is touched.
    EXPECT_FALSE(q.Push(a.data(), INT64_MAX / 8));
    EXPECT_FALSE(q.PushSilence(INT64_MAX / 4));
    EXPECT_EQ(q.GetCount(), 4);
    EXPECT_EQ(q.GetCapacity(), 2048);
    std::vector<float> got(4);
    ASSERT_EQ(q.Pop(got.data(), 4), 4);
    EXPECT_EQ(got, a);
}

// The counts run for ever in a long stream; starting them just below 2^31 and 2^32 shows that
// crossing the limits of 32-bit counters changes nothing, through wraps and a growth.
TEST(AudioQueue, CountsFarAlongTheStreamKeepOrder) {
    for (int64_t start : {int64_t{INT32_MAX} - 700, int64_t{UINT32_MAX} - 1500, int64_t{1} << 40}) {
        CAudioQueue q;
        q.SetCountsForTesting(start);
        float next = 0.0f, expect = 0.0f;
        for (int round = 0; round < 40; ++round) {
            const int64_t n = 37 + round * 61;  // grows the ring part way through
            std::vector<float> block(static_cast<size_t>(n));
            for (auto& v : block) v = next++;
            ASSERT_TRUE(q.Push(block.data(), n));
            std::vector<float> out(static_cast<size_t>(n - 20));
            ASSERT_EQ(q.Pop(out.data(), n - 20), n - 20);
            for (float v : out) ASSERT_EQ(v, expect++) << "start " << start << " round " << round;
        }
        EXPECT_EQ(q.GetCount(), 40 * 20);
        EXPECT_GT(q.GetCapacity(), 2048);
        while (q.GetCount() > 0) ASSERT_EQ(q.PopSample(), expect++);
    }
}

// One thread stores blocks while another takes samples: every single operation holds the
// lock, so the taker sees the whole sequence in order across growths and wraps.
TEST(AudioQueue, StoresAndTakesFromTwoThreadsKeepOrder) {
    CAudioQueue q;
    constexpr int kBlocks = 2000;
    std::thread producer([&] {
        float next = 0.0f;
        for (int b = 0; b < kBlocks; ++b) {
            std::vector<float> block(static_cast<size_t>(1 + b % 97));
            for (auto& v : block) v = next++;
            ASSERT_TRUE(q.Push(block.data(), static_cast<int64_t>(block.size())));
        }
    });
    int64_t total = 0;
    for (int b = 0; b < kBlocks; ++b) total += 1 + b % 97;
    float expect = 0.0f;
    std::vector<float> out(64);
    int64_t taken = 0;
    while (taken < total) {
        const int64_t got = q.Pop(out.data(), 64);
        for (int64_t i = 0; i < got; ++i) ASSERT_EQ(out[static_cast<size_t>(i)], expect++);
        taken += got;
        if (got == 0) std::this_thread::yield();
    }
    producer.join();
    EXPECT_EQ(q.GetCount(), 0);
}

}  // namespace
