// sonvex-convert: sample-rate and channel conversion of a WAV file through the registered
// CAudioResampler of Sonvex2.dll.
#include "tools/common/com_client.h"
#include "tools/common/tool_support.h"
#include "tools/common/wav_io.h"

#include "sonvex_h.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

using namespace sonvex;
using tools::ThrowIfFailed;

namespace {

const char* const kUsage =
    "usage: sonvex-convert IN.wav OUT.wav --rate R [--channels C] [--taps N]\n"
    "  --rate R      output sample rate in Hz\n"
    "  --channels C  output channel count, 1..8 (default: as the input)\n"
    "  --taps N      filter taps per phase, odd, 1..32767 (default 65)\n"
    "Reads 16/24/32-bit PCM and 32-bit float WAV; writes 32-bit float WAV.";

constexpr int32_t kMaxRate = 524287;  // rate x 4096 must fit the resampler's 32-bit step arithmetic
constexpr int kMaxChannels = 8;       // the resampler's channel limit, in and out
constexpr size_t kBlockFrames = 4096;

// Hands one block of interleaved samples to the resampler and writes what comes back.
class Pipeline {
public:
    Pipeline(IAudioResampler* resampler, wav::WavWriter& writer, int inChannels, int outChannels)
        : m_pResampler(resampler), m_Writer(writer), m_nInChannels(inChannels), m_nOutChannels(outChannels) {}

    // Fills `frames` frames of a new block by `fill` and runs them through.
    template <class Fill>
    void Feed(size_t frames, Fill fill) {
        const com::safe_array block(SafeArrayCreateVector(VT_R4, 0, static_cast<ULONG>(frames * m_nInChannels)));
        if (!block) throw std::runtime_error("out of memory for a sample block");
        {
            const com::array_data<float> data(block.get());
            ThrowIfFailed(data.result(), "SafeArrayAccessData");
            fill(data.get());
        }
        ThrowIfFailed(m_pResampler->AddBlock(block.get()), "AddBlock");
        Drain();
    }

private:
    void Drain() {
        com::safe_array out;
        ThrowIfFailed(m_pResampler->GetProcessedBlock(out.put()), "GetProcessedBlock");
        SAFEARRAY* sa = out.get();
        VARTYPE vt = VT_EMPTY;
        if (!sa || SafeArrayGetDim(sa) != 1 || FAILED(SafeArrayGetVartype(sa, &vt)) || vt != VT_R4)
            throw std::runtime_error("GetProcessedBlock returned something other than a float vector");
        LONG lower = 0, upper = -1;
        SafeArrayGetLBound(sa, 1, &lower);
        SafeArrayGetUBound(sa, 1, &upper);
        LONG count = upper - lower + 1;
        if (count <= 0) return;
        if (count % m_nOutChannels != 0)
            throw std::runtime_error("GetProcessedBlock returned " + std::to_string(count) +
                                     " samples, not whole frames of " + std::to_string(m_nOutChannels));
        const com::array_data<float> data(sa);
        ThrowIfFailed(data.result(), "SafeArrayAccessData");
        m_Writer.WriteFrames(data.get(), static_cast<size_t>(count / m_nOutChannels));
    }

