// Cost of the COM layer of Sonvex2.dll, measured in one process:
//   - AddBlock + GetProcessedBlock through IAudioResampler against CResamplerCore called
//     directly, 4096-frame stereo blocks, 44100 -> 48000 with 65 taps;
//   - ForwardFFT of 1024 points through the IFourierTransform vtable and through
//     IDispatch::Invoke against the kernel call RealFftForward.
// Rounds of the contenders alternate and the median round is reported, so drifts of the machine
// hit all of them alike. Prints times and ratios; asserts nothing about speed.
//
// usage: comserver_bench [PATH\Sonvex2.dll] [--quick]
// Objects come from the given DLL's class objects, or from the registered server without a path.
#include "dsp/kernels/kernels.h"
#include "dsp/resampler/resampler.h"

#include "sonvex_h.h"
#include "tests/support/bench_report.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

typedef HRESULT(STDAPICALLTYPE* GetClassObjectFn)(REFCLSID, REFIID, void**);

// Creates an object of the server. With a DLL path the object comes from that DLL's own
// DllGetClassObject, so the library measured is the one built beside this program whatever the
// registry says; without one, from the registered server through CoCreateInstance. The calls
// afterwards are the same vtable calls either way.
HRESULT CreateObject(REFCLSID clsid, REFIID iid, void** out, const std::wstring& dllPath, const char** how) {
    if (dllPath.empty()) {
        *how = "CoCreateInstance (registered server)";
        return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, out);
    }
    HMODULE module = LoadLibraryW(dllPath.c_str());
    if (!module) return HRESULT_FROM_WIN32(GetLastError());
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    if (!getClassObject) return E_FAIL;
    IClassFactory* factory = nullptr;
    HRESULT hr = getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(nullptr, iid, out);
    factory->Release();
    *how = "the class object of the given DLL (DllGetClassObject)";
    return hr;
}

std::vector<float> StereoTestSignal(size_t frames) {
    std::vector<float> x(frames * 2);
    uint32_t noise = 12345;
    for (size_t i = 0; i < frames; ++i) {
        noise = noise * 1664525u + 1013904223u;
        double t = static_cast<double>(i) / 44100.0;
        x[2 * i] = static_cast<float>(0.4 * std::sin(2 * 3.141592653589793 * 997.0 * t));
        x[2 * i + 1] = static_cast<float>((static_cast<int32_t>(noise) >> 8) / 16777216.0);
    }
    return x;
}

// Time spent in each step of a round, seconds.
struct ComRound {
    double addBlock = 0, getProcessedBlock = 0, destroy = 0, total = 0;
};
struct DirectRound {
    double addSamples = 0, produce = 0, total = 0;
};

// The input arrays are made once, as a client that fills its SAFEARRAYs directly would have
// them; the output array of every call is the server's, destroyed by the client.
std::vector<SAFEARRAY*> MakeInputArrays(const std::vector<float>& signal, size_t blockSamples) {
    std::vector<SAFEARRAY*> arrays;
    for (size_t at = 0; at + blockSamples <= signal.size(); at += blockSamples) {
        SAFEARRAY* a = SafeArrayCreateVector(VT_R4, 0, static_cast<ULONG>(blockSamples));
        float* data = nullptr;
        SafeArrayAccessData(a, reinterpret_cast<void**>(&data));
        std::memcpy(data, signal.data() + at, blockSamples * sizeof(float));
        SafeArrayUnaccessData(a);
        arrays.push_back(a);
    }
    return arrays;
}

// With `steps`, every call is timed on its own (a timestamp costs about 0.1 us under Wine, so
// the rounds that give the ratios take none inside the loop).
ComRound RoundThroughCom(IAudioResampler* r, const std::vector<SAFEARRAY*>& inputs, std::vector<float>* collect,
                         bool steps = false) {
    ComRound t;
    const double start = Now();
    for (SAFEARRAY* input : inputs) {
        const double t0 = steps ? Now() : 0;
        r->AddBlock(input);
        const double t1 = steps ? Now() : 0;
        SAFEARRAY* output = nullptr;
        r->GetProcessedBlock(&output);
        const double t2 = steps ? Now() : 0;
        if (collect) {
            LONG upper = -1;
            SafeArrayGetUBound(output, 1, &upper);
            float* out = nullptr;
            SafeArrayAccessData(output, reinterpret_cast<void**>(&out));
            if (upper >= 0) collect->insert(collect->end(), out, out + upper + 1);
            SafeArrayUnaccessData(output);
        }
        const double t3 = steps ? Now() : 0;
        SafeArrayDestroy(output);
        const double t4 = steps ? Now() : 0;
        t.addBlock += t1 - t0;
        t.getProcessedBlock += t2 - t1;
        t.destroy += t4 - t3;
    }
    t.total = Now() - start;
    return t;
}

