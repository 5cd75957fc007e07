// 32-byte-aligned heap blocks. The heap block's own address is kept in the pointer-sized slot
// just before the address handed out, so FreeAligned needs nothing else.
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
    const size_t total = (size_t)bytes + kAlignment + kSlot;
    char* block = static_cast<char*>(std::malloc(total));
    if (!block) return nullptr;
    uintptr_t start = reinterpret_cast<uintptr_t>(block) + kSlot;
    uintptr_t aligned = (start + kAlignment - 1) & ~(uintptr_t)(kAlignment - 1);
    char* result = reinterpret_cast<char*>(aligned);
    std::memcpy(result - kSlot, &block, kSlot);
    return result;
}

void FreeAligned(void* p) {
    if (!p) return;
    void* block;
    std::memcpy(&block, static_cast<char*>(p) - kSlot, kSlot);
    std::free(block);
}

}  // namespace sonvex
