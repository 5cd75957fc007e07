#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "dsp/kernels/block_avx.h"
#include "tests/support/kernel_versions.h"

using namespace sonvex::detail;

namespace {

constexpr int32_t kFakeCache = 256 * 1024;  // small enough that big blocks stream
constexpr size_t kGuard = 80;

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
        for (size_t offset = 0; offset < 64; offset += 3) CheckFill(bytes, offset, kFakeCache);
}

TEST_F(BlockAvx, FillsAroundTheStreamingThreshold) {
    for (size_t bytes : {kStreamingFillFloor - 1, kStreamingFillFloor, kStreamingFillFloor + 1,
                         kStreamingFillFloor + 63, kStreamingFillFloor + 100})
        for (size_t offset : {0, 5, 31, 33, 63}) {
            CheckFill(bytes, offset, kFakeCache);
            CheckFill(bytes, offset, 0);
        }
}

TEST_F(BlockAvx, QueriedCacheEntryPointFills) {
    const size_t bytes = 3 * 1024 * 1024 + 13;
    std::vector<uint8_t> dst(bytes + 1, 0xA5);
    BlockFillAvx(dst.data() + 1, 0, bytes);
    for (size_t i = 1; i <= bytes; ++i) ASSERT_EQ(dst[i], 0) << i;
    EXPECT_EQ(dst[0], 0xA5);
}

}  // namespace
