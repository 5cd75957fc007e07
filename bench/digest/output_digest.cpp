// Output digest of the dispatched kernels, the windows and the resampler core: one line per
// routine, kernel row, size and buffer offset, with a 64-bit hash of every output bit (the
// guard floats around each output included, so a stray write shows too). Two runs on one
// processor print the same lines exactly when every routine computes the same bits; `diff`
// of the outputs of two builds shows which routine changed.
// Usage: output_digest > FILE   (every kernel row this processor runs, in table order)
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "dsp/kernels/dispatch.h"
#include "dsp/kernels/kernels.h"
#include "dsp/resampler/resampler.h"
#include "dsp/spectral/windows.h"

namespace {

using sonvex::KernelVersion;

// FNV-1a over the bytes of the floats.
uint64_t Hash(const float* values, size_t count) {
    uint64_t h = 0xCBF29CE484222325ull;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(values);
    for (size_t i = 0; i < count * sizeof(float); ++i) {
        h ^= bytes[i];
        h *= 0x100000001B3ull;
    }
    return h;
}

// A fixed sequence in [-1, 1), the same on every compiler and library.
struct Random {
    uint64_t state;
    explicit Random(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    float Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return (float)((double)(state >> 40) / (double)(1ull << 23) - 1.0);
    }
    void Fill(float* out, size_t count) {
        for (size_t i = 0; i < count; ++i) out[i] = Next();
    }
};

constexpr size_t kGuard = 8;
constexpr float kGuardValue = -1234.5f;

// An aligned output area with guard floats on both sides; `At(offset)` is the output start.
class Guarded {
public:
    explicit Guarded(size_t floats) : m_floats(floats + 2 * kGuard + 8) {
        m_block = static_cast<float*>(sonvex::AllocAligned((int32_t)(m_floats * sizeof(float))));
        for (size_t i = 0; i < m_floats; ++i) m_block[i] = kGuardValue;
    }
    ~Guarded() { sonvex::FreeAligned(m_block); }
    Guarded(const Guarded&) = delete;
    Guarded& operator=(const Guarded&) = delete;
    float* At(size_t offset) { return m_block + kGuard + offset; }
    uint64_t Digest() const { return Hash(m_block, m_floats); }

private:
    size_t m_floats;
    float* m_block;
};

using sonvex::detail::KernelRow;

void Enter(const KernelRow& row) { sonvex::detail::ForceKernelRow(row); }
void Leave() { sonvex::detail::ForceKernelVersion(KernelVersion::Baseline); }

const int32_t kScalings[] = {sonvex::ScaleForwardByN, sonvex::ScaleInverseByN, sonvex::ScaleBothBySqrtN,
                             sonvex::NoScaling};

void DigestFft(const KernelRow& row) {
    for (int32_t order = 0; order <= 20; ++order) {
        const size_t n = size_t(1) << order;
        const size_t floats = n + 2;
        std::vector<float> input(floats);
        Random(1000 + order).Fill(input.data(), floats);
        for (int32_t scaling : kScalings) {
            Enter(row);
            sonvex::RealFftSetup* setup = nullptr;
            if (sonvex::CreateRealFftSetup(order, scaling, &setup) != sonvex::StatusOk) {
                std::printf("fft %s order %d scaling %d: no setup\n", row.name, order, scaling);
                continue;
            }
            Leave();  // a setup runs the routines that built it
            int32_t bytes = 0;
            sonvex::GetRealFftBufferSize(setup, &bytes);
            void* work = bytes > 0 ? sonvex::AllocAligned(bytes) : nullptr;
            for (int inverse = 0; inverse < 2; ++inverse) {
                for (int inPlace = 0; inPlace < 2; ++inPlace) {
                    Guarded out(floats);
                    Guarded source(floats);
                    std::memcpy(source.At(0), input.data(), floats * sizeof(float));
                    float* src = inPlace ? out.At(0) : source.At(0);
                    if (inPlace) std::memcpy(src, input.data(), floats * sizeof(float));
                    const int32_t status = inverse ? sonvex::RealFftInverse(src, out.At(0), setup, work)
                                                   : sonvex::RealFftForward(src, out.At(0), setup, work);
                    std::printf("fft %s %s order %d scaling %d %s status %d %016" PRIx64 "\n", row.name,
                                inverse ? "inverse" : "forward", order, scaling, inPlace ? "in-place" : "out-of-place",
                                status, out.Digest());
                }
            }
            sonvex::FreeAligned(work);
            sonvex::ReleaseRealFftSetup(setup);
        }
    }
}

// Inputs of the complex kernels with the values whose results are edge cases: zeros of both
// signs on either axis, and magnitudes far from 1.
void FillComplex(float* values, size_t floats, uint64_t seed) {
    Random(seed).Fill(values, floats);
    const float special[] = {0.0f, -0.0f, 1e-30f, -1e30f, 3.0e38f, 1.0f, -1.0f, 0.0f};
    for (size_t i = 0; i + 1 < floats; i += 7) {
        values[i] = special[(i / 7) % 8];
        if (i % 3 == 0) values[i + 1] = special[(i / 3 + 1) % 8];
    }
}

void DigestVectors(const KernelRow& row) {
    Enter(row);
    std::vector<int32_t> counts;
    for (int32_t c = 1; c <= 40; ++c) counts.push_back(c);
    counts.push_back(4099);
    for (int32_t count : counts) {
        const size_t length = (size_t)count;
        for (size_t offset = 0; offset < 8; ++offset) {
            const size_t inOffset = (offset * 5) % 8;
            Guarded a(2 * length), b(2 * length);
            Random(7 * length + offset).Fill(a.At(inOffset), length);
            Random(11 * length + offset).Fill(b.At(inOffset), length);
            Guarded product(length);
            const int32_t s1 = sonvex::MultiplyVectors(a.At(inOffset), b.At(inOffset), product.At(offset), count);
            std::printf("multiply %s count %d offset %zu status %d %016" PRIx64 "\n", row.name, count, offset, s1,
                        product.Digest());
            Guarded complexIn(2 * length);
            FillComplex(complexIn.At(inOffset), 2 * length, 13 * length + offset);
            Guarded magnitudes(length), phases(length);
            const int32_t s2 = sonvex::ComplexMagnitudes(complexIn.At(inOffset), magnitudes.At(offset), count);
            const int32_t s3 = sonvex::ComplexPhases(complexIn.At(inOffset), phases.At(offset), count);
            std::printf("magnitudes %s count %d offset %zu status %d %016" PRIx64 "\n", row.name, count, offset, s2,
                        magnitudes.Digest());
            std::printf("phases %s count %d offset %zu status %d %016" PRIx64 "\n", row.name, count, offset, s3,
                        phases.Digest());
        }
    }
    Leave();
}

// CalcWindow's alpha reaches no window it computes: the windows are functions of code and
// length alone, and of no kernel version.
void DigestWindows() {
    const int32_t lengths[] = {1, 2, 3, 7, 16, 255, 256, 1000, 1024, 4096, 65536};
    for (int16_t code = 0; code <= 5; ++code) {
        for (int32_t length : lengths) {
            Guarded window((size_t)length);
            sonvex::ComputeWindow(code, window.At(0), length);
            std::printf("window code %d length %d %016" PRIx64 "\n", code, length, window.Digest());
        }
    }
}

struct ResamplerCase {
    int32_t origRate, newRate;
};
const ResamplerCase kRates[] = {{8000, 48000},  {44100, 48000},  {48000, 44100}, {96000, 48000}, {48000, 96000},
                                {192000, 48000}, {48000, 192000}, {48000, 48000}, {22050, 44100}, {44100, 8000},
                                {11025, 192000}, {192000, 8000},  {32000, 44100}};
const int16_t kChannels[][2] = {{1, 1}, {2, 2}, {6, 6}, {1, 2}, {2, 1}, {2, 6}, {6, 2}, {6, 1}};
const int16_t kTaps[] = {17, 65, 129};
// Frames per block fed in turn; the core produces after each, and Reset comes after the fourth.
const int64_t kBlocks[] = {1, 37, 480, 4096, 1000, 333};

void DigestResampler(const KernelRow& row) {
    Enter(row);
    for (const ResamplerCase& rates : kRates) {
        for (const auto& channels : kChannels) {
            for (int16_t taps : kTaps) {
                sonvex::CResamplerCore core;
                const int32_t init = core.Initialize(rates.origRate, rates.newRate, channels[0], channels[1], taps);
                uint64_t h = 0xCBF29CE484222325ull;
                int64_t produced = 0;
                Random input(rates.origRate + 7 * rates.newRate + 101 * channels[0] + 13 * channels[1] + taps);
                for (size_t b = 0; b < sizeof(kBlocks) / sizeof(kBlocks[0]) && init == sonvex::ResamplerOk; ++b) {
                    if (b == 4) core.Reset();
                    std::vector<float> samples((size_t)(kBlocks[b] * channels[0]));
                    input.Fill(samples.data(), samples.size());
                    core.AddSamples(samples.data(), (int64_t)samples.size());
                    int64_t frames = 0;
                    core.CountOutputFrames(&frames);
                    std::vector<float> out((size_t)(frames * channels[1]) + 1, kGuardValue);
                    const int32_t status = core.ProduceFrames(out.data(), frames);
                    h ^= Hash(out.data(), out.size()) + (uint64_t)status;
                    h *= 0x100000001B3ull;
                    produced += frames;
                }
                std::printf("resampler %s %d->%d channels %d->%d taps %d init %d routines %s frames %" PRId64
                            " %016" PRIx64 "\n",
                            row.name, rates.origRate, rates.newRate, channels[0], channels[1], taps, init,
                            core.InterpolationName(), produced, h);
            }
        }
    }
    Leave();
}

}  // namespace

int main() {
    for (const KernelRow& row : sonvex::detail::kKernelRows) {
        if (sonvex::detail::ProcessorRuns(row)) DigestFft(row);
    }
    for (const KernelRow& row : sonvex::detail::kKernelRows) {
        if (sonvex::detail::ProcessorRuns(row)) DigestVectors(row);
    }
    DigestWindows();
    for (const KernelRow& row : sonvex::detail::kKernelRows) {
        if (sonvex::detail::ProcessorRuns(row)) DigestResampler(row);
    }
    return 0;
}