DirectRound RoundDirect(sonvex::CResamplerCore& core, const std::vector<float>& signal, size_t blockSamples,
                        std::vector<float>& out, std::vector<float>* collect, bool steps = false) {
    DirectRound t;
    const double start = Now();
    for (size_t at = 0; at + blockSamples <= signal.size(); at += blockSamples) {
        const double t0 = steps ? Now() : 0;
        core.AddSamples(signal.data() + at, static_cast<int64_t>(blockSamples));
        const double t1 = steps ? Now() : 0;
        int64_t frames = 0;
        core.CountOutputFrames(&frames);
        if (frames > 0) {
            if (out.size() < static_cast<size_t>(frames) * 2) out.resize(static_cast<size_t>(frames) * 2);
            core.ProduceFrames(out.data(), frames);
        }
        const double t2 = steps ? Now() : 0;
        if (collect && frames > 0) collect->insert(collect->end(), out.begin(), out.begin() + frames * 2);
        t.addSamples += t1 - t0;
        t.produce += t2 - t1;
    }
    t.total = Now() - start;
    return t;
}

// The core as the COM object drives it, without the interface: a new SAFEARRAY per block.
DirectRound RoundCoreIntoSafeArrays(sonvex::CResamplerCore& core, const std::vector<float>& signal, size_t blockSamples) {
    DirectRound t;
    const double start = Now();
    for (size_t at = 0; at + blockSamples <= signal.size(); at += blockSamples) {
        core.AddSamples(signal.data() + at, static_cast<int64_t>(blockSamples));
        int64_t frames = 0;
        core.CountOutputFrames(&frames);
        SAFEARRAY* output = SafeArrayCreateVector(VT_R4, 0, static_cast<ULONG>(frames * 2));
        float* data = nullptr;
        SafeArrayAccessData(output, reinterpret_cast<void**>(&data));
        if (frames > 0) core.ProduceFrames(data, frames);
        SafeArrayUnaccessData(output);
        SafeArrayDestroy(output);
    }
    t.total = Now() - start;
    return t;
}

template <class Round, class Field>
double MedianOf(const std::vector<Round>& rounds, Field field) {
    std::vector<double> v;
    for (const Round& r : rounds) v.push_back(r.*field);
    return Median(v);
}
template <class Round>
double MinimumTotal(const std::vector<Round>& rounds) {
    double m = rounds.front().total;
    for (const Round& r : rounds) m = std::min(m, r.total);
    return m;
}

