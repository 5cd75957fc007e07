// Public entry points of the real FFT: one table of six routines per entry point, indexed by the
// process-wide version choice. The entry point adds nothing of its own; each routine checks its
// arguments.
#include "dsp/kernels/dispatch.h"
#include "dsp/kernels/fft_versions.h"
#include "dsp/kernels/kernels.h"

namespace sonvex {

namespace {

using CreateRoutine = int32_t (*)(int32_t, int32_t, RealFftSetup**);
using SizeRoutine = int32_t (*)(const RealFftSetup*, int32_t*);
using TransformRoutine = int32_t (*)(const float*, float*, const RealFftSetup*, void*);
using ReleaseRoutine = int32_t (*)(RealFftSetup*);

const CreateRoutine kCreateSetup[detail::kKernelVariantCount] = {
    fft::CreateSetupSse2, fft::CreateSetupSse2, fft::CreateSetupSsse3,
    fft::CreateSetupSsse3Movbe, fft::CreateSetupSse41, fft::CreateSetupAvx};
const SizeRoutine kBufferSize[detail::kKernelVariantCount] = {
    fft::QueryBufferSizeCommon, fft::QueryBufferSizeCommon, fft::QueryBufferSizeCommon,
    fft::QueryBufferSizeCommon, fft::QueryBufferSizeCommon, fft::QueryBufferSizeCommon};
const TransformRoutine kForward[detail::kKernelVariantCount] = {
    fft::ForwardSse2, fft::ForwardSse2, fft::ForwardSsse3, fft::ForwardSsse3Movbe, fft::ForwardSse41, fft::ForwardAvx};
const TransformRoutine kInverse[detail::kKernelVariantCount] = {
    fft::InverseSse2, fft::InverseSse2, fft::InverseSsse3, fft::InverseSsse3Movbe, fft::InverseSse41, fft::InverseAvx};
const ReleaseRoutine kRelease[detail::kKernelVariantCount] = {
    fft::ReleaseSetupCommon, fft::ReleaseSetupCommon, fft::ReleaseSetupCommon,
    fft::ReleaseSetupSsse3Movbe, fft::ReleaseSetupCommon, fft::ReleaseSetupCommon};

}  // namespace

int32_t CreateRealFftSetup(int32_t order, int32_t scalingMode, RealFftSetup** setupOut) {
    return kCreateSetup[detail::g_kernelVariant](order, scalingMode, setupOut);
}

int32_t GetRealFftBufferSize(const RealFftSetup* setup, int32_t* bytesOut) {
    return kBufferSize[detail::g_kernelVariant](setup, bytesOut);
}

int32_t RealFftForward(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    return kForward[detail::g_kernelVariant](src, dst, setup, workBuffer);
}

int32_t RealFftInverse(const float* src, float* dst, const RealFftSetup* setup, void* workBuffer) {
    return kInverse[detail::g_kernelVariant](src, dst, setup, workBuffer);
}

int32_t ReleaseRealFftSetup(RealFftSetup* setup) {
    return kRelease[detail::g_kernelVariant](setup);
}

}  // namespace sonvex
