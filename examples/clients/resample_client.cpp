// A file converted block by block through CAudioResampler: a 16-bit or float WAV file in, a
// float WAV file out at the new rate (same channel count). Usage:
//     resample_client IN.wav OUT.wav NEW-RATE
#include <windows.h>
#include <ole2.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sonvex_h.h"

struct Wav {
    int channels = 0, rate = 0;
    std::vector<float> samples;  // interleaved
};

// Just enough of the format for this example: PCM 16-bit or 32-bit float, in a RIFF file.
bool readWav(const char* path, Wav& wav) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    std::vector<uint8_t> d;
    uint8_t buffer[65536];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, f)) > 0;) d.insert(d.end(), buffer, buffer + got);
    std::fclose(f);
    auto u16 = [&](size_t at) { return (uint32_t)d[at] | (uint32_t)d[at + 1] << 8; };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    if (d.size() < 12 || std::memcmp(&d[0], "RIFF", 4) || std::memcmp(&d[8], "WAVE", 4)) return false;
    int format = 0, bits = 0;
    for (size_t at = 12; at + 8 <= d.size();) {
        const size_t size = u32(at + 4), body = at + 8;
        if (body + size > d.size()) return false;
        if (!std::memcmp(&d[at], "fmt ", 4) && size >= 16) {
            format = (int)u16(body);
            wav.channels = (int)u16(body + 2);
            wav.rate = (int)u32(body + 4);
            bits = (int)u16(body + 14);
        } else if (!std::memcmp(&d[at], "data", 4) && wav.channels > 0) {
            for (size_t i = body; i + bits / 8 <= body + size; i += bits / 8) {
                if (format == 1 && bits == 16) wav.samples.push_back((int16_t)u16(i) / 32768.0f);
                else if (format == 3 && bits == 32) {
                    const uint32_t word = u32(i);
                    float value;
                    std::memcpy(&value, &word, 4);
                    wav.samples.push_back(value);
                } else return false;
            }
            return true;
        }
        at = body + size + (size & 1);
    }
    return false;
}

bool writeFloatWav(const char* path, const Wav& wav) {
    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    const uint32_t bytes = (uint32_t)(wav.samples.size() * 4), blockAlign = (uint32_t)wav.channels * 4;
    const uint32_t header[] = {0x46464952, 36 + bytes, 0x45564157, 0x20746D66, 16, 3u | (uint32_t)wav.channels << 16,
                               (uint32_t)wav.rate, (uint32_t)wav.rate * blockAlign, blockAlign | 32u << 16, 0x61746164,
                               bytes};
    bool ok = std::fwrite(header, sizeof header, 1, f) == 1 &&
              std::fwrite(wav.samples.data(), 4, wav.samples.size(), f) == wav.samples.size();
    return std::fclose(f) == 0 && ok;
}

int main(int argc, char** argv) {
    Wav in, out;
    if (argc != 4 || !readWav(argv[1], in)) {
        std::printf("usage: resample_client IN.wav OUT.wav NEW-RATE (IN: 16-bit or float WAV)\n");
        return 2;
    }
    out.channels = in.channels;
    out.rate = std::atoi(argv[3]);

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IAudioResampler* resampler = nullptr;
    if (FAILED(CoCreateInstance(CLSID_CAudioResampler, nullptr, CLSCTX_INPROC_SERVER, IID_IAudioResampler,
                                reinterpret_cast<void**>(&resampler)))) {
        std::printf("Sonvex2 is not registered\n");
        return 1;
    }
    if (FAILED(resampler->Initialize(in.rate, out.rate, (SHORT)in.channels, (SHORT)out.channels, 65))) {
        std::printf("the resampler refused %d Hz to %d Hz\n", in.rate, out.rate);
        return 1;
    }
    // Blocks of 4096 frames in; whatever the resampler can produce comes back after each. The
    // block handed in stays the caller's, the block handed back becomes the caller's.
    const size_t block = 4096 * (size_t)in.channels;
    for (size_t start = 0; start < in.samples.size(); start += block) {
        const size_t count = in.samples.size() - start < block ? in.samples.size() - start : block;
        SAFEARRAY* input = SafeArrayCreateVector(VT_R4, 0, (ULONG)count);
        float* data = nullptr;
        SafeArrayAccessData(input, reinterpret_cast<void**>(&data));
        std::memcpy(data, &in.samples[start], count * sizeof(float));
        SafeArrayUnaccessData(input);
        resampler->AddBlock(input);
        SafeArrayDestroy(input);

        SAFEARRAY* output = nullptr;
        if (SUCCEEDED(resampler->GetProcessedBlock(&output)) && output) {
            LONG upper = -1;
            SafeArrayGetUBound(output, 1, &upper);
            SafeArrayAccessData(output, reinterpret_cast<void**>(&data));
            out.samples.insert(out.samples.end(), data, data + upper + 1);
            SafeArrayUnaccessData(output);
            SafeArrayDestroy(output);
        }
    }
    resampler->Release();
    CoUninitialize();

    if (!writeFloatWav(argv[2], out)) {
        std::printf("cannot write %s\n", argv[2]);
        return 1;
    }
    std::printf("converted %zu frames at %d Hz to %zu frames at %d Hz (%d channel(s))\n",
                in.samples.size() / (size_t)in.channels, in.rate, out.samples.size() / (size_t)out.channels, out.rate,
                out.channels);
    return 0;
}
