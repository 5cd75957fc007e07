#include "dsp/comserver/fourier_dispatch.h"

#include <oleauto.h>

#include "common/com/com_ptr.h"
#include "dsp/comserver/module.h"
#include "sonvex_h.h"

namespace sonvex {
namespace {

// In DISPID order: DISPID = index + 1.
const wchar_t* const kMethodNames[] = {L"CalcWindow", L"PointWiseMult", L"GetMagnitudeVector", L"GetPhaseVector",
                                       L"InitFFT",    L"FreeFFT",       L"ForwardFFT",         L"InverseFFT"};
constexpr UINT kMaxArguments = 4;

// An output float pointer: either a reference to the caller's float array (VT_BYREF|VT_R4) or a
// reference to one VARIANT that receives a single VT_R4. The VARIANT holds room for one float
// only, so that form is accepted only when the method writes at most one value.
struct OutputPointer {
    UINT index = 0;
    float* floats = nullptr;
    VARIANT* single = nullptr;
};

// Reads the arguments of one Invoke; rgvarg index i is parameter (count - 1 - i). The
// temporaries that hold converted copies are cleared whatever happens.
class ArgumentReader {
public:
    ArgumentReader(DISPPARAMS* params, UINT* argErr) : m_pParams(params), m_puArgErr(argErr) {
        for (VARIANT& v : m_avarTemps) VariantInit(&v);
    }
    ~ArgumentReader() {
        for (VARIANT& v : m_avarTemps) VariantClear(&v);
    }

    HRESULT mismatch(UINT index) {
        if (m_puArgErr) *m_puArgErr = index;
        return DISP_E_TYPEMISMATCH;
    }

    // A by-value argument of type vt, converted through a temporary when it arrives otherwise.
    // Nothing converts to a by-reference type, so pointers must arrive as exactly that type.
    HRESULT read(UINT index, VARTYPE vt, VARIANT** out) {
        VARIANT* arg = &m_pParams->rgvarg[index];
        if (V_VT(arg) == vt) {
            *out = arg;
            return S_OK;
        }
        VARIANT* temp = &m_avarTemps[index];
        HRESULT hr = VariantCopy(temp, arg);
        if (FAILED(hr)) return hr;
        if (vt & VT_BYREF) return mismatch(index);
        if (FAILED(VariantChangeType(temp, temp, 0, vt))) return mismatch(index);
        *out = temp;
        return S_OK;
    }

    HRESULT readShort(UINT index, SHORT* value) {
        VARIANT* v = nullptr;
        HRESULT hr = read(index, VT_I2, &v);
        if (SUCCEEDED(hr)) *value = V_I2(v);
        return hr;
    }
    HRESULT readLong(UINT index, LONG* value) {
        VARIANT* v = nullptr;
        HRESULT hr = read(index, VT_I4, &v);
        if (SUCCEEDED(hr)) *value = V_I4(v);
        return hr;
    }
    HRESULT readFloat(UINT index, FLOAT* value) {
        VARIANT* v = nullptr;
        HRESULT hr = read(index, VT_R4, &v);
        if (SUCCEEDED(hr)) *value = V_R4(v);
        return hr;
    }
    HRESULT readInputPointer(UINT index, FLOAT** value) {
        VARIANT* v = nullptr;
        HRESULT hr = read(index, VT_BYREF | VT_R4, &v);
        if (SUCCEEDED(hr)) *value = V_R4REF(v);
        return hr;
    }

    HRESULT readOutputPointer(UINT index, OutputPointer* out) {
        VARIANT* arg = &m_pParams->rgvarg[index];
        out->index = index;
        if (V_VT(arg) == (VT_BYREF | VT_R4)) {
            out->floats = V_R4REF(arg);
            return S_OK;
        }
        if (V_VT(arg) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(arg)) {
            out->single = V_VARIANTREF(arg);
            return S_OK;
        }
        return mismatch(index);
    }

