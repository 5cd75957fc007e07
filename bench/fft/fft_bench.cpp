// Forward+inverse real FFT time of our versions against FFTW3f, measured in the same process with
// round-robin repetitions; medians, ratios and FFTW-convention MFLOPS (2.5 N log2 N per
// transform), and the best repetition of the first version.
// Usage: fft_bench [lowest order] [highest order] [version...]   (versions by number: 0 baseline,
// 1 sse2, 2 ssse3, 3 ssse3_movbe, 4 sse41, 5 avx; default 5 1)
// Environment: SONVEX_BENCH_OURS_ONLY=1, SONVEX_BENCH_EIGHT_LANES=1 (see main).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "dsp/kernels/cpu_features.h"
#include "dsp/kernels/dispatch.h"
#include "dsp/kernels/fft_internal.h"
#include "dsp/kernels/kernels.h"
#if defined(SONVEX_HAVE_FFTW)
#include <fftw3.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

using sonvex::KernelVersion;

bool ProcessorRuns(KernelVersion version) {
    using namespace sonvex::detail;
    const uint32_t mask = DetectedProcessorFeatures().mask;
    switch (version) {
        case KernelVersion::Ssse3:
        case KernelVersion::Ssse3Movbe: return (mask & CpuSsse3) != 0;
        case KernelVersion::Sse41: return (mask & CpuSse41) != 0;
        case KernelVersion::Avx: return (mask & CpuAvx) && (mask & CpuAvxOsSupport);
        default: return true;
    }
}

// One timed contender: a batch of `rounds` forward+inverse pairs on a buffer refreshed before.
struct Contender {
    virtual ~Contender() = default;
    virtual void roundTrip() = 0;
    float* data = nullptr;
};

// The setup keeps the version it was built under, and so do its transforms.
struct Ours : Contender {
    sonvex::RealFftSetup* setup = nullptr;
    void* work = nullptr;
    Ours(int order, KernelVersion version, float* buffer) {
        sonvex::detail::ForceKernelVersion(version);
        if (sonvex::CreateRealFftSetup(order, sonvex::ScaleBothBySqrtN, &setup) != sonvex::StatusOk) {
            std::fprintf(stderr, "setup of order %d failed\n", order);
            std::exit(1);
        }
        int32_t bytes = 0;
        sonvex::GetRealFftBufferSize(setup, &bytes);
        work = bytes > 0 ? sonvex::AllocAligned(bytes) : nullptr;
        data = buffer;
    }
    ~Ours() override {
        sonvex::ReleaseRealFftSetup(setup);
        sonvex::FreeAligned(work);
    }
    void roundTrip() override {
        sonvex::RealFftForward(data, data, setup, work);
        sonvex::RealFftInverse(data, data, setup, work);
    }
};

#if defined(SONVEX_HAVE_FFTW)
struct Peer : Contender {
    fftwf_plan forward, inverse;
    Peer(int order, float* buffer) {
        const int n = 1 << order;
        data = buffer;
        forward = fftwf_plan_dft_r2c_1d(n, data, reinterpret_cast<fftwf_complex*>(data), FFTW_MEASURE);
        inverse = fftwf_plan_dft_c2r_1d(n, reinterpret_cast<fftwf_complex*>(data), data, FFTW_MEASURE);
    }
    ~Peer() override {
        fftwf_destroy_plan(forward);
        fftwf_destroy_plan(inverse);
    }
    void roundTrip() override {
        fftwf_execute(forward);
        fftwf_execute(inverse);
    }
};
#endif

}  // namespace

