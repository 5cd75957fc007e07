// Dispatch tables of the vector kernels and the allocator. Each entry point is one load of
// the version index and a tail call into the table; slot 0 is usable before the version is
// chosen.
#include "dsp/kernels/dispatch.h"
#include "dsp/kernels/kernels.h"
#include "dsp/kernels/vector_kernels.h"

namespace sonvex {

namespace {
using namespace detail;

using MultiplyRoutine = int32_t (*)(const float*, const float*, float*, int32_t);
using ComplexRoutine = int32_t (*)(const float*, float*, int32_t);
using AllocRoutine = void* (*)(int32_t);
using FreeRoutine = void (*)(void*);

const MultiplyRoutine kMultiplyVectors[kKernelVariantCount] = {
    MultiplyVectorsSse2,  MultiplyVectorsSse2, MultiplyVectorsSsse3,
    MultiplyVectorsSsse3, MultiplyVectorsSse2, MultiplyVectorsAvx,
};
const ComplexRoutine kComplexMagnitudes[kKernelVariantCount] = {
    ComplexMagnitudesSse2,  ComplexMagnitudesSse2,  ComplexMagnitudesSsse3,
    ComplexMagnitudesSsse3, ComplexMagnitudesSse41, ComplexMagnitudesAvx,
};
const ComplexRoutine kComplexPhases[kKernelVariantCount] = {
    ComplexPhasesSse2,  ComplexPhasesSse2,  ComplexPhasesSsse3,
    ComplexPhasesSsse3, ComplexPhasesSse41, ComplexPhasesAvx,
};
const AllocRoutine kAllocAligned[kKernelVariantCount] = {
    AllocAlignedGeneric, AllocAlignedGeneric, AllocAlignedSsse3,
    AllocAlignedSsse3,   AllocAlignedGeneric, AllocAlignedGeneric,
};
const FreeRoutine kFreeAligned[kKernelVariantCount] = {
    FreeAlignedGeneric, FreeAlignedGeneric, FreeAlignedSsse3,
    FreeAlignedSsse3,   FreeAlignedGeneric, FreeAlignedGeneric,
};
}  // namespace

int32_t MultiplyVectors(const float* vector1, const float* vector2, float* result, int32_t length) {
    return kMultiplyVectors[g_kernelVariant](vector1, vector2, result, length);
}

int32_t ComplexMagnitudes(const float* complexValues, float* magnitudes, int32_t bins) {
    return kComplexMagnitudes[g_kernelVariant](complexValues, magnitudes, bins);
}

int32_t ComplexPhases(const float* complexValues, float* phases, int32_t bins) {
    return kComplexPhases[g_kernelVariant](complexValues, phases, bins);
}

void* AllocAligned(int32_t bytes) { return kAllocAligned[g_kernelVariant](bytes); }

void FreeAligned(void* p) { kFreeAligned[g_kernelVariant](p); }

}  // namespace sonvex
