// The step between the complex transform of N/2 points and the packed spectrum of N real values:
// the split step after the forward transform and the pre-step before the inverse one.
#pragma once
#include <cstddef>

#include "dsp/kernels/fft_complex.h"
#include "dsp/kernels/fft_internal.h"

namespace sonvex {
namespace fft {
namespace {

struct SplitTwiddles {
    const float* table;   // duplicated real parts of e^{-2 pi i k / N}, k <= N/4, then the
                          // duplicated imaginary parts (count floats further); or null
    size_t count;         // 2 (N/4 + 1)
    const float* fine;    // factored form for long transforms
    const float* coarse;

    Cx At(size_t k) const {
        if (table) return Cx{table[2 * k], table[count + 2 * k]};
        return Mul(LoadCx(fine + 2 * (k & (kSplitFineCount - 1))), LoadCx(coarse + 2 * (k / kSplitFineCount)));
    }
};

// Twiddles k .. k+kComplex-1 with their parts repeated across each complex lane.
template <class T>
inline void SplitTwiddleVector(const SplitTwiddles& tw, size_t k, typename T::V& re, typename T::V& im) {
    if (tw.table) {
        re = T::Load(tw.table + 2 * k);
        im = T::Load(tw.table + tw.count + 2 * k);
        return;
    }
    const typename T::V fine = T::Load(tw.fine + 2 * (k & (kSplitFineCount - 1)));
    const float* c = tw.coarse + 2 * (k / kSplitFineCount);
    const typename T::V w = T::Cmul(fine, T::Set1(c[0]), T::Set1(c[1]));
    re = T::DupRe(w);
    im = T::DupIm(w);
}

// Z (n complex values in z) to the spectrum layout in dst, scaled by s. z may be dst.
template <class T>
void SplitForward(const float* z, float* dst, size_t n, float s, const SplitTwiddles& tw) {
    using V = typename T::V;
    constexpr size_t kc = T::kComplex;
    const float h = 0.5f * s;
    const float z0re = z[0], z0im = z[1];
    const V half = T::Set1(h);
    size_t k = 1;
    for (; 2 * k + 2 * kc - 2 < n; k += kc) {
        const size_t mirror = n - k - (kc - 1);
        const V a = T::Load(z + 2 * k);
        const V b = T::Conj(T::Reverse(T::Load(z + 2 * mirror)));
        const V e = T::Mul(T::Add(a, b), half);
        const V d = T::Mul(T::Sub(a, b), half);
        V wr, wi;
        SplitTwiddleVector<T>(tw, k, wr, wi);
        // -i d w = d (wi - i wr): the turn by -i goes into the twiddle, no shuffle of d.
        const V t = T::CmulConj(d, wi, wr);
        T::Store(dst + 2 * k, T::Add(e, t));
        T::Store(dst + 2 * mirror, T::Reverse(T::Conj(T::Sub(e, t))));
    }
    for (; k <= n / 2; ++k) {
        const Cx a = LoadCx(z + 2 * k), b = Conj(LoadCx(z + 2 * (n - k)));
        const Cx e = Scale(a + b, h);
        const Cx o = TimesNegI(Scale(a - b, h));
        const Cx t = Mul(o, tw.At(k));
        StoreCx(dst + 2 * k, e + t);
        if (n - k != k) StoreCx(dst + 2 * (n - k), Conj(e - t));
    }
    dst[0] = (z0re + z0im) * s;
    dst[1] = 0.0f;
    dst[2 * n] = (z0re - z0im) * s;
    dst[2 * n + 1] = 0.0f;
}

// Spectrum layout in src to the n complex values Y in y, scaled by s. Floats 1 and 2n+1 of src
// are never read; y may be src.
template <class T>
void PreStepInverse(const float* src, float* y, size_t n, float s, const SplitTwiddles& tw) {
    using V = typename T::V;
    constexpr size_t kc = T::kComplex;
    const float x0 = src[0], xn = src[2 * n];
    const V scale = T::Set1(s);
    size_t k = 1;
    for (; 2 * k + 2 * kc - 2 < n; k += kc) {
        const size_t mirror = n - k - (kc - 1);
        const V a = T::Load(src + 2 * k);
        const V b = T::Conj(T::Reverse(T::Load(src + 2 * mirror)));
        const V p = T::Mul(T::Add(a, b), scale);
        const V d = T::Mul(T::Sub(a, b), scale);
        V wr, wi;
        SplitTwiddleVector<T>(tw, k, wr, wi);
        // i d conj(w) = d (wi + i wr).
        const V q = T::Cmul(d, wi, wr);
        T::Store(y + 2 * k, T::Add(p, q));
        T::Store(y + 2 * mirror, T::Reverse(T::Conj(T::Sub(p, q))));
    }
    for (; k <= n / 2; ++k) {
        const Cx a = LoadCx(src + 2 * k), b = Conj(LoadCx(src + 2 * (n - k)));
        const Cx p = Scale(a + b, s);
        const Cx q = TimesI(Mul(Scale(a - b, s), Conj(tw.At(k))));
        StoreCx(y + 2 * k, p + q);
        if (n - k != k) StoreCx(y + 2 * (n - k), Conj(p - q));
    }
    y[0] = (x0 + xn) * s;
    y[1] = (x0 - xn) * s;
}

}  // namespace
}  // namespace fft
}  // namespace sonvex
