#include "dsp/kernels/cache_info.h"

#include <gtest/gtest.h>

#include <set>

#include "dsp/kernels/block_avx.h"


using namespace sonvex::detail;

namespace {

constexpr int32_t KB = 1024, MB = 1024 * 1024;

// Leaf-4 registers for a cache of the given geometry (each field holds its count minus one).
CacheLeaf4Registers Leaf4(uint32_t type, uint32_t ways, uint32_t partitions, uint32_t line,
                          uint32_t sets) {
    return {type | (2u << 5), ((ways - 1) << 22) | ((partitions - 1) << 12) | (line - 1), sets - 1};
}

TEST(LargestCacheLeaf4, TakesLargestDataOrUnifiedCacheUpToTheEnd) {
    const CacheLeaf4Registers caches[] = {
        Leaf4(1, 8, 1, 64, 64),      // 32 KB data
        Leaf4(2, 16, 1, 64, 8192),   // 8 MB instruction cache: skipped
        Leaf4(3, 16, 1, 64, 1024),   // 1 MB unified
        Leaf4(3, 12, 1, 64, 16384),  // 12 MB unified
        Leaf4(1, 2, 2, 64, 64),      // partitions count
        {0, 0, 0},                   // end of list
        Leaf4(3, 16, 1, 64, 65536),  // beyond the end: never read
    };
    EXPECT_EQ(DecodeLargestCacheLeaf4(caches, 7), 12 * MB);
    EXPECT_EQ(DecodeLargestCacheLeaf4(caches, 3), 1 * MB);
    EXPECT_EQ(DecodeLargestCacheLeaf4(caches, 2), 32 * KB);
    EXPECT_EQ(DecodeLargestCacheLeaf4(caches, 0), 0);
    const CacheLeaf4Registers partitioned[] = {Leaf4(1, 2, 3, 64, 64)};
    EXPECT_EQ(DecodeLargestCacheLeaf4(partitioned, 1), 2 * 3 * 64 * 64);
    const CacheLeaf4Registers onlyInstruction[] = {Leaf4(2, 8, 1, 64, 64), {0, 0, 0}};
    EXPECT_EQ(DecodeLargestCacheLeaf4(onlyInstruction, 2), 0);
    // Field values at their limits saturate rather than wrap.
    const CacheLeaf4Registers absurd[] = {{3, 0xFFFFFFFFu, 0xFFFFFFFFu}};
    EXPECT_EQ(DecodeLargestCacheLeaf4(absurd, 1), INT32_MAX);
}

TEST(LargestCacheLeaf2, EveryDescriptorIsFoundInEveryPosition) {
    ASSERT_EQ(kCacheDescriptorCount, 55u);
    for (size_t row = 0; row < kCacheDescriptorCount; ++row) {
        const uint32_t d = kCacheDescriptors[row].descriptor;
        const int32_t bytes = kCacheDescriptors[row].bytes;
        // Descriptors of 0x80 and up cannot stand in the top byte: they would set bit 31.
        const int top = d < 0x80 ? 32 : 24;
        for (int shift = 8; shift < top; shift += 8)
            EXPECT_EQ(DecodeLargestCacheLeaf2(1 | (d << shift), 0, 0, 0), bytes) << std::hex << d;
        for (int shift = 0; shift < top; shift += 8) {
            EXPECT_EQ(DecodeLargestCacheLeaf2(1, d << shift, 0, 0), bytes) << std::hex << d;
            EXPECT_EQ(DecodeLargestCacheLeaf2(1, 0, d << shift, 0), bytes) << std::hex << d;
            EXPECT_EQ(DecodeLargestCacheLeaf2(1, 0, 0, d << shift), bytes) << std::hex << d;
        }
    }
    // Spot checks of sizes from each end and the middle of the table.
    EXPECT_EQ(DecodeLargestCacheLeaf2(0xEC01, 0, 0, 0), 24 * MB);
    EXPECT_EQ(DecodeLargestCacheLeaf2(0x4801, 0, 0, 0), 3 * MB);
    EXPECT_EQ(DecodeLargestCacheLeaf2(0x3D01, 0, 0, 0), 384 * KB);
    EXPECT_EQ(DecodeLargestCacheLeaf2(0x3A01, 0, 0, 0), 192 * KB);
    EXPECT_EQ(DecodeLargestCacheLeaf2(0x4101, 0, 0, 0), 128 * KB);
}

TEST(LargestCacheLeaf2, LargestNamedCacheWinsAndTableIsOrdered) {
    for (size_t i = 1; i < kCacheDescriptorCount; ++i)
        EXPECT_GE(kCacheDescriptors[i - 1].bytes, kCacheDescriptors[i].bytes) << i;
    // Small caches listed before a large one do not hide it, whatever the byte order.
    EXPECT_EQ(DecodeLargestCacheLeaf2(0x41792C01, 0x0049007A, 0, 0), 4 * MB);
    EXPECT_EQ(DecodeLargestCacheLeaf2(0x00000001, 0x41794D2C, 0xEC000000 >> 8, 0), 24 * MB);
    // Descriptors that are not second- or third-level caches count for nothing.
    std::set<uint8_t> listed;
    for (size_t row = 0; row < kCacheDescriptorCount; ++row) listed.insert(kCacheDescriptors[row].descriptor);
    EXPECT_EQ(listed.size(), 55u);
    for (uint32_t d = 0; d < 256; ++d) {
        if (listed.count((uint8_t)d)) continue;
        EXPECT_EQ(DecodeLargestCacheLeaf2(1, d, d << 8, d << 16), 0) << std::hex << d;
    }
}

TEST(LargestCacheLeaf2, RepeatCountAndBit31Rules) {
    // Only an AL of 1 makes the descriptors valid.
    EXPECT_EQ(DecodeLargestCacheLeaf2(0x00004901, 0, 0, 0), 4 * MB);
    EXPECT_EQ(DecodeLargestCacheLeaf2(0x00004902, 0, 0, 0), 0);
    EXPECT_EQ(DecodeLargestCacheLeaf2(0x00004900, 0, 0, 0), 0);
    EXPECT_EQ(DecodeLargestCacheLeaf2(0x00000002, 0x49, 0, 0), 0);
    // The low byte of EAX is the repeat count even when it looks like a descriptor elsewhere.
    EXPECT_EQ(DecodeLargestCacheLeaf2(0x00000001, 0x00000001, 0, 0), 0);
    // A register with bit 31 set carries no descriptors; the others still count.
    EXPECT_EQ(DecodeLargestCacheLeaf2(1, 0x80000049, 0, 0), 0);
    EXPECT_EQ(DecodeLargestCacheLeaf2(1, 0x80000049, 0x21, 0), 256 * KB);
    EXPECT_EQ(DecodeLargestCacheLeaf2(0x80004901, 0, 0, 0), 0);
    EXPECT_EQ(DecodeLargestCacheLeaf2(0x80004901, 0, 0, 0x00000043), 512 * KB);
    EXPECT_EQ(DecodeLargestCacheLeaf2(1, 0, 0x800000EC, 0x7F000000), 512 * KB);
}

TEST(LargestCache, QueryIsStableAndPlausible) {
    const int32_t size = LargestCacheSize();
    EXPECT_EQ(LargestCacheSize(), size);
    EXPECT_GE(size, 0);
    if (size) {
        EXPECT_GE(size, 16 * KB);  // a real cache, not a field read the wrong way
    }
}

TEST(StreamingStoreRule, NeedsKnownCacheAndBothLimitsExceeded) {
    // A 1 MB floor: strictly larger than both the cache and the floor.
    const size_t kOneMegabyte = 0x100000;
    EXPECT_FALSE(UseStreamingStores(0x100000, 512 * KB, kOneMegabyte));
    EXPECT_TRUE(UseStreamingStores(0x100001, 512 * KB, kOneMegabyte));
    EXPECT_FALSE(UseStreamingStores(8 * MB, 8 * MB, kOneMegabyte));
    EXPECT_TRUE(UseStreamingStores(8 * MB + 1, 8 * MB, kOneMegabyte));
    // Fill floor 2 MB.
    EXPECT_FALSE(UseStreamingStores(0x200000, 512 * KB, kStreamingFillFloor));
    EXPECT_TRUE(UseStreamingStores(0x200001, 512 * KB, kStreamingFillFloor));
    EXPECT_FALSE(UseStreamingStores(0x180000, 512 * KB, kStreamingFillFloor));
    // Unknown cache size: never.
    EXPECT_FALSE(UseStreamingStores((size_t)1 << 30, 0, kOneMegabyte));
    EXPECT_FALSE(UseStreamingStores((size_t)1 << 30, 0, kStreamingFillFloor));
}

}  // namespace
