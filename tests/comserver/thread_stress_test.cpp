// Eight threads, each in its own apartment with its own CAudioResampler and CFourierTransform
// made through the registered server, running rounds of mixed work for a few seconds: every
// round's output equals, bit for bit, what the same round gives on one thread alone, and once
// the objects are released the process holds the handles and heap bytes it held before; and
// resamplers made and released one after another leave the heap as it was.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <vector>

#include "sonvex_h.h"
#include "tests/support/process_resources.h"

namespace {

constexpr int kThreads = 8;
constexpr DWORD kStressMilliseconds = 3000;

uint64_t Hash(uint64_t h, const void* data, size_t bytes) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < bytes; ++i) h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

struct ResamplerSetting {
    LONG origRate, newRate;
    SHORT origChannels, newChannels, taps;
};
const ResamplerSetting kSettings[kThreads] = {
    {44100, 48000, 2, 2, 33}, {48000, 44100, 2, 1, 65}, {96000, 48000, 1, 2, 17}, {22050, 44100, 6, 2, 9},
    {8000, 11025, 1, 1, 129}, {48000, 48000, 2, 2, 5},  {32000, 96000, 8, 6, 33}, {44100, 22050, 2, 2, 257}};

// One round of thread `index`'s work on fresh objects; the hash of every output, or 0 when a
// call failed.
uint64_t RunRound(int index) {
    uint64_t h = 14695981039346656037ull;
    IAudioResampler* resampler = nullptr;
    IFourierTransform* fourier = nullptr;
    if (FAILED(CoCreateInstance(CLSID_CAudioResampler, nullptr, CLSCTX_INPROC_SERVER, IID_IAudioResampler,
                                reinterpret_cast<void**>(&resampler))))
        return 0;
    if (FAILED(CoCreateInstance(CLSID_CFourierTransform, nullptr, CLSCTX_INPROC_SERVER, IID_IFourierTransform,
                                reinterpret_cast<void**>(&fourier)))) {
        resampler->Release();
        return 0;
    }
    bool ok = true;
    const ResamplerSetting& s = kSettings[index];
    ok = ok && SUCCEEDED(resampler->Initialize(s.origRate, s.newRate, s.origChannels, s.newChannels, s.taps));
    uint32_t seed = 12345u + 977u * static_cast<uint32_t>(index);
    const LONG fftLength = 128L << (index % 6);
    std::vector<float> frame(static_cast<size_t>(fftLength) + 2), window(static_cast<size_t>(fftLength)),
        magnitudes(static_cast<size_t>(fftLength) / 2 + 1), phases(magnitudes.size());
    ok = ok && SUCCEEDED(fourier->InitFFT(fftLength));
    for (int block = 0; ok && block < 12; ++block) {
        // Resampler: a block of an odd number of whole frames, then what it gives back.
        seed = seed * 1103515245u + 12345u;
        const ULONG frames = 50 + (seed >> 16) % 700;
        SAFEARRAY* input = SafeArrayCreateVector(VT_R4, 0, frames * static_cast<ULONG>(s.origChannels));
        float* samples = nullptr;
        ok = input && SUCCEEDED(SafeArrayAccessData(input, reinterpret_cast<void**>(&samples)));
        for (ULONG i = 0; ok && i < frames * static_cast<ULONG>(s.origChannels); ++i)
            samples[i] = static_cast<float>(std::sin(0.001 * (i + block * 977) * (index + 1)));
        if (samples) SafeArrayUnaccessData(input);
        ok = ok && SUCCEEDED(resampler->AddBlock(input));
        if (input) SafeArrayDestroy(input);
        SAFEARRAY* output = nullptr;
        ok = ok && SUCCEEDED(resampler->GetProcessedBlock(&output));
        if (output) {
            LONG lower = 0, upper = -1;
            SafeArrayGetLBound(output, 1, &lower);
            SafeArrayGetUBound(output, 1, &upper);
            float* out = nullptr;
            if (upper >= lower && SUCCEEDED(SafeArrayAccessData(output, reinterpret_cast<void**>(&out)))) {
                h = Hash(h, out, static_cast<size_t>(upper - lower + 1) * sizeof(float));
                SafeArrayUnaccessData(output);
            }
            SafeArrayDestroy(output);
        }
        // Transform: a windowed frame forward, its magnitudes and phases, and back.
        for (LONG i = 0; i < fftLength; ++i)
            frame[static_cast<size_t>(i)] = static_cast<float>(std::cos(0.013 * i * (block + 1)) + 0.25 * (i % 7));
        ok = ok && SUCCEEDED(fourier->CalcWindow(static_cast<SHORT>(1 + (block + index) % 4), window.data(), fftLength, 0.0f));
        ok = ok && SUCCEEDED(fourier->PointWiseMult(frame.data(), window.data(), frame.data(), fftLength));
        ok = ok && SUCCEEDED(fourier->ForwardFFT(frame.data()));
        ok = ok && SUCCEEDED(fourier->GetMagnitudeVector(frame.data(), magnitudes.data(), fftLength / 2 + 1));
        ok = ok && SUCCEEDED(fourier->GetPhaseVector(frame.data(), phases.data(), fftLength / 2 + 1));
        h = Hash(h, frame.data(), frame.size() * sizeof(float));
        h = Hash(h, magnitudes.data(), magnitudes.size() * sizeof(float));
        h = Hash(h, phases.data(), phases.size() * sizeof(float));
        ok = ok && SUCCEEDED(fourier->InverseFFT(frame.data()));
        h = Hash(h, frame.data(), static_cast<size_t>(fftLength) * sizeof(float));
    }
    ok = ok && SUCCEEDED(fourier->FreeFFT());
    fourier->Release();
    resampler->Release();
    return ok ? h : 0;
}

