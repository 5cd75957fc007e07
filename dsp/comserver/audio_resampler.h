// CAudioResampler: the COM shell around CResamplerCore. It validates and translates SAFEARRAYs and
// status values; the queue, channel conversion and filter live in the core.
#pragma once
#include <windows.h>
#include <ocidl.h>

#include "dsp/comserver/com_object.h"
#include "dsp/resampler/resampler.h"
#include "sonvex_h.h"

namespace sonvex {

class CAudioResampler : public com::implements<CAudioResampler, FreeThreadedObject, IAudioResampler,
                                               IProvideClassInfo> {
public:
    CAudioResampler();
    ~CAudioResampler() override = default;

    // IAudioResampler
    STDMETHODIMP Initialize(LONG nOrigRate, LONG nNewRate, SHORT nOrigChannels, SHORT nNewChannels,
                            SHORT nKernelLength) override;
    STDMETHODIMP AddBlock(SAFEARRAY* psaInput) override;
    STDMETHODIMP GetProcessedBlock(SAFEARRAY** ppsaOutput) override;
    STDMETHODIMP Reset() override;

    // IProvideClassInfo
    STDMETHODIMP GetClassInfo(ITypeInfo** ppTI) override;

private:
    CResamplerCore m_Core;
};

}  // namespace sonvex
