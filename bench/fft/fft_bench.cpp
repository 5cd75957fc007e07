// Forward+inverse real FFT time of our kernel rows against FFTW3f, measured in the same process
// with round-robin repetitions; medians, ratios and FFTW-convention MFLOPS (2.5 N log2 N per
// transform), and the best repetition of the first row. Each FFTW build linked in is a peer of
// its own (the native tree: Debian's and one built with -march=native; the Windows trees: one
// built for their ABI); the plans' codelets are printed after the table.
// Usage: fft_bench [lowest order] [highest order] [row...]   (rows by their name in
// dsp/kernels/kernel_rows.def, or a version's number for its best row here; default: the row
// this processor picks, and sse2). Rows the processor does not run are left out.
// Environment: SONVEX_BENCH_OURS_ONLY=1 (see main).
//
// The contenders run in turn, a few microseconds each. Code on the 256- and 512-bit vector units
// that starts after such a stretch without them runs at a fraction of its speed until the
// processor has woken those units (measured on an AVX-512 server part: a 2^5 pair on 512-bit
// vectors took 66 ns after a stretch of integer or 128-bit code, 48 ns when that stretch also
// issued one 512-bit addition every few cycles; no register state, vzeroupper or MXCSR value
// changed it). The medians in turn include that wake-up wherever our routines use the wide units
// and the peers' do not, as a caller that interleaves other work meets it; our rows alone show
// the routines with the units awake.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "dsp/kernels/dispatch.h"
#include "dsp/kernels/kernels.h"
#include "tests/support/bench_report.h"
#if defined(SONVEX_HAVE_FFTW) || defined(SONVEX_HAVE_WIDE_FFTW)
#include <fftw3.h>
#endif
#if defined(SONVEX_HAVE_WIDE_FFTW)
// The FFTW built with -march=native, its symbols renamed with the prefix wide_.
#define SONVEX_WIDE_MANGLE(name) FFTW_CONCAT(wide_fftwf_, name)
extern "C" {
FFTW_DEFINE_API(SONVEX_WIDE_MANGLE, float, fftwf_complex)
}
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

// One timed FFTW build: measured plans of the r2c and c2r transforms in place.
struct Peer : Contender {
    std::string name, build, forwardPlan, inversePlan;
    float* buffer = nullptr;
};

// The codelets a printed plan runs, each once, in order: its quoted names ("n1fv_16_avx2").
std::string Codelets(const char* plan) {
    std::string out;
    for (const char* p = plan; p && *p; ++p) {
        if (*p != '"') continue;
        const char* end = std::strchr(p + 1, '"');
        if (!end) break;
        const std::string word(p + 1, end);
        if ((" " + out + " ").find(" " + word + " ") == std::string::npos) out += (out.empty() ? "" : " ") + word;
        p = end;
    }
    return out.empty() ? "(no codelet)" : out;
}

#define SONVEX_FFTW_PEER(Class, X, label)                                                              \
    struct Class : Peer {                                                                              \
        X(plan) forward, inverse;                                                                      \
        explicit Class(int order) {                                                                    \
            const int n = 1 << order;                                                                  \
            name = label;                                                                              \
            build = X(version);                                                                        \
            buffer = data = X(alloc_real)(static_cast<size_t>(n) + 2);                                 \
            forward = X(plan_dft_r2c_1d)(n, data, reinterpret_cast<fftwf_complex*>(data), FFTW_MEASURE); \
            inverse = X(plan_dft_c2r_1d)(n, reinterpret_cast<fftwf_complex*>(data), data, FFTW_MEASURE); \
            char* text = X(sprint_plan)(forward);                                                      \
            forwardPlan = Codelets(text);                                                              \
            std::free(text);                                                                           \
            text = X(sprint_plan)(inverse);                                                            \
            inversePlan = Codelets(text);                                                              \
            std::free(text);                                                                           \
        }                                                                                              \
        ~Class() override {                                                                            \
            X(destroy_plan)(forward);                                                                  \
            X(destroy_plan)(inverse);                                                                  \
            X(free)(buffer);                                                                           \
        }                                                                                              \
        void roundTrip() override {                                                                    \
            X(execute)(forward);                                                                       \
            X(execute)(inverse);                                                                       \
        }                                                                                              \
    };

#if defined(SONVEX_HAVE_FFTW)
SONVEX_FFTW_PEER(FftwPeer, FFTW_MANGLE_FLOAT, SONVEX_FFTW_NAME)
#endif
#if defined(SONVEX_HAVE_WIDE_FFTW)
SONVEX_FFTW_PEER(WideFftwPeer, SONVEX_WIDE_MANGLE, "fftw-avx512")
#endif

