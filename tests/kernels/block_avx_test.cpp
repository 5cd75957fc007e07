#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "dsp/kernels/block_avx.h"
#include "tests/support/kernel_versions.h"

using namespace sonvex::detail;

namespace {

constexpr int32_t kFakeCache = 256 * 1024;  // small enough that big blocks stream
constexpr size_t kGuard = 80;

std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        v[i] = (uint8_t)(seed >> 24);
    }
    return v;
}

// Copies `bytes` to destination offset `offset` inside a guarded buffer and checks the copy
// and both guards.
void CheckCopy(size_t bytes, size_t offset, int32_t cache) {
    const std::vector<uint8_t> src = Pattern(bytes + 7, (uint32_t)bytes);
    std::vector<uint8_t> buffer(bytes + 2 * kGuard + 64, 0xA5);
    uint8_t* dst = buffer.data() + kGuard + offset;
    BlockCopyAvxForCache(dst, src.data() + (offset % 7), bytes, cache);
    ASSERT_EQ(std::memcmp(dst, src.data() + (offset % 7), bytes), 0)
        << bytes << " bytes at offset " << offset;
    for (uint8_t* p = buffer.data(); p < dst; ++p) ASSERT_EQ(*p, 0xA5);
    for (uint8_t* p = dst + bytes; p < buffer.data() + buffer.size(); ++p) ASSERT_EQ(*p, 0xA5);
}

void CheckFill(size_t bytes, size_t offset, int32_t cache) {
    std::vector<uint8_t> buffer(bytes + 2 * kGuard + 64, 0xA5);
    uint8_t* dst = buffer.data() + kGuard + offset;
    BlockFillAvxForCache(dst, 0x3C, bytes, cache);
    for (size_t i = 0; i < bytes; ++i) ASSERT_EQ(dst[i], 0x3C) << bytes << "/" << offset << "/" << i;
    for (uint8_t* p = buffer.data(); p < dst; ++p) ASSERT_EQ(*p, 0xA5);
    for (uint8_t* p = dst + bytes; p < buffer.data() + buffer.size(); ++p) ASSERT_EQ(*p, 0xA5);
}

class BlockAvx : public ::testing::Test {
protected:
    void SetUp() override {
        if (!sonvex_test::ProcessorRunsVersion(sonvex::KernelVersion::Avx)) GTEST_SKIP() << "processor without AVX";
    }
};

TEST_F(BlockAvx, SmallBlocksAtEveryDestinationAlignment) {
    for (size_t bytes = 0; bytes <= 200; ++bytes)
        for (size_t offset = 0; offset < 64; offset += 3) {
            CheckCopy(bytes, offset, kFakeCache);
            CheckFill(bytes, offset, kFakeCache);
        }
}

TEST_F(BlockAvx, CopiesAroundTheStreamingThreshold) {
    for (size_t bytes : {kStreamingCopyFloor - 1, kStreamingCopyFloor, kStreamingCopyFloor + 1,
                         kStreamingCopyFloor + 63, kStreamingCopyFloor + 65})
        for (size_t offset : {0, 1, 17, 32, 63}) {
            CheckCopy(bytes, offset, kFakeCache);  // streams above the floor
            CheckCopy(bytes, offset, 0);           // unknown cache: through the cache
        }
}

TEST_F(BlockAvx, FillsAroundTheStreamingThreshold) {
    for (size_t bytes : {kStreamingFillFloor - 1, kStreamingFillFloor, kStreamingFillFloor + 1,
                         kStreamingFillFloor + 63, kStreamingFillFloor + 100})
        for (size_t offset : {0, 5, 31, 33, 63}) {
            CheckFill(bytes, offset, kFakeCache);
            CheckFill(bytes, offset, 0);
        }
}

TEST_F(BlockAvx, QueriedCacheEntryPointsCopyAndFill) {
    CheckCopy(0, 0, 0);
    const size_t bytes = 3 * 1024 * 1024 + 13;
    const std::vector<uint8_t> src = Pattern(bytes, 7);
    std::vector<uint8_t> dst(bytes + 1, 0xA5);
    BlockCopyAvx(dst.data() + 1, src.data(), bytes);
    EXPECT_EQ(std::memcmp(dst.data() + 1, src.data(), bytes), 0);
    EXPECT_EQ(dst[0], 0xA5);
    BlockFillAvx(dst.data() + 1, 0, bytes);
    for (size_t i = 1; i <= bytes; ++i) ASSERT_EQ(dst[i], 0) << i;
    EXPECT_EQ(dst[0], 0xA5);
}

}  // namespace
