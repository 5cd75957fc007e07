#include "tests/support/fft_reference.h"

#include <cmath>
#include <complex>

namespace fft_test {

namespace {

void ComplexTransform(std::vector<std::complex<double>>& data) {
    const size_t n = data.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(data[i], data[j]);
    }
    const double pi = 3.14159265358979323846;
    std::vector<std::complex<double>> roots(n / 2 + 1);
    for (size_t k = 0; k < n / 2; ++k) roots[k] = std::polar(1.0, -2.0 * pi * (double)k / (double)n);
    for (size_t half = 1; half < n; half *= 2) {
        const size_t step = n / (2 * half);
        for (size_t start = 0; start < n; start += 2 * half) {
            for (size_t k = 0; k < half; ++k) {
                const std::complex<double> t = data[start + k + half] * roots[k * step];
                data[start + k + half] = data[start + k] - t;
                data[start + k] += t;
            }
        }
    }
}

}  // namespace

std::vector<double> ReferenceSpectrum(const std::vector<float>& x) {
    const size_t n = x.size();
    std::vector<std::complex<double>> data(x.begin(), x.end());
    ComplexTransform(data);
    std::vector<double> packed(n + 2);
    for (size_t k = 0; k <= n / 2; ++k) {
        packed[2 * k] = data[k % n].real();
        packed[2 * k + 1] = (k == 0 || k == n / 2) ? 0.0 : data[k].imag();
    }
    if (n == 1) packed[1] = 0.0;
    return packed;
}

double RelativeRmsError(const float* actual, const double* expected, size_t count) {
    double error = 0.0, energy = 0.0;
    for (size_t i = 0; i < count; ++i) {
        const double d = (double)actual[i] - expected[i];
        error += d * d;
        energy += expected[i] * expected[i];
    }
    return energy > 0.0 ? std::sqrt(error / energy) : std::sqrt(error);
}

}  // namespace fft_test
