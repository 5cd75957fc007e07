// sonvex-spectrum: averaged, windowed magnitude spectrum of a WAV file computed by the
// registered CFourierTransform of Sonvex2.dll, written as an SVG plot, strongest peaks printed.
#include "tools/common/com_client.h"
#include "tools/sonvex-spectrum/level_plot.h"
#include "tools/common/tool_support.h"
#include "tools/common/wav_io.h"

#include "sonvex_h.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

using namespace sonvex;
using tools::ThrowIfFailed;

namespace {

const char* const kUsage =
    "usage: sonvex-spectrum IN.wav OUT.svg [--size N] [--window hann|hamming|blackman|blackman-harris] [--peaks K]\n"
    "  --size N    transform length, a power of two from 32 to 65536 (default 4096)\n"
    "  --window W  analysis window (default hann)\n"
    "  --peaks K   number of peaks printed and marked, 0..20 (default 5)\n"
    "The channels are mixed to mono; frames overlap by half and their power is averaged.";

struct WindowChoice {
    const char* name;
    SHORT code;
};
const WindowChoice kWindows[] = {{"hamming", 1}, {"hann", 2}, {"blackman", 3}, {"blackman-harris", 4}};

std::string BaseName(const std::string& path) {
    size_t at = path.find_last_of("/\\");
    return at == std::string::npos ? path : path.substr(at + 1);
}

int Run(const std::vector<std::string>& args) {
    tools::ParsedArguments parsed = tools::ParseArguments(args, {"size", "window", "peaks"});
    if (parsed.help) {
        std::puts(kUsage);
        return 0;
    }
    if (parsed.positional.size() != 2) throw tools::UsageError("expected an input WAV and an output SVG file");
    const std::string inPath = parsed.positional[0], outPath = parsed.positional[1];
    const int size = static_cast<int>(
        tools::ParseInteger(parsed.options.count("size") ? parsed.options["size"] : "4096", 32, 65536, "transform size"));
    if ((size & (size - 1)) != 0) throw tools::UsageError("transform size " + std::to_string(size) + " is not a power of two");
    const std::string windowName = parsed.options.count("window") ? parsed.options["window"] : "hann";
    const WindowChoice* window = nullptr;
    for (const WindowChoice& w : kWindows)
        if (windowName == w.name) window = &w;
    if (!window) throw tools::UsageError("unknown window '" + windowName + "' (hann, hamming, blackman, blackman-harris)");
    const int peakCount = static_cast<int>(
        tools::ParseInteger(parsed.options.count("peaks") ? parsed.options["peaks"] : "5", 0, 20, "peak count"));

    wav::WavReader reader;
    reader.Open(inPath);
    const wav::WavFormat& in = reader.Format();
    if (!reader.Warning().empty()) std::fprintf(stderr, "sonvex-spectrum: warning: %s\n", reader.Warning().c_str());
    const uint64_t totalFrames = reader.FrameCount();
    if (totalFrames == 0) throw std::runtime_error(inPath + ": no audio frames to analyse");

    tools::ComApartment apartment;
    com::ptr<IFourierTransform> fourier;
    ThrowIfFailed(CoCreateInstance(CLSID_CFourierTransform, nullptr, CLSCTX_INPROC_SERVER, IID_IFourierTransform,
                                   fourier.putVoid()),
                  "creating Sonvex.FourierTransform");
    ThrowIfFailed(fourier->InitFFT(size), "InitFFT");
    std::vector<float> windowValues(static_cast<size_t>(size), 0.0f);
    ThrowIfFailed(fourier->CalcWindow(window->code, windowValues.data(), size, 0.0f), "CalcWindow");
    double windowSum = 0.0;
    for (float w : windowValues) windowSum += w;
    if (!(windowSum > 0.0)) throw std::runtime_error("CalcWindow returned an empty window");

    spectrum::SpectrumAverager averager(size, windowSum, in.sampleRate);
    const int bins = size / 2 + 1;
    std::vector<float> frame(static_cast<size_t>(size) + 2), magnitudes(static_cast<size_t>(bins));
    auto analyse = [&](const float* samples) {
        std::copy(samples, samples + size, frame.begin());
        ThrowIfFailed(fourier->PointWiseMult(frame.data(), windowValues.data(), frame.data(), size), "PointWiseMult");
        ThrowIfFailed(fourier->ForwardFFT(frame.data()), "ForwardFFT");
        ThrowIfFailed(fourier->GetMagnitudeVector(frame.data(), magnitudes.data(), bins), "GetMagnitudeVector");
        averager.Add(magnitudes.data());
    };

    // Mono samples not yet analysed; successive frames start half a transform apart.
    const size_t hop = static_cast<size_t>(size) / 2;
    std::vector<float> mono, block;
    size_t start = 0;
    const size_t readFrames = 16384;
    for (;;) {
        block.resize(readFrames * in.channels);
        size_t n = reader.ReadFrames(block.data(), readFrames);
        if (n == 0) break;
        size_t old = mono.size();
        mono.resize(old + n);
        spectrum::MixToMono(block.data(), n, in.channels, mono.data() + old);
        while (mono.size() - start >= static_cast<size_t>(size)) {
            analyse(mono.data() + start);
            start += hop;
        }
        if (start > 0) {
            mono.erase(mono.begin(), mono.begin() + static_cast<std::ptrdiff_t>(start));
            start = 0;
        }
    }
    if (averager.Frames() == 0) {  // shorter than one transform: analyse it zero-padded
        mono.resize(static_cast<size_t>(size), 0.0f);
        analyse(mono.data());
    }
    ThrowIfFailed(fourier->FreeFFT(), "FreeFFT");

    const std::vector<double> levels = averager.LevelsDb();
    const std::vector<spectrum::Peak> peaks = spectrum::FindPeaks(levels, averager.BinWidth(), peakCount);
    spectrum::PlotInfo info;
    info.title = "Spectrum of " + BaseName(inPath);
    char subtitle[256];
    std::snprintf(subtitle, sizeof subtitle,
                  "%d-point FFT, %s window, %llu frame%s overlapping by half  |  %u Hz, %d channel%s%s, %.3f s",
                  size, window->name, static_cast<unsigned long long>(averager.Frames()),
                  averager.Frames() == 1 ? "" : "s", in.sampleRate, in.channels, in.channels == 1 ? "" : "s",
                  in.channels == 1 ? "" : " mixed to mono", static_cast<double>(totalFrames) / in.sampleRate);
    info.subtitle = subtitle;
    tools::WriteTextFileAtomically(outPath, spectrum::RenderSpectrumSvg(levels, averager.BinWidth(), peaks, info));

    std::printf("sonvex-spectrum: %s -> %s (%d-point FFT, %s window, %llu frame%s averaged, %.2f Hz per bin)\n",
                inPath.c_str(), outPath.c_str(), size, window->name,
                static_cast<unsigned long long>(averager.Frames()), averager.Frames() == 1 ? "" : "s",
                averager.BinWidth());
    for (size_t i = 0; i < peaks.size(); ++i)
        std::printf("  peak %zu  %10.1f Hz  %7.1f dB\n", i + 1, peaks[i].frequency, peaks[i].level);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    return sonvex::tools::RunTool("sonvex-spectrum", argc, argv, Run);
}
