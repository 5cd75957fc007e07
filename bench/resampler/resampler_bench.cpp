// Speed of the resampler core beside soxr (and, in the native tree, speexdsp and libsamplerate),
// measured in one process on the same 10 s of stereo noise, fed in blocks of 4096 frames. Prints
// output frames per second (median round), ratios against soxr HQ, the table build time and the
// memory of one object.
//   resampler_bench [--quick]   (--quick: 1 s of input, 3 rounds, to check that it runs)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "bench/resampler/engines.h"
#include "tests/support/bench_report.h"

namespace {

using namespace sonvex_bench;
using Clock = std::chrono::steady_clock;

constexpr int kChannels = 2;
constexpr size_t kBlockFrames = 4096;

struct Result {
    std::string name;
    double framesPerSecond = 0;
    std::vector<float> output;
};

// One conversion of the whole input; seconds taken, output kept.
double RunOnce(Engine& engine, const std::vector<float>& input, std::vector<float>& out) {
    const size_t frames = input.size() / kChannels;
    out.clear();
    const auto start = Clock::now();
    for (size_t at = 0; at < frames; at += kBlockFrames) {
        const size_t count = std::min(kBlockFrames, frames - at);
        if (!engine.Process(input.data() + at * kChannels, count, out)) return -1.0;
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The machine is shared: every converter runs once per round, in turn, and its median round
// counts, so a busy moment does not fall on one converter only.
std::vector<Result> MeasureAll(const std::vector<std::function<std::unique_ptr<Engine>()>>& makers,
                               const std::vector<float>& input, int rounds) {
    std::vector<Result> results(makers.size());
    std::vector<std::vector<double>> times(makers.size());
    for (int round = 0; round < rounds; ++round) {
        for (size_t i = 0; i < makers.size(); ++i) {
            auto engine = makers[i]();
            results[i].name = engine->Name();
            results[i].output.reserve(input.size() * 3);
            const double seconds = RunOnce(*engine, input, results[i].output);
            if (seconds < 0) {
                std::printf("  %s failed\n", results[i].name.c_str());
                continue;
            }
            times[i].push_back(seconds);
        }
    }
    for (size_t i = 0; i < makers.size(); ++i) {
        if (times[i].empty()) continue;
        std::sort(times[i].begin(), times[i].end());
        results[i].framesPerSecond = static_cast<double>(results[i].output.size() / kChannels) / times[i][times[i].size() / 2];
    }
    return results;
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int rounds = quick ? 3 : 11;
    const int seconds = quick ? 1 : 10;
    struct Ratio { int32_t in, out; };
    const Ratio ratios[] = {{44100, 48000}, {48000, 44100}, {96000, 48000}};
    const int16_t lengths[] = {17, 33, 65, 129};
    sonvex::InitProcessorDispatch();
    const sonvex::KernelVersion best = sonvex::ActiveKernelVersion();
    std::printf("processor: %s\n", sonvex_bench::ProcessorReport().c_str());
    std::printf("build: %s\n", sonvex_bench::BuildReport());
    std::printf("ours: %s\n", sonvex_bench::RoutinesReport(sonvex::detail::ActiveKernelRow()).c_str());
    std::printf("peer soxr: %s, %s\n", soxr_version(), SONVEX_SOXR_ORIGIN);
    std::printf("resampler benchmark: %d s stereo noise, blocks of %zu frames, median of %d rounds (the converters in "
                "turn in each round)\n\n",
                seconds, kBlockFrames, rounds);

    for (const Ratio& ratio : ratios) {
        std::mt19937 random(1234);
        std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
        std::vector<float> input(static_cast<size_t>(ratio.in) * seconds * kChannels);
        for (auto& v : input) v = noise(random);
        std::printf("%d -> %d\n", ratio.in, ratio.out);
        std::vector<std::function<std::unique_ptr<Engine>()>> makers;
        auto add = [&](const std::function<std::unique_ptr<Engine>()>& make) {
            makers.push_back(make);
            return makers.size() - 1;
        };
        const size_t soxrHq = add([&] { return std::make_unique<SoxrEngine>(ratio.in, ratio.out, kChannels, SOXR_HQ, "HQ"); });
        add([&] { return std::make_unique<SoxrEngine>(ratio.in, ratio.out, kChannels, SOXR_MQ, "MQ"); });
        add([&] { return std::make_unique<SoxrEngine>(ratio.in, ratio.out, kChannels, SOXR_LQ, "LQ"); });
#if defined(SONVEX_HAVE_NATIVE_PEERS)
        add([&] { return std::make_unique<SamplerateEngine>(ratio.in, ratio.out, kChannels, SRC_SINC_FASTEST); });
        add([&] { return std::make_unique<SamplerateEngine>(ratio.in, ratio.out, kChannels, SRC_SINC_MEDIUM_QUALITY); });
#endif
        std::vector<size_t> ours;
        for (int16_t n : lengths) {
            ours.push_back(add([&, n] { return std::make_unique<CoreEngine>(ratio.in, ratio.out, kChannels, n, best); }));
#if defined(SONVEX_HAVE_NATIVE_PEERS)
            const int q = SpeexQualityClosestTo(n);
            add([&, q] { return std::make_unique<SpeexEngine>(ratio.in, ratio.out, kChannels, q); });
#endif
        }
        // The other routines at n = 65, and the proof that they produce the same bits.
        const size_t scalar65 = add([&] {
            return std::make_unique<CoreEngine>(ratio.in, ratio.out, kChannels, 65, sonvex::KernelVersion::Baseline);
        });
        const size_t sse65 = add([&] {
            return std::make_unique<CoreEngine>(ratio.in, ratio.out, kChannels, 65, sonvex::KernelVersion::Sse2);
        });
        const std::vector<Result> results = MeasureAll(makers, input, rounds);
        const double reference = results[soxrHq].framesPerSecond;
        for (const Result& r : results)
            std::printf("  %-40s %8.2f M output frames/s   x%.2f soxr HQ\n", r.name.c_str(), r.framesPerSecond / 1e6,
                        r.framesPerSecond / reference);
        const Result& best65 = results[ours[2]];
        const bool same = best65.output.size() == results[scalar65].output.size() &&
                          best65.output.size() == results[sse65].output.size() &&
                          std::memcmp(best65.output.data(), results[scalar65].output.data(),
                                      best65.output.size() * sizeof(float)) == 0 &&
                          std::memcmp(best65.output.data(), results[sse65].output.data(),
                                      best65.output.size() * sizeof(float)) == 0;
        // The row's set may hand this step to another one: the name is that of the routines run.
        std::printf("  n=65 output of %s, sse2 and scalar bit-identical: %s (%zu samples)\n",
                    best65.name.c_str(), same ? "yes" : "NO", best65.output.size());
        std::printf("  n=65 speed over soxr HQ: x%.2f\n\n", best65.framesPerSecond / reference);
        if (!same) return 1;
    }

    // Table build time (Initialize of a fresh object, n = 65) and memory of one object.
    double bestBuild = 1e30;
    size_t memory = 0;
    for (int run = 0; run < 5; ++run) {
        sonvex::CResamplerCore core;
        const auto start = Clock::now();
        core.Initialize(44100, 48000, 2, 2, 65);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (seconds < bestBuild) bestBuild = seconds;
        memory = core.MemoryBytes();
    }
    std::printf("Initialize 44100 -> 48000 stereo n=65 (table of %zu bytes and lane tables): %.2f ms\n",
                size_t{4096} * 65 * sizeof(float), bestBuild * 1e3);
    std::printf("memory of one object after Initialize (44100 -> 48000 stereo n=65): %zu bytes\n", memory);
    return 0;
}
