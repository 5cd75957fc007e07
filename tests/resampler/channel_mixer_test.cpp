#include "dsp/resampler/channel_mixer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using sonvex::BuildMixMatrix;
using sonvex::kMaxChannels;
using sonvex::MixChannels;

uint32_t Bits(float v) {
    uint32_t b;
    std::memcpy(&b, &v, 4);
    return b;
}

// One frame through the matrix; frame holds the inputs and receives the outputs.
std::vector<float> MixOne(int in, int out, std::vector<float> frame) {
    float mix[kMaxChannels][kMaxChannels];
    BuildMixMatrix(mix, in, out);
    frame.resize(static_cast<size_t>(in > out ? in : out), 123.0f);
    std::vector<float*> rows;
    for (auto& v : frame) rows.push_back(&v);
    MixChannels(mix, in, out, rows.data(), 1);
    frame.resize(static_cast<size_t>(out));
    return frame;
}

TEST(ChannelMixer, HalfPowerWeightIsTheShortConstant) {
    EXPECT_EQ(Bits(sonvex::kMixWeightHalfPower), 0x3F350481u);
    float mix[kMaxChannels][kMaxChannels];
    BuildMixMatrix(mix, 2, 1);
    EXPECT_EQ(Bits(mix[0][0]), 0x3F350481u);
    EXPECT_EQ(Bits(mix[1][0]), 0x3F350481u);
}

TEST(ChannelMixer, StereoToMono) {
    EXPECT_EQ(MixOne(2, 1, {1.0f, -1.0f})[0], 0.0f);
    const float sum = 0.7071f + 0.7071f;
    EXPECT_EQ(Bits(MixOne(2, 1, {1.0f, 1.0f})[0]), Bits(sum));
    // Rounded after each product and addition in single precision.
    const float l = 0.3f, r = 0.45f;
    const float expected = (0.0f + l * 0.7071f) + r * 0.7071f;
    EXPECT_EQ(Bits(MixOne(2, 1, {l, r})[0]), Bits(expected));
}

TEST(ChannelMixer, UpmixesCarryTheInputAndSilenceTheRest) {
    EXPECT_EQ(MixOne(1, 4, {0.25f}), (std::vector<float>{0.25f, 0.25f, 0.0f, 0.0f}));
    EXPECT_EQ(MixOne(1, 1, {0.5f}), (std::vector<float>{0.5f}));
    EXPECT_EQ(MixOne(2, 6, {0.5f, -0.75f}), (std::vector<float>{0.5f, -0.75f, 0.0f, 0.0f, 0.0f, 0.0f}));
    // Unlisted pairs: output c is input c; extra outputs silent, extra inputs dropped.
    EXPECT_EQ(MixOne(4, 2, {1.0f, 2.0f, 3.0f, 4.0f}), (std::vector<float>{1.0f, 2.0f}));
    EXPECT_EQ(MixOne(3, 5, {1.0f, 2.0f, 3.0f}), (std::vector<float>{1.0f, 2.0f, 3.0f, 0.0f, 0.0f}));
}

TEST(ChannelMixer, SurroundDownmixes) {
    const float h = 0.7071f;
    const std::vector<float> six = {0.1f, 0.2f, 0.3f, 0.9f, 0.4f, 0.5f};
    auto stereo = MixOne(6, 2, six);
    const float left = ((((((0.0f + 0.1f * 1.0f) + 0.2f * 0.0f) + 0.3f * h) + 0.9f * 0.0f) + 0.4f * h) + 0.5f * 0.0f);
    const float right = ((((((0.0f + 0.1f * 0.0f) + 0.2f * 1.0f) + 0.3f * h) + 0.9f * 0.0f) + 0.4f * 0.0f) + 0.5f * h);
    EXPECT_EQ(Bits(stereo[0]), Bits(left));
    EXPECT_EQ(Bits(stereo[1]), Bits(right));
    // The low-frequency channel contributes nothing.
    EXPECT_EQ(MixOne(6, 2, {0, 0, 0, 1.0f, 0, 0}), (std::vector<float>{0.0f, 0.0f}));
    EXPECT_EQ(MixOne(6, 1, {0, 0, 0, 1.0f, 0, 0})[0], 0.0f);
    EXPECT_EQ(MixOne(6, 1, {0, 0, 1.0f, 0, 1.0f, 1.0f})[0], 2.0f);  // C + 0.5 Ls + 0.5 Rs

    auto mono8 = MixOne(8, 1, {1.0f, 1.0f, 1.0f, 5.0f, 1.0f, 1.0f, 1.0f, 1.0f});
    float expected = 0.0f;
    const float w81[8] = {h, h, 1.0f, 0.0f, 0.5f, 0.5f, 0.5f, 0.5f};
    for (float w : w81) expected = expected + 1.0f * w;
    EXPECT_EQ(Bits(mono8[0]), Bits(expected));

    auto st8 = MixOne(8, 2, {0.0f, 0.0f, 2.0f, 7.0f, 1.0f, 3.0f, 5.0f, 7.0f});
    EXPECT_EQ(Bits(st8[0]), Bits(((0.0f + 2.0f * h) + 1.0f * 0.5f) + 5.0f * 0.5f));
    EXPECT_EQ(Bits(st8[1]), Bits(((0.0f + 2.0f * h) + 3.0f * 0.5f) + 7.0f * 0.5f));

    const std::vector<float> eight = {1, 2, 3, 4, 0.25f, 0.5f, 0.75f, 1.5f};
    auto six8 = MixOne(8, 6, eight);
    EXPECT_EQ(six8[0], 1.0f);
    EXPECT_EQ(six8[1], 2.0f);
    EXPECT_EQ(six8[2], 3.0f);
    EXPECT_EQ(six8[3], 4.0f);
    EXPECT_EQ(Bits(six8[4]), Bits((0.0f + 0.25f * h) + 0.75f * h));
    EXPECT_EQ(Bits(six8[5]), Bits((0.0f + 0.5f * h) + 1.5f * h));
}

TEST(ChannelMixer, FramesAreIndependentInPlace) {
    float mix[kMaxChannels][kMaxChannels];
    BuildMixMatrix(mix, 2, 1);
    std::vector<float> left = {1.0f, 0.5f, -1.0f}, right = {1.0f, 0.5f, 1.0f};
    float* rows[2] = {left.data(), right.data()};
    MixChannels(mix, 2, 1, rows, 3);
    EXPECT_EQ(Bits(left[0]), Bits(0.7071f + 0.7071f));
    EXPECT_EQ(Bits(left[1]), Bits(0.5f * 0.7071f + 0.5f * 0.7071f));
    EXPECT_EQ(left[2], 0.0f);
}

}  // namespace
