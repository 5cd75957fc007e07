// The AVX version's routines for processors with AVX2 and FMA, built with the compiler's
// straight-line vectoriser on; fft_avx2.cpp sends setups of N <= 16 here. N = 16 has its
// own routines: its eight complex values are two vectors, and the whole transform stays in them.
#include "dsp/kernels/fft_vector_avx.h"
#include "dsp/kernels/fft_engine.h"
#include "dsp/kernels/fft_versions.h"

namespace sonvex {
namespace fft {

namespace {

using T = AvxTraits;
using V = __m256;

// Four-point transform of the four complex values of v, outputs as [y0, y2, y1, y3].
template <bool kInverse>
inline V Dft4Lanes(V v) {
    const V lo = _mm256_permute2f128_ps(v, v, 0x00);  // v0 v1 v0 v1
    const V hi = _mm256_permute2f128_ps(v, v, 0x11);  // v2 v3 v2 v3
    // p = v0 + v2, q = v1 + v3, r = v0 - v2, t = v1 - v3 as [p, q, r, t].
    const V s = _mm256_fmadd_ps(hi, _mm256_setr_ps(1, 1, 1, 1, -1, -1, -1, -1), lo);
    const V e = _mm256_castpd_ps(_mm256_movedup_pd(_mm256_castps_pd(s)));        // p p r r
    const V f = _mm256_castpd_ps(_mm256_permute_pd(_mm256_castps_pd(s), 0xF));   // q q t t
    const V g = _mm256_permutevar_ps(f, _mm256_setr_epi32(0, 1, 2, 3, 1, 0, 3, 2));  // q q | swapped t
    // [p + q, p - q, r -/+ i t, r +/- i t].
    const V sign = kInverse ? _mm256_setr_ps(1, 1, -1, -1, -1, 1, 1, -1) : _mm256_setr_ps(1, 1, -1, -1, 1, -1, -1, 1);
    return _mm256_fmadd_ps(g, sign, e);
}

// Eight-point transform of z0..z3 (a) and z4..z7 (b): radix 2, the differences turned by w_8^j,
// two four-point transforms. Returns [Z0, Z4, Z2, Z6] in even and [Z1, Z5, Z3, Z7] in odd.
template <bool kInverse>
inline void Dft8Lanes(V a, V b, V& even, V& odd) {
    const float h = 0.70710678118654752f;
    const V wr = _mm256_setr_ps(1, 1, h, h, 0, 0, -h, -h);
    const V wi = _mm256_setr_ps(0, 0, -h, -h, -1, -1, -h, -h);
    const V d = T::Sub(a, b);
    even = Dft4Lanes<kInverse>(T::Add(a, b));
    odd = Dft4Lanes<kInverse>(kInverse ? T::CmulConj(d, wr, wi) : T::Cmul(d, wr, wi));
}

// e^{-2 pi i k / 16} for k = 1..4.
inline V SplitRe() { return _mm256_setr_ps(0.92387953251128674f, 0.92387953251128674f, 0.70710678118654752f,
                                           0.70710678118654752f, 0.38268343236508977f, 0.38268343236508977f, 0, 0); }
inline V SplitIm() { return _mm256_setr_ps(-0.38268343236508977f, -0.38268343236508977f, -0.70710678118654752f,
                                           -0.70710678118654752f, -0.92387953251128674f, -0.92387953251128674f, -1, -1); }

void Forward16(const float* src, float* dst, float s) {
    V even, odd;
    Dft8Lanes<false>(T::Load(src), T::Load(src + 8), even, odd);
    const __m256d e = _mm256_castps_pd(even), o = _mm256_castps_pd(odd);
    // Z1..Z4 and their mirrors Z7, Z6, Z5, Z4.
    const V k = _mm256_castpd_ps(_mm256_blend_pd(_mm256_permute4x64_pd(o, _MM_SHUFFLE(2, 2, 0, 0)),
                                                 _mm256_permute4x64_pd(e, _MM_SHUFFLE(1, 1, 2, 2)), 0xA));
    const V m = _mm256_castpd_ps(_mm256_blend_pd(_mm256_permute4x64_pd(o, _MM_SHUFFLE(1, 1, 3, 3)),
                                                 _mm256_permute4x64_pd(e, _MM_SHUFFLE(1, 1, 3, 3)), 0xA));
    const V half = T::Set1(0.5f * s);
    const V mc = T::Conj(m);
    const V split = T::Mul(T::Add(k, mc), half);
    const V turned = T::Cmul(T::Mul(T::MulNegI(T::Sub(k, mc)), half), SplitRe(), SplitIm());
    // Bins 1..4, then 5..8 (a caller's next vector loads find each in one store).
    const V mirror = T::Conj(T::Sub(split, turned));  // bins 7, 6, 5, 4
    const float z0re = _mm256_cvtss_f32(even);
    const float z0im = _mm256_cvtss_f32(_mm256_movehdup_ps(even));
    const __m256d last = _mm256_castps_pd(_mm256_setr_ps(0, 0, 0, 0, 0, 0, (z0re - z0im) * s, 0.0f));
    T::Store(dst + 2, T::Add(split, turned));
    T::Store(dst + 10, _mm256_castpd_ps(_mm256_blend_pd(
                           _mm256_permute4x64_pd(_mm256_castps_pd(mirror), _MM_SHUFFLE(3, 0, 1, 2)), last, 0x8)));
    dst[0] = (z0re + z0im) * s;
    dst[1] = 0.0f;
}

void Inverse16(const float* src, float* dst, float s) {
    const float x0 = src[0], x8 = src[16];
    const V k = T::Load(src + 2);  // X1..X4
    const __m256d upper = _mm256_castps_pd(T::Load(src + 10));  // X5..X8
    const V m = _mm256_castpd_ps(_mm256_blend_pd(_mm256_permute4x64_pd(upper, _MM_SHUFFLE(3, 0, 1, 2)),
                                                 _mm256_castps_pd(k), 0x8));  // X7..X4
    const V scale = T::Set1(s);
    const V mc = T::Conj(m);
    const V p = T::Mul(T::Add(k, mc), scale);
    const V q = T::MulI(T::CmulConj(T::Mul(T::Sub(k, mc), scale), SplitRe(), SplitIm()));
    const __m256d direct = _mm256_castps_pd(T::Add(p, q));              // Y1..Y4
    const __m256d mirror = _mm256_castps_pd(T::Conj(T::Sub(p, q)));     // Y7..Y4
    const __m256d y0 = _mm256_castps_pd(_mm256_setr_ps((x0 + x8) * s, (x0 - x8) * s, 0, 0, 0, 0, 0, 0));
    const V low = _mm256_castpd_ps(_mm256_blend_pd(_mm256_permute4x64_pd(direct, _MM_SHUFFLE(2, 1, 0, 0)), y0, 0x1));
    const V high = _mm256_castpd_ps(_mm256_blend_pd(_mm256_permute4x64_pd(direct, _MM_SHUFFLE(3, 3, 3, 3)),
                                                    _mm256_permute4x64_pd(mirror, _MM_SHUFFLE(0, 1, 2, 0)), 0xE));
    V even, odd;
    Dft8Lanes<true>(low, high, even, odd);
    // even = [y0, y4, y2, y6], odd = [y1, y5, y3, y7].
    const __m256d e = _mm256_castps_pd(even), o = _mm256_castps_pd(odd);
    T::Store(dst, _mm256_castpd_ps(_mm256_unpacklo_pd(e, o)));
    T::Store(dst + 8, _mm256_castpd_ps(_mm256_unpackhi_pd(e, o)));
}

}  // namespace

int32_t ForwardAvx2FmaSmall(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    if (setup->order == 4) {
        Forward16(src, dst, setup->forwardScaled ? setup->scale : 1.0f);
        return StatusOk;
    }
    return Transform<AvxTraits, false>(src, dst, setup, workBuffer);
}
int32_t InverseAvx2FmaSmall(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    if (setup->order == 4) {
        Inverse16(src, dst, setup->inverseScaled ? setup->scale : 1.0f);
        return StatusOk;
    }
    return Transform<AvxTraits, true>(src, dst, setup, workBuffer);
}

}  // namespace fft
}  // namespace sonvex
