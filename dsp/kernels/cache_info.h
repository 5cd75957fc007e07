// Largest-cache query: the decoders are pure functions of CPUID register values so that every
// path can be checked with synthetic registers; LargestCacheSize (dispatch.h) feeds them the
// real ones.
#pragma once
#include <cstddef>
#include <cstdint>

namespace sonvex {
namespace detail {

struct CacheLeaf4Registers {
    uint32_t eax, ebx, ecx;
};

// Leaf 4, subleaves in order: stops at cache type 0, skips instruction caches (type 2) and
// returns the largest (ways)(partitions)(line)(sets) product, saturated to INT32_MAX.
int32_t DecodeLargestCacheLeaf4(const CacheLeaf4Registers* subleaves, size_t count);

// Leaf 2 descriptor bytes: used only when AL is 1; registers with bit 31 set carry no
// descriptors and the low byte of EAX is the repeat count, not a descriptor. Returns the
// size of the largest second- or third-level cache named, 0 when none is.
int32_t DecodeLargestCacheLeaf2(uint32_t eax, uint32_t ebx, uint32_t ecx, uint32_t edx);

// The descriptor table behind DecodeLargestCacheLeaf2, largest size first.
struct CacheDescriptor {
    uint8_t descriptor;
    int32_t bytes;
};
extern const CacheDescriptor kCacheDescriptors[];
extern const size_t kCacheDescriptorCount;

// Streaming stores pay off only for blocks that would evict the whole cache anyway, and only
// beyond a floor (1 MB for copies, 2 MB for fills). An unknown cache size (0) never streams.
// Internal linkage: the copy compiled into the AVX translation unit must not serve the others.
constexpr size_t kStreamingCopyFloor = 0x100000;
constexpr size_t kStreamingFillFloor = 0x200000;
static inline bool UseStreamingStores(size_t bytes, int32_t largestCache, size_t floor) {
    return largestCache > 0 && bytes > (size_t)largestCache && bytes > floor;
}

// BlockCopyAvx and BlockFillAvx with the cache size given rather than queried, so that both
// paths can be exercised on any processor.
void BlockCopyAvxForCache(void* dst, const void* src, size_t bytes, int32_t largestCache);
void BlockFillAvxForCache(void* dst, uint8_t value, size_t bytes, int32_t largestCache);

}  // namespace detail
}  // namespace sonvex
