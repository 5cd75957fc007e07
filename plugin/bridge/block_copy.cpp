#include "plugin/bridge/block_copy.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace brisane {

void interleaveChannels(float* const* channels, float* destination, int count, int numChannels) {
    if (count <= 0 || numChannels <= 0) return;
    const int frames = count / numChannels;
    if (numChannels == 2) {
        const float* left = channels[0];
        const float* right = channels[1];
        int f = 0;
#if defined(__SSE2__)
        for (; f + 4 <= frames; f += 4) {
            __m128 l = _mm_loadu_ps(left + f);
            __m128 r = _mm_loadu_ps(right + f);
            _mm_storeu_ps(destination + 2 * f, _mm_unpacklo_ps(l, r));
            _mm_storeu_ps(destination + 2 * f + 4, _mm_unpackhi_ps(l, r));
        }
#endif
        for (; f < frames; ++f) {
            destination[2 * f] = left[f];
            destination[2 * f + 1] = right[f];
        }
    } else {
        for (int c = 0; c < numChannels; ++c) {
            const float* channel = channels[c];
            float* out = destination + c;
            for (int f = 0; f < frames; ++f) out[(size_t)f * numChannels] = channel[f];
        }
    }
    // A count that is not a whole number of frames ends in a partial frame.
    for (int k = frames * numChannels; k < count; ++k) destination[k] = channels[k % numChannels][k / numChannels];
}

void deinterleaveChannels(const float* source, float* const* channels, int count, int numChannels) {
    if (count <= 0 || numChannels <= 0) return;
    const int frames = count / numChannels;
    if (numChannels == 2) {
        float* left = channels[0];
        float* right = channels[1];
        int f = 0;
#if defined(__SSE2__)
        for (; f + 4 <= frames; f += 4) {
            __m128 a = _mm_loadu_ps(source + 2 * f);
            __m128 b = _mm_loadu_ps(source + 2 * f + 4);
            _mm_storeu_ps(left + f, _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
            _mm_storeu_ps(right + f, _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
        }
#endif
        for (; f < frames; ++f) {
            left[f] = source[2 * f];
            right[f] = source[2 * f + 1];
        }
    } else {
        for (int c = 0; c < numChannels; ++c) {
            float* channel = channels[c];
            const float* in = source + c;
            for (int f = 0; f < frames; ++f) channel[f] = in[(size_t)f * numChannels];
        }
    }
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
