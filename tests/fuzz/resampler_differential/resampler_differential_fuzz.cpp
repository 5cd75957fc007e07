// CResamplerCore against the scalar model of the tests, bit for bit: rates up, down, equal,
// whole and fractional steps, odd rates and steps too long for the vector lanes, and now and
// then any two rates at all; channel
// counts 1..8 in and out; kernel lengths; every interpolation version forced, or chosen; and
// a random sequence of blocks of any size, partial frames and resets included. Every output
// block must match the model's in count and in every bit, and nothing may be written past the
// frames the core announced.
//
// Building a kernel table costs 4096 x n sines and cosines, far more than the blocks that
// follow. So the parameters come from a fixed grid, and a core with its model, once made for
// a point of the grid, is kept and taken up again by later inputs: both are reset (the queue
// back to its silent frames; the position and counters go on) and run in lockstep as before.
// An input thus starts where the last one on its point left the pair, which only shifts where
// the stream stands. A failure prints how far the pair had consumed; with SONVEX_FUZZ_FRESH=1
// and SONVEX_FUZZ_CONSUMED=<that count> in the environment an input replays alone on a fresh
// pair brought to the same place.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "dsp/kernels/dispatch.h"
#include "dsp/resampler/resampler.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/resampler_differential/reference_model.h"
#include "tests/support/kernel_versions.h"

using namespace sonvex;

