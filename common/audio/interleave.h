// Interleaved frames (sample c of frame f at f * channels + c) to and from planar rows, one row
// per channel. The resampler's chunks and the plug-in's host buffers both move through here.
// Stereo, the common case, moves four frames at a time; so does the de-interleave of four
// channels (quadraphonic frames, or stereo read as pairs of frames).
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace audio {

inline void Deinterleave(const float* source, int channels, int64_t frames, float* const* rows) {
    if (channels <= 0 || frames <= 0) return;
    if (channels == 1) {
        std::memcpy(rows[0], source, static_cast<size_t>(frames) * sizeof(float));
        return;
    }
    if (channels == 2) {
        float* left = rows[0];
        float* right = rows[1];
        int64_t f = 0;
#ifdef __SSE2__
        for (; f + 4 <= frames; f += 4) {
            const __m128 a = _mm_loadu_ps(source + 2 * f);
            const __m128 b = _mm_loadu_ps(source + 2 * f + 4);
            _mm_storeu_ps(left + f, _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
            _mm_storeu_ps(right + f, _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
        }
#endif
        for (; f < frames; ++f) {
            left[f] = source[2 * f];
            right[f] = source[2 * f + 1];
        }
        return;
    }
#ifdef __SSE2__
    if (channels == 4) {
        int64_t f = 0;
        for (; f + 4 <= frames; f += 4) {
            __m128 a = _mm_loadu_ps(source + 4 * f);
            __m128 b = _mm_loadu_ps(source + 4 * f + 4);
            __m128 c = _mm_loadu_ps(source + 4 * f + 8);
            __m128 d = _mm_loadu_ps(source + 4 * f + 12);
            _MM_TRANSPOSE4_PS(a, b, c, d);
            _mm_storeu_ps(rows[0] + f, a);
            _mm_storeu_ps(rows[1] + f, b);
            _mm_storeu_ps(rows[2] + f, c);
            _mm_storeu_ps(rows[3] + f, d);
        }
        for (; f < frames; ++f)
            for (int c = 0; c < 4; ++c) rows[c][f] = source[4 * f + c];
        return;
    }
#endif
    for (int c = 0; c < channels; ++c) {
        float* row = rows[c];
        const float* in = source + c;
        for (int64_t f = 0; f < frames; ++f) row[f] = in[f * channels];
    }
}

inline void Interleave(const float* const* rows, int channels, int64_t frames, float* destination) {
    if (channels <= 0 || frames <= 0) return;
    if (channels == 1) {
        std::memcpy(destination, rows[0], static_cast<size_t>(frames) * sizeof(float));
        return;
    }
    if (channels == 2) {
        const float* left = rows[0];
        const float* right = rows[1];
        int64_t f = 0;
#ifdef __SSE2__
        for (; f + 4 <= frames; f += 4) {
            const __m128 l = _mm_loadu_ps(left + f);
            const __m128 r = _mm_loadu_ps(right + f);
            _mm_storeu_ps(destination + 2 * f, _mm_unpacklo_ps(l, r));
            _mm_storeu_ps(destination + 2 * f + 4, _mm_unpackhi_ps(l, r));
        }
#endif
        for (; f < frames; ++f) {
            destination[2 * f] = left[f];
            destination[2 * f + 1] = right[f];
        }
        return;
    }
    for (int c = 0; c < channels; ++c) {
        const float* row = rows[c];
        float* out = destination + c;
        for (int64_t f = 0; f < frames; ++f) out[f * channels] = row[f];
    }
}

}  // namespace audio
