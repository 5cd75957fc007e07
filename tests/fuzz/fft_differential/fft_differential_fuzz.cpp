// The real FFT's entry points against the double-precision reference: random orders, scaling
// modes (valid and not), every kernel row this processor runs, in place or not, buffers
// at any float offset, with, without or with a misaligned work buffer, and signals of every
// magnitude. The forward spectrum must stay within the float error bound of the reference,
// the inverse must give the input back, refused calls and the floats around each buffer must
// stay untouched.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "dsp/kernels/dispatch.h"
#include "dsp/kernels/kernels.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/support/fft_reference.h"
#include "tests/support/kernel_versions.h"

using namespace sonvex;

namespace {

constexpr float kGuard = -9.25e30f;
constexpr size_t kMargin = 16;  // guard floats before and after each buffer

// The measured float error of the transforms grows with log2 N (the unit tests bound it at
// 2.5e-8 (4 + order)); signals chosen to be awkward get twice that room.
double ErrorBound(int order) { return 5e-8 * (4 + order); }

bool GuardsIntact(const std::vector<float>& buffer, size_t offset, size_t used) {
    for (size_t i = 0; i < offset; ++i)
        if (buffer[i] != kGuard) return false;
    for (size_t i = offset + used; i < buffer.size(); ++i)
        if (buffer[i] != kGuard) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    // Up to 4096 points, where the first tiers of every row lie; the unit tests take
    // every row to 2^20 (fuzzing there is too slow to be worth it).
    const int order = data[0] % 13;
    static const int32_t modes[8] = {ScaleForwardByN, ScaleInverseByN, ScaleBothBySqrtN, NoScaling,
                                     ScaleBothBySqrtN, NoScaling, 0, 3};
    const int32_t mode = modes[data[1] & 7];
    const int row = (data[1] >> 3) % detail::kKernelRowCount;
    const bool inPlace = (data[2] & 1) != 0;
    const int workChoice = (data[2] >> 1) & 3;  // none, given, given 4 bytes past alignment
    const size_t srcOffset = (data[2] >> 3) & 7, dstOffset = (data[3] & 7);
    const int exponent = (data[3] >> 3) - 16;  // signals from 2^-16 to 2^15 in size
    data += 4;
    size -= 4;
    // Asked once: each question to the processor leaves a virtual machine.
    static const struct Runs {
        bool row[detail::kKernelRowCount];
        Runs() {
            for (int r = 0; r < detail::kKernelRowCount; ++r) row[r] = sonvex_test::ProcessorRunsRow(sonvex_test::RowAt(r));
        }
    } runs;
    if (!runs.row[row]) return 0;
    detail::ForceKernelRow(sonvex_test::RowAt(row));

    const size_t n = size_t(1) << order;
    const size_t spectrumFloats = order == 0 ? 2 : n + 2;  // N = 1 has its one bin only
    RealFftSetup* setup = nullptr;
    const int32_t created = CreateRealFftSetup(order, mode, &setup);
    if (mode == 0 || mode == 3) {
        FUZZ_CHECK(created == StatusBadScaling && setup == nullptr);
        return 0;
    }
    FUZZ_CHECK(created == StatusOk && setup != nullptr);
    int32_t workBytes = -1;
    FUZZ_CHECK(GetRealFftBufferSize(setup, &workBytes) == StatusOk && workBytes >= 0);
    std::vector<char> workSpace(static_cast<size_t>(workBytes) + 64);
    char* aligned = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(workSpace.data()) + 31) & ~uintptr_t(31));
    void* work = workChoice == 0 ? nullptr : workChoice == 3 ? aligned + 4 : aligned;

    std::vector<float> x(n);
    for (size_t i = 0; i < n; ++i) {
        const size_t at = 2 * i;
        const int16_t raw = at + 1 < size ? static_cast<int16_t>(data[at] | data[at + 1] << 8)
                                          : static_cast<int16_t>((i * 2654435761u) >> 16);
        x[i] = std::ldexp(static_cast<float>(raw), exponent - 15);
    }

    // Forward, from a source buffer into a destination buffer (or one buffer in place).
    std::vector<float> src(kMargin + spectrumFloats + kMargin, kGuard), dst(src.size(), kGuard);
    std::memcpy(&src[srcOffset], x.data(), n * sizeof(float));
    float* in = &src[srcOffset];
    float* out = inPlace ? in : &dst[dstOffset];
    FUZZ_CHECK(RealFftForward(in, out, setup, work) == StatusOk);
    if (!inPlace) {
        FUZZ_CHECK(GuardsIntact(dst, dstOffset, spectrumFloats));
        FUZZ_CHECK(std::memcmp(in, x.data(), n * sizeof(float)) == 0);  // the source stays
    } else {
        FUZZ_CHECK(GuardsIntact(src, srcOffset, spectrumFloats));
    }
    const double forwardScale = mode == ScaleForwardByN ? 1.0 / static_cast<double>(n)
                                : mode == ScaleBothBySqrtN ? 1.0 / std::sqrt(static_cast<double>(n))
                                                           : 1.0;
    std::vector<double> expected = fft_test::ReferenceSpectrum(x);
    double energy = 0.0;
    for (double& v : expected) {
        v *= forwardScale;
        energy += v * v;
    }
    FUZZ_CHECK(out[1] == 0.0f && out[spectrumFloats - 1] == 0.0f);
    if (energy == 0.0) {
        for (size_t i = 0; i < spectrumFloats; ++i) FUZZ_CHECK(out[i] == 0.0f);
    } else {
        FUZZ_CHECK(fft_test::RelativeRmsError(out, expected.data(), spectrumFloats) < ErrorBound(order));
    }

    // Inverse of that spectrum: the input again, times N without scaling.
    std::vector<float> spectrum(out, out + spectrumFloats);
    std::vector<float> back(kMargin + spectrumFloats + kMargin, kGuard);
    float* restored = &back[dstOffset];
    if (inPlace) std::memcpy(restored, spectrum.data(), spectrumFloats * sizeof(float));
    FUZZ_CHECK(RealFftInverse(inPlace ? restored : spectrum.data(), restored, setup, work) == StatusOk);
    FUZZ_CHECK(GuardsIntact(back, dstOffset, inPlace ? spectrumFloats : n));
    const double gain = mode == NoScaling ? static_cast<double>(n) : 1.0;
    std::vector<double> original(x.begin(), x.end());
    double inputEnergy = 0.0;
    for (double& v : original) {
        v *= gain;
        inputEnergy += v * v;
    }
    if (inputEnergy == 0.0) {
        for (size_t i = 0; i < n; ++i) FUZZ_CHECK(restored[i] == 0.0f);
    } else {
        FUZZ_CHECK(fft_test::RelativeRmsError(restored, original.data(), n) < 2.0 * ErrorBound(order));
    }

    FUZZ_CHECK(ReleaseRealFftSetup(setup) == StatusOk);
    detail::ForceKernelVersion(KernelVersion::Baseline);
    return 0;
}
