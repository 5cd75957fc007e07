#include "wav_file.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace vsthost {

namespace {

constexpr uint16_t kPcm = 1, kFloat = 3, kExtensible = 0xFFFE;
constexpr int kMaxChannels = 64;

uint16_t get16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }
uint32_t get32(const uint8_t* p) { return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24); }

void put16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back((uint8_t)v);
    b.push_back((uint8_t)(v >> 8));
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back((uint8_t)(v >> (8 * i)));
}
void putTag(std::vector<uint8_t>& b, const char* tag) {
    for (int i = 0; i < 4; ++i) b.push_back((uint8_t)tag[i]);
}

}  // namespace

bool parseWav(const std::vector<uint8_t>& bytes, WavAudio& audio, std::string& error) {
    const size_t size = bytes.size();
    const uint8_t* data = bytes.data();
    if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0) {
        error = "not a RIFF/WAVE file";
        return false;
    }
    bool haveFormat = false;
    uint16_t format = 0, channels = 0, bits = 0, blockAlign = 0;
    uint32_t rate = 0;
    const uint8_t* samples = nullptr;
    size_t sampleBytes = 0;
    size_t pos = 12;
    while (pos + 8 <= size) {
        const uint8_t* chunk = data + pos;
        size_t length = get32(chunk + 4);
        size_t available = size - pos - 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (length < 16 || length > available) {
                error = "malformed format chunk";
                return false;
            }
            format = get16(chunk + 8);
            channels = get16(chunk + 10);
            rate = get32(chunk + 12);
            blockAlign = get16(chunk + 20);
            bits = get16(chunk + 22);
            if (format == kExtensible) {
                if (length < 40) {
                    error = "malformed extensible format chunk";
                    return false;
                }
                format = get16(chunk + 8 + 24);  // first two bytes of the sub-format GUID
            }
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            samples = chunk + 8;
            // A writer that never filled in the size leaves it too large: take what is there.
            sampleBytes = length > available ? available : length;
        }
        if (length > available) break;
        pos += 8 + length + (length & 1);
    }
    if (!haveFormat) {
        error = "no format chunk";
        return false;
    }
    if (!samples) {
        error = "no data chunk";
        return false;
    }
    if (channels == 0 || channels > kMaxChannels) {
        error = "unsupported channel count " + std::to_string(channels);
        return false;
    }
    if (rate == 0 || rate > 1000000) {
        error = "unsupported sample rate " + std::to_string(rate);
        return false;
    }
    bool pcm = format == kPcm && (bits == 16 || bits == 24 || bits == 32);
    bool flt = format == kFloat && bits == 32;
    if (!pcm && !flt) {
        error = "unsupported sample format (tag " + std::to_string(format) + ", " + std::to_string(bits) +
                " bits); 16/24/32-bit PCM or 32-bit float expected";
        return false;
    }
    const size_t bytesPerSample = bits / 8;
    if (blockAlign != bytesPerSample * channels) {
        error = "inconsistent block alignment " + std::to_string(blockAlign);
        return false;
    }
    const size_t frames = sampleBytes / blockAlign;
    audio.channels = channels;
    audio.sampleRate = (int)rate;
    audio.samples.resize(frames * channels);
    for (size_t k = 0; k < audio.samples.size(); ++k) {
        const uint8_t* p = samples + k * bytesPerSample;
        float v;
        if (flt) {
            uint32_t u = get32(p);
            std::memcpy(&v, &u, 4);
        } else if (bits == 16) {
            v = (float)(int16_t)get16(p) / 32768.0f;
        } else if (bits == 24) {
            int32_t s = (int32_t)(((uint32_t)p[0] << 8) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 24)) >> 8;
            v = (float)s / 8388608.0f;
        } else {
            v = (float)((double)(int32_t)get32(p) / 2147483648.0);
        }
        audio.samples[k] = v;
    }
    return true;
}

namespace {
std::vector<uint8_t> header(const WavAudio& audio, uint16_t format, uint16_t bits, size_t dataBytes) {
    std::vector<uint8_t> b;
    const bool isFloat = format == kFloat;
    const uint32_t fmtLength = isFloat ? 18 : 16;
    const uint32_t factLength = isFloat ? 12 : 0;
    b.reserve(44 + 14 + dataBytes);
    putTag(b, "RIFF");
    put32(b, (uint32_t)(4 + 8 + fmtLength + factLength + 8 + dataBytes + (dataBytes & 1)));
    putTag(b, "WAVE");
    putTag(b, "fmt ");
    put32(b, fmtLength);
    put16(b, format);
    put16(b, (uint16_t)audio.channels);
    put32(b, (uint32_t)audio.sampleRate);
    put32(b, (uint32_t)(audio.sampleRate * audio.channels * (bits / 8)));
    put16(b, (uint16_t)(audio.channels * (bits / 8)));
    put16(b, bits);
    if (isFloat) {
        put16(b, 0);
        putTag(b, "fact");
        put32(b, 4);
        put32(b, (uint32_t)audio.frames());
    }
    putTag(b, "data");
    put32(b, (uint32_t)dataBytes);
    return b;
}
}  // namespace

std::vector<uint8_t> buildFloatWav(const WavAudio& audio) {
    const size_t n = audio.frames() * (size_t)audio.channels;
    std::vector<uint8_t> b = header(audio, kFloat, 32, n * 4);
    for (size_t k = 0; k < n; ++k) {
        uint32_t u;
        std::memcpy(&u, &audio.samples[k], 4);
        put32(b, u);
    }
    return b;
}

std::vector<uint8_t> buildPcm16Wav(const WavAudio& audio) {
    const size_t n = audio.frames() * (size_t)audio.channels;
    std::vector<uint8_t> b = header(audio, kPcm, 16, n * 2);
    for (size_t k = 0; k < n; ++k) {
        double v = std::nearbyint((double)audio.samples[k] * 32768.0);
        if (!(v >= -32768.0)) v = -32768.0;  // NaN lands here too
        if (v > 32767.0) v = 32767.0;
        put16(b, (uint16_t)(int16_t)v);
    }
    return b;
}

bool readFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = "cannot open " + path;
        return false;
    }
    bytes.clear();
    uint8_t buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    bool ok = !std::ferror(f);
    std::fclose(f);
    if (!ok) error = "cannot read " + path;
    return ok;
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        error = "cannot create " + path;
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) error = "cannot write " + path;
    return ok;
}

}  // namespace vsthost