bool BenchResampler(const std::wstring& dllPath, int rounds, double seconds) {
    const size_t blockFrames = 4096, blockSamples = blockFrames * 2;
    const size_t blocks = static_cast<size_t>(seconds * 44100 / blockFrames) + 1;
    const std::vector<float> signal = StereoTestSignal(blocks * blockFrames);
    const std::vector<SAFEARRAY*> inputs = MakeInputArrays(signal, blockSamples);
    const char* how = "";
    IAudioResampler* com = nullptr;
    HRESULT hr = CreateObject(CLSID_CAudioResampler, IID_IAudioResampler, reinterpret_cast<void**>(&com), dllPath, &how);
    if (FAILED(hr)) {
        std::printf("cannot create CAudioResampler: 0x%08lX\n", static_cast<unsigned long>(hr));
        return false;
    }
    std::printf("resampler objects from %s\n", how);

    // Same stream through both: the outputs must agree to the bit.
    std::vector<float> viaCom, viaCore, scratch;
    com->Initialize(44100, 48000, 2, 2, 65);
    RoundThroughCom(com, inputs, &viaCom);
    sonvex::CResamplerCore check;
    check.Initialize(44100, 48000, 2, 2, 65);
    RoundDirect(check, signal, blockSamples, scratch, &viaCore);
    const bool identical = viaCom.size() == viaCore.size() &&
                           std::memcmp(viaCom.data(), viaCore.data(), viaCom.size() * sizeof(float)) == 0;

    std::vector<ComRound> comRounds;
    std::vector<DirectRound> directRounds, arrayRounds;
    for (int round = 0; round < rounds; ++round) {
        // A fresh configuration each round: a different kernel length forces a rebuild, then back.
        com->Initialize(44100, 48000, 2, 2, 63);
        com->Initialize(44100, 48000, 2, 2, 65);
        sonvex::CResamplerCore core, arrayCore;
        core.Initialize(44100, 48000, 2, 2, 65);
        arrayCore.Initialize(44100, 48000, 2, 2, 65);
        if (round % 2 == 0) {
            comRounds.push_back(RoundThroughCom(com, inputs, nullptr));
            directRounds.push_back(RoundDirect(core, signal, blockSamples, scratch, nullptr));
            arrayRounds.push_back(RoundCoreIntoSafeArrays(arrayCore, signal, blockSamples));
        } else {
            arrayRounds.push_back(RoundCoreIntoSafeArrays(arrayCore, signal, blockSamples));
            directRounds.push_back(RoundDirect(core, signal, blockSamples, scratch, nullptr));
            comRounds.push_back(RoundThroughCom(com, inputs, nullptr));
        }
    }
    // A few more rounds with every call timed, for the split of the time between the calls.
    std::vector<ComRound> comSteps;
    std::vector<DirectRound> directSteps;
    for (int round = 0; round < std::max(3, rounds / 3); ++round) {
        com->Initialize(44100, 48000, 2, 2, 63);
        com->Initialize(44100, 48000, 2, 2, 65);
        sonvex::CResamplerCore core;
        core.Initialize(44100, 48000, 2, 2, 65);
        comSteps.push_back(RoundThroughCom(com, inputs, nullptr, true));
        directSteps.push_back(RoundDirect(core, signal, blockSamples, scratch, nullptr, true));
    }
    com->Release();
    for (SAFEARRAY* a : inputs) SafeArrayDestroy(a);

    const double perBlock = 1e6 / static_cast<double>(blocks);
    const double com_ = MedianOf(comRounds, &ComRound::total), direct = MedianOf(directRounds, &DirectRound::total);
    const double comMin = MinimumTotal(comRounds), directMin = MinimumTotal(directRounds);
    std::printf("\nresampler, 4096-frame stereo blocks, 44100 -> 48000, 65 taps (%zu blocks a round, %d rounds)\n",
                blocks, rounds);
    std::printf("  %-44s %8.1f us per block (median round; fastest %.1f)\n", "CResamplerCore directly", direct * perBlock,
                directMin * perBlock);
    std::printf("      AddSamples %.1f, CountOutputFrames + ProduceFrames %.1f\n",
                MedianOf(directSteps, &DirectRound::addSamples) * perBlock,
                MedianOf(directSteps, &DirectRound::produce) * perBlock);
    std::printf("  %-44s %8.1f us per block (median round; fastest %.1f)\n", "AddBlock + GetProcessedBlock through COM",
                com_ * perBlock, comMin * perBlock);
    std::printf("      AddBlock %.1f, GetProcessedBlock %.1f, SafeArrayDestroy of the result %.1f\n",
                MedianOf(comSteps, &ComRound::addBlock) * perBlock,
                MedianOf(comSteps, &ComRound::getProcessedBlock) * perBlock,
                MedianOf(comSteps, &ComRound::destroy) * perBlock);
    std::printf("  %-44s %8.1f us per block (median round; fastest %.1f)\n", "CResamplerCore into a new SAFEARRAY per block",
                MedianOf(arrayRounds, &DirectRound::total) * perBlock, MinimumTotal(arrayRounds) * perBlock);
    std::printf("  COM / direct = %.4f median rounds, %.4f fastest rounds (COM-layer overhead %+.2f %% / %+.2f %%)\n",
                com_ / direct, comMin / directMin, (com_ / direct - 1.0) * 100.0, (comMin / directMin - 1.0) * 100.0);
    std::printf("  outputs %s (%zu frames)\n", identical ? "bit-identical" : "DIFFERENT", viaCom.size() / 2);
    return identical;
}

