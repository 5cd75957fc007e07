// CAudioResampler through IAudioResampler: block traffic, silence, Reset, mixing, argument checks.
#include <cmath>

#include "tests/comserver/test_support.h"

using namespace sonvex_test;

namespace {

class ResamplerTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureCom();
        ASSERT_TRUE(Server::get().ready());
        ASSERT_EQ(Server::get().create(CLSID_CAudioResampler, &m_resampler), S_OK);
    }
    HRESULT add(const std::vector<float>& values) {
        SAFEARRAY* array = MakeFloatArray(values);
        HRESULT hr = m_resampler->AddBlock(array);
        SafeArrayDestroy(array);  // the block stays the caller's
        return hr;
    }
    Block take() {
        SAFEARRAY* out = reinterpret_cast<SAFEARRAY*>(1);
        HRESULT hr = m_resampler->GetProcessedBlock(&out);
        EXPECT_EQ(hr, S_OK);
        return SUCCEEDED(hr) ? TakeBlock(out) : Block();
    }
    Ptr<IAudioResampler> m_resampler;
};

std::vector<float> Ramp(int count, float start) {
    std::vector<float> v(count);
    for (int i = 0; i < count; ++i) v[i] = start + (float)i;
    return v;
}

TEST_F(ResamplerTest, NoOutputRightAfterInitialize) {
    ASSERT_EQ(m_resampler->Initialize(44100, 48000, 2, 2, 65), S_OK);
    Block block = take();
    EXPECT_EQ(block.dims, 1u);
    EXPECT_EQ(block.type, VT_R4);
    EXPECT_EQ(block.lowerBound, 0);
    EXPECT_TRUE(block.values.empty());
}

TEST_F(ResamplerTest, EqualRatesPassFramesThroughInOrder) {
    const short n = 65, m = 33;
    ASSERT_EQ(m_resampler->Initialize(48000, 48000, 2, 2, n), S_OK);
    std::vector<float> input = Ramp(2 * 100, 1.0f);
    ASSERT_EQ(add(input), S_OK);
    Block first = take();
    ASSERT_EQ(first.values.size(), size_t(2 * (100 + m - n))) << "F0 + M - n frames";
    for (size_t i = 0; i < first.values.size(); ++i) ASSERT_EQ(first.values[i], input[i]) << i;
    // The rest follows with the next block, with nothing lost or repeated.
    std::vector<float> more = Ramp(2 * 50, 201.0f);
    ASSERT_EQ(add(more), S_OK);
    Block second = take();
    ASSERT_EQ(second.values.size(), size_t(2 * 50));
    for (size_t i = 0; i < second.values.size(); ++i) ASSERT_EQ(second.values[i], 1.0f + (float)(first.values.size() + i));

    // The same parameters again change nothing: no silence in between, counters kept.
    ASSERT_EQ(m_resampler->Initialize(48000, 48000, 2, 2, n), S_OK);
    ASSERT_EQ(add(Ramp(2 * 50, 301.0f)), S_OK);
    Block third = take();
    ASSERT_EQ(third.values.size(), size_t(2 * 50));
    EXPECT_EQ(third.values[0], 1.0f + (float)(first.values.size() + second.values.size()));
}

TEST_F(ResamplerTest, ResetStartsAgainAfterTheSilence) {
    ASSERT_EQ(m_resampler->Initialize(32000, 32000, 1, 1, 9), S_OK);  // M = 5
    ASSERT_EQ(add(Ramp(40, 1.0f)), S_OK);
    ASSERT_FALSE(take().values.empty());
    ASSERT_EQ(m_resampler->Reset(), S_OK);
    EXPECT_TRUE(take().values.empty()) << "M silent frames are fewer than n + 1";
    ASSERT_EQ(add(Ramp(20, 1000.0f)), S_OK);
    Block block = take();
    ASSERT_EQ(block.values.size(), size_t(20 + 5 - 9));
    EXPECT_EQ(block.values[0], 1000.0f) << "the first frame added after Reset comes first";
    EXPECT_EQ(block.values.back(), 1000.0f + 15);
}

