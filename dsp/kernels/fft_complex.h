// Single complex values for the scalar edges of the real FFT (the straight-line transforms, the
// split step's last values, the twiddles of the large-size method). Internal linkage, as for
// every part of the transform: each version's translation unit keeps its own instructions.
#pragma once

namespace sonvex {
namespace fft {
namespace {

struct Cx {
    float re, im;
};
inline Cx operator+(Cx a, Cx b) { return Cx{a.re + b.re, a.im + b.im}; }
inline Cx operator-(Cx a, Cx b) { return Cx{a.re - b.re, a.im - b.im}; }
inline Cx Mul(Cx a, Cx b) { return Cx{a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re}; }
inline Cx Scale(Cx a, float s) { return Cx{a.re * s, a.im * s}; }
inline Cx Conj(Cx a) { return Cx{a.re, -a.im}; }
inline Cx TimesI(Cx a) { return Cx{-a.im, a.re}; }
inline Cx TimesNegI(Cx a) { return Cx{a.im, -a.re}; }
inline Cx LoadCx(const float* p) { return Cx{p[0], p[1]}; }
inline void StoreCx(float* p, Cx v) {
    p[0] = v.re;
    p[1] = v.im;
}

}  // namespace
}  // namespace fft
}  // namespace sonvex
