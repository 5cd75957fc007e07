// Small WAV reader and writer for the command-line host: 16-, 24- and 32-bit PCM and 32-bit
// float in (plain or extensible format chunk), 32-bit float out. Samples are interleaved.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vsthost {

struct WavAudio {
    int channels = 0;
    int sampleRate = 0;
    std::vector<float> samples;  // frames x channels, interleaved
    size_t frames() const { return channels > 0 ? samples.size() / (size_t)channels : 0; }
};

// Parses a whole file image. On failure returns false with a one-line reason in `error`.
bool parseWav(const std::vector<uint8_t>& bytes, WavAudio& audio, std::string& error);
// Builds a 32-bit float file image.
std::vector<uint8_t> buildFloatWav(const WavAudio& audio);
// Builds a 16-bit PCM file image (samples rounded and limited to the 16-bit range).
std::vector<uint8_t> buildPcm16Wav(const WavAudio& audio);

bool readFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error);
bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);

}  // namespace vsthost