TEST_F(ResamplerTest, ANewInputLayoutDropsSamplesOfTheOldOne) {
    ASSERT_EQ(m_resampler->Initialize(48000, 48000, 1, 1, 3), S_OK);
    ASSERT_EQ(add({7.0f}), S_OK);  // three mono samples queued: two silent, one 7
    EXPECT_TRUE(take().values.empty());
    // Read as stereo frames those three samples would shift every later frame by one channel.
    ASSERT_EQ(m_resampler->Initialize(48000, 48000, 2, 2, 3), S_OK);
    std::vector<float> input = Ramp(2 * 10, 1.0f);
    ASSERT_EQ(add(input), S_OK);
    Block block = take();
    ASSERT_EQ(block.values.size(), size_t(2 * (10 + 2 - 3)));
    for (size_t i = 0; i < block.values.size(); ++i) ASSERT_EQ(block.values[i], input[i]) << i;

    // The same layout with another rate keeps what is queued.
    ASSERT_EQ(m_resampler->Initialize(48000, 48000, 2, 1, 3), S_OK);
    ASSERT_EQ(add(Ramp(2 * 4, 21.0f)), S_OK);
    Block mixed = take();
    ASSERT_FALSE(mixed.values.empty());
    EXPECT_NEAR(mixed.values[0], 0.7071f * (input[18] + input[19]), 1e-4f) << "the history frames come first";
}

TEST_F(ResamplerTest, StereoToMonoMixesAtEqualRates) {
    ASSERT_EQ(m_resampler->Initialize(22050, 22050, 2, 1, 3), S_OK);  // M = 2
    std::vector<float> input;
    for (int f = 0; f < 30; ++f) {
        input.push_back(0.25f * f);
        input.push_back(1.0f - 0.5f * f);
    }
    ASSERT_EQ(add(input), S_OK);
    Block block = take();
    ASSERT_EQ(block.values.size(), size_t(30 + 2 - 3));
    for (size_t f = 0; f < block.values.size(); ++f) {
        const float expected = 0.7071f * (input[2 * f] + input[2 * f + 1]);
        EXPECT_NEAR(block.values[f], expected, 1e-5f * (1.0f + std::fabs(expected))) << f;
    }
}

TEST_F(ResamplerTest, RateConversionKeepsLevelAndLength) {
    ASSERT_EQ(m_resampler->Initialize(44100, 48000, 2, 2, 65), S_OK);
    const int frames = 44100;
    std::vector<float> signal(2 * frames);
    for (int f = 0; f < frames; ++f) {
        signal[2 * f] = 0.5f * std::sin(2.0 * 3.14159265358979 * 1000.0 * f / 44100.0);
        signal[2 * f + 1] = -signal[2 * f];
    }
    std::vector<float> output;
    for (int start = 0; start < frames; start += 4096) {
        int count = std::min(4096, frames - start);
        ASSERT_EQ(add(std::vector<float>(signal.begin() + 2 * start, signal.begin() + 2 * (start + count))), S_OK);
        Block block = take();
        ASSERT_EQ(block.values.size() % 2, 0u);
        output.insert(output.end(), block.values.begin(), block.values.end());
    }
    const size_t outFrames = output.size() / 2;
    EXPECT_GT(outFrames, 48000u - 100u);
    EXPECT_LE(outFrames, 48000u);
    double sum = 0;
    size_t counted = 0;
    for (size_t f = 1000; f < outFrames - 1000; ++f) {
        sum += (double)output[2 * f] * output[2 * f];
        EXPECT_NEAR(output[2 * f + 1], -output[2 * f], 1e-5f);
        ++counted;
    }
    EXPECT_NEAR(std::sqrt(sum / counted), 0.5 / std::sqrt(2.0), 0.01) << "a 1 kHz tone keeps its level";
}

