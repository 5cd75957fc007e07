// CFourierTransform: the automation object around the real FFT, the analysis windows and the
// spectral vector kernels. One transform setup and its work buffer at a time.
#pragma once
#include <windows.h>
#include <ocidl.h>

#include <cstdint>

#include "dsp/comserver/com_object.h"
#include "dsp/kernels/aligned_array.h"
#include "dsp/kernels/kernels.h"
#include "sonvex_h.h"

namespace sonvex {

class CFourierTransform : public com::implements<CFourierTransform, ApartmentObject, IFourierTransform,
                                                 IProvideClassInfo> {
public:
    CFourierTransform();
    ~CFourierTransform() override;

    // The listed interfaces and IDispatch, the base of the dual IFourierTransform.
    HRESULT internalQueryInterface(REFIID riid, void** ppv);

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

    // IFourierTransform
    STDMETHODIMP CalcWindow(SHORT niWindow, FLOAT* pfWindow, LONG nLength, FLOAT fKaiserAlpha) override;
    STDMETHODIMP PointWiseMult(FLOAT* pfVector1, FLOAT* pfVector2, FLOAT* pfResult, LONG nLength) override;
    STDMETHODIMP GetMagnitudeVector(FLOAT* pfComplex, FLOAT* pfMagnitudes, LONG nBins) override;
    STDMETHODIMP GetPhaseVector(FLOAT* pfComplex, FLOAT* pfPhases, LONG nBins) override;
    STDMETHODIMP InitFFT(LONG nLength) override;
    STDMETHODIMP FreeFFT() override;
    STDMETHODIMP ForwardFFT(FLOAT* pfSamples) override;
    STDMETHODIMP InverseFFT(FLOAT* pfSamples) override;

    // IProvideClassInfo
    STDMETHODIMP GetClassInfo(ITypeInfo** ppTI) override;

private:
    void releaseSetup();

    int32_t m_nLength = 0;
    bool m_bSetupHeld = false;
    RealFftSetupHandle m_pSetup;
    AlignedArray<float> m_pWorkBuffer;
};

}  // namespace sonvex
