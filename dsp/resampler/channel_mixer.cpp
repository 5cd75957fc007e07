#include "dsp/resampler/channel_mixer.h"

namespace sonvex {

void BuildMixMatrix(float (&mix)[kMaxChannels][kMaxChannels], int origChannels, int newChannels) {
    for (int i = 0; i < kMaxChannels; ++i)
        for (int o = 0; o < kMaxChannels; ++o) mix[i][o] = 0.0f;
    const float h = kMixWeightHalfPower;
    const int in = origChannels, out = newChannels;
    if (in == 1) {
        mix[0][0] = 1.0f;
        if (out >= 2) mix[0][1] = 1.0f;
    } else if (in == 2 && out == 1) {
        mix[0][0] = h;
        mix[1][0] = h;
    } else if (in == 2 && out >= 3) {
        mix[0][0] = 1.0f;
        mix[1][1] = 1.0f;
    } else if (in == 6 && out == 1) {
        mix[0][0] = h;
        mix[1][0] = h;
        mix[2][0] = 1.0f;
        mix[4][0] = 0.5f;
        mix[5][0] = 0.5f;
    } else if (in == 6 && out == 2) {
        mix[0][0] = 1.0f;
        mix[1][1] = 1.0f;
        mix[2][0] = h;
        mix[2][1] = h;
        mix[4][0] = h;
        mix[5][1] = h;
    } else if (in == 8 && out == 1) {
        mix[0][0] = h;
        mix[1][0] = h;
        mix[2][0] = 1.0f;
        mix[4][0] = mix[5][0] = mix[6][0] = mix[7][0] = 0.5f;
    } else if (in == 8 && out == 2) {
        mix[0][0] = 1.0f;
        mix[1][1] = 1.0f;
        mix[2][0] = h;
        mix[2][1] = h;
        mix[4][0] = 0.5f;
        mix[5][1] = 0.5f;
        mix[6][0] = 0.5f;
        mix[7][1] = 0.5f;
    } else if (in == 8 && out == 6) {
        mix[0][0] = mix[1][1] = mix[2][2] = mix[3][3] = 1.0f;
        mix[4][4] = h;
        mix[5][5] = h;
        mix[6][4] = h;
        mix[7][5] = h;
    } else {
        // Output c is input c where that exists; other outputs silent, other inputs dropped.
        for (int c = 0; c < out && c < in; ++c) mix[c][c] = 1.0f;
    }
}

void MixChannels(const float (&mix)[kMaxChannels][kMaxChannels], int origChannels, int newChannels,
                 float* const* rows, int64_t frames) {
    for (int64_t f = 0; f < frames; ++f) {
        float in[kMaxChannels];
        for (int c = 0; c < origChannels; ++c) in[c] = rows[c][f];
        for (int o = 0; o < newChannels; ++o) {
            float acc = 0.0f;
            for (int c = 0; c < origChannels; ++c) acc = acc + in[c] * mix[c][o];
            rows[o][f] = acc;
        }
    }
}

}  // namespace sonvex
