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

// a + b and a - b issued to the multiply-add units: a times one is exact and the sum is rounded
// once, so the bits are those of the addition. Routines with more additions than products move
// some of them there: processors that add on units of their own (the figures' one) run both
// kinds side by side; where both kinds share the same units nothing changes.
inline V AddOnMultiplier(V a, V b) { return _mm512_fmadd_ps(a, _mm512_set1_ps(1.0f), b); }
inline V SubOnMultiplier(V a, V b) { return _mm512_fmsub_ps(a, _mm512_set1_ps(1.0f), b); }
inline Cv AddOnMultiplier(Cv a, Cv b) { return Cv{AddOnMultiplier(a.re, b.re), AddOnMultiplier(a.im, b.im)}; }
inline Cv SubOnMultiplier(Cv a, Cv b) { return Cv{SubOnMultiplier(a.re, b.re), SubOnMultiplier(a.im, b.im)}; }

}  // namespace
}  // namespace fft
}  // namespace sonvex
