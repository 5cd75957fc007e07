// A Sonvex2 client in C++: create the Fourier object by its class identifier, transform a
// tone and find its peak. Build with the header and GUIDs widl makes from sonvex.idl and link
// ole32, oleaut32 and uuid. Run after `regsvr32 Sonvex2.dll`.
#include <windows.h>
#include <ole2.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "sonvex_h.h"

int main() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IFourierTransform* fft = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_CFourierTransform, nullptr, CLSCTX_INPROC_SERVER, IID_IFourierTransform,
                                  reinterpret_cast<void**>(&fft));
    if (FAILED(hr)) {
        std::printf("Sonvex2 is not registered (CoCreateInstance: 0x%08lX)\n", (unsigned long)hr);
        return 1;
    }

    // A 1024-point transform of a tone that falls exactly on bin 32 at 44.1 kHz.
    const int n = 1024;
    const double rate = 44100.0, tone = 32 * rate / n;
    std::vector<float> samples(n + 2);  // the spectrum needs n/2 + 1 complex values: n + 2 floats
    for (int i = 0; i < n; ++i) samples[i] = (float)std::sin(2 * 3.141592653589793 * tone * i / rate);

    fft->InitFFT(n);
    fft->ForwardFFT(samples.data());  // in place; both directions are scaled by 1/sqrt(n)
    std::vector<float> magnitudes(n / 2 + 1);
    fft->GetMagnitudeVector(samples.data(), magnitudes.data(), n / 2 + 1);

    int peak = 0;
    for (int k = 1; k <= n / 2; ++k)
        if (magnitudes[k] > magnitudes[peak]) peak = k;
    std::printf("%d-point FFT of a %.3f Hz tone at %.0f Hz: peak at bin %d (%.1f Hz), magnitude %.2f\n", n, tone, rate,
                peak, peak * rate / n, magnitudes[peak]);

    fft->FreeFFT();
    fft->Release();
    CoUninitialize();
    return 0;
}
