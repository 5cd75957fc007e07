// Channel conversion of the resampler: a fixed 8 x 8 weight matrix chosen from the two channel
// counts, applied in place to planar frames at the input rate.
#pragma once
#include <cstdint>

namespace sonvex {

constexpr int kMaxChannels = 8;

// The single-precision value of 0.7071 (0x3F350481), deliberately not 1/sqrt(2).
constexpr float kMixWeightHalfPower = 0.7071f;

// mix[i][o] is the weight of input channel i in output channel o. Counts must be 1..8.
void BuildMixMatrix(float (&mix)[kMaxChannels][kMaxChannels], int origChannels, int newChannels);

// rows[c] points to frames floats of channel c; at least max(origChannels, newChannels) rows.
// On return rows 0..newChannels-1 hold the converted channels. Each output is summed over the
// inputs in ascending order, rounded to single precision after every addition; all inputs of
// a frame are read before any of its outputs is written.
void MixChannels(const float (&mix)[kMaxChannels][kMaxChannels], int origChannels, int newChannels,
                 float* const* rows, int64_t frames);

}  // namespace sonvex
