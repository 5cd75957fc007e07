// sonvex-testsignal: writes a WAV with steady tones and an exponential sweep, the material the
// demonstration and the end-to-end tests feed to sonvex-convert and sonvex-spectrum.
#include "tools/common/tool_support.h"
#include "tools/common/wav_io.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

using namespace sonvex;

namespace {

const char* const kUsage =
    "usage: sonvex-testsignal OUT.wav [--rate R] [--seconds S] [--channels C]\n"
    "                         [--format float|pcm16|pcm24|pcm32] [--tones F1,F2,...] [--tone-level dB]\n"
    "                         [--sweep FROM:TO|none] [--sweep-level dB]\n"
    "Every channel carries the sum of the tones (each at --tone-level dB re full scale, default -12)\n"
    "and a logarithmic sweep (default from 20 Hz to 20 kHz, or to 0.45 times the rate if that is\n"
    "lower, at -30 dB). Defaults: 44100 Hz, 2 s, 2 channels, 24-bit PCM, tones 440,1000,5000.";

double ParseDecimal(const std::string& text, double minimum, double maximum, const std::string& what) {
    const double v = tools::ParseDecimal(text, what);
    if (v < minimum || v > maximum)
    {
        char range[64];
        std::snprintf(range, sizeof range, " (%g..%g)", minimum, maximum);
        throw tools::UsageError(what + " " + text + " is out of range" + range);
    }
    return v;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) break;
        start = at + 1;
    }
    return parts;
}

int Run(const std::vector<std::string>& args) {
    tools::ParsedArguments parsed = tools::ParseArguments(
        args, {"rate", "seconds", "channels", "format", "tones", "tone-level", "sweep", "sweep-level"});
    if (parsed.help) {
        std::puts(kUsage);
        return 0;
    }
    if (parsed.positional.size() != 1) throw tools::UsageError("expected one output file");
    auto option = [&](const char* name, const char* fallback) {
        auto it = parsed.options.find(name);
        return it == parsed.options.end() ? std::string(fallback) : it->second;
    };
    const uint32_t rate = static_cast<uint32_t>(tools::ParseInteger(option("rate", "44100"), 1, 1000000, "rate"));
    const double seconds = ParseDecimal(option("seconds", "2"), 0.0, 3600.0, "seconds");
    const int channels = static_cast<int>(tools::ParseInteger(option("channels", "2"), 1, wav::kMaxChannels, "channel count"));
    const std::string format = option("format", "pcm24");
    wav::SampleEncoding encoding;
    if (format == "float") encoding = wav::SampleEncoding::Float32;
    else if (format == "pcm16") encoding = wav::SampleEncoding::Pcm16;
    else if (format == "pcm24") encoding = wav::SampleEncoding::Pcm24;
    else if (format == "pcm32") encoding = wav::SampleEncoding::Pcm32;
    else throw tools::UsageError("unknown format '" + format + "' (float, pcm16, pcm24, pcm32)");

    std::vector<double> tones;
    std::string toneList = option("tones", "440,1000,5000");
    if (toneList != "none" && !toneList.empty())
        for (const std::string& t : Split(toneList, ','))
            tones.push_back(ParseDecimal(t, 0.0, rate / 2.0, "tone frequency"));
    const double toneAmplitude = std::pow(10.0, ParseDecimal(option("tone-level", "-12"), -200.0, 0.0, "tone level") / 20.0);

    bool sweep = false;
    double sweepFrom = 0, sweepTo = 0;
    // The default sweep ends at 20 kHz or, for low rates, a little below the Nyquist frequency.
    char defaultSweep[64];
    std::snprintf(defaultSweep, sizeof defaultSweep, "20:%g", std::min(20000.0, std::floor(0.45 * rate)));
    std::string sweepText = option("sweep", defaultSweep);
    if (sweepText != "none") {
        std::vector<std::string> ends = Split(sweepText, ':');
        if (ends.size() != 2) throw tools::UsageError("--sweep wants FROM:TO or none");
        sweepFrom = ParseDecimal(ends[0], 1.0, rate / 2.0, "sweep start");
        sweepTo = ParseDecimal(ends[1], 1.0, rate / 2.0, "sweep end");
        sweep = true;
    }
    const double sweepAmplitude = std::pow(10.0, ParseDecimal(option("sweep-level", "-30"), -200.0, 0.0, "sweep level") / 20.0);

    const uint64_t frames = static_cast<uint64_t>(std::llround(seconds * rate));
    const double twoPi = 6.283185307179586;
    const double duration = frames / static_cast<double>(rate);
    const double sweepRatio = sweep ? std::log(sweepTo / sweepFrom) : 0.0;

    tools::TemporaryOutput output(parsed.positional[0]);
    wav::WavWriter writer;
    writer.Create(output.Path(), rate, channels, encoding);
    std::vector<float> block;
    const uint64_t blockFrames = 8192;
    for (uint64_t start = 0; start < frames; start += blockFrames) {
        uint64_t n = std::min(blockFrames, frames - start);
        block.resize(static_cast<size_t>(n * channels));
        for (uint64_t i = 0; i < n; ++i) {
            double t = static_cast<double>(start + i) / rate;
            double v = 0.0;
            for (double f : tones) v += toneAmplitude * std::sin(twoPi * f * t);
            if (sweep && duration > 0.0) {
                double phase = sweepRatio != 0.0
                                   ? twoPi * sweepFrom * duration / sweepRatio * (std::exp(t * sweepRatio / duration) - 1.0)
                                   : twoPi * sweepFrom * t;
                v += sweepAmplitude * std::sin(phase);
            }
            for (int c = 0; c < channels; ++c) block[static_cast<size_t>(i * channels + c)] = static_cast<float>(v);
        }
        writer.WriteFrames(block.data(), static_cast<size_t>(n));
    }
    writer.Finish();
    output.Commit();
    std::printf("%s: %llu frames, %u Hz, %d channel%s, %s\n", parsed.positional[0].c_str(),
                static_cast<unsigned long long>(frames), rate, channels, channels == 1 ? "" : "s",
                wav::EncodingName(encoding));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    return sonvex::tools::RunTool("sonvex-testsignal", argc, argv, Run);
}
