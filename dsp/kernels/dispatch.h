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

}  // namespace detail
}  // namespace sonvex
