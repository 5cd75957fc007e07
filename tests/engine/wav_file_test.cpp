#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "wav_file.h"

using namespace vsthost;

namespace {

void put16(std::vector<uint8_t>& b, uint16_t v) { b.push_back((uint8_t)v); b.push_back((uint8_t)(v >> 8)); }
void put32(std::vector<uint8_t>& b, uint32_t v) { for (int i = 0; i < 4; ++i) b.push_back((uint8_t)(v >> (8 * i))); }
void tag(std::vector<uint8_t>& b, const char* t) { for (int i = 0; i < 4; ++i) b.push_back((uint8_t)t[i]); }

// A file with the given format chunk fields and raw sample bytes; `extra` is a chunk placed
// before the data (odd sizes are padded).
std::vector<uint8_t> makeFile(uint16_t format, uint16_t channels, uint32_t rate, uint16_t bits,
                              const std::vector<uint8_t>& data, bool extensible = false, size_t extra = 0) {
    std::vector<uint8_t> b;
    tag(b, "RIFF");
    put32(b, 0);
    tag(b, "WAVE");
    tag(b, "fmt ");
    put32(b, extensible ? 40 : 16);
    put16(b, extensible ? 0xFFFE : format);
    put16(b, channels);
    put32(b, rate);
    put32(b, rate * channels * bits / 8);
    put16(b, (uint16_t)(channels * bits / 8));
    put16(b, bits);
    if (extensible) {
        put16(b, 22);
        put16(b, bits);
        put32(b, 3);
        put16(b, format);  // sub-format GUID: the tag, then the fixed tail
        const uint8_t tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        b.insert(b.end(), tail, tail + 14);
    }
    if (extra) {
        tag(b, "LIST");
        put32(b, (uint32_t)extra);
        for (size_t i = 0; i < extra + (extra & 1); ++i) b.push_back(0x55);
    }
    tag(b, "data");
    put32(b, (uint32_t)data.size());
    b.insert(b.end(), data.begin(), data.end());
    uint32_t riff = (uint32_t)b.size() - 8;
    std::memcpy(&b[4], &riff, 4);
    return b;
}

TEST(HostWav, FloatFilesRoundTripBitForBit) {
    WavAudio a;
    a.channels = 3;
    a.sampleRate = 96000;
    for (int i = 0; i < 300; ++i) a.samples.push_back((float)i * 0.37f - 50.0f);
    a.samples.push_back(-0.0f);
    a.samples.push_back(1e-40f);
    a.samples.push_back(3.0f);
    WavAudio b;
    std::string error;
    ASSERT_TRUE(parseWav(buildFloatWav(a), b, error)) << error;
    EXPECT_EQ(3, b.channels);
    EXPECT_EQ(96000, b.sampleRate);
    ASSERT_EQ(a.samples.size(), b.samples.size());
    EXPECT_EQ(0, std::memcmp(a.samples.data(), b.samples.data(), a.samples.size() * 4));
}

TEST(HostWav, IntegerFormatsScaleToTheUnitRange) {
    WavAudio out;
    std::string error;
    // 16-bit: -32768, -1, 0, 32767
    std::vector<uint8_t> d16 = {0x00, 0x80, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0x7F};
    ASSERT_TRUE(parseWav(makeFile(1, 2, 44100, 16, d16), out, error)) << error;
    EXPECT_EQ((std::vector<float>{-1.0f, -1.0f / 32768, 0.0f, 32767.0f / 32768}), out.samples);
    // 24-bit, extensible, after an odd-sized chunk: -8388608, 1, 8388607
    std::vector<uint8_t> d24 = {0x00, 0x00, 0x80, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0x7F};
    ASSERT_TRUE(parseWav(makeFile(1, 1, 48000, 24, d24, true, 3), out, error)) << error;
    EXPECT_EQ((std::vector<float>{-1.0f, 1.0f / 8388608, 8388607.0f / 8388608}), out.samples);
    // 32-bit: INT_MIN and 2^30
    std::vector<uint8_t> d32 = {0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x40};
    ASSERT_TRUE(parseWav(makeFile(1, 1, 8000, 32, d32), out, error)) << error;
    EXPECT_EQ((std::vector<float>{-1.0f, 0.5f}), out.samples);
}

TEST(HostWav, Pcm16WriterRoundsAndLimits) {
    WavAudio a;
    a.channels = 1;
    a.sampleRate = 22050;
    a.samples = {0.5f, -1.0f, 2.0f, -3.0f, 1.0f / 32768 * 3.4f};
    WavAudio b;
    std::string error;
    ASSERT_TRUE(parseWav(buildPcm16Wav(a), b, error)) << error;
    EXPECT_EQ((std::vector<float>{0.5f, -1.0f, 32767.0f / 32768, -1.0f, 3.0f / 32768}), b.samples);
}

TEST(HostWav, DamagedOrUnsupportedFilesAreRefusedWithAReason) {
    WavAudio out;
    std::string error;
    std::vector<uint8_t> d = {0, 0, 0, 0};
    EXPECT_FALSE(parseWav(std::vector<uint8_t>{'R', 'I', 'F', 'F'}, out, error));
    EXPECT_EQ("not a RIFF/WAVE file", error);
    EXPECT_FALSE(parseWav(makeFile(1, 1, 44100, 8, d), out, error));
    EXPECT_NE(std::string::npos, error.find("unsupported sample format"));
    EXPECT_FALSE(parseWav(makeFile(3, 1, 44100, 64, std::vector<uint8_t>(16)), out, error));
    EXPECT_FALSE(parseWav(makeFile(1, 0, 44100, 16, d), out, error));
    EXPECT_NE(std::string::npos, error.find("channel count"));
    EXPECT_FALSE(parseWav(makeFile(1, 1, 0, 16, d), out, error));
    std::vector<uint8_t> noData = makeFile(1, 1, 44100, 16, d);
    noData.resize(36);  // cut right after the format chunk
    EXPECT_FALSE(parseWav(noData, out, error));
    EXPECT_EQ("no data chunk", error);
    std::vector<uint8_t> badAlign = makeFile(1, 2, 44100, 16, d);
    badAlign[32] = 3;
    EXPECT_FALSE(parseWav(badAlign, out, error));
}

TEST(HostWav, DataSizeBeyondTheFileTakesWhatIsThere) {
    std::vector<uint8_t> d = {0x00, 0x40, 0x00, 0xC0, 0x12};  // two samples and a stray byte
    std::vector<uint8_t> f = makeFile(1, 1, 44100, 16, d);
    uint32_t huge = 0x7FFFFFF0;
    std::memcpy(&f[40], &huge, 4);
    WavAudio out;
    std::string error;
    ASSERT_TRUE(parseWav(f, out, error)) << error;
    EXPECT_EQ((std::vector<float>{0.5f, -0.5f}), out.samples);
}

}  // namespace
