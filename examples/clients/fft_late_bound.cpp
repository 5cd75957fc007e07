// The same transform late bound, as a scripting host or a VB client reaches it: names are
// looked up with GetIDsOfNames and every call goes through IDispatch::Invoke. Float arrays
// travel as a reference to their first element (VT_BYREF | VT_R4) and are changed in place.
#include <windows.h>
#include <ole2.h>

#include <cmath>
#include <cstdio>
#include <vector>

// Calls a method by name; the arguments are given in their natural order.
HRESULT call(IDispatch* object, const wchar_t* name, std::vector<VARIANT> arguments) {
    DISPID id = 0;
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());  // Invoke takes them last first
    DISPPARAMS parameters = {reversed.data(), nullptr, (UINT)reversed.size(), 0};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, nullptr, nullptr, nullptr);
}

VARIANT longValue(LONG value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return v;
}

VARIANT floatArray(float* first) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BYREF | VT_R4;
    V_R4REF(&v) = first;
    return v;
}

int main() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    CLSID clsid;
    IDispatch* fft = nullptr;
    if (FAILED(CLSIDFromProgID(L"Sonvex.FourierTransform", &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&fft)))) {
        std::printf("Sonvex.FourierTransform is not registered\n");
        return 1;
    }

    const int n = 1024;
    std::vector<float> samples(n + 2), magnitudes(n / 2 + 1);
    for (int i = 0; i < n; ++i) samples[i] = (float)std::sin(2 * 3.141592653589793 * 32 * i / n);
    HRESULT hr = call(fft, L"InitFFT", {longValue(n)});
    if (SUCCEEDED(hr)) hr = call(fft, L"ForwardFFT", {floatArray(samples.data())});
    if (SUCCEEDED(hr))
        hr = call(fft, L"GetMagnitudeVector",
                  {floatArray(samples.data()), floatArray(magnitudes.data()), longValue(n / 2 + 1)});
    if (FAILED(hr)) {
        std::printf("Invoke failed: 0x%08lX\n", (unsigned long)hr);
        return 1;
    }
    int peak = 0;
    for (int k = 1; k <= n / 2; ++k)
        if (magnitudes[k] > magnitudes[peak]) peak = k;
    std::printf("late bound: peak at bin %d, magnitude %.2f\n", peak, magnitudes[peak]);
    call(fft, L"FreeFFT", {});
    fft->Release();
    CoUninitialize();
    return 0;
}
