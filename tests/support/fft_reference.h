// Double-precision oracle for the real FFT tests: an O(N log N) complex transform with exact
// twiddles, and the spectrum of real input in the packed layout.
#pragma once
#include <cstddef>
#include <vector>

namespace fft_test {

// Packed spectrum (N+2 values: Re X0, 0, ..., Re X_{N/2}, 0) of x, unscaled, negative exponent.
std::vector<double> ReferenceSpectrum(const std::vector<float>& x);

// Relative RMS difference sqrt(sum (a-b)^2 / sum b^2) over the first count values.
double RelativeRmsError(const float* actual, const double* expected, size_t count);

}  // namespace fft_test
