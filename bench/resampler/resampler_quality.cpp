// Quality report: what a listener would notice, measured with pure tones through the core and
// through speexdsp, libsamplerate and soxr at comparable settings. Not a pass/fail test.
//
// For every tone of a stepped sweep (mono, amplitude 0.5, 1.5 s) the output is fitted by least
// squares with a sine of the tone's frequency over a window after the start-up transient:
//   gain      amplitude of the fitted sine over the input amplitude;
//   residual  power of what the fit leaves (images, aliases, noise) against the tone's power.
// Columns:
//   ripple    max - min gain over the tones from 20 Hz to 16 kHz (pass band)
//   @18k/@20k gain at 18 kHz and 20 kHz (start of the roll-off)
//   resid     worst residual over the tones from 20 Hz to 20 kHz
//   stop      worst output level, against the tone, for tones whose content must not pass:
//             downsampling: tones between the output and the input Nyquist frequency (any
//             output is an alias); upsampling: tones from 20.5 to 22 kHz, whose images land
//             between 22.05 and 24 kHz (the residual of the fit).
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "bench/resampler/engines.h"

namespace {

using namespace sonvex_bench;

constexpr double kPi = 3.14159265358979323846;
constexpr double kAmplitude = 0.5;

struct Fit {
    double gain = 0;
    double residualDb = 0;  // residual power against the tone's power
    double levelDb = 0;     // whole output power against the tone's power
};

Fit MeasureTone(Engine& engine, int32_t inRate, double frequency) {
    const size_t frames = static_cast<size_t>(inRate * 1.5);
    std::vector<float> input(frames);
    for (size_t i = 0; i < frames; ++i)
        input[i] = static_cast<float>(kAmplitude * std::sin(2.0 * kPi * frequency * static_cast<double>(i) / inRate));
    std::vector<float> out;
    for (size_t at = 0; at < frames; at += 4096) engine.Process(input.data() + at, std::min<size_t>(4096, frames - at), out);
    const double rate = engine.OutputRate();
    const size_t first = static_cast<size_t>(rate * 0.25), last = static_cast<size_t>(rate * 1.25);
    Fit fit;
    if (out.size() < last) return fit;
    const double w = 2.0 * kPi * frequency / rate;
    double cc = 0, ss = 0, cs = 0, yc = 0, ys = 0, yy = 0;
    for (size_t k = first; k < last; ++k) {
        const double c = std::cos(w * static_cast<double>(k)), s = std::sin(w * static_cast<double>(k)), y = out[k];
        cc += c * c;
        ss += s * s;
        cs += c * s;
        yc += y * c;
        ys += y * s;
        yy += y * y;
    }
    const double det = cc * ss - cs * cs;
    const double a = (yc * ss - ys * cs) / det, b = (ys * cc - yc * cs) / det;
    double residual = 0;
    for (size_t k = first; k < last; ++k) {
        const double e = out[k] - a * std::cos(w * static_cast<double>(k)) - b * std::sin(w * static_cast<double>(k));
        residual += e * e;
    }
    const double count = static_cast<double>(last - first);
    const double tonePower = kAmplitude * kAmplitude / 2.0;
    fit.gain = std::sqrt(a * a + b * b) / kAmplitude;
    fit.residualDb = 10.0 * std::log10(residual / count / tonePower + 1e-30);
    fit.levelDb = 10.0 * std::log10(yy / count / tonePower + 1e-30);
    return fit;
}

double Db(double gain) { return 20.0 * std::log10(gain + 1e-30); }

void Report(const char* label, const std::function<std::unique_ptr<Engine>()>& make, int32_t inRate, int32_t outRate) {
    double lowGain = 1e9, highGain = -1e9, worstResidual = -1e9, worstStop = -1e9, at18 = 0, at20 = 0;
    std::string name;
    for (int i = 0; i < 40; ++i) {
        const double f = 20.0 * std::pow(1000.0, i / 39.0);  // 20 Hz .. 20 kHz, log-spaced
        auto engine = make();
        name = engine->Name();
        const Fit fit = MeasureTone(*engine, inRate, f);
        if (f <= 16000.0) {
            lowGain = std::min(lowGain, Db(fit.gain));
            highGain = std::max(highGain, Db(fit.gain));
        }
        worstResidual = std::max(worstResidual, fit.residualDb);
    }
    for (double f : {18000.0, 20000.0}) {
        auto engine = make();
        (f == 18000.0 ? at18 : at20) = Db(MeasureTone(*engine, inRate, f).gain);
    }
    const double outNyquist = outRate / 2.0, inNyquist = inRate / 2.0;
    if (outRate < inRate) {
        for (double f = outNyquist + 400.0; f < inNyquist - 50.0; f += 400.0) {
            auto engine = make();
            worstStop = std::max(worstStop, MeasureTone(*engine, inRate, f).levelDb);
        }
    } else {
        for (double f = 20500.0; f <= 22000.0; f += 500.0) {
            auto engine = make();
            worstStop = std::max(worstStop, MeasureTone(*engine, inRate, f).residualDb);
        }
    }
    std::printf("  %-40s %7.3f dB %8.2f dB %8.2f dB %8.1f dB %8.1f dB  %s\n", name.c_str(), highGain - lowGain, at18,
                at20, worstResidual, worstStop, label);
}

}  // namespace

int main() {
    sonvex::InitProcessorDispatch();
    const sonvex::KernelVersion ours = sonvex::ActiveKernelVersion();
    struct Conversion { int32_t in, out; };
    for (Conversion c : {Conversion{44100, 48000}, Conversion{48000, 44100}}) {
        std::printf("%d -> %d\n", c.in, c.out);
        std::printf("  %-40s %10s %11s %11s %11s %11s\n", "converter", "ripple", "@18k", "@20k", "resid", "stop");
        for (int16_t n : {33, 65, 129}) {
            Report("", [&] { return std::make_unique<CoreEngine>(c.in, c.out, 1, n, ours); }, c.in, c.out);
            const int q = SpeexQualityClosestTo(n);
            Report("", [&] { return std::make_unique<SpeexEngine>(c.in, c.out, 1, q); }, c.in, c.out);
        }
        Report("", [&] { return std::make_unique<SamplerateEngine>(c.in, c.out, 1, SRC_SINC_FASTEST); }, c.in, c.out);
        Report("", [&] { return std::make_unique<SamplerateEngine>(c.in, c.out, 1, SRC_SINC_MEDIUM_QUALITY); }, c.in, c.out);
        Report("", [&] { return std::make_unique<SoxrEngine>(c.in, c.out, 1, SOXR_HQ, "HQ"); }, c.in, c.out);
        std::printf("\n");
    }
    return 0;
}