struct ThreadResult {
    int rounds = 0;
    int mismatches = 0;
};

// Runs thread `index`'s rounds in an apartment of its own until the time is up (at least one).
void RunThread(int index, uint64_t expected, DWORD milliseconds, ThreadResult* result) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const DWORD start = GetTickCount();
    do {
        if (RunRound(index) != expected) ++result->mismatches;
        ++result->rounds;
    } while (GetTickCount() - start < milliseconds);
    CoUninitialize();
}

std::vector<ThreadResult> RunAllThreads(const std::vector<uint64_t>& expected, DWORD milliseconds) {
    std::vector<ThreadResult> results(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) threads.emplace_back(RunThread, i, expected[i], milliseconds, &results[i]);
    for (std::thread& t : threads) t.join();
    return results;
}

TEST(ComServerThreads, EightThreadsGiveTheSingleThreadedResultsAndReleaseEverything) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::vector<uint64_t> expected(kThreads);
    for (int i = 0; i < kThreads; ++i) {
        expected[i] = RunRound(i);
        ASSERT_NE(expected[i], 0u) << "thread " << i << "'s work failed on its own (is the server registered?)";
    }
    // One short round first: whatever the process keeps once (class objects, the threads'
    // first-use data in the system libraries) is then in place before the count is taken.
    for (const ThreadResult& r : RunAllThreads(expected, 0)) ASSERT_EQ(r.mismatches, 0);
    CoFreeUnusedLibraries();
    const sonvex_test::ProcessResources before = sonvex_test::ProcessResources::Now();

    const std::vector<ThreadResult> results = RunAllThreads(expected, kStressMilliseconds);
    CoFreeUnusedLibraries();
    const sonvex_test::ProcessResources after = sonvex_test::ProcessResources::Now();
    int rounds = 0;
    for (int i = 0; i < kThreads; ++i) {
        EXPECT_EQ(results[i].mismatches, 0) << "thread " << i << " of " << results[i].rounds << " rounds";
        EXPECT_GE(results[i].rounds, 1);
        rounds += results[i].rounds;
    }
    std::printf("[stress] %d threads, %d rounds in %.1f s; handles %lu -> %lu, heap bytes %zu -> %zu\n", kThreads,
                rounds, kStressMilliseconds / 1000.0, static_cast<unsigned long>(before.handles),
                static_cast<unsigned long>(after.handles), before.heapBytes, after.heapBytes);
    // A handle per round would show as dozens. The system may make one or two of its own the
    // first time threads contend for one of its locks, which can fall in the measured rounds.
    EXPECT_LE(after.handles, before.handles + 2);
    // The heap gives back what the rounds took; a few kilobytes of the system's own per-thread
    // bookkeeping may come and go.
    EXPECT_LE(after.heapBytes, before.heapBytes + 16384) << "grew by " << after.heapBytes - before.heapBytes;
    CoUninitialize();
}

}  // namespace

namespace {

// Resamplers made, used for one block and released, one after another on this thread.
void UseResamplers(int count) {
    for (int i = 0; i < count; ++i) {
        IAudioResampler* resampler = nullptr;
        ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_CAudioResampler, nullptr, CLSCTX_INPROC_SERVER,
                                                  IID_IAudioResampler, reinterpret_cast<void**>(&resampler)));
        EXPECT_HRESULT_SUCCEEDED(resampler->Initialize(44100, 48000, 2, 2, 1));  // a short kernel: a cheap table
        SAFEARRAY* input = SafeArrayCreateVector(VT_R4, 0, 400);
        EXPECT_HRESULT_SUCCEEDED(resampler->AddBlock(input));
        SafeArrayDestroy(input);
        SAFEARRAY* output = nullptr;
        EXPECT_HRESULT_SUCCEEDED(resampler->GetProcessedBlock(&output));
        if (output) SafeArrayDestroy(output);
        resampler->Release();
    }
}

}  // namespace

// Nothing may stay behind per object, not even the few bytes a lock keeps once it was taken.
TEST(ComServerObjects, ResamplersLeaveTheHeapAsTheyFoundIt) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    constexpr int kObjects = 200;
    UseResamplers(20);
    const size_t before = sonvex_test::HeapBytesInUse();
    UseResamplers(kObjects);
    const size_t after = sonvex_test::HeapBytesInUse();
    EXPECT_LT(after, before + kObjects) << "grew by " << after - before << " bytes over " << kObjects << " objects";
    CoUninitialize();
}
