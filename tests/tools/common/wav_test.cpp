// WAV reading and writing of the command-line tools: every accepted layout read to the exact
// sample value, malformed files refused with their message, writer output read back.
#include "tools/common/wav_io.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

using namespace sonvex::wav;

namespace {

using Bytes = std::vector<unsigned char>;

void Put16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<unsigned char>(v));
    b.push_back(static_cast<unsigned char>(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
void PutId(Bytes& b, const char* id) { b.insert(b.end(), id, id + 4); }

Bytes Chunk(const char* id, const Bytes& body, bool pad = true) {
    Bytes c;
    PutId(c, id);
    Put32(c, static_cast<uint32_t>(body.size()));
    c.insert(c.end(), body.begin(), body.end());
    if (pad && (body.size() & 1)) c.push_back(0);
    return c;
}

Bytes Fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, int extraSize = -1) {
    Bytes f;
    Put16(f, tag);
    Put16(f, channels);
    Put32(f, rate);
    Put32(f, rate * channels * (bits / 8));
    Put16(f, static_cast<uint32_t>(channels * (bits / 8)));
    Put16(f, bits);
    if (extraSize >= 0) Put16(f, static_cast<uint32_t>(extraSize));
    return f;
}

Bytes Extensible(uint16_t subTag, uint16_t channels, uint32_t rate, uint16_t bits, uint16_t validBits, uint32_t mask) {
    Bytes f = Fmt(0xFFFE, channels, rate, bits, 22);
    Put16(f, validBits);
    Put32(f, mask);
    Put16(f, subTag);
    const unsigned char tail[14] = {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    f.insert(f.end(), tail, tail + 14);
    return f;
}

Bytes Riff(const std::vector<Bytes>& chunks) {
    Bytes body;
    PutId(body, "WAVE");
    for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
    Bytes file;
    PutId(file, "RIFF");
    Put32(file, static_cast<uint32_t>(body.size()));
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

class TempDir {
public:
    std::string File(const std::string& name) {
        std::string path = ::testing::TempDir() + "sonvex_wav_test_" + name;
        m_Files.push_back(path);
        return path;
    }
    ~TempDir() {
        for (const std::string& f : m_Files) std::remove(f.c_str());
    }

private:
    std::vector<std::string> m_Files;
};

std::string Write(TempDir& dir, const std::string& name, const Bytes& bytes) {
    std::string path = dir.File(name);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    if (f) {
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    return path;
}

Bytes ReadBytes(const std::string& path) {
    Bytes b;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return b;
    int c;
    while ((c = std::fgetc(f)) != EOF) b.push_back(static_cast<unsigned char>(c));
    std::fclose(f);
    return b;
}

bool FileExists(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f) std::fclose(f);
    return f != nullptr;
}

Bytes Pcm16(std::initializer_list<int> values) {
    Bytes b;
    for (int v : values) Put16(b, static_cast<uint32_t>(v));
    return b;
}
Bytes Pcm24(std::initializer_list<int32_t> values) {
    Bytes b;
    for (int32_t v : values)
        for (int i = 0; i < 3; ++i) b.push_back(static_cast<unsigned char>(static_cast<uint32_t>(v) >> (8 * i)));
    return b;
}
Bytes Pcm32(std::initializer_list<int32_t> values) {
    Bytes b;
    for (int32_t v : values) Put32(b, static_cast<uint32_t>(v));
    return b;
}
Bytes Floats(std::initializer_list<float> values) {
    Bytes b;
    for (float v : values) {
        uint32_t u;
        std::memcpy(&u, &v, 4);
        Put32(b, u);
    }
    return b;
}

}  // namespace

TEST(WavReaderFormats, EveryIntegerWidthScalesToExactFloats) {
    TempDir dir;
    WavData d16 = ReadWavFile(Write(dir, "p16.wav", Riff({Chunk("fmt ", Fmt(1, 2, 44100, 16)),
                                                           Chunk("data", Pcm16({-32768, 32767, 0, 1, -1, 16384}))})));
    EXPECT_EQ(d16.format.encoding, SampleEncoding::Pcm16);
    EXPECT_EQ(d16.format.channels, 2);
    EXPECT_EQ(d16.format.sampleRate, 44100u);
    ASSERT_EQ(d16.frames, 3u);
    const float want16[] = {-1.0f, 32767.0f / 32768.0f, 0.0f, 1.0f / 32768.0f, -1.0f / 32768.0f, 0.5f};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(d16.samples[i], want16[i]) << i;

    WavData d24 = ReadWavFile(Write(dir, "p24.wav", Riff({Chunk("fmt ", Fmt(1, 1, 96000, 24)),
                                                           Chunk("data", Pcm24({-8388608, 8388607, 1, -1, 0x123456}))})));
    EXPECT_EQ(d24.format.encoding, SampleEncoding::Pcm24);
    ASSERT_EQ(d24.frames, 5u);  // 15 data bytes: the odd chunk is padded in the file
    const float want24[] = {-1.0f, 8388607.0f / 8388608.0f, 1.0f / 8388608.0f, -1.0f / 8388608.0f, 0x123456 / 8388608.0f};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(d24.samples[i], want24[i]) << i;

    WavData d32 = ReadWavFile(Write(dir, "p32.wav", Riff({Chunk("fmt ", Fmt(1, 1, 48000, 32)),
                                                           Chunk("data", Pcm32({INT32_MIN, INT32_MAX, 1, -2, 0x40000000}))})));
    EXPECT_EQ(d32.format.encoding, SampleEncoding::Pcm32);
    ASSERT_EQ(d32.frames, 5u);
    EXPECT_EQ(d32.samples[0], -1.0f);
    EXPECT_EQ(d32.samples[1], 1.0f);  // 2147483647/2^31 rounds to 1 in single precision
    EXPECT_EQ(d32.samples[2], 1.0f / 2147483648.0f);
    EXPECT_EQ(d32.samples[3], -2.0f / 2147483648.0f);
    EXPECT_EQ(d32.samples[4], 0.5f);
}

TEST(WavReaderFormats, FloatSamplesPassUnchangedIncludingOutOfRangeValues) {
    TempDir dir;
    WavData d = ReadWavFile(Write(dir, "f.wav", Riff({Chunk("fmt ", Fmt(3, 2, 22050, 32, 0)),
                                                      Chunk("fact", Pcm32({2})),
                                                      Chunk("data", Floats({0.25f, -3.5f, 1e-30f, -0.0f}))})));
    EXPECT_EQ(d.format.encoding, SampleEncoding::Float32);
    ASSERT_EQ(d.frames, 2u);
    EXPECT_EQ(d.samples[0], 0.25f);
    EXPECT_EQ(d.samples[1], -3.5f);
    EXPECT_EQ(d.samples[2], 1e-30f);
    EXPECT_TRUE(std::signbit(d.samples[3]));
}

TEST(WavReaderFormats, ExtensibleCarriesItsSubformatAndMask) {
    TempDir dir;
    WavData pcm = ReadWavFile(Write(dir, "x24.wav", Riff({Chunk("fmt ", Extensible(1, 6, 48000, 24, 20, 0x3F)),
                                                           Chunk("data", Pcm24({1 << 4, -(1 << 4), 0, 0, 8388607, -8388608}))})));
    EXPECT_EQ(pcm.format.formatTag, 0xFFFE);
    EXPECT_EQ(pcm.format.encoding, SampleEncoding::Pcm24);
    EXPECT_EQ(pcm.format.channels, 6);
    EXPECT_EQ(pcm.format.channelMask, 0x3Fu);
    ASSERT_EQ(pcm.frames, 1u);
    EXPECT_EQ(pcm.samples[0], 16.0f / 8388608.0f);
    EXPECT_EQ(pcm.samples[1], -16.0f / 8388608.0f);
    EXPECT_EQ(pcm.samples[5], -1.0f);

    WavData flt = ReadWavFile(Write(dir, "xf.wav", Riff({Chunk("fmt ", Extensible(3, 8, 44100, 32, 32, 0x63F)),
                                                          Chunk("data", Floats({1, 2, 3, 4, 5, 6, 7, 8}))})));
    EXPECT_EQ(flt.format.encoding, SampleEncoding::Float32);
    ASSERT_EQ(flt.frames, 1u);
    for (int c = 0; c < 8; ++c) EXPECT_EQ(flt.samples[c], static_cast<float>(c + 1));
}

TEST(WavReaderLayout, ChunksInAnyOrderWithOddSizesAndTrailingBytes) {
    TempDir dir;
    Bytes odd = {'a', 'b', 'c'};
    // data first, an odd LIST chunk with its pad byte, fmt last, then bytes beyond the RIFF form.
    Bytes file = Riff({Chunk("data", Pcm16({100, -100, 7})), Chunk("LIST", odd), Chunk("fmt ", Fmt(1, 1, 8000, 16))});
    file.push_back('J');
    file.push_back('U');
    file.push_back('N');
    file.push_back('K');
    WavData d = ReadWavFile(Write(dir, "order.wav", file));
    ASSERT_EQ(d.frames, 3u);
    EXPECT_EQ(d.samples[0], 100.0f / 32768.0f);
    EXPECT_EQ(d.samples[2], 7.0f / 32768.0f);
    EXPECT_EQ(d.format.sampleRate, 8000u);
}

TEST(WavReaderLayout, DataChunkCutShortIsReadAsFarAsTheFileGoesWithAWarning) {
    TempDir dir;
    // A size never filled in, and a file cut inside its last frame: the whole frames there.
    Bytes file = Riff({Chunk("fmt ", Fmt(1, 2, 8000, 16)), Chunk("data", Pcm16({16384, -16384, 7, 8, 9}))});
    file[file.size() - 18 + 4] = 0xF0;  // the data chunk's size: 0x7FFFFFF0
    file[file.size() - 18 + 5] = 0xFF;
    file[file.size() - 18 + 6] = 0xFF;
    file[file.size() - 18 + 7] = 0x7F;
    const std::string path = Write(dir, "cut.wav", file);
    WavData d = ReadWavFile(path);
    ASSERT_EQ(d.frames, 2u);
    EXPECT_EQ(d.samples[0], 0.5f);
    EXPECT_EQ(d.samples[1], -0.5f);
    EXPECT_EQ(d.samples[3], 8.0f / 32768.0f);
    EXPECT_EQ(d.warning.compare(0, path.size(), path), 0) << d.warning;
    EXPECT_NE(d.warning.find("claims 2147483632 bytes but the file holds only 10"), std::string::npos) << d.warning;
    // A complete file reads without one.
    EXPECT_TRUE(ReadWavFile(Write(dir, "whole.wav", Riff({Chunk("fmt ", Fmt(1, 1, 8000, 16)), Chunk("data", Pcm16({1}))})))
                    .warning.empty());
}

TEST(WavReaderLayout, PartialTrailingFrameIsNotRead) {
    TempDir dir;
    // Stereo 16-bit with 5 samples: two whole frames and half a frame.
    WavData d = ReadWavFile(Write(dir, "partial.wav", Riff({Chunk("fmt ", Fmt(1, 2, 8000, 16)),
                                                             Chunk("data", Pcm16({1, 2, 3, 4, 5}))})));
    ASSERT_EQ(d.frames, 2u);
    EXPECT_EQ(d.samples.size(), 4u);
    EXPECT_EQ(d.samples[3], 4.0f / 32768.0f);
}

TEST(WavReaderLayout, ReadsInPiecesAcrossBlockBoundaries) {
    TempDir dir;
    Bytes data;
    for (int i = 0; i < 1000; ++i) Put16(data, static_cast<uint32_t>(i * 13 - 6000));
    std::string path = Write(dir, "pieces.wav", Riff({Chunk("fmt ", Fmt(1, 2, 8000, 16)), Chunk("data", data)}));
    WavReader reader;
    reader.Open(path);
    std::vector<float> all, piece(2 * 7);
    size_t n;
    while ((n = reader.ReadFrames(piece.data(), 7)) > 0) all.insert(all.end(), piece.begin(), piece.begin() + n * 2);
    ASSERT_EQ(all.size(), 1000u);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(all[i], static_cast<float>(i * 13 - 6000) / 32768.0f) << i;
    EXPECT_EQ(reader.FramesLeft(), 0u);
}

struct Malformed {
    const char* name;
    Bytes bytes;
    const char* message;
};

TEST(WavReaderRejects, MalformedFilesWithTheirMessage) {
    const Bytes data = Chunk("data", Pcm16({1, 2}));
    Bytes badAlign = Fmt(1, 2, 8000, 16);
    badAlign[12] = 3;  // block alignment 3 for two 16-bit channels
    Bytes wrongGuid = Extensible(1, 2, 8000, 16, 16, 3);
    wrongGuid[wrongGuid.size() - 1] ^= 0xFF;
    Bytes validTooWide = Extensible(1, 2, 8000, 16, 24, 3);
    Bytes cutFmt = Riff({Chunk("fmt ", Fmt(1, 1, 8000, 16))});
    cutFmt.resize(cutFmt.size() - 3);  // fmt chunk cut short
    Bytes riffOnly = {'R', 'I', 'F', 'F', 4, 0, 0, 0};
    Bytes rf64 = Riff({});
    std::memcpy(rf64.data(), "RF64", 4);
    Bytes avi = Riff({});
    std::memcpy(avi.data() + 8, "AVI ", 4);
    Bytes tinyRiff = Riff({});
    tinyRiff[4] = 2;

    const std::vector<Malformed> cases = {
        {"empty", {}, "shorter than a RIFF header"},
        {"header8", riffOnly, "shorter than a RIFF header"},
        {"notriff", Bytes(64, 'x'), "no RIFF header"},
        {"rf64", rf64, "unsupported container RF64"},
        {"avi", avi, "not 'WAVE'"},
        {"tinyriff", tinyRiff, "RIFF size 2 is too small"},
        {"nofmt", Riff({data}), "no fmt chunk"},
        {"nodata", Riff({Chunk("fmt ", Fmt(1, 1, 8000, 16))}), "no data chunk"},
        {"shortfmt", Riff({Chunk("fmt ", Bytes(14, 0)), data}), "fmt chunk of 14 bytes is too short"},
        {"twofmt", Riff({Chunk("fmt ", Fmt(1, 1, 8000, 16)), Chunk("fmt ", Fmt(1, 1, 8000, 16)), data}), "more than one fmt chunk"},
        {"twodata", Riff({Chunk("fmt ", Fmt(1, 1, 8000, 16)), data, data}), "more than one data chunk"},
        {"cut", cutFmt, "chunk 'fmt ' claims 16 bytes but only 13 remain"},
        {"hugechunk", Riff({Chunk("fmt ", Fmt(1, 1, 8000, 16)), [] { Bytes c; PutId(c, "LIST"); Put32(c, 0xFFFFFFF0u); Put16(c, 0); return c; }()}),
         "claims 4294967280 bytes"},
        {"zerochannels", Riff({Chunk("fmt ", Fmt(1, 0, 8000, 16)), data}), "zero channels"},
        {"manychannels", Riff({Chunk("fmt ", Fmt(1, 65, 8000, 16)), data}), "65 channels (at most 64"},
        {"zerorate", Riff({Chunk("fmt ", Fmt(1, 1, 0, 16)), data}), "sample rate 0"},
        {"adpcm", Riff({Chunk("fmt ", Fmt(2, 1, 8000, 4)), data}), "unsupported format tag 0x0002"},
        {"pcm8", Riff({Chunk("fmt ", Fmt(1, 1, 8000, 8)), data}), "unsupported PCM sample size of 8 bits"},
        {"double", Riff({Chunk("fmt ", Fmt(3, 1, 8000, 64)), data}), "unsupported float sample size of 64 bits"},
        {"align", Riff({Chunk("fmt ", badAlign), data}), "block alignment 3 does not match 2 channels of 16 bits"},
        {"guid", Riff({Chunk("fmt ", wrongGuid), data}), "unsupported extensible subformat"},
        {"validbits", Riff({Chunk("fmt ", validTooWide), data}), "24 valid bits do not fit 16-bit samples"},
        {"shortext", Riff({Chunk("fmt ", Fmt(0xFFFE, 1, 8000, 16, 0)), data}), "extensible fmt chunk of 18 bytes is too short"},
    };
    TempDir dir;
    for (const Malformed& c : cases) {
        std::string path = Write(dir, std::string(c.name) + ".wav", c.bytes);
        try {
            WavReader reader;
            reader.Open(path);
            ADD_FAILURE() << c.name << ": accepted";
        } catch (const WavError& e) {
            std::string what = e.what();
            EXPECT_NE(what.find(c.message), std::string::npos) << c.name << ": " << what;
            EXPECT_EQ(what.find('\n'), std::string::npos) << c.name << ": message is not one line";
            EXPECT_EQ(what.compare(0, path.size(), path), 0) << c.name << ": message does not name the file";
        }
    }
}

TEST(WavReaderRejects, MissingFileNamesTheFile) {
    WavReader reader;
    std::string path = ::testing::TempDir() + "sonvex_wav_test_does_not_exist.wav";
    try {
        reader.Open(path);
        FAIL() << "opened a missing file";
    } catch (const WavError& e) {
        EXPECT_NE(std::string(e.what()).find(path + ": cannot open"), std::string::npos) << e.what();
    }
}

TEST(WavWriterRoundTrip, FloatSamplesComeBackBitForBit) {
    TempDir dir;
    std::string path = dir.File("rt_float.wav");
    std::vector<float> samples = {0.0f, -0.0f, 1.5f, -1.0f, 1e-38f, 0.123456789f, -7.25f, 3.0e-45f};
    {
        WavWriter w;
        w.Create(path, 48000, 2);
        w.WriteFrames(samples.data(), 1);
        w.WriteFrames(samples.data() + 2, 3);
        w.Finish();
        EXPECT_EQ(w.FramesWritten(), 4u);
    }
    WavData d = ReadWavFile(path);
    EXPECT_EQ(d.format.formatTag, kFormatIeeeFloat);
    EXPECT_EQ(d.format.sampleRate, 48000u);
    ASSERT_EQ(d.samples.size(), samples.size());
    for (size_t i = 0; i < samples.size(); ++i)
        EXPECT_EQ(std::memcmp(&d.samples[i], &samples[i], 4), 0) << i;
    // The RIFF size and the fact chunk agree with the file.
    Bytes b = ReadBytes(path);
    uint32_t riff = b[4] | b[5] << 8 | b[6] << 16 | static_cast<uint32_t>(b[7]) << 24;
    EXPECT_EQ(riff + 8, b.size());
    size_t fact = 12 + 8 + 18;
    ASSERT_EQ(std::memcmp(b.data() + fact, "fact", 4), 0);
    EXPECT_EQ(b[fact + 8], 4);
}

TEST(WavWriterRoundTrip, PcmIsRoundedAndClippedAndMultichannelIsExtensible) {
    TempDir dir;
    std::vector<float> in = {0.5f, -1.0f, 2.0f, -3.0f, 1.0f / 65536.0f, 3.0f / 65536.0f};
    struct Case {
        SampleEncoding encoding;
        const char* name;
        std::vector<float> expected;
    };
    const std::vector<Case> cases = {
        {SampleEncoding::Pcm16, "rt16.wav", {0.5f, -1.0f, 32767.0f / 32768.0f, -1.0f, 0.0f, 2.0f / 32768.0f}},
        {SampleEncoding::Pcm24, "rt24.wav", {0.5f, -1.0f, 8388607.0f / 8388608.0f, -1.0f, 128.0f / 8388608.0f, 384.0f / 8388608.0f}},
        {SampleEncoding::Pcm32, "rt32.wav", {0.5f, -1.0f, 1.0f, -1.0f, 1.0f / 65536.0f, 3.0f / 65536.0f}},
    };
    for (const Case& c : cases) {
        std::string path = dir.File(c.name);
        WavWriter w;
        w.Create(path, 8000, 6, c.encoding);
        w.WriteFrames(in.data(), 1);
        w.Finish();
        WavData d = ReadWavFile(path);
        EXPECT_EQ(d.format.formatTag, kFormatExtensible) << c.name;
        EXPECT_EQ(d.format.channelMask, 0x3Fu) << c.name;
        EXPECT_EQ(d.format.encoding, c.encoding) << c.name;
        ASSERT_EQ(d.samples.size(), 6u) << c.name;
        for (int i = 0; i < 6; ++i) EXPECT_EQ(d.samples[i], c.expected[i]) << c.name << " sample " << i;
    }
}

TEST(WavWriterRoundTrip, SpeakerMasksSurviveAndChooseTheLayout) {
    TempDir dir;
    float v[6] = {1, 2, 3, 4, 5, 6};
    struct Case {
        int channels;
        uint32_t mask, expectMask;
        uint16_t expectTag;
    };
    const Case cases[] = {{2, kDefaultMask, 0, kFormatIeeeFloat},     // plain stereo: no mask stored
                          {2, 0x3, 0, kFormatIeeeFloat},              // the usual mask is the plain form
                          {2, 0x600, 0x600, kFormatExtensible},       // side pair needs the extensible form
                          {6, kDefaultMask, 0x3F, kFormatExtensible},
                          {6, 0x60F, 0x60F, kFormatExtensible},       // 5.1 with side speakers kept
                          {3, kDefaultMask, 0, kFormatExtensible}};
    for (const Case& c : cases) {
        std::string path = dir.File("mask" + std::to_string(c.channels) + "_" + std::to_string(c.mask) + ".wav");
        WavWriter w;
        w.Create(path, 8000, c.channels, SampleEncoding::Float32, c.mask);
        w.WriteFrames(v, 1);
        w.Finish();
        WavData d = ReadWavFile(path);
        EXPECT_EQ(d.format.formatTag, c.expectTag) << c.channels << " " << c.mask;
        EXPECT_EQ(d.format.channelMask, c.expectMask) << c.channels << " " << c.mask;
        ASSERT_EQ(d.samples.size(), static_cast<size_t>(c.channels));
        EXPECT_EQ(d.samples[c.channels - 1], static_cast<float>(c.channels));
    }
}

TEST(WavWriterRoundTrip, OddDataIsPaddedAndStillReadable) {
    TempDir dir;
    std::string path = dir.File("odd24.wav");
    float v[3] = {0.25f, -0.25f, 0.125f};
    WavWriter w;
    w.Create(path, 8000, 1, SampleEncoding::Pcm24);
    w.WriteFrames(v, 3);
    w.Finish();
    Bytes b = ReadBytes(path);
    EXPECT_EQ(b.size() % 2, 0u);
    uint32_t riff = b[4] | b[5] << 8 | b[6] << 16 | static_cast<uint32_t>(b[7]) << 24;
    EXPECT_EQ(riff + 8, b.size());
    WavData d = ReadWavFile(path);
    ASSERT_EQ(d.frames, 3u);
    EXPECT_EQ(d.samples[2], 0.125f);
}

TEST(WavWriterRoundTrip, AbandonedAndUnfinishedFilesAreRemoved) {
    TempDir dir;
    std::string a = dir.File("abandoned.wav"), b = dir.File("unfinished.wav");
    float v[2] = {1, 2};
    {
        WavWriter w;
        w.Create(a, 8000, 2);
        w.WriteFrames(v, 1);
        EXPECT_TRUE(FileExists(a));
        w.Abandon();
        EXPECT_FALSE(FileExists(a));
    }
    {
        WavWriter w;
        w.Create(b, 8000, 2);
        w.WriteFrames(v, 1);
    }
    EXPECT_FALSE(FileExists(b));
    WavWriter w;
    EXPECT_THROW(w.Create(dir.File("many.wav"), 8000, 65), WavError);
    EXPECT_THROW(w.Create(::testing::TempDir() + "no/such/dir/x.wav", 8000, 1), WavError);
}

TEST(WavReaderRejects, DamagedFilesNeverCrashOrOverread) {
    // Every truncation and many random byte changes of valid files: each either reads with a
    // consistent size or is refused with a WavError (the sanitizer build catches overreads).
    TempDir dir;
    const std::vector<Bytes> originals = {
        Riff({Chunk("fmt ", Fmt(1, 2, 44100, 16)), Chunk("LIST", Bytes{'x'}), Chunk("data", Pcm16({1, -2, 3, -4, 5, -6}))}),
        Riff({Chunk("data", Pcm24({1, 2, 3})), Chunk("fmt ", Extensible(1, 3, 8000, 24, 24, 7))}),
        Riff({Chunk("fmt ", Fmt(3, 1, 8000, 32, 0)), Chunk("fact", Pcm32({2})), Chunk("data", Floats({0.5f, -0.5f}))}),
    };
    const std::string path = dir.File("damaged.wav");
    uint32_t seed = 1;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    int accepted = 0, refused = 0;
    for (const Bytes& original : originals) {
        std::vector<Bytes> variants;
        for (size_t cut = 0; cut < original.size(); ++cut) variants.emplace_back(original.begin(), original.begin() + cut);
        for (int i = 0; i < 300; ++i) {
            Bytes b = original;
            for (int flips = 1 + next() % 3; flips > 0; --flips) b[next() % b.size()] = static_cast<unsigned char>(next());
            variants.push_back(b);
        }
        for (const Bytes& v : variants) {
            FILE* f = std::fopen(path.c_str(), "wb");
            ASSERT_NE(f, nullptr);
            if (!v.empty()) std::fwrite(v.data(), 1, v.size(), f);
            std::fclose(f);
            try {
                WavData d = ReadWavFile(path);
                EXPECT_EQ(d.samples.size(), d.frames * d.format.channels);
                EXPECT_GE(d.format.channels, 1);
                EXPECT_LE(d.format.channels, kMaxChannels);
                EXPECT_LE(d.frames * d.format.blockAlign, v.size());
                ++accepted;
            } catch (const WavError&) {
                ++refused;
            }
        }
    }
    // Both outcomes occur: the damage is neither always fatal nor always harmless.
    EXPECT_GT(accepted, 0);
    EXPECT_GT(refused, 0);
}
