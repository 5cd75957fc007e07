#include "dsp/comserver/fourier_transform.h"

#include <utility>

#include "dsp/comserver/fourier_dispatch.h"
#include "dsp/comserver/module.h"
#include "dsp/kernels/kernels.h"
#include "dsp/spectral/windows.h"

namespace sonvex {

CFourierTransform::CFourierTransform() { ChooseKernelVersionOnce(); }

CFourierTransform::~CFourierTransform() = default;

HRESULT CFourierTransform::internalQueryInterface(REFIID riid, void** ppv) {
    if (ppv && IsEqualIID(riid, IID_IDispatch)) {
        *ppv = static_cast<IDispatch*>(static_cast<IFourierTransform*>(this));
        static_cast<IUnknown*>(*ppv)->AddRef();
        return S_OK;
    }
    return queryInterfaceImpl(riid, ppv);
}

void CFourierTransform::releaseSetup() {
    m_pSetup.reset();
    m_pWorkBuffer.Reset();
    m_bSetupHeld = false;
}

STDMETHODIMP CFourierTransform::InitFFT(LONG nLength) {
    // A setup still held is released first: the new length replaces it, nothing leaks.
    releaseSetup();
    int32_t order = 0;
    for (LONG value = nLength; value > 1; value /= 2) ++order;
    RealFftSetup* created = nullptr;
    if (CreateRealFftSetup(order, ScaleBothBySqrtN, &created) == StatusOk) {
        RealFftSetupHandle setup(created);
        int32_t bytes = 0;
        GetRealFftBufferSize(setup.get(), &bytes);
        // Without its work buffer the setup cannot run; keep no setup rather than a broken one.
        if (bytes <= 0 || m_pWorkBuffer.Allocate((bytes + 3) / 4)) m_pSetup = std::move(setup);
    }
    m_nLength = nLength;
    m_bSetupHeld = m_pSetup != nullptr;
    return S_OK;
}

STDMETHODIMP CFourierTransform::FreeFFT() {
    releaseSetup();
    return S_OK;
}

STDMETHODIMP CFourierTransform::ForwardFFT(FLOAT* pfSamples) {
    if (m_pSetup) RealFftForward(pfSamples, pfSamples, m_pSetup.get(), m_pWorkBuffer.Get());
    return S_OK;
}

STDMETHODIMP CFourierTransform::InverseFFT(FLOAT* pfSamples) {
    if (m_pSetup) RealFftInverse(pfSamples, pfSamples, m_pSetup.get(), m_pWorkBuffer.Get());
    return S_OK;
}

STDMETHODIMP CFourierTransform::CalcWindow(SHORT niWindow, FLOAT* pfWindow, LONG nLength, FLOAT) {
    if (pfWindow) ComputeWindow(niWindow, pfWindow, nLength);
    return S_OK;
}

STDMETHODIMP CFourierTransform::PointWiseMult(FLOAT* pfVector1, FLOAT* pfVector2, FLOAT* pfResult, LONG nLength) {
    MultiplyVectors(pfVector1, pfVector2, pfResult, nLength);
    return S_OK;
}

STDMETHODIMP CFourierTransform::GetMagnitudeVector(FLOAT* pfComplex, FLOAT* pfMagnitudes, LONG nBins) {
    ComplexMagnitudes(pfComplex, pfMagnitudes, nBins);
    return S_OK;
}

STDMETHODIMP CFourierTransform::GetPhaseVector(FLOAT* pfComplex, FLOAT* pfPhases, LONG nBins) {
    ComplexPhases(pfComplex, pfPhases, nBins);
    return S_OK;
}

STDMETHODIMP CFourierTransform::GetTypeInfoCount(UINT* pctinfo) {
    return FourierGetTypeInfoCount(pctinfo);
}

STDMETHODIMP CFourierTransform::GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) {
    return FourierGetTypeInfo(iTInfo, ppTInfo);
}

STDMETHODIMP CFourierTransform::GetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) {
    return FourierGetIDsOfNames(rgszNames, cNames, rgDispId);
}

STDMETHODIMP CFourierTransform::Invoke(DISPID dispIdMember, REFIID, LCID, WORD, DISPPARAMS* pDispParams,
                                       VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) {
    return FourierInvoke(this, dispIdMember, pDispParams, pVarResult, pExcepInfo, puArgErr);
}

STDMETHODIMP CFourierTransform::GetClassInfo(ITypeInfo** ppTI) {
    return GetCachedClassInfo(CLSID_CFourierTransform, ppTI);
}

}  // namespace sonvex
