// What a process holds, for tests that check that work leaves nothing behind: its open
// handles and the bytes in use on all of its heaps (Windows trees only).
#pragma once

#include <windows.h>

#include <cstddef>

namespace sonvex_test {

// Open handles of this process. Where the system does not count them, every handle value is
// asked about in turn.
inline DWORD OpenHandleCount() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) return count;
    count = 0;
    DWORD flags = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4)
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
    return count;
}

// Bytes in busy blocks of every heap of the process (the C run-time allocator's included).
inline size_t HeapBytesInUse() {
    HANDLE heaps[256];
    DWORD count = GetProcessHeaps(256, heaps);
    if (count > 256) count = 256;
    size_t bytes = 0;
    for (DWORD i = 0; i < count; ++i) {
        if (!HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) bytes += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return bytes;
}

struct ProcessResources {
    DWORD handles = 0;
    size_t heapBytes = 0;
    static ProcessResources Now() { return {OpenHandleCount(), HeapBytesInUse()}; }
};

}  // namespace sonvex_test
