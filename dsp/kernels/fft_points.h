// The 16-lane "points" of the AVX-512 transforms: 16 complex values as a vector of their real
// parts and a vector of their imaginary parts. Included by the AVX-512 translation units only;
// internal linkage, as for every part of the transforms.
#pragma once
#include <immintrin.h>

namespace sonvex {
namespace fft {
namespace {

using V = __m512;

struct Cv {
    V re, im;
};

inline Cv Add(Cv a, Cv b) { return Cv{_mm512_add_ps(a.re, b.re), _mm512_add_ps(a.im, b.im)}; }
inline Cv Sub(Cv a, Cv b) { return Cv{_mm512_sub_ps(a.re, b.re), _mm512_sub_ps(a.im, b.im)}; }

}  // namespace
}  // namespace fft
}  // namespace sonvex
