#include "plugin/bridge/block_copy.h"

#include <cstring>

#include "common/audio/interleave.h"

namespace brisane {

void interleaveChannels(float* const* channels, float* destination, int count, int numChannels) {
    if (count <= 0 || numChannels <= 0) return;
    const int frames = count / numChannels;
    audio::Interleave(channels, numChannels, frames, destination);
    // A count that is not a whole number of frames ends in a partial frame.
    for (int k = frames * numChannels; k < count; ++k) destination[k] = channels[k % numChannels][k / numChannels];
}

void deinterleaveChannels(const float* source, float* const* channels, int count, int numChannels) {
    if (count <= 0 || numChannels <= 0) return;
    const int frames = count / numChannels;
    audio::Deinterleave(source, numChannels, frames, channels);
    for (int k = frames * numChannels; k < count; ++k) channels[k % numChannels][k / numChannels] = source[k];
}

void placeAtEnd(const float* result, int available, float* destination, int count) {
    if (count <= 0) return;
    if (available < 0) available = 0;
    if (available > count) available = count;
    const int padding = count - available;
    std::memset(destination, 0, (size_t)padding * sizeof(float));
    if (available) std::memcpy(destination + padding, result, (size_t)available * sizeof(float));
}

}  // namespace brisane
