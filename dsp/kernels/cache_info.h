// Largest-cache query: the decoders are pure functions of CPUID register values so that every
// path can be checked with synthetic registers; LargestCacheSize feeds them the real ones.
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

// Size in bytes of the largest data or unified cache, 0 when it cannot be learned (only
// processors that call themselves GenuineIntel describe their caches the way this reads them).
// Computed on the first call.
int32_t LargestCacheSize();

}  // namespace detail
}  // namespace sonvex
