// Forward+inverse real FFT time of our kernel rows against FFTW3f, measured in the same process
// with round-robin repetitions; medians, ratios and FFTW-convention MFLOPS (2.5 N log2 N per
// transform), and the best repetition of the first row.
// Usage: fft_bench [lowest order] [highest order] [row...]   (rows by their name in
// dsp/kernels/kernel_rows.def, or a version's number for its best row here; default: the row
// this processor picks, and sse2). Rows the processor does not run are left out.
// Environment: SONVEX_BENCH_OURS_ONLY=1 (see main).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "dsp/kernels/dispatch.h"
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

using sonvex::detail::KernelRow;

// A row by name, or a version by number (its best row on this processor); null for neither.
const KernelRow* RowNamed(const char* text) {
    for (const KernelRow& row : sonvex::detail::kKernelRows) {
        if (std::strcmp(row.name, text) == 0) return &row;
    }
    char* end = nullptr;
    const long index = std::strtol(text, &end, 10);
    if (end == text || *end || index < 0 || index >= sonvex::kKernelVersionCount) return nullptr;
    return &sonvex::detail::KernelRowFor(static_cast<sonvex::KernelVersion>(index));
}

// One timed contender: a batch of `rounds` forward+inverse pairs on a buffer refreshed before.
struct Contender {
    virtual ~Contender() = default;
    virtual void roundTrip() = 0;
    float* data = nullptr;
};

// The setup keeps the row it was built under, and so do its transforms.
struct Ours : Contender {
    sonvex::RealFftSetup* setup = nullptr;
    void* work = nullptr;
    Ours(int order, const KernelRow& row, float* buffer) {
        sonvex::detail::ForceKernelRow(row);
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
    std::vector<const KernelRow*> rows;
    for (int i = 3; i < argc; ++i) {
        const KernelRow* row = RowNamed(argv[i]);
        if (!row) {
            std::fprintf(stderr, "no kernel row %s; the rows:", argv[i]);
            for (const KernelRow& r : sonvex::detail::kKernelRows) std::fprintf(stderr, " %s", r.name);
            std::fprintf(stderr, "\n");
            return 2;
        }
        rows.push_back(row);
    }
    if (rows.empty()) {
        rows = {&sonvex::detail::SelectKernelRow(sonvex::detail::DetectedProcessorFeatures().features),
                &sonvex::detail::KernelRowFor(sonvex::KernelVersion::Sse2)};
    }
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [](const KernelRow* row) { return !sonvex::detail::ProcessorRuns(*row); }),
               rows.end());
    if (rows.empty()) return 1;
    // SONVEX_BENCH_OURS_ONLY=1 leaves the peer out (for profiling our routines alone).
    const bool withPeer = std::getenv("SONVEX_BENCH_OURS_ONLY") == nullptr;

    std::printf("real FFT, forward+inverse in place, median ns per pair; MFLOPS = 2.5 N log2 N / ns per transform\n");
    std::printf("rows (of the kernel table; this processor picks %s):",
                sonvex::detail::SelectKernelRow(sonvex::detail::DetectedProcessorFeatures().features).name);
    for (const KernelRow* row : rows) {
        std::printf(" %s%s", row->name,
                    row->fft->wideTables ? " (16-lane AVX-512 routines for the orders they cover)" : "");
    }
    std::printf("\n");
    std::printf("%5s %9s", "order", "N");
    for (const KernelRow* row : rows) std::printf(" %8s ns  MFLOPS", row->name);
#if defined(SONVEX_HAVE_FFTW)
    const char* first = rows[0]->name;
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
        for (const KernelRow* row : rows) {
            float* buffer = static_cast<float*>(sonvex::AllocAligned((int32_t)((n + 2) * sizeof(float))));
            buffers.push_back(buffer);
            contenders.push_back(new Ours(order, *row, buffer));
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
        for (size_t c = 0; c < rows.size(); ++c) {
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
