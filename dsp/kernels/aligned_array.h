// An owning handle of an aligned block: the block goes back with the handle, when it is replaced
// or reset, unless Release hands it to a new owner. Kernel blocks come from AllocAligned (32
// bytes, and Release's block goes to FreeAligned); cache-line blocks are 64-byte aligned and
// placed by the C library's own aligned allocator where it has one, as the resampler's tables
// and work buffers always were (their speed depends on where they lie relative to each other).
#pragma once
#include <cstddef>
#include <cstdint>

#include "dsp/kernels/kernels.h"

namespace sonvex {

enum class BlockAlignment { Kernel, CacheLine };

namespace detail {
void* AllocCacheLineAligned(size_t bytes);
void FreeCacheLineAligned(void* block);
}  // namespace detail

template <class T, BlockAlignment A = BlockAlignment::Kernel>
class AlignedArray {
public:
    AlignedArray() = default;
    ~AlignedArray() { Free(m_pData); }
    AlignedArray(AlignedArray&& other) noexcept : m_pData(other.m_pData), m_nCount(other.m_nCount) {
        other.m_pData = nullptr;
        other.m_nCount = 0;
    }
    AlignedArray& operator=(AlignedArray&& other) noexcept {
        if (this != &other) {
            Reset();
            m_pData = other.m_pData;
            m_nCount = other.m_nCount;
            other.m_pData = nullptr;
            other.m_nCount = 0;
        }
        return *this;
    }
    AlignedArray(const AlignedArray&) = delete;
    AlignedArray& operator=(const AlignedArray&) = delete;

    // Replaces the block with one of `count` elements, left uninitialised. False, and empty,
    // when count is not positive, the block would not fit the allocator's 32-bit size, or the
    // heap is exhausted.
    bool Allocate(int64_t count) {
        Reset();
        constexpr int64_t kMaxBytes = INT32_MAX - 64;
        if (count <= 0 || count > kMaxBytes / static_cast<int64_t>(sizeof(T))) return false;
        m_pData = static_cast<T*>(Alloc(count * static_cast<int64_t>(sizeof(T))));
        if (!m_pData) return false;
        m_nCount = count;
        return true;
    }

    void Reset() {
        Free(m_pData);
        m_pData = nullptr;
        m_nCount = 0;
    }

    // The block, which the caller now frees with FreeAligned; the handle is empty.
    T* Release() {
        T* data = m_pData;
        m_pData = nullptr;
        m_nCount = 0;
        return data;
    }

    T* Get() const { return m_pData; }
    int64_t Count() const { return m_nCount; }
    size_t Bytes() const { return static_cast<size_t>(m_nCount) * sizeof(T); }
    explicit operator bool() const { return m_pData != nullptr; }

private:
    static void* Alloc(int64_t bytes) {
        if (A == BlockAlignment::CacheLine) return detail::AllocCacheLineAligned(static_cast<size_t>(bytes));
        return AllocAligned(static_cast<int32_t>(bytes));
    }
    static void Free(void* block) {
        if (A == BlockAlignment::CacheLine)
            detail::FreeCacheLineAligned(block);
        else
            FreeAligned(block);
    }

    T* m_pData = nullptr;
    int64_t m_nCount = 0;
};

}  // namespace sonvex
