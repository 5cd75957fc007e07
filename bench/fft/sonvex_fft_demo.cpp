// Demonstration of the kernel layer's real FFT: the spectrum of a generated test signal (three
// tones in a little noise), its strongest peaks, and a short timing against FFTW3f.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "dsp/kernels/kernels.h"
#if defined(SONVEX_HAVE_FFTW)
#include <fftw3.h>
#endif

namespace {

struct Tone {
    double frequency, amplitude;
};

double MedianNanoseconds(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

}  // namespace

int main() {
    using namespace sonvex;
    InitProcessorDispatch();
    const int order = 12;
    const int n = 1 << order;
    const double rate = 48000.0;
    const Tone tones[] = {{440.0, 1.0}, {1250.0, 0.5}, {7031.25, 0.25}};
    const double pi = 3.14159265358979323846;

    std::mt19937 generator(2024);
    std::normal_distribution<double> noise(0.0, 0.01);
    std::vector<float> signal(n + 2);
    for (int i = 0; i < n; ++i) {
        double v = noise(generator);
        for (const Tone& t : tones) v += t.amplitude * std::sin(2.0 * pi * t.frequency * i / rate);
        // Hann window, so the peaks stay narrow for tones between bins.
        signal[i] = (float)(v * (0.5 - 0.5 * std::cos(2.0 * pi * i / n)));
    }

    RealFftSetup* setup = nullptr;
    if (CreateRealFftSetup(order, ScaleForwardByN, &setup) != StatusOk) return 1;
    int32_t bytes = 0;
    GetRealFftBufferSize(setup, &bytes);
    std::vector<char> work(bytes);
    std::vector<float> spectrum(n + 2);
    if (RealFftForward(signal.data(), spectrum.data(), setup, work.empty() ? nullptr : work.data()) != StatusOk) return 1;

    std::printf("kernel version %s; %d-point real FFT of 3 tones + noise at %.0f Hz, Hann window\n",
                KernelVersionName(ActiveKernelVersion()), n, rate);
    std::printf("tones: ");
    for (const Tone& t : tones) std::printf("%.2f Hz (amplitude %.2f)  ", t.frequency, t.amplitude);
    std::printf("\n");
    std::vector<double> magnitude(n / 2 + 1);
    for (int k = 0; k <= n / 2; ++k) magnitude[k] = std::hypot(spectrum[2 * k], spectrum[2 * k + 1]);
    std::vector<int> peaks;
    for (int k = 1; k < n / 2; ++k) {
        if (magnitude[k] > magnitude[k - 1] && magnitude[k] >= magnitude[k + 1]) peaks.push_back(k);
    }
    std::sort(peaks.begin(), peaks.end(), [&](int a, int b) { return magnitude[a] > magnitude[b]; });
    std::printf("%6s %12s %12s %10s\n", "bin", "frequency", "magnitude", "dB");
    for (size_t i = 0; i < peaks.size() && i < 5; ++i) {
        const int k = peaks[i];
        // A windowed sine of amplitude A gives A/4 in its bin; print the amplitude it stands for.
        std::printf("%6d %9.2f Hz %12.5f %10.2f\n", k, k * rate / n, 4.0 * magnitude[k],
                    20.0 * std::log10(4.0 * magnitude[k]));
    }

    // Timing: forward+inverse pairs in place, medians of repeated batches.
    RealFftSetup* roundTrip = nullptr;
    CreateRealFftSetup(order, ScaleBothBySqrtN, &roundTrip);
    std::vector<float> data(signal);
    std::vector<double> ours;
    for (int rep = 0; rep < 31; ++rep) {
        const auto start = std::chrono::steady_clock::now();
        for (int r = 0; r < 200; ++r) {
            RealFftForward(data.data(), data.data(), roundTrip, work.empty() ? nullptr : work.data());
            RealFftInverse(data.data(), data.data(), roundTrip, work.empty() ? nullptr : work.data());
        }
        ours.push_back(std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() / 200);
    }
    const double oursNs = MedianNanoseconds(ours);
    std::printf("forward+inverse, %d points: ours %.0f ns", n, oursNs);
#if defined(SONVEX_HAVE_FFTW)
    float* peer = fftwf_alloc_real(n + 2);
    fftwf_plan f = fftwf_plan_dft_r2c_1d(n, peer, reinterpret_cast<fftwf_complex*>(peer), FFTW_MEASURE);
    fftwf_plan b = fftwf_plan_dft_c2r_1d(n, reinterpret_cast<fftwf_complex*>(peer), peer, FFTW_MEASURE);
    std::vector<double> theirs;
    for (int rep = 0; rep < 31; ++rep) {
        std::copy(signal.begin(), signal.end(), peer);
        const auto start = std::chrono::steady_clock::now();
        // FFTW's pair is unnormalised (gain N per pair): 8 pairs stay far from overflow.
        for (int r = 0; r < 8; ++r) {
            fftwf_execute(f);
            fftwf_execute(b);
        }
        theirs.push_back(std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() / 8);
    }
    const double theirsNs = MedianNanoseconds(theirs);
    std::printf(", FFTW3f %.0f ns, ratio %.2f\n", theirsNs, oursNs / theirsNs);
    fftwf_destroy_plan(f);
    fftwf_destroy_plan(b);
    fftwf_free(peer);
#else
    std::printf(" (FFTW3f not in this build)\n");
#endif
    ReleaseRealFftSetup(roundTrip);
    ReleaseRealFftSetup(setup);
    return 0;
}