int main(int argc, char** argv) {
    const int low = argc > 1 ? std::atoi(argv[1]) : 4;
    const int high = argc > 2 ? std::atoi(argv[2]) : 20;
    std::vector<KernelVersion> versions;
    for (int i = 3; i < argc; ++i) {
        const int index = std::atoi(argv[i]);
        if (index >= 0 && index < sonvex::kKernelVersionCount) versions.push_back(static_cast<KernelVersion>(index));
    }
    if (versions.empty()) versions = {KernelVersion::Avx, KernelVersion::Sse2};
    versions.erase(std::remove_if(versions.begin(), versions.end(), [](KernelVersion v) { return !ProcessorRuns(v); }),
                   versions.end());
    if (versions.empty()) return 1;
    // SONVEX_BENCH_OURS_ONLY=1 leaves the peer out (for profiling our routines alone).
    const bool withPeer = std::getenv("SONVEX_BENCH_OURS_ONLY") == nullptr;
    // SONVEX_BENCH_EIGHT_LANES=1 withholds the 16-lane routines: the AVX version as 32-bit builds
    // run it.
    if (std::getenv("SONVEX_BENCH_EIGHT_LANES")) sonvex::fft::AllowWideRoutines(false);

    std::printf("real FFT, forward+inverse in place, median ns per pair; MFLOPS = 2.5 N log2 N / ns per transform\n");
    if (sonvex::fft::WideRoutinesRun()) {
        std::printf("the avx version runs its 16-lane (AVX-512) routines here for orders %d-%d\n",
                    sonvex::fft::kWideMinOrder, sonvex::fft::kWideMaxOrder);
    } else {
        std::printf("the avx version runs its 8-lane routines here\n");
    }
    std::printf("%5s %9s", "order", "N");
    for (KernelVersion v : versions) std::printf(" %8s ns  MFLOPS", sonvex::KernelVersionName(v));
#if defined(SONVEX_HAVE_FFTW)
    const char* first = sonvex::KernelVersionName(versions[0]);
    std::printf("    fftw ns  MFLOPS  %s/fftw  %s best MFLOPS", first, first);
#else
    std::printf("   (FFTW3f not available in this build)");
#endif
    std::printf("\n");

    std::mt19937 generator(1);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (int order = low; order <= high; ++order) {
        const size_t n = size_t(1) << order;
        std::vector<float> pristine(n + 2);
        for (float& v : pristine) v = value(generator);
        std::vector<float*> buffers;
        std::vector<Contender*> contenders;
        for (KernelVersion v : versions) {
            float* buffer = static_cast<float*>(sonvex::AllocAligned((int32_t)((n + 2) * sizeof(float))));
            buffers.push_back(buffer);
            contenders.push_back(new Ours(order, v, buffer));
        }
#if defined(SONVEX_HAVE_FFTW)
        float* peerBuffer = fftwf_alloc_real(n + 2);
        if (withPeer) contenders.push_back(new Peer(order, peerBuffer));
#endif
        // Unnormalised round trips grow by N each; refresh before the values could overflow.
        const int rounds = std::max(1, std::min(64, (int)(2e6 / (double)(n * order)) + 1));
        const int batchLimit = std::max(1, 90 / order);
        const int reps = order <= 16 ? 41 : 15;
        std::vector<std::vector<double>> times(contenders.size());
        for (int rep = 0; rep < reps; ++rep) {
            for (size_t c = 0; c < contenders.size(); ++c) {
                double total = 0.0;
                for (int done = 0; done < rounds;) {
                    const int batch = std::min(batchLimit, rounds - done);
                    std::memcpy(contenders[c]->data, pristine.data(), (n + 2) * sizeof(float));
                    const Clock::time_point start = Clock::now();
                    for (int r = 0; r < batch; ++r) contenders[c]->roundTrip();
                    total += std::chrono::duration<double, std::nano>(Clock::now() - start).count();
                    done += batch;
                }
                times[c].push_back(total / rounds);
            }
        }
        std::printf("%5d %9zu", order, n);
        std::vector<double> medians;
        for (size_t c = 0; c < contenders.size(); ++c) medians.push_back(Median(times[c]));
        const double flops = 2.5 * (double)n * order;
        for (size_t c = 0; c < versions.size(); ++c) {
            std::printf(" %11.0f %7.0f", medians[c], flops / (medians[c] / 2) * 1000.0);
        }
#if defined(SONVEX_HAVE_FFTW)
        if (withPeer) {
            const double peer = medians.back();
            // The fastest repetition as well: on a shared machine the median moves with the load,
            // the ratio much less (both sides are timed in turn).
            const double best = *std::min_element(times[0].begin(), times[0].end());
            std::printf(" %10.0f %7.0f %11.3f %18.0f", peer, flops / (peer / 2) * 1000.0, medians[0] / peer,
                        flops / (best / 2) * 1000.0);
        }
        fftwf_free(peerBuffer);
#endif
        std::printf("\n");
        std::fflush(stdout);
        for (Contender* c : contenders) delete c;
        for (float* b : buffers) sonvex::FreeAligned(b);
    }
    return 0;
}
