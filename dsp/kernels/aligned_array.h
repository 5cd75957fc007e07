// An owning handle of a block from AllocAligned: the block goes back to FreeAligned with the
// handle, when it is replaced or reset, unless Release hands it to a new owner.
#pragma once
#include <cstddef>
#include <cstdint>

#include "dsp/kernels/kernels.h"

namespace sonvex {

template <class T>
class AlignedArray {
public:
    AlignedArray() = default;
    ~AlignedArray() { FreeAligned(m_pData); }
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
        m_pData = static_cast<T*>(AllocAligned(static_cast<int32_t>(count * static_cast<int64_t>(sizeof(T)))));
        if (!m_pData) return false;
        m_nCount = count;
        return true;
    }

    void Reset() {
        FreeAligned(m_pData);
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
    T* m_pData = nullptr;
    int64_t m_nCount = 0;
};

}  // namespace sonvex