namespace {

class Input {
public:
    Input(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool empty() const { return m_pos >= m_size; }
    uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    uint32_t bits(int count) {
        uint32_t v = 0;
        for (int i = 0; i < count; i += 8) v |= static_cast<uint32_t>(byte()) << i;
        return count >= 32 ? v : v & ((1u << count) - 1);
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

struct Pair {
    Pair(int32_t origRate, int32_t newRate, int origChannels, int newChannels, int16_t kernelLength)
        : model(origRate, newRate, origChannels, newChannels, kernelLength) {}
    CResamplerCore core;
    sonvex_fuzz::ReferenceModel model;
};

struct RatePair {
    int32_t orig, next;
};
// Up and down, whole steps, equal rates, rates that share no factor, a step of many input
// frames and one beyond the vector layout's limit.
const RatePair kRates[10] = {{44100, 48000}, {48000, 44100}, {96000, 48000}, {48000, 96000}, {22050, 8000},
                             {8000, 44100},  {44100, 44100}, {7, 5},          {524287, 11025}, {192000, 1000}};
const int kChannels[8][2] = {{1, 1}, {2, 2}, {2, 1}, {1, 2}, {6, 2}, {3, 8}, {8, 8}, {5, 7}};
const int16_t kLengths[5] = {1, 3, 9, 33, 39};
// Initialize takes its interpolation from the active kernel version: the one this processor
// picks, the plain loop (Baseline), 4 lanes (SSE2) or 8 lanes (AVX, where AVX2 runs).
constexpr int kInterpolationChoices = 4;
sonvex::KernelVersion InterpolationVersion(int choice) {
    using sonvex::KernelVersion;
    static const KernelVersion versions[kInterpolationChoices] = {
        sonvex_test::PickedVersion(), KernelVersion::Baseline, KernelVersion::Sse2, KernelVersion::Avx};
    const KernelVersion version = versions[choice % kInterpolationChoices];
    return sonvex_test::ProcessorRunsVersion(version) ? version : sonvex_test::PickedVersion();
}
constexpr int kGridPoints = 10 * 8 * 5 * kInterpolationChoices;
constexpr int64_t kMaxBlockOutputs = 16384;

void Preroll(Pair& pair, int64_t consumed, int channels, int16_t kernelLength) {
    if (consumed <= 0) return;
    // One block of silence that leaves exactly `consumed` frames retired, then the reset.
    const int64_t frames = consumed + (kernelLength + 1) / 2 - 1;
    std::vector<float> silence(static_cast<size_t>(frames * channels), 0.0f);
    FUZZ_CHECK(pair.core.AddSamples(silence.data(), static_cast<int64_t>(silence.size())) == ResamplerOk);
    pair.model.Add(silence.data(), silence.size());
    int64_t outputs = 0;
    FUZZ_CHECK(pair.core.CountOutputFrames(&outputs) == ResamplerOk);
    std::vector<float> out(static_cast<size_t>(outputs) * pair.core.NewChannels() + 1);
    FUZZ_CHECK(pair.core.ProduceFrames(out.data(), outputs) == ResamplerOk);
    // Both sides' outputs of the silence are dropped: only the state they leave matters here.
    std::vector<float> dropped;
    pair.model.Get(dropped);
    FUZZ_CHECK(pair.core.Consumed() == consumed);
}

// The pair of a grid point, reset to its silent frames.
Pair& PairAt(int point) {
    static std::vector<std::unique_ptr<Pair>> kept(kGridPoints);
    static const bool fresh = std::getenv("SONVEX_FUZZ_FRESH") != nullptr;
    static const char* consumedText = std::getenv("SONVEX_FUZZ_CONSUMED");
    std::unique_ptr<Pair>& pair = kept[static_cast<size_t>(point)];
    const int interpolation = point % kInterpolationChoices;
    const int16_t kernelLength = kLengths[point / 4 % 5];
    const int* channels = kChannels[point / 20 % 8];
    const RatePair rates = kRates[point / 160];
    if (!pair || fresh) {
        pair.reset(new Pair(rates.orig, rates.next, channels[0], channels[1], kernelLength));
        int32_t status;
        {
            sonvex_test::ForcedVersion forced(InterpolationVersion(interpolation));
            status = pair->core.Initialize(rates.orig, rates.next, static_cast<int16_t>(channels[0]),
                                           static_cast<int16_t>(channels[1]), kernelLength);
        }
        FUZZ_CHECK(status == ResamplerOk);
        if (fresh && consumedText) Preroll(*pair, std::atoll(consumedText), channels[0], kernelLength);
    }
    FUZZ_CHECK(pair->core.Reset() == ResamplerOk);
    pair->model.Reset();
    return *pair;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    // Mostly a point of the grid; now and then any two rates the core takes, on a fresh pair
    // with a short kernel (its table is cheap).
    const int point = static_cast<int>(in.bits(16) % (kGridPoints + 64));
    std::unique_ptr<Pair> oneOff;
    int32_t origRate, newRate;
    if (point < kGridPoints) {
        origRate = kRates[point / 160].orig;
        newRate = kRates[point / 160].next;
    } else {
        origRate = static_cast<int32_t>(in.bits(19) % 524287) + 1;
        newRate = static_cast<int32_t>(in.bits(19) % 524287) + 1;
        const uint8_t shape = in.byte();
        const int* channels = kChannels[shape & 7];
        const int16_t kernelLength = kLengths[(shape >> 3) % 3];
        sonvex_test::ForcedVersion forced(InterpolationVersion((shape >> 5) % kInterpolationChoices));
        if (static_cast<int64_t>(origRate) * 4096 < newRate) {
            CResamplerCore refused;
            FUZZ_CHECK(refused.Initialize(origRate, newRate, static_cast<int16_t>(channels[0]),
                                          static_cast<int16_t>(channels[1]), kernelLength) == ResamplerBadArgument);
            return 0;
        }
        oneOff.reset(new Pair(origRate, newRate, channels[0], channels[1], kernelLength));
        FUZZ_CHECK(oneOff->core.Initialize(origRate, newRate, static_cast<int16_t>(channels[0]),
                                           static_cast<int16_t>(channels[1]), kernelLength) == ResamplerOk);
    }
    Pair& pair = oneOff ? *oneOff : PairAt(point);
    CResamplerCore& core = pair.core;
    sonvex_fuzz::ReferenceModel& model = pair.model;
    const int origChannels = core.OrigChannels(), newChannels = core.NewChannels();
    const int kernelLength = core.KernelLength();
    const long long consumedBefore = static_cast<long long>(core.Consumed());

    // A block asks for at most kMaxBlockOutputs output frames. Near the highest ratio a few
    // hundred input frames would make hundreds of megabytes of output, a second of sanitised
    // work for one input, reaching no code that sixteen chunks of output do not. No point of
    // the grid comes near the cap.
    const int64_t maxBlockFrames = kMaxBlockOutputs * origRate / newRate + 1;
    const size_t maxBlockSamples = static_cast<size_t>(maxBlockFrames * origChannels + origChannels - 1);
    // Kept from input to input: large blocks would otherwise be mapped and unmapped each time.
    static std::vector<float> block, out, expected;
    uint32_t generated = 1;
    for (int operation = 0; operation < 64 && !in.empty(); ++operation) {
        const uint8_t op = in.byte();
        if ((op & 7) == 7) {
            FUZZ_CHECK(core.Reset() == ResamplerOk);
            model.Reset();
        } else {
            // Any count of samples, whole frames or not; values of every magnitude, all finite.
            size_t count = (static_cast<size_t>(in.bits(8)) << (op & 3)) + (op >> 6);
            if (count > maxBlockSamples) count = maxBlockSamples;
            const int shift = static_cast<int>((op >> 3) & 7);
            block.resize(count);
            for (float& v : block) {
                int16_t raw;
                if (!in.empty()) {
                    raw = static_cast<int16_t>(in.bits(16));
                } else {
                    generated = generated * 1103515245u + 12345u;
                    raw = static_cast<int16_t>(generated >> 16);
                }
                v = std::ldexp(static_cast<float>(raw), shift * 3 - 15);
            }
            FUZZ_CHECK(core.AddSamples(block.data(), static_cast<int64_t>(count)) == ResamplerOk);
            model.Add(block.data(), count);
        }
        int64_t frames = -1;
        FUZZ_CHECK(core.CountOutputFrames(&frames) == ResamplerOk);
        model.Get(expected);
        FUZZ_CHECK(frames >= 0 && static_cast<size_t>(frames) * newChannels == expected.size());
        const float guard = -7.5e33f;
        out.assign(expected.size() + 8, guard);
        FUZZ_CHECK(core.ProduceFrames(out.data(), frames) == ResamplerOk);
        for (size_t k = 0; k < expected.size(); ++k) {
            if (std::memcmp(&out[k], &expected[k], sizeof(float)) == 0) continue;
            std::fprintf(stderr, "%d -> %d Hz, %d -> %d channels, %d taps, %s interpolation, %lld frames consumed before: "
                         "operation %d, frame %zu of %lld, channel %zu: %.9g, the model %.9g\n", origRate, newRate,
                         origChannels, newChannels, kernelLength, core.InterpolationName(), consumedBefore, operation,
                         k / newChannels, static_cast<long long>(frames), k % newChannels, out[k], expected[k]);
            FUZZ_CHECK(!"the output differs from the model's");
        }
        for (size_t k = expected.size(); k < out.size(); ++k) FUZZ_CHECK(out[k] == guard);
    }
    return 0;
}