TEST_F(ResamplerTest, BadArgumentsAreRefusedWithoutHarm) {
    SAFEARRAY* out = reinterpret_cast<SAFEARRAY*>(1);
    EXPECT_EQ(m_resampler->GetProcessedBlock(&out), E_FAIL) << "not initialised yet";
    EXPECT_EQ(m_resampler->AddBlock(nullptr), E_INVALIDARG);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(m_resampler->GetProcessedBlock(nullptr), E_POINTER);
    EXPECT_EQ(m_resampler->Reset(), S_OK);

    EXPECT_EQ(m_resampler->Initialize(44100, 48000, 2, 2, 64), E_FAIL) << "even kernel length";
    EXPECT_EQ(m_resampler->Initialize(44100, 48000, 2, 2, 0), E_FAIL);
    EXPECT_EQ(m_resampler->Initialize(44100, 48000, 2, 2, -3), E_FAIL);
    EXPECT_EQ(m_resampler->GetProcessedBlock(&out), E_FAIL);
    EXPECT_EQ(m_resampler->Initialize(0, 48000, 2, 2, 65), E_INVALIDARG);
    EXPECT_EQ(m_resampler->Initialize(44100, -1, 2, 2, 65), E_INVALIDARG);
    EXPECT_EQ(m_resampler->Initialize(44100, 48000, 0, 2, 65), E_INVALIDARG);
    EXPECT_EQ(m_resampler->Initialize(44100, 48000, 2, 9, 65), E_INVALIDARG);

    ASSERT_EQ(m_resampler->Initialize(48000, 48000, 1, 1, 3), S_OK);
    ASSERT_EQ(m_resampler->Initialize(48000, 48000, 1, 1, 4), E_FAIL);
    EXPECT_EQ(m_resampler->GetProcessedBlock(&out), E_FAIL) << "a failed Initialize leaves the object uninitialised";
    ASSERT_EQ(m_resampler->Initialize(48000, 48000, 1, 1, 3), S_OK);
}

TEST_F(ResamplerTest, OnlyOneDimensionalFloatBlocksAreTaken) {
    ASSERT_EQ(m_resampler->Initialize(48000, 48000, 1, 1, 3), S_OK);
    EXPECT_EQ(m_resampler->AddBlock(nullptr), E_INVALIDARG);
    SAFEARRAY* ints = SafeArrayCreateVector(VT_I4, 0, 8);
    EXPECT_EQ(m_resampler->AddBlock(ints), E_INVALIDARG);
    SafeArrayDestroy(ints);
    SAFEARRAY* doubles = SafeArrayCreateVector(VT_R8, 0, 8);
    EXPECT_EQ(m_resampler->AddBlock(doubles), E_INVALIDARG);
    SafeArrayDestroy(doubles);
    SAFEARRAYBOUND bounds[2] = {{4, 0}, {4, 0}};
    SAFEARRAY* square = SafeArrayCreate(VT_R4, 2, bounds);
    EXPECT_EQ(m_resampler->AddBlock(square), E_INVALIDARG);
    SafeArrayDestroy(square);
    EXPECT_TRUE(take().values.empty()) << "nothing of the refused blocks was queued";

    SAFEARRAY* empty = SafeArrayCreateVector(VT_R4, 0, 0);
    EXPECT_EQ(m_resampler->AddBlock(empty), S_OK);
    SafeArrayDestroy(empty);
    // A block with another lower bound is read from its first element.
    SAFEARRAY* shifted = SafeArrayCreateVector(VT_R4, 5, 4);
    float* data = nullptr;
    SafeArrayAccessData(shifted, reinterpret_cast<void**>(&data));
    for (int i = 0; i < 4; ++i) data[i] = 10.0f + i;
    SafeArrayUnaccessData(shifted);
    EXPECT_EQ(m_resampler->AddBlock(shifted), S_OK);
    SafeArrayDestroy(shifted);
    Block block = take();
    ASSERT_EQ(block.values.size(), size_t(4 + 2 - 3));
    EXPECT_EQ(block.values[0], 10.0f);
}

}  // namespace
