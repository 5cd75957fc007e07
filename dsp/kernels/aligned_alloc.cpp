// 32-byte-aligned heap blocks. The heap block's own address is kept in the pointer-sized slot
// just before the address handed out, so freeing needs nothing else. The two routines of the
// dispatch tables share this one layout: a block taken before the version is chosen may be
// freed after it.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "dsp/kernels/kernels.h"
#include "dsp/kernels/vector_kernels.h"

namespace sonvex {
namespace detail {

namespace {
constexpr size_t kAlignment = 32;
constexpr size_t kSlot = sizeof(void*);

inline void* AllocateAligned(int32_t bytes) {
    if (bytes <= 0) return nullptr;
    const size_t total = (size_t)bytes + kAlignment + kSlot;  // cannot wrap: bytes < 2^31
    char* block = static_cast<char*>(std::malloc(total));
    if (!block) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(block) + kSlot;
    const uintptr_t aligned = (start + kAlignment - 1) & ~(uintptr_t)(kAlignment - 1);
    char* result = reinterpret_cast<char*>(aligned);
    std::memcpy(result - kSlot, &block, kSlot);
    return result;
}

inline void FreeAlignedBlock(void* p) {
    if (!p) return;
    void* block;
    std::memcpy(&block, static_cast<char*>(p) - kSlot, kSlot);
    std::free(block);
}
}  // namespace

void* AllocAlignedGeneric(int32_t bytes) { return AllocateAligned(bytes); }
void FreeAlignedGeneric(void* p) { FreeAlignedBlock(p); }
void* AllocAlignedSsse3(int32_t bytes) { return AllocateAligned(bytes); }
void FreeAlignedSsse3(void* p) { FreeAlignedBlock(p); }

}  // namespace detail
}  // namespace sonvex
