// 32-byte-aligned heap blocks. The heap block's own address is kept in the pointer-sized slot
// just before the address handed out, so freeing needs nothing else.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "dsp/kernels/kernels.h"

namespace sonvex {

namespace {
constexpr size_t kAlignment = 32;
constexpr size_t kSlot = sizeof(void*);
}  // namespace

void* AllocAligned(int32_t bytes) {
    if (bytes <= 0) return nullptr;
    const size_t total = (size_t)bytes + kAlignment + kSlot;  // cannot wrap: bytes < 2^31
    char* heapBlock = static_cast<char*>(std::malloc(total));
    if (!heapBlock) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(heapBlock) + kSlot;
    const uintptr_t aligned = (start + kAlignment - 1) & ~(uintptr_t)(kAlignment - 1);
    char* result = reinterpret_cast<char*>(aligned);
    std::memcpy(result - kSlot, &heapBlock, kSlot);
    return result;
}

void FreeAligned(void* block) {
    if (!block) return;
    void* heapBlock;
    std::memcpy(&heapBlock, static_cast<char*>(block) - kSlot, kSlot);
    std::free(heapBlock);
}

}  // namespace sonvex