bool BenchFourier(const std::wstring& dllPath, int rounds, int callsPerRound) {
    const int n = 1024;
    const char* how = "";
    IFourierTransform* fourier = nullptr;
    HRESULT hr = CreateObject(CLSID_CFourierTransform, IID_IFourierTransform, reinterpret_cast<void**>(&fourier), dllPath, &how);
    if (FAILED(hr)) {
        std::printf("cannot create CFourierTransform: 0x%08lX\n", static_cast<unsigned long>(hr));
        return false;
    }
    std::printf("\nFourier objects from %s\n", how);
    fourier->InitFFT(n);

    // The kernel the DLL runs, in this process: same version (chosen in main), same setup.
    sonvex::RealFftSetup* setup = nullptr;
    sonvex::CreateRealFftSetup(10, sonvex::ScaleBothBySqrtN, &setup);
    int32_t workBytes = 0;
    sonvex::GetRealFftBufferSize(setup, &workBytes);
    void* work = sonvex::AllocAligned(workBytes);

    std::vector<float> input(n + 2);
    for (int i = 0; i < n; ++i) input[i] = static_cast<float>(std::sin(0.01 * i * i) * 0.5);
    float* buffer = static_cast<float*>(sonvex::AllocAligned((n + 2) * static_cast<int32_t>(sizeof(float))));

    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_BYREF | VT_R4;
    arg.pfltVal = buffer;
    DISPPARAMS params = {&arg, nullptr, 1, 0};

    // Results agree across the three paths.
    std::vector<float> a(n + 2), b(n + 2), c(n + 2);
    std::memcpy(buffer, input.data(), (n + 2) * sizeof(float));
    sonvex::RealFftForward(buffer, buffer, setup, work);
    std::memcpy(a.data(), buffer, (n + 2) * sizeof(float));
    std::memcpy(buffer, input.data(), (n + 2) * sizeof(float));
    fourier->ForwardFFT(buffer);
    std::memcpy(b.data(), buffer, (n + 2) * sizeof(float));
    std::memcpy(buffer, input.data(), (n + 2) * sizeof(float));
    HRESULT invoked = fourier->Invoke(7, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    std::memcpy(c.data(), buffer, (n + 2) * sizeof(float));
    const bool identical = invoked == S_OK && a == b && a == c;

    auto timeKernel = [&] {
        double start = Now();
        for (int i = 0; i < callsPerRound; ++i) {
            std::memcpy(buffer, input.data(), n * sizeof(float));
            sonvex::RealFftForward(buffer, buffer, setup, work);
        }
        return (Now() - start) / callsPerRound;
    };
    auto timeVtable = [&] {
        double start = Now();
        for (int i = 0; i < callsPerRound; ++i) {
            std::memcpy(buffer, input.data(), n * sizeof(float));
            fourier->ForwardFFT(buffer);
        }
        return (Now() - start) / callsPerRound;
    };
    auto timeInvoke = [&] {
        double start = Now();
        for (int i = 0; i < callsPerRound; ++i) {
            std::memcpy(buffer, input.data(), n * sizeof(float));
            fourier->Invoke(7, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
        }
        return (Now() - start) / callsPerRound;
    };
    std::vector<double> kernel, vtable, invoke;
    for (int round = 0; round < rounds; ++round) {
        switch (round % 3) {
            case 0: kernel.push_back(timeKernel()); vtable.push_back(timeVtable()); invoke.push_back(timeInvoke()); break;
            case 1: vtable.push_back(timeVtable()); invoke.push_back(timeInvoke()); kernel.push_back(timeKernel()); break;
            default: invoke.push_back(timeInvoke()); kernel.push_back(timeKernel()); vtable.push_back(timeVtable()); break;
        }
    }
    const double k = Median(kernel), v = Median(vtable), d = Median(invoke);
    std::printf("ForwardFFT, N = 1024, in place, each call after a copy of the 1024 input samples\n");
    std::printf("  (%d calls a round, median of %d rounds; kernel version %s)\n", callsPerRound, rounds,
                sonvex::KernelVersionName(sonvex::ActiveKernelVersion()));
    std::printf("  %-46s %9.1f ns per call\n", "RealFftForward (kernel)", k * 1e9);
    std::printf("  %-46s %9.1f ns per call   ratio to kernel %.3f\n", "IFourierTransform::ForwardFFT (vtable)", v * 1e9, v / k);
    std::printf("  %-46s %9.1f ns per call   ratio to kernel %.3f\n", "IDispatch::Invoke(DISPID 7)", d * 1e9, d / k);
    std::printf("  results %s\n", identical ? "bit-identical on all three paths" : "DIFFER between the paths");

    sonvex::FreeAligned(buffer);
    sonvex::FreeAligned(work);
    sonvex::ReleaseRealFftSetup(setup);
    fourier->FreeFFT();
    fourier->Release();
    return identical;
}

}  // namespace

int main(int argc, char** argv) {
    std::wstring dllPath;
    bool quick = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--quick") quick = true;
        else dllPath.assign(a.begin(), a.end());
    }
    if (!dllPath.empty() && dllPath[0] == L'/') dllPath = L"Z:" + dllPath;  // host path under Wine
    for (wchar_t& ch : dllPath)
        if (ch == L'/') ch = L'\\';
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::printf("COM initialisation failed\n");
        return 1;
    }
    // The direct calls run the kernel version the server chooses on its first object.
    sonvex::InitProcessorDispatch();
    std::printf("processor: %s\n", sonvex_bench::ProcessorReport().c_str());
    std::printf("build: %s\n", sonvex_bench::BuildReport());
    std::printf("ours %s: %s\n", sonvex::KernelVersionName(sonvex::ActiveKernelVersion()),
                sonvex_bench::RoutinesReport(sonvex::detail::ActiveKernelRow()).c_str());
    bool ok = BenchResampler(dllPath, quick ? 5 : 31, quick ? 3.0 : 10.0);
    ok = BenchFourier(dllPath, quick ? 9 : 21, quick ? 2000 : 20000) && ok;
    CoUninitialize();
    return ok ? 0 : 1;
}
