#include "tools/vsthost/processing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <vector>

#include "tools/common/tool_support.h"

namespace vsthost {

using namespace vst;
using sonvex::tools::Format;

namespace {

struct Levels {
    std::vector<double> sumSquares, peak;
    size_t frames = 0;
    explicit Levels(int channels) : sumSquares((size_t)channels, 0.0), peak((size_t)channels, 0.0) {}
    void add(int channel, float v) {
        sumSquares[(size_t)channel] += (double)v * v;
        peak[(size_t)channel] = std::max(peak[(size_t)channel], (double)std::fabs(v));
    }
};

double toDb(double v) { return v > 0.0 ? 20.0 * std::log10(v) : -INFINITY; }

void printLevels(const char* what, const Levels& levels) {
    double total = 0.0, peak = 0.0;
    for (size_t c = 0; c < levels.peak.size(); ++c) {
        total += levels.sumSquares[c];
        peak = std::max(peak, levels.peak[c]);
    }
    size_t n = levels.frames * levels.peak.size();
    double rms = n ? std::sqrt(total / (double)n) : 0.0;
    std::printf("%-6s level: RMS %7.2f dBFS, peak %7.2f dBFS\n", what, toDb(rms), toDb(peak));
}

}  // namespace

void processFile(Plugin& plugin, const sonvex::wav::WavData& in, int blockSize, const std::string& outputPath,
                 bool quiet) {
    AEffect* e = plugin.effect();
    if (!(e->flags & effFlagsCanReplacing) || !e->processReplacing)
        throw std::runtime_error("the plug-in offers no replacing process call");
    const int numIn = e->numInputs, numOut = e->numOutputs;
    if (numIn < 0 || numOut < 1 || numIn > 64 || numOut > 64)
        throw std::runtime_error(Format("the plug-in declares %d inputs and %d outputs", numIn, numOut));
    const int fileChannels = in.format.channels;
    const int outChannels = std::min(fileChannels, numOut);
    const size_t frames = (size_t)in.frames;
    const int block = blockSize;
    const int rate = (int)in.format.sampleRate;

    std::vector<std::vector<float>> inBuffers((size_t)std::max(numIn, 1), std::vector<float>((size_t)block));
    std::vector<std::vector<float>> outBuffers((size_t)numOut, std::vector<float>((size_t)block));
    std::vector<float*> inPointers, outPointers;
    for (auto& b : inBuffers) inPointers.push_back(b.data());
    for (auto& b : outBuffers) outPointers.push_back(b.data());

    // The output appears under its name only once it is complete.
    std::unique_ptr<sonvex::tools::TemporaryOutput> output;
    sonvex::wav::WavWriter writer;
    if (!outputPath.empty()) {
        output.reset(new sonvex::tools::TemporaryOutput(outputPath));
        writer.Create(output->Path(), in.format.sampleRate, outChannels);
    }
    std::vector<float> outBlock((size_t)block * (size_t)outChannels);
    Levels inLevels(fileChannels), outLevels(outChannels);
    inLevels.frames = outLevels.frames = frames;

    plugin.dispatch(effMainsChanged, 0, 1);
    plugin.dispatch(effStartProcess);
    sonvex::tools::ProgressBar progress(stderr, frames, !quiet);
    progress.Update(0);
    for (size_t start = 0; start < frames; start += (size_t)block) {
        const int n = (int)std::min((size_t)block, frames - start);
        for (int c = 0; c < numIn; ++c) {
            float* dest = inBuffers[(size_t)c].data();
            for (int f = 0; f < n; ++f)
                dest[f] = c < fileChannels ? in.samples[(start + (size_t)f) * (size_t)fileChannels + (size_t)c] : 0.0f;
        }
        for (auto& b : outBuffers) std::fill(b.begin(), b.end(), 0.0f);
        e->processReplacing(e, inPointers.data(), outPointers.data(), n);
        for (int f = 0; f < n; ++f) {
            const size_t frame = start + (size_t)f;
            for (int c = 0; c < fileChannels; ++c) inLevels.add(c, in.samples[frame * (size_t)fileChannels + (size_t)c]);
            for (int c = 0; c < outChannels; ++c) {
                float v = outBuffers[(size_t)c][(size_t)f];
                outBlock[(size_t)f * (size_t)outChannels + (size_t)c] = v;
                outLevels.add(c, v);
            }
        }
        if (output) writer.WriteFrames(outBlock.data(), (size_t)n);
        progress.Update(start + (size_t)n);
    }
    progress.Finish();
    plugin.dispatch(effStopProcess);
    plugin.dispatch(effMainsChanged, 0, 0);

    std::printf("processed %zu frames of %d channel(s) at %d Hz in blocks of %d\n", frames, fileChannels, rate, block);
    printLevels("input", inLevels);
    printLevels("output", outLevels);
    if (output) {
        writer.Finish();
        output->Commit();
        std::printf("wrote %s (%d channel(s), 32-bit float)\n", outputPath.c_str(), outChannels);
    }
}

// A low, a middle and a high tone at moderate level, with short fades.
void makeSignal(const std::string& path, int rate, double seconds) {
    const size_t frames = (size_t)(seconds * rate);
    std::vector<float> samples(frames * 2);
    const double twoPi = 6.283185307179586;
    const double fade = 0.01 * rate;
    for (size_t f = 0; f < frames; ++f) {
        double t = (double)f / rate;
        double g = std::min(1.0, std::min((double)f, (double)(frames - 1 - f)) / fade);
        double left = 0.2 * std::sin(twoPi * 110 * t) + 0.15 * std::sin(twoPi * 1000 * t) + 0.1 * std::sin(twoPi * 6000 * t);
        double right = 0.2 * std::sin(twoPi * 110 * t + 1.0) + 0.15 * std::sin(twoPi * 1000 * t + 0.5) +
                       0.1 * std::sin(twoPi * 6000 * t + 0.25);
        samples[2 * f] = (float)(g * left);
        samples[2 * f + 1] = (float)(g * right);
    }
    sonvex::tools::TemporaryOutput output(path);
    sonvex::wav::WavWriter writer;
    writer.Create(output.Path(), (uint32_t)rate, 2, sonvex::wav::SampleEncoding::Pcm16);
    writer.WriteFrames(samples.data(), frames);
    writer.Finish();
    output.Commit();
    std::printf("wrote %s (%zu frames, 2 channels, %d Hz, 16-bit)\n", path.c_str(), frames, rate);
}

}  // namespace vsthost
