// The vector kernels, written once over a small set of group operations. A "group" is 8
// floats; each version's translation unit supplies the operations (two 4-float vectors or one
// 8-float vector) and instantiates the kernels with its own target flags. Everything here has
// internal linkage so that no routine compiled for one instruction set is shared with another.
#pragma once
#include <cfloat>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "dsp/kernels/kernels.h"

namespace sonvex {
namespace detail {
namespace {

// Single values handled one at a time until the output address is 16-byte aligned.
inline int32_t LeadingSingles(const float* out, int32_t count) {
    const int32_t lead = (int32_t)(((16 - (reinterpret_cast<uintptr_t>(out) & 15)) & 15) >> 2);
    return lead < count ? lead : count;
}

// The estimate instructions (rsqrtps, rcpps) are defined only to within their documented
// error, and processors of different makers answer them from different tables, so every result
// that passes through one is defined to within a few units in the last place, and the same to
// the bit only on one processor. A build with SONVEX_OTHER_ESTIMATES stands in for a processor
// whose tables differ from this one's: each refined estimate comes out one unit in the last
// place higher, and what the tests demand must hold there too.
template <class O>
inline typename O::G AsRefinedElsewhere(typename O::G refined) {
#if defined(SONVEX_OTHER_ESTIMATES)
    return O::Mul(refined, O::Set1(1.0f + 0x1p-24f));
#else
    return refined;
#endif
}

// Magnitudes of 8 complex values. Each value whose s is a normal finite float takes the
// Newton-refined reciprocal square root; the others take the exact root: below the smallest
// normal the estimate is unusable (and 0 must stay exactly 0), and for an overflowed s the
// product s * rsqrt(s) would be inf * 0. The choice is made value by value, so a magnitude
// never depends on its neighbours or on where the caller's output buffer begins.
template <class O>
inline void Magnitudes8(const float* in, float* out) {
    using G = typename O::G;
    G re, im;
    O::Deinterleave(in, re, im);
    const G s = O::Add(O::Mul(re, re), O::Mul(im, im));
    const G usable = O::And(O::CmpGt(s, O::Set1(FLT_MIN)),
                            O::CmpLt(s, O::Set1(std::numeric_limits<float>::infinity())));
    const G r = O::Rsqrt(s);
    const G sr = O::Mul(s, r);
    const G refined =
        AsRefinedElsewhere<O>(O::Mul(O::Mul(O::Set1(0.5f), sr), O::Sub(O::Set1(3.0f), O::Mul(sr, r))));
    O::Store(out, O::AllSet(usable) ? refined : O::Select(usable, refined, O::Sqrt(s)));
}

// Reciprocal estimate refined by one Newton step: r * (2 - d * r).
template <class O>
inline typename O::G RefinedReciprocal(typename O::G d) {
    const typename O::G r = O::Rcp(d);
    return AsRefinedElsewhere<O>(O::Mul(r, O::Sub(O::Set1(2.0f), O::Mul(d, r))));
}

// Phases of 8 complex values by the rational approximation of atan on [0, 1].
template <class O>
inline void Phases8(const float* in, float* out) {
    using G = typename O::G;
    G re, im;
    O::Deinterleave(in, re, im);
    const G signBit = O::Set1(-0.0f);
    const G one = O::Set1(1.0f);
    const G ax = O::AndNot(signBit, re);
    const G ay = O::AndNot(signBit, im);
    G mn = O::Min(ax, ay);
    G mx = O::Max(ax, ay);
    // The reciprocal estimate has no usable result for huge or subnormal denominators, so
    // both parts are brought into range by a power of two (the quotient does not change), and
    // an infinite part counts as 1 against 0, or against 1 when both are infinite.
    const G scale = O::Select(O::CmpGt(mx, O::Set1(0x1p100f)), O::Set1(0x1p-64f),
                              O::Select(O::CmpLt(mx, O::Set1(0x1p-100f)), O::Set1(0x1p64f), one));
    mn = O::Mul(mn, scale);
    mx = O::Mul(mx, scale);
    const G inf = O::Set1(std::numeric_limits<float>::infinity());
    const G infiniteMax = O::CmpEq(mx, inf);
    mn = O::Select(infiniteMax, O::And(O::CmpEq(mn, inf), one), mn);
    mx = O::Select(infiniteMax, one, mx);
    // Both parts 0: the denominator 2 makes u = 0.
    const G d = O::Select(O::CmpEq(mx, O::Set1(0.0f)), O::Set1(2.0f), mx);
    const G u = O::Mul(mn, RefinedReciprocal<O>(d));
    const G t = O::Mul(u, u);
    const G p = O::Add(O::Mul(O::Add(O::Mul(O::Add(O::Mul(O::Set1(0.008561189f), t),
                                                   O::Set1(0.28050455f)), t),
                                     O::Set1(1.120234f)), t),
                       one);
    const G q = O::Add(O::Mul(O::Add(O::Mul(O::Add(O::Mul(O::Set1(0.04901759f), t),
                                                   O::Set1(0.565031f)), t),
                                     O::Set1(1.4535671f)), t),
                       one);
    G a = O::Mul(O::Mul(u, p), RefinedReciprocal<O>(q));
    a = O::Select(O::CmpGt(ay, ax), O::Sub(O::Set1(1.5707964f), a), a);
    a = O::SelectBySign(re, O::Sub(O::Set1(3.1415927f), a), a);
    O::Store(out, O::Or(a, O::And(im, signBit)));
}

// Runs a group kernel on fewer than 8 complex values; the rest of the group is padded with
// (1, 0), whose results are dropped.
template <void (*Kernel)(const float*, float*)>
inline void PartialGroup(const float* in, float* out, int32_t count) {
    float src[16];
    float dst[8];
    for (int i = 0; i < 8; ++i) {
        src[2 * i] = 1.0f;
        src[2 * i + 1] = 0.0f;
    }
    std::memcpy(src, in, sizeof(float) * 2 * (size_t)count);
    Kernel(src, dst);
    std::memcpy(out, dst, sizeof(float) * (size_t)count);
}

template <class O>
int32_t MultiplyVectorsImpl(const float* vector1, const float* vector2, float* result,
                            int32_t length) {
    if (!vector1 || !vector2 || !result) return StatusNullPointer;
    if (length <= 0) return StatusBadSize;
    int32_t i = LeadingSingles(result, length);
    for (int32_t k = 0; k < i; ++k) result[k] = vector1[k] * vector2[k];
    for (; length - i >= 8; i += 8)
        O::Store(result + i, O::Mul(O::Load(vector1 + i), O::Load(vector2 + i)));
    for (; i < length; ++i) result[i] = vector1[i] * vector2[i];
    return StatusOk;
}

// Shared frame of the two complex kernels: leading singles, whole groups, one shorter group.
template <void (*Kernel)(const float*, float*)>
int32_t ComplexKernelFrame(const float* complexValues, float* out, int32_t bins) {
    if (!complexValues || !out) return StatusNullPointer;
    if (bins <= 0) return StatusBadSize;
    // Indices into the complex vector can pass 2^31 floats on 64-bit systems.
    int32_t i = 0;
    for (const int32_t lead = LeadingSingles(out, bins); i < lead; ++i)
        PartialGroup<Kernel>(complexValues + 2 * (ptrdiff_t)i, out + i, 1);
    for (; bins - i >= 8; i += 8) Kernel(complexValues + 2 * (ptrdiff_t)i, out + i);
    if (i < bins) PartialGroup<Kernel>(complexValues + 2 * (ptrdiff_t)i, out + i, bins - i);
    return StatusOk;
}

template <class O>
int32_t ComplexMagnitudesImpl(const float* complexValues, float* magnitudes, int32_t bins) {
    return ComplexKernelFrame<Magnitudes8<O>>(complexValues, magnitudes, bins);
}

template <class O>
int32_t ComplexPhasesImpl(const float* complexValues, float* phases, int32_t bins) {
    return ComplexKernelFrame<Phases8<O>>(complexValues, phases, bins);
}

}  // namespace
}  // namespace detail
}  // namespace sonvex
