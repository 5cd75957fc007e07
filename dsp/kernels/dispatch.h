// Internal side of the processor-feature dispatch, shared by the kernel translation units.
#pragma once
#include <cstddef>
#include <cstdint>

namespace sonvex {
namespace detail {

// Index of the chosen version, 0..5: 0 baseline (runs the SSE2 routines), 1 SSE2, 2 SSSE3,
// 3 SSSE3 with MOVBE, 4 SSE4.1, 5 AVX. Read with a plain load on every entry-point call.
extern int32_t g_kernelVariant;
constexpr int kKernelVariantCount = 6;

// Tests and benchmarks run every version on this processor by forcing the index.
// Forcing a version the processor lacks is the caller's responsibility.
void ForceKernelVariant(int32_t variant);

// Block copy and fill of the AVX version (only call them when the AVX version is selected).
// Blocks larger than the largest cache and larger than 1 MB (copy) or 2 MB (fill) bypass the
// cache with streaming stores; everything else, and every block while the cache size is
// unknown, goes through the cache. The copy's blocks must not overlap.
void BlockCopyAvx(void* dst, const void* src, size_t bytes);
void BlockFillAvx(void* dst, uint8_t value, size_t bytes);

// Size in bytes of the largest data or unified cache, 0 when it cannot be learned.
// Computed on the first call and cached.
int32_t LargestCacheSize();

}  // namespace detail
}  // namespace sonvex
