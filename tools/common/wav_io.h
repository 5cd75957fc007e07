// WAV (RIFF/WAVE) reading and writing, the one implementation every command-line tool uses.
//
// The reader takes 16-, 24- and 32-bit integer PCM and 32-bit IEEE float, in plain `fmt `
// chunks or WAVE_FORMAT_EXTENSIBLE with one of those subformats, chunks in any order with odd
// sizes padded, 1 to 64 channels. Samples come out as interleaved floats in [-1, 1) for PCM.
// Everything that does not fit is refused with a WavError whose message is one line fit for
// the user and begins with the file's name.
//
// A data chunk that claims more bytes than the file holds, as writers that never came back to
// fill in the size leave it, is read as far as the file goes; Warning() then says so.
//
// The writer produces 32-bit float or integer PCM files and fills in the sizes when it is
// finished.
#pragma once
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace sonvex {
namespace wav {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatIeeeFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr int kMaxChannels = 64;
constexpr uint32_t kDefaultMask = 0xFFFFFFFFu;  // the writer's usual speaker mask for the count

// The usual speaker mask of a channel count: mono centre, stereo, 5.1, 7.1; 0 (unassigned) else.
uint32_t DefaultSpeakerMask(int channels);

class WavError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class SampleEncoding { Pcm16, Pcm24, Pcm32, Float32 };

struct WavFormat {
    SampleEncoding encoding = SampleEncoding::Pcm16;
    uint16_t formatTag = kFormatPcm;  // as stored in the file (1, 3 or 0xFFFE)
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint16_t bitsPerSample = 0;       // container size
    uint16_t blockAlign = 0;          // bytes per frame
    uint32_t channelMask = 0;         // extensible files only
};

const char* EncodingName(SampleEncoding encoding);

// Opens files by UTF-8 name (wide-character API on Windows).
std::FILE* OpenFileUtf8(const std::string& path, const char* mode);
bool RemoveFileUtf8(const std::string& path);
// Moves `from` over `to`, replacing an existing file.
bool ReplaceFileUtf8(const std::string& from, const std::string& to);

class WavReader {
public:
    WavReader() = default;
    ~WavReader();
    WavReader(const WavReader&) = delete;
    WavReader& operator=(const WavReader&) = delete;

    // Parses the header; throws WavError naming the file and the fault.
    void Open(const std::string& path);
    // The same for a stream opened elsewhere (any seekable FILE), which the reader now owns;
    // `name` stands for the file in messages.
    void OpenStream(std::FILE* stream, const std::string& name);
    void Close();

    const WavFormat& Format() const { return m_Format; }
    uint64_t FrameCount() const { return m_nFrames; }
    uint64_t FramesLeft() const { return m_nFrames - m_nFramesRead; }
    // One line about something read despite a fault (a data chunk cut short), or empty.
    const std::string& Warning() const { return m_Warning; }

    // Reads up to `frames` frames as interleaved floats; returns the number read (0 at the end).
    // A file that ends before its data chunk says it should throws WavError.
    size_t ReadFrames(float* dst, size_t frames);

private:
    std::FILE* m_pFile = nullptr;
    std::string m_Path;
    std::string m_Warning;
    WavFormat m_Format;
    uint64_t m_nDataOffset = 0;
    uint64_t m_nFrames = 0;
    uint64_t m_nFramesRead = 0;
    unsigned char* m_pRaw = nullptr;
    size_t m_nRawCapacity = 0;
};

// Reads a whole file (convenience for tests and small inputs).
struct WavData {
    WavFormat format;
    uint64_t frames = 0;
    std::vector<float> samples;  // frames * channels interleaved
    std::string warning;         // as WavReader::Warning
};
WavData ReadWavFile(const std::string& path);

class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter();  // abandons (closes and deletes) an unfinished file
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Creates a WAV of the given encoding (32-bit float unless asked otherwise). More than two
    // channels, or a speaker mask other than the usual one for the count (kDefaultMask), use
    // WAVE_FORMAT_EXTENSIBLE. PCM samples are rounded to the nearest step and clipped. Throws
    // WavError.
    void Create(const std::string& path, uint32_t sampleRate, int channels,
                SampleEncoding encoding = SampleEncoding::Float32, uint32_t channelMask = kDefaultMask);
    void WriteFrames(const float* samples, size_t frames);
    // Writes the final sizes and closes; throws WavError when the data is too big for RIFF or
    // the disk refuses.
    void Finish();
    // Closes and deletes the file.
    void Abandon();

    uint64_t FramesWritten() const { return m_nFrames; }

private:
    std::FILE* m_pFile = nullptr;
    std::string m_Path;
    int m_nChannels = 0;
    SampleEncoding m_Encoding = SampleEncoding::Float32;
    uint32_t m_nFrameBytes = 0;
    uint64_t m_nFrames = 0;
    std::vector<unsigned char> m_Staging;
    long m_nFactOffset = 0;
    long m_nDataSizeOffset = 0;
    uint32_t m_nHeaderBytes = 0;
};

// Most frames the writer accepts: RIFF sizes are 32-bit.
uint64_t MaxFrames(int channels, SampleEncoding encoding = SampleEncoding::Float32);
int BytesPerSample(SampleEncoding encoding);

}  // namespace wav
}  // namespace sonvex
