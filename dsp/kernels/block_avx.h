// Block fill of the AVX rows, which clears their new FFT setups. Blocks larger than the largest
// cache and larger than 2 MB bypass the cache with streaming stores; everything else, and every
// block while the cache size is unknown, goes through the cache. Only call it where AVX runs.
#pragma once
#include <cstddef>
#include <cstdint>

namespace sonvex {
namespace detail {

void BlockFillAvx(void* dst, uint8_t value, size_t bytes);

// Streaming stores pay off only for blocks that would evict the whole cache anyway, and only
// beyond a floor. An unknown cache size (0) never streams. Internal linkage: the rule compiled
// into the AVX translation unit must not serve the others.
constexpr size_t kStreamingFillFloor = 0x200000;
static inline bool UseStreamingStores(size_t bytes, int32_t largestCache, size_t floor) {
    return largestCache > 0 && bytes > (size_t)largestCache && bytes > floor;
}

// The same with the cache size given rather than queried, so that both paths can be exercised
// on any processor.
void BlockFillAvxForCache(void* dst, uint8_t value, size_t bytes, int32_t largestCache);

}  // namespace detail
}  // namespace sonvex
