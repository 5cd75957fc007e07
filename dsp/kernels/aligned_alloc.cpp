// Aligned heap blocks. The kernels' own blocks are 32-byte aligned, with the heap block's own
// address in the pointer-sized slot just before the address handed out, so freeing needs nothing
// else; cache-line blocks (64 bytes) come from the C library's aligned allocator where it has one.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "dsp/kernels/kernels.h"

namespace sonvex {

namespace {
constexpr size_t kSlot = sizeof(void*);

// A block aligned to `alignment` inside a heap block whose own address is kept in the slot just
// before it. `bytes` is below 2^31, so the total cannot wrap.
void* AllocWithSlot(size_t bytes, size_t alignment) {
    char* heapBlock = static_cast<char*>(std::malloc(bytes + alignment + kSlot));
    if (!heapBlock) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(heapBlock) + kSlot;
    const uintptr_t aligned = (start + alignment - 1) & ~(uintptr_t)(alignment - 1);
    char* result = reinterpret_cast<char*>(aligned);
    std::memcpy(result - kSlot, &heapBlock, kSlot);
    return result;
}

void FreeWithSlot(void* block) {
    if (!block) return;
    void* heapBlock;
    std::memcpy(&heapBlock, static_cast<char*>(block) - kSlot, kSlot);
    std::free(heapBlock);
}
}  // namespace

void* AllocAligned(int32_t bytes) { return bytes > 0 ? AllocWithSlot(static_cast<size_t>(bytes), 32) : nullptr; }

void FreeAligned(void* block) { FreeWithSlot(block); }

namespace detail {

// The Windows run-time's aligned allocator lays its blocks out as AllocWithSlot does.
void* AllocCacheLineAligned(size_t bytes) {
    if (bytes == 0) return nullptr;
#ifdef _WIN32
    return AllocWithSlot(bytes, 64);
#else
    void* block = nullptr;
    return posix_memalign(&block, 64, bytes) == 0 ? block : nullptr;
#endif
}

void FreeCacheLineAligned(void* block) {
#ifdef _WIN32
    FreeWithSlot(block);
#else
    std::free(block);
#endif
}

}  // namespace detail

}  // namespace sonvex
