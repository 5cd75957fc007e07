#include "dsp/kernels/cache_info.h"

#include <cstring>

#include "dsp/kernels/cpu_features.h"

namespace sonvex {
namespace detail {

namespace {
constexpr int32_t KB = 1024;
constexpr int32_t MB = 1024 * 1024;
}  // namespace

// Second- and third-level cache descriptors of leaf 2 with their documented sizes, ordered
// from the largest size down so that the first hit is the largest cache.
const CacheDescriptor kCacheDescriptors[] = {
    {0xEC, 24 * MB},  {0xEB, 18 * MB},  {0x4D, 16 * MB},  {0xEA, 12 * MB},  {0x4C, 12 * MB},
    {0xE4, 8 * MB},   {0xDE, 8 * MB},   {0x4B, 8 * MB},   {0x47, 8 * MB},   {0x4E, 6 * MB},
    {0x4A, 6 * MB},   {0xE3, 4 * MB},   {0xDD, 4 * MB},   {0xD8, 4 * MB},   {0x49, 4 * MB},
    {0x29, 4 * MB},   {0x46, 4 * MB},   {0x48, 3 * MB},   {0xE2, 2 * MB},   {0xDC, 2 * MB},
    {0xD7, 2 * MB},   {0xD2, 2 * MB},   {0x25, 2 * MB},   {0x7D, 2 * MB},   {0x85, 2 * MB},
    {0x45, 2 * MB},   {0xD6, 1 * MB},   {0xD1, 1 * MB},   {0x23, 1 * MB},   {0x87, 1 * MB},
    {0x7C, 1 * MB},   {0x78, 1 * MB},   {0x84, 1 * MB},   {0x44, 1 * MB},   {0xD0, 512 * KB},
    {0x22, 512 * KB}, {0x7B, 512 * KB}, {0x80, 512 * KB}, {0x86, 512 * KB}, {0x3E, 512 * KB},
    {0x7F, 512 * KB}, {0x83, 512 * KB}, {0x43, 512 * KB}, {0x3D, 384 * KB}, {0x21, 256 * KB},
    {0x7A, 256 * KB}, {0x82, 256 * KB}, {0x3C, 256 * KB}, {0x3F, 256 * KB}, {0x42, 256 * KB},
    {0x3A, 192 * KB}, {0x79, 128 * KB}, {0x39, 128 * KB}, {0x3B, 128 * KB}, {0x41, 128 * KB},
};
const size_t kCacheDescriptorCount = sizeof(kCacheDescriptors) / sizeof(kCacheDescriptors[0]);

int32_t DecodeLargestCacheLeaf4(const CacheLeaf4Registers* subleaves, size_t count) {
    uint64_t largest = 0;
    for (size_t i = 0; i < count; ++i) {
        const CacheLeaf4Registers& r = subleaves[i];
        const uint32_t type = r.eax & 0x1F;
        if (type == 0) break;
        if (type == 2) continue;  // instruction cache
        const uint64_t ways = ((r.ebx >> 22) & 0x3FF) + 1;
        const uint64_t partitions = ((r.ebx >> 12) & 0x3FF) + 1;
        const uint64_t line = (r.ebx & 0xFFF) + 1;
        const uint64_t sets = (uint64_t)r.ecx + 1;
        // The first three fields give at most 2^32 and the sets another 2^32: saturate
        // before the product could wrap.
        const uint64_t lineGroup = ways * partitions * line;
        const uint64_t size = sets > (uint64_t)INT32_MAX / lineGroup ? (uint64_t)INT32_MAX + 1
                                                                      : lineGroup * sets;
        if (size > largest) largest = size;
    }
    return largest > (uint64_t)INT32_MAX ? INT32_MAX : (int32_t)largest;
}

int32_t DecodeLargestCacheLeaf2(uint32_t eax, uint32_t ebx, uint32_t ecx, uint32_t edx) {
    if ((eax & 0xFF) != 1) return 0;
    uint8_t bytes[16];
    size_t n = 0;
    const uint32_t regs[4] = {eax, ebx, ecx, edx};
    for (int r = 0; r < 4; ++r) {
        if (regs[r] & 0x80000000u) continue;
        for (int b = (r == 0 ? 1 : 0); b < 4; ++b) bytes[n++] = (uint8_t)(regs[r] >> (8 * b));
    }
    for (size_t t = 0; t < kCacheDescriptorCount; ++t) {
        for (size_t i = 0; i < n; ++i) {
            if (bytes[i] == kCacheDescriptors[t].descriptor) return kCacheDescriptors[t].bytes;
        }
    }
    return 0;
}

namespace {

int32_t QueryLargestCacheSize() {
    if (!CpuidAvailable()) return 0;
    const CpuidResult leaf0 = ExecuteCpuid(0);
    char vendor[12];
    std::memcpy(vendor, &leaf0.ebx, 4);
    std::memcpy(vendor + 4, &leaf0.edx, 4);
    std::memcpy(vendor + 8, &leaf0.ecx, 4);
    if (std::memcmp(vendor, "GenuineIntel", 12) != 0 || leaf0.eax < 2) return 0;
    if (leaf0.eax >= 4) {
        CacheLeaf4Registers subleaves[32];
        size_t count = 0;
        for (uint32_t i = 0; i < 32; ++i) {
            const CpuidResult r = ExecuteCpuid(4, i);
            subleaves[count++] = {r.eax, r.ebx, r.ecx};
            if ((r.eax & 0x1F) == 0) break;
        }
        return DecodeLargestCacheLeaf4(subleaves, count);
    }
    const CpuidResult leaf2 = ExecuteCpuid(2);
    return DecodeLargestCacheLeaf2(leaf2.eax, leaf2.ebx, leaf2.ecx, leaf2.edx);
}

}  // namespace

int32_t LargestCacheSize() {
    // Probed once, on the first call.
    static const int32_t size = QueryLargestCacheSize();
    return size;
}

}  // namespace detail
}  // namespace sonvex
