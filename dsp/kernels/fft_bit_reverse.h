// Bit reversal of 2^bits complex values, in place or from one array to another. Long arrays move
// 64 x 64 tiles: the tile of middle bits `mid` (rows: high 6 bits, columns: low 6 bits) lands on
// the tile of reversed middle bits, transposed with reversed rows and columns.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "dsp/kernels/fft_internal.h"

namespace sonvex {
namespace fft {
namespace {

// A tile is gathered with its rows in reversed order, transposed, and written back with its rows
// in reversed order again: element (r, c) of the target tile is element (rev c, rev r) of the
// source tile.
struct ReversedTileIndex {
    uint16_t rowOffset[64];  // (i with its 6 bits reversed) * 64
};

constexpr ReversedTileIndex MakeReversedTileIndex() {
    ReversedTileIndex index{};
    for (uint32_t i = 0; i < 64; ++i) {
        uint32_t reversed = 0;
        for (int bit = 0; bit < 6; ++bit) reversed |= ((i >> bit) & 1u) << (5 - bit);
        index.rowOffset[i] = (uint16_t)(reversed * 64);
    }
    return index;
}

template <class T>
inline void CopyTileRow(const uint64_t* from, uint64_t* to) {
    constexpr size_t kFloatsPerRow = 2 << kReverseTileBits;
    const float* in = reinterpret_cast<const float*>(from);
    float* out = reinterpret_cast<float*>(to);
    for (size_t f = 0; f < kFloatsPerRow; f += 4 * T::kComplex) {
        const typename T::V a = T::Load(in + f), b = T::Load(in + f + 2 * T::kComplex);
        T::Store(out + f, a);
        T::Store(out + f + 2 * T::kComplex, b);
    }
}

template <class T>
inline void GatherReverseTile(const uint64_t* x, size_t rowStride, size_t mid, uint64_t* tile) {
    static constexpr ReversedTileIndex index = MakeReversedTileIndex();
    constexpr size_t kSide = size_t(1) << kReverseTileBits;
    for (size_t hi = 0; hi < kSide; ++hi) CopyTileRow<T>(x + hi * rowStride + mid * kSide, tile + index.rowOffset[hi]);
}

template <class T>
inline void ScatterReverseTile(uint64_t* x, size_t rowStride, size_t mid, const uint64_t* tile) {
    static constexpr ReversedTileIndex index = MakeReversedTileIndex();
    constexpr size_t kSide = size_t(1) << kReverseTileBits;
    for (size_t row = 0; row < kSide; ++row) CopyTileRow<T>(tile + index.rowOffset[row], x + row * rowStride + mid * kSide);
}

// In-place transpose of the 64 x 64 complex values of a tile, in blocks of kComplex x kComplex.
template <class T>
inline void TransposeTile(uint64_t* tile) {
    constexpr size_t kSide = size_t(1) << kReverseTileBits;
    constexpr size_t kb = T::kComplex;
    float* f = reinterpret_cast<float*>(tile);
    for (size_t i = 0; i < kSide; i += kb) {
        T::TransposeSquare(f + 2 * (i * kSide + i), 2 * kSide);
        for (size_t j = i + kb; j < kSide; j += kb) {
            T::TransposeSwap(f + 2 * (i * kSide + j), f + 2 * (j * kSide + i), 2 * kSide);
        }
    }
}

// In place when src == dst. tiles: room for two tiles (2 * 4096 complex values).
template <class T>
void BitReverse(const float* src, float* dst, int32_t bits, uint64_t* tiles) {
    const size_t count = size_t(1) << bits;
    const uint64_t* in = reinterpret_cast<const uint64_t*>(src);
    uint64_t* out = reinterpret_cast<uint64_t*>(dst);
    if (bits < 2 * kReverseTileBits) {
        for (size_t i = 0; i < count; ++i) {
            const size_t j = ReverseBits((uint32_t)i, bits);
            if (src != dst) {
                std::memcpy(out + j, in + i, 8);
            } else if (i < j) {
                uint64_t t;
                std::memcpy(&t, out + i, 8);
                std::memcpy(out + i, out + j, 8);
                std::memcpy(out + j, &t, 8);
            }
        }
        return;
    }
    const int32_t midBits = bits - 2 * kReverseTileBits;
    const size_t rowStride = size_t(1) << (bits - kReverseTileBits);
    const size_t mids = size_t(1) << midBits;
    uint64_t* first = tiles;
    uint64_t* second = tiles + kReverseTileSize;
    for (size_t mid = 0; mid < mids; ++mid) {
        const size_t partner = ReverseBits((uint32_t)mid, midBits);
        if (src != dst) {
            GatherReverseTile<T>(in, rowStride, mid, first);
            TransposeTile<T>(first);
            ScatterReverseTile<T>(out, rowStride, partner, first);
            continue;
        }
        if (partner < mid) continue;
        GatherReverseTile<T>(out, rowStride, mid, first);
        TransposeTile<T>(first);
        if (partner != mid) {
            GatherReverseTile<T>(out, rowStride, partner, second);
            TransposeTile<T>(second);
            ScatterReverseTile<T>(out, rowStride, mid, second);
        }
        ScatterReverseTile<T>(out, rowStride, partner, first);
    }
}

}  // namespace
}  // namespace fft
}  // namespace sonvex
