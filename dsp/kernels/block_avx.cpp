// Block fill of the AVX rows; this translation unit is compiled with -mavx.
#include <immintrin.h>

#include <cstring>

#include "dsp/kernels/block_avx.h"
#include "dsp/kernels/cache_info.h"

namespace sonvex {
namespace detail {

namespace {

void FillThroughCache(char* dst, __m256i pattern, uint8_t value, size_t bytes) {
    while (bytes >= 64) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), pattern);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 32), pattern);
        dst += 64;
        bytes -= 64;
    }
    if (bytes) std::memset(dst, value, bytes);
}

// Bytes until dst reaches a 64-byte boundary (at most `bytes`).
size_t HeadTo64(const void* dst, size_t bytes) {
    const size_t head = (64 - (reinterpret_cast<uintptr_t>(dst) & 63)) & 63;
    return head < bytes ? head : bytes;
}

}  // namespace

void BlockFillAvxForCache(void* dst, uint8_t value, size_t bytes, int32_t largestCache) {
    char* d = static_cast<char*>(dst);
    const __m256i pattern = _mm256_set1_epi8((char)value);
    if (!UseStreamingStores(bytes, largestCache, kStreamingFillFloor)) {
        FillThroughCache(d, pattern, value, bytes);
        return;
    }
    const size_t head = HeadTo64(d, bytes);
    FillThroughCache(d, pattern, value, head);
    d += head;
    bytes -= head;
    while (bytes >= 64) {
        _mm256_stream_si256(reinterpret_cast<__m256i*>(d), pattern);
        _mm256_stream_si256(reinterpret_cast<__m256i*>(d + 32), pattern);
        d += 64;
        bytes -= 64;
    }
    FillThroughCache(d, pattern, value, bytes);
    _mm_sfence();
}

void BlockFillAvx(void* dst, uint8_t value, size_t bytes) {
    BlockFillAvxForCache(dst, value, bytes, LargestCacheSize());
}

}  // namespace detail
}  // namespace sonvex