    // Once the count is known: the single-VARIANT form takes one value at most; it is cleared and
    // retyped to VT_R4 and its float field receives the value.
    HRESULT bindOutputPointer(OutputPointer* out, LONG count, FLOAT** pointer) {
        if (!out->single) {
            *pointer = out->floats;
            return S_OK;
        }
        if (count > 1) return mismatch(out->index);
        HRESULT hr = VariantClear(out->single);
        if (FAILED(hr)) return hr;
        V_VT(out->single) = VT_R4;
        V_R4(out->single) = 0.0f;
        *pointer = &V_R4(out->single);
        return S_OK;
    }

private:
    DISPPARAMS* m_pParams;
    UINT* m_puArgErr;
    VARIANT m_avarTemps[kMaxArguments];
};

void fillExceptionInfo(HRESULT hr, EXCEPINFO* info) {
    info->pfnDeferredFillIn = nullptr;
    info->scode = hr;
    com::ptr<IErrorInfo> error;
    if (GetErrorInfo(0, error.put()) == S_OK && error) {
        error->GetSource(&info->bstrSource);
        error->GetDescription(&info->bstrDescription);
        error->GetHelpFile(&info->bstrHelpFile);
        error->GetHelpContext(&info->dwHelpContext);
    }
}

// The method's own result, remembered apart from the dispatch layer's errors.
HRESULT methodResult(bool* called, HRESULT hr) {
    *called = true;
    return hr;
}

HRESULT invokeMethod(IFourierTransform* target, DISPID dispId, DISPPARAMS* params, UINT* argErr, bool* called) {
    static const UINT required[] = {4, 4, 3, 3, 1, 0, 1, 1};
    if (dispId < 1 || dispId > 8) return DISP_E_MEMBERNOTFOUND;
    if (params->cArgs != required[dispId - 1]) return DISP_E_BADPARAMCOUNT;
    if (params->cArgs > 0 && !params->rgvarg) return E_INVALIDARG;

    ArgumentReader args(params, argErr);
    HRESULT hr = S_OK;
    switch (dispId) {
    case 1: {  // CalcWindow(niWindow, pfWindow, nLength, fKaiserAlpha)
        SHORT window = 0;
        FLOAT* values = nullptr;
        LONG length = 0;
        FLOAT alpha = 0;
        if (FAILED(hr = args.readShort(3, &window)) || FAILED(hr = args.readInputPointer(2, &values)) ||
            FAILED(hr = args.readLong(1, &length)) || FAILED(hr = args.readFloat(0, &alpha)))
            return hr;
        return methodResult(called, target->CalcWindow(window, values, length, alpha));
    }
    case 2: {  // PointWiseMult(pfVector1, pfVector2, pfResult, nLength)
        FLOAT* vector1 = nullptr;
        FLOAT* vector2 = nullptr;
        OutputPointer output;
        FLOAT* result = nullptr;
        LONG length = 0;
        if (FAILED(hr = args.readInputPointer(3, &vector1)) || FAILED(hr = args.readInputPointer(2, &vector2)) ||
            FAILED(hr = args.readOutputPointer(1, &output)) || FAILED(hr = args.readLong(0, &length)) ||
            FAILED(hr = args.bindOutputPointer(&output, length, &result)))
            return hr;
        return methodResult(called, target->PointWiseMult(vector1, vector2, result, length));
    }
    case 3:    // GetMagnitudeVector(pfComplex, pfMagnitudes, nBins)
    case 4: {  // GetPhaseVector(pfComplex, pfPhases, nBins)
        FLOAT* complexValues = nullptr;
        OutputPointer output;
        FLOAT* result = nullptr;
        LONG bins = 0;
        if (FAILED(hr = args.readInputPointer(2, &complexValues)) || FAILED(hr = args.readOutputPointer(1, &output)) ||
            FAILED(hr = args.readLong(0, &bins)) || FAILED(hr = args.bindOutputPointer(&output, bins, &result)))
            return hr;
        return methodResult(called, dispId == 3 ? target->GetMagnitudeVector(complexValues, result, bins)
                           : target->GetPhaseVector(complexValues, result, bins));
    }
    case 5: {  // InitFFT(nLength)
        LONG length = 0;
        if (FAILED(hr = args.readLong(0, &length))) return hr;
        return methodResult(called, target->InitFFT(length));
    }
    case 6:  // FreeFFT()
        return methodResult(called, target->FreeFFT());
    case 7:
    case 8: {  // ForwardFFT(pfSamples), InverseFFT(pfSamples)
        FLOAT* samples = nullptr;
        if (FAILED(hr = args.readInputPointer(0, &samples))) return hr;
        return methodResult(called, dispId == 7 ? target->ForwardFFT(samples) : target->InverseFFT(samples));
    }
    }
    return DISP_E_MEMBERNOTFOUND;
}

}  // namespace

HRESULT FourierGetIDsOfNames(LPOLESTR* names, UINT count, DISPID* dispIds) {
    if (count > 0 && (!names || !dispIds)) return E_POINTER;
    for (UINT i = 0; i < count; ++i) {
        DISPID found = DISPID_UNKNOWN;
        for (int m = 0; m < 8 && names[i]; ++m) {
            if (lstrcmpiW(names[i], kMethodNames[m]) == 0) {
                found = m + 1;
                break;
            }
        }
        if (found == DISPID_UNKNOWN) return DISP_E_UNKNOWNNAME;
        dispIds[i] = found;
    }
    return S_OK;
}

HRESULT FourierInvoke(IFourierTransform* target, DISPID dispIdMember, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* excepInfo, UINT* argErr) {
    if (!params) return DISP_E_BADVARTYPE;
    if (params->cArgs > kMaxArguments) return DISP_E_BADPARAMCOUNT;
    if (result) VariantInit(result);  // no method yields a value
    if (params->cNamedArgs != 0 &&
        !(params->cNamedArgs == 1 && params->rgdispidNamedArgs && params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT))
        return DISP_E_NONAMEDARGS;
    bool called = false;
    HRESULT hr = invokeMethod(target, dispIdMember, params, argErr, &called);
    if (called && FAILED(hr) && excepInfo) fillExceptionInfo(hr, excepInfo);
    return hr;
}

HRESULT FourierGetTypeInfo(UINT index, ITypeInfo** info) {
    if (index != 0) return DISP_E_BADINDEX;
    if (!info) return E_POINTER;
    *info = nullptr;
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(ModuleHandle(), path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return E_FAIL;
    com::ptr<ITypeLib> lib;
    HRESULT hr = LoadTypeLib(path, lib.put());
    if (FAILED(hr)) return hr;
    return lib->GetTypeInfoOfGuid(IID_IFourierTransform, info);
}

HRESULT FourierGetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    com::ptr<ITypeInfo> info;
    *count = SUCCEEDED(FourierGetTypeInfo(0, info.put())) ? 1 : 0;
    return S_OK;
}

}  // namespace sonvex
