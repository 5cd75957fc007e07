// The tools' WAV reader on arbitrary file contents: it either refuses the file with a WavError
// or reads exactly the frames it announced, each PCM sample within [-1, 1], never touching a
// byte outside the file.
#include <stdio.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "tests/fuzz/fuzz_check.h"
#include "tools/common/wav_io.h"

using namespace sonvex::wav;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static uint8_t empty = 0;
    // A stream over the input itself: the reader sees a file of exactly these bytes.
    FILE* stream = fmemopen(size ? const_cast<uint8_t*>(data) : &empty, size, "rb");
    if (!stream) return 0;
    WavReader reader;
    try {
        reader.OpenStream(stream, "fuzz.wav");
    } catch (const WavError&) {
        return 0;
    }
    const WavFormat& format = reader.Format();
    FUZZ_CHECK(format.channels >= 1 && format.channels <= kMaxChannels);
    FUZZ_CHECK(format.sampleRate > 0);
    FUZZ_CHECK(format.blockAlign == format.channels * (format.bitsPerSample / 8));
    FUZZ_CHECK(reader.FrameCount() * format.blockAlign <= size);
    const bool pcm = format.encoding != SampleEncoding::Float32;
    // Pieces of changing size, as the tools read.
    std::vector<float> buffer(static_cast<size_t>(format.channels) * 1000);
    const size_t pieces[] = {1, 7, 1000, 3};
    uint64_t total = 0;
    for (size_t i = 0;; ++i) {
        size_t n = 0;
        try {
            n = reader.ReadFrames(buffer.data(), pieces[i % 4]);
        } catch (const WavError&) {
            FUZZ_CHECK(false);  // a file it opened must read to its end
        }
        if (n == 0) break;
        FUZZ_CHECK(n <= pieces[i % 4]);
        for (size_t k = 0; pcm && k < n * format.channels; ++k) FUZZ_CHECK(buffer[k] >= -1.0f && buffer[k] <= 1.0f);
        total += n;
    }
    FUZZ_CHECK(total == reader.FrameCount());
    FUZZ_CHECK(reader.FramesLeft() == 0);
    return 0;
}