// The FFTW builds of this program, one object of each for the order.
std::vector<Peer*> MakePeers(int order) {
    std::vector<Peer*> peers;
#if defined(SONVEX_HAVE_FFTW)
    peers.push_back(new FftwPeer(order));
#endif
#if defined(SONVEX_HAVE_WIDE_FFTW)
    peers.push_back(new WideFftwPeer(order));
#endif
    (void)order;
    return peers;
}

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
    const KernelRow& picked = sonvex::detail::SelectKernelRow(sonvex::detail::DetectedProcessorFeatures().features);
    if (rows.empty()) rows = {&picked, &sonvex::detail::KernelRowFor(sonvex::KernelVersion::Sse2)};
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [](const KernelRow* row) { return !sonvex::detail::ProcessorRuns(*row); }),
               rows.end());
    if (rows.empty()) return 1;
    // SONVEX_BENCH_OURS_ONLY=1 leaves the peers out (for profiling our routines alone).
    const bool withPeers = std::getenv("SONVEX_BENCH_OURS_ONLY") == nullptr;

    std::printf("processor: %s\n", sonvex_bench::ProcessorReport().c_str());
    std::printf("build: %s\n", sonvex_bench::BuildReport());
    std::printf("this processor picks the row %s\n", picked.name);
    for (const KernelRow* row : rows) std::printf("ours %s: %s\n", row->name, sonvex_bench::RoutinesReport(*row).c_str());
    std::vector<std::string> peerNames;
    if (withPeers) {
        for (Peer* p : MakePeers(low)) {
            std::printf("peer %s: %s\n", p->name.c_str(), p->build.c_str());
            peerNames.push_back(p->name);
            delete p;
        }
    }
#if defined(SONVEX_HAVE_FFTW)
    if (withPeers) std::printf("  fftw is %s, compiled by: %s\n", SONVEX_FFTW_ORIGIN, fftwf_cc);
#endif
#if defined(SONVEX_HAVE_WIDE_FFTW)
    if (withPeers) std::printf("  fftw-avx512 is built here from Debian's source package, compiled by: %s\n", wide_fftwf_cc);
#endif
    if (peerNames.empty()) std::printf("no FFTW build in this program: our rows only\n");

    const int roundsSmall = 41, roundsLarge = 15, largeFrom = 17;
    std::printf("\nreal FFT, forward+inverse in place, median ns per pair over %d rounds (%d from 2^%d up), the "
                "contenders in turn in each round; MFLOPS = 2.5 N log2 N / ns per transform; plans FFTW_MEASURE\n",
                roundsSmall, roundsLarge, largeFrom);
    const char* first = rows[0]->name;
    std::printf("%5s %9s", "order", "N");
    for (const KernelRow* row : rows) std::printf(" %10s_ns %6s_MFLOPS", row->name, row->name);
    for (const std::string& name : peerNames)
        std::printf(" %10s_ns %6s_MFLOPS %s/%s", name.c_str(), name.c_str(), first, name.c_str());
    std::printf(" %s_best_MFLOPS\n", first);

    std::vector<std::string> plans;
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
        if (withPeers) {
            for (Peer* p : MakePeers(order)) {
                plans.push_back(p->name + " 2^" + std::to_string(order) + ": " + p->forwardPlan + " | " + p->inversePlan);
                contenders.push_back(p);
            }
        }
        // Unnormalised round trips grow by N each; refresh before the values could overflow.
        const int rounds = std::max(1, std::min(64, (int)(2e6 / (double)(n * order)) + 1));
        const int batchLimit = std::max(1, 90 / order);
        const int reps = order < largeFrom ? roundsSmall : roundsLarge;
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
        for (size_t c = 0; c < contenders.size(); ++c) {
            std::printf(" %13.0f %13.0f", medians[c], flops / (medians[c] / 2) * 1000.0);
            if (c >= rows.size()) std::printf(" %*.3f", (int)(std::strlen(first) + 1 + peerNames[c - rows.size()].size()),
                                                  medians[0] / medians[c]);
        }
        // The fastest repetition as well: on a shared machine the median moves with the load,
        // the ratio much less (both sides are timed in turn).
        const double best = *std::min_element(times[0].begin(), times[0].end());
        std::printf(" %*.0f\n", (int)std::strlen(first) + 12, flops / (best / 2) * 1000.0);
        std::fflush(stdout);
        for (Contender* c : contenders) delete c;
        for (float* b : buffers) sonvex::FreeAligned(b);
    }
    if (!plans.empty()) {
        std::printf("\ncodelets of the FFTW plans (forward | inverse):\n");
        for (const std::string& line : plans) std::printf("  %s\n", line.c_str());
    }
    return 0;
}
