// Block copy and fill of the AVX version (its row's copyBlock and fillBlock). Blocks larger than
// the largest cache and larger than 1 MB (copy) or 2 MB (fill) bypass the cache with streaming
// stores; everything else, and every block while the cache size is unknown, goes through the
// cache. The copy's blocks must not overlap. Only call them where the AVX version runs.
#pragma once
#include <cstddef>
#include <cstdint>

namespace sonvex {
namespace detail {

void BlockCopyAvx(void* dst, const void* src, size_t bytes);
void BlockFillAvx(void* dst, uint8_t value, size_t bytes);

// Streaming stores pay off only for blocks that would evict the whole cache anyway, and only
// beyond a floor. An unknown cache size (0) never streams. Internal linkage: the copy compiled
// into the AVX translation unit must not serve the others.
constexpr size_t kStreamingCopyFloor = 0x100000;
constexpr size_t kStreamingFillFloor = 0x200000;
static inline bool UseStreamingStores(size_t bytes, int32_t largestCache, size_t floor) {
    return largestCache > 0 && bytes > (size_t)largestCache && bytes > floor;
}

// The same with the cache size given rather than queried, so that both paths can be exercised
// on any processor.
void BlockCopyAvxForCache(void* dst, const void* src, size_t bytes, int32_t largestCache);
void BlockFillAvxForCache(void* dst, uint8_t value, size_t bytes, int32_t largestCache);

}  // namespace detail
}  // namespace sonvex
