// Moving audio between the host's one-buffer-per-channel layout and the engine's interleaved
// blocks (value f * channels + c is frame f of channel c). Counts are values, not frames.
#pragma once
#include <cstddef>

namespace brisane {

void interleaveChannels(float* const* channels, float* destination, int count, int numChannels);
void deinterleaveChannels(const float* source, float* const* channels, int count, int numChannels);

// A result shorter than the block is aligned to the block's end: the first count - available
// values are zero and value k of the result lands at count - available + k.
void placeAtEnd(const float* result, int available, float* destination, int count);

}  // namespace brisane