    IAudioResampler* m_pResampler;
    wav::WavWriter& m_Writer;
    int m_nInChannels;
    int m_nOutChannels;
};

int Run(const std::vector<std::string>& args) {
    tools::ParsedArguments parsed = tools::ParseArguments(args, {"rate", "channels", "taps"});
    if (parsed.help) {
        std::puts(kUsage);
        return 0;
    }
    if (parsed.positional.size() != 2) throw tools::UsageError("expected an input and an output file");
    if (!parsed.options.count("rate")) throw tools::UsageError("--rate is required");
    const std::string inPath = parsed.positional[0], outPath = parsed.positional[1];
    const int32_t newRate = static_cast<int32_t>(tools::ParseInteger(parsed.options["rate"], 1, kMaxRate, "rate"));
    const int32_t taps = static_cast<int32_t>(
        tools::ParseInteger(parsed.options.count("taps") ? parsed.options["taps"] : "65", 1, 32767, "tap count"));
    if (taps % 2 == 0) throw tools::UsageError("tap count " + std::to_string(taps) + " is even (it must be odd)");
    int32_t newChannels = 0;
    if (parsed.options.count("channels"))
        newChannels = static_cast<int32_t>(tools::ParseInteger(parsed.options["channels"], 1, kMaxChannels, "channel count"));

    wav::WavReader reader;
    reader.Open(inPath);
    const wav::WavFormat& in = reader.Format();
    if (!reader.Warning().empty()) std::fprintf(stderr, "sonvex-convert: warning: %s\n", reader.Warning().c_str());
    if (in.channels > kMaxChannels)
        throw std::runtime_error(inPath + ": " + std::to_string(in.channels) + " channels (the resampler takes at most " +
                                 std::to_string(kMaxChannels) + ")");
    if (in.sampleRate > static_cast<uint32_t>(kMaxRate))
        throw std::runtime_error(inPath + ": sample rate " + std::to_string(in.sampleRate) +
                                 " Hz is above the resampler's limit of " + std::to_string(kMaxRate) + " Hz");
    const int32_t origRate = static_cast<int32_t>(in.sampleRate);
    const int inChannels = in.channels;
    if (newChannels == 0) newChannels = inChannels;
    const int32_t step = tools::ComputeStep(origRate, newRate);
    if (step < 1)
        throw tools::UsageError("rate " + std::to_string(newRate) + " Hz is more than 4096 times the input rate");
    const uint64_t inFrames = reader.FrameCount();
    const int64_t expectedFrames = tools::ConvertedFrameCount(static_cast<int64_t>(inFrames), origRate, newRate, taps);
    if (expectedFrames < 0 || static_cast<uint64_t>(expectedFrames) > wav::MaxFrames(newChannels))
        throw std::runtime_error(outPath + ": " + std::to_string(expectedFrames) + " output frames would exceed the 4 GiB size limit of a WAV file");

    const auto started = std::chrono::steady_clock::now();
    tools::ComApartment apartment;
    com::ptr<IAudioResampler> resampler;
    ThrowIfFailed(CoCreateInstance(CLSID_CAudioResampler, nullptr, CLSCTX_INPROC_SERVER, IID_IAudioResampler,
                                   resampler.putVoid()),
                  "creating Sonvex.AudioResampler");
    ThrowIfFailed(resampler->Initialize(origRate, newRate, static_cast<SHORT>(inChannels),
                                        static_cast<SHORT>(newChannels), static_cast<SHORT>(taps)),
                  "Initialize");

    tools::TemporaryOutput output(outPath);
    wav::WavWriter writer;
    // Speaker positions of the input carry over when the channels do.
    uint32_t mask = wav::kDefaultMask;
    if (newChannels == inChannels && in.formatTag == wav::kFormatExtensible) mask = in.channelMask;
    writer.Create(output.Path(), static_cast<uint32_t>(newRate), newChannels, wav::SampleEncoding::Float32, mask);
    Pipeline pipeline(resampler.get(), writer, inChannels, newChannels);

    // Long files (over ten seconds of audio) get a progress bar on the error stream when it is
    // a console.
    tools::ProgressBar progress(stderr, inFrames, inFrames > 10ull * in.sampleRate);
    uint64_t done = 0;
    while (done < inFrames) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(kBlockFrames, inFrames - done));
        pipeline.Feed(n, [&](float* data) {
            if (reader.ReadFrames(data, n) != n) throw std::runtime_error(inPath + ": the file ends inside its data chunk");
        });
        done += n;
        progress.Update(done);
    }
    progress.Finish();
    // Silence after the input pushes the last input frames through the filter.
    const size_t drain = static_cast<size_t>(tools::DrainFrames(origRate, newRate, taps));
    if (drain > 0)
        pipeline.Feed(drain, [&](float* data) { std::fill(data, data + drain * inChannels, 0.0f); });
    resampler.reset();

    if (writer.FramesWritten() != static_cast<uint64_t>(expectedFrames))
        throw std::runtime_error("the resampler produced " + std::to_string(writer.FramesWritten()) + " frames, " +
                                 std::to_string(expectedFrames) + " were expected");
    writer.Finish();
    reader.Close();  // the output may replace the input file
    output.Commit();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    const double inSeconds = static_cast<double>(inFrames) / origRate;
    const double realised = static_cast<double>(origRate) * 4096.0 / step;
    std::printf("sonvex-convert: %s -> %s\n", inPath.c_str(), outPath.c_str());
    std::printf("  input   %d Hz, %d channel%s, %s, %llu frames (%s)\n", origRate, inChannels, inChannels == 1 ? "" : "s",
                wav::EncodingName(in.encoding), static_cast<unsigned long long>(inFrames), tools::FormatSeconds(inSeconds).c_str());
    std::printf("  output  %d Hz requested, %.2f Hz realised (step %d/4096), %d channel%s, 32-bit float, %llu frames\n",
                newRate, realised, step, newChannels, newChannels == 1 ? "" : "s",
                static_cast<unsigned long long>(writer.FramesWritten()));
    std::printf("  filter  %d taps\n", taps);
    std::printf("  time    %s", tools::FormatSeconds(elapsed).c_str());
    if (elapsed > 0.0 && inSeconds > 0.0) std::printf(" (%.1fx real time)", inSeconds / elapsed);
    std::printf("\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    return sonvex::tools::RunTool("sonvex-convert", argc, argv, Run);
}
