#include "dsp/comserver/audio_resampler.h"

#include <oleauto.h>

#include <cstdint>

#include "common/com/safe_array.h"
#include "dsp/comserver/module.h"
#include "dsp/resampler/resampler_core.h"

namespace sonvex {
namespace {

HRESULT fromStatus(int32_t status) {
    switch (status) {
    case ResamplerOk: return S_OK;
    case ResamplerBadKernelLength: return E_FAIL;
    case ResamplerBadArgument: return E_INVALIDARG;
    case ResamplerNoMemory: return E_OUTOFMEMORY;
    case ResamplerNotInitialized: return E_FAIL;
    default: return E_FAIL;
    }
}

}  // namespace

CAudioResampler::CAudioResampler() { ChooseKernelVersionOnce(); }

STDMETHODIMP CAudioResampler::Initialize(LONG nOrigRate, LONG nNewRate, SHORT nOrigChannels, SHORT nNewChannels,
                                         SHORT nKernelLength) {
    return fromStatus(m_Core.Initialize(nOrigRate, nNewRate, nOrigChannels, nNewChannels, nKernelLength));
}

STDMETHODIMP CAudioResampler::AddBlock(SAFEARRAY* psaInput) {
    // The data is read as floats, so only a one-dimensional VT_R4 array is taken.
    if (!psaInput) return E_INVALIDARG;
    if (SafeArrayGetDim(psaInput) != 1 || SafeArrayGetElemsize(psaInput) != sizeof(float)) return E_INVALIDARG;
    VARTYPE type = VT_EMPTY;
    if (FAILED(SafeArrayGetVartype(psaInput, &type)) || type != VT_R4) return E_INVALIDARG;
    LONG lower = 0, upper = -1;
    HRESULT hr = SafeArrayGetLBound(psaInput, 1, &lower);
    if (SUCCEEDED(hr)) hr = SafeArrayGetUBound(psaInput, 1, &upper);
    if (FAILED(hr)) return hr;
    const int64_t count = (int64_t)upper - (int64_t)lower + 1;
    if (count <= 0) return S_OK;
    void* data = nullptr;
    hr = SafeArrayAccessData(psaInput, &data);
    if (FAILED(hr)) return hr;
    const int32_t status = m_Core.AddSamples(static_cast<const float*>(data), count);
    hr = SafeArrayUnaccessData(psaInput);
    if (status != ResamplerOk) return fromStatus(status);
    return hr;
}

STDMETHODIMP CAudioResampler::GetProcessedBlock(SAFEARRAY** ppsaOutput) {
    if (!ppsaOutput) return E_POINTER;
    *ppsaOutput = nullptr;
    int64_t frames = 0;
    int32_t status = m_Core.CountOutputFrames(&frames);
    if (status != ResamplerOk) return fromStatus(status);
    if (frames <= 0) {
        SAFEARRAY* empty = SafeArrayCreateVector(VT_R4, 0, 0);
        if (!empty) return E_OUTOFMEMORY;
        *ppsaOutput = empty;
        return S_OK;
    }
    const int64_t samples = frames * m_Core.NewChannels();
    if (samples > (int64_t)0x7FFFFFFF) return E_OUTOFMEMORY;  // more than one SAFEARRAY can hold
    // The array is made before anything leaves the queue, so a failure here loses no input.
    com::safe_array block(SafeArrayCreateVector(VT_R4, 0, (ULONG)samples));
    if (!block) return E_OUTOFMEMORY;
    {
        const com::array_data<float> data(block.get());
        if (!data) return data.result();
        status = m_Core.ProduceFrames(data.get(), frames);
    }
    if (status != ResamplerOk) return fromStatus(status);
    *ppsaOutput = block.detach();
    return S_OK;
}

STDMETHODIMP CAudioResampler::Reset() {
    // Reset before Initialize has nothing to drop.
    const int32_t status = m_Core.Reset();
    return status == ResamplerNotInitialized ? S_OK : fromStatus(status);
}

STDMETHODIMP CAudioResampler::GetClassInfo(ITypeInfo** ppTI) {
    return GetCachedClassInfo(CLSID_CAudioResampler, ppTI);
}

}  // namespace sonvex
