// Eight Brisane instances in front of the example engine, each processing on a thread of its
// own at the same time, round after round for a few seconds: every instance's output equals,
// bit for bit, what the same instance gives when it runs alone, and once the instances are
// closed the process holds the handles and heap bytes it held before.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "plugin/vst/vst_types.h"
#include "tests/support/process_resources.h"

using namespace vst;

namespace {

constexpr int kInstances = 8;
constexpr int kBlocksPerRound = 40;
constexpr int kFrames = 256;
constexpr DWORD kStressMilliseconds = 3000;

std::string WindowsPath(const char* unixPath) {
    std::string w = "Z:";
    for (const char* p = unixPath; *p; ++p) w += *p == '/' ? '\\' : *p;
    return w;
}

std::atomic<int> g_hostCalls{0};

// A host that answers the same from every thread.
VstIntPtr VSTCALLBACK HostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    ++g_hostCalls;
    switch (opcode) {
        case audioMasterVersion: return 2400;
        case audioMasterGetSampleRate: return 48000;
        case audioMasterPinConnected: return 0;
        default: return 0;
    }
}

typedef HRESULT(STDAPICALLTYPE* ServerProc)();

class ExampleEngineAndPlugin : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_engine = LoadLibraryA(WindowsPath(ENGINE_DLL).c_str());
        ASSERT_NE(nullptr, s_engine);
        ASSERT_EQ(S_OK, ((ServerProc)(void*)GetProcAddress(s_engine, "DllRegisterServer"))());
        // A private copy: nothing beside the built module may change its channel count.
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        s_directory = std::string(temp) + "brisane-stress-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(s_directory.c_str(), nullptr);
        const std::string copy = s_directory + "\\Brisane.dll";
        ASSERT_TRUE(CopyFileA(WindowsPath(BRISANE_DLL).c_str(), copy.c_str(), FALSE));
        s_plugin = LoadLibraryA(copy.c_str());
        ASSERT_NE(nullptr, s_plugin);
        s_entry = (PluginEntryProc)(void*)GetProcAddress(s_plugin, "VSTPluginMain");
        ASSERT_NE(nullptr, s_entry);
    }
    static void TearDownTestSuite() {
        if (s_plugin) FreeLibrary(s_plugin);
        DeleteFileA((s_directory + "\\Brisane.dll").c_str());
        RemoveDirectoryA(s_directory.c_str());
        if (s_engine) {
            ((ServerProc)(void*)GetProcAddress(s_engine, "DllUnregisterServer"))();
            FreeLibrary(s_engine);
        }
    }

    static HMODULE s_engine, s_plugin;
    static PluginEntryProc s_entry;
    static std::string s_directory;
};
HMODULE ExampleEngineAndPlugin::s_engine = nullptr;
HMODULE ExampleEngineAndPlugin::s_plugin = nullptr;
PluginEntryProc ExampleEngineAndPlugin::s_entry = nullptr;
std::string ExampleEngineAndPlugin::s_directory;

uint64_t Hash(uint64_t h, const void* data, size_t bytes) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < bytes; ++i) h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

// Instance i plays engine program i % 5 (the engine's own ones, auto gain included) with its
// own signal; the host side (creation, program, resume, close) runs on the calling thread.
AEffect* OpenInstance(PluginEntryProc entry, int index) {
    AEffect* effect = entry(HostCallback);
    if (!effect) return nullptr;
    effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effSetProgram, 0, index % 5, nullptr, 0.0f);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
    return effect;
}

void CloseInstance(AEffect* effect) {
    effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}

// The audio thread's part: a round of blocks through processReplacing; the hash of the output.
uint64_t ProcessRound(AEffect* effect, int index) {
    std::vector<float> in[2], out[2];
    float* inputs[2];
    float* outputs[2];
    for (int c = 0; c < 2; ++c) {
        in[c].resize(kFrames);
        out[c].resize(kFrames);
        inputs[c] = in[c].data();
        outputs[c] = out[c].data();
    }
    uint64_t h = 14695981039346656037ull;
    for (int block = 0; block < kBlocksPerRound; ++block) {
        for (int f = 0; f < kFrames; ++f) {
            const double t = (block * kFrames + f) / 48000.0;
            in[0][f] = static_cast<float>(0.5 * std::sin(6.283185307 * (110.0 * (index + 1)) * t));
            in[1][f] = static_cast<float>(0.3 * std::sin(6.283185307 * (1700.0 + 300.0 * index) * t));
        }
        effect->processReplacing(effect, inputs, outputs, kFrames);
        h = Hash(h, out[0].data(), kFrames * sizeof(float));
        h = Hash(h, out[1].data(), kFrames * sizeof(float));
    }
    return h;
}

// Rounds with all instances at once until the time is up (at least one). Returns the number
// of rounds whose output differed from `expected`.
int RunRounds(PluginEntryProc entry, const std::vector<uint64_t>& expected, DWORD milliseconds, int* rounds) {
    int mismatches = 0;
    const DWORD start = GetTickCount();
    do {
        std::vector<AEffect*> effects(kInstances);
        for (int i = 0; i < kInstances; ++i) effects[i] = OpenInstance(entry, i);
        std::vector<uint64_t> hashes(kInstances, 0);
        std::vector<std::thread> threads;
        for (int i = 0; i < kInstances; ++i)
            if (effects[i]) threads.emplace_back([&, i] { hashes[i] = ProcessRound(effects[i], i); });
        for (std::thread& t : threads) t.join();
        for (int i = 0; i < kInstances; ++i) {
            if (!effects[i] || hashes[i] != expected[i]) ++mismatches;
            if (effects[i]) CloseInstance(effects[i]);
        }
        ++*rounds;
    } while (GetTickCount() - start < milliseconds);
    return mismatches;
}

TEST_F(ExampleEngineAndPlugin, EightInstancesInParallelGiveTheirSingleThreadedOutputAndReleaseEverything) {
    std::vector<uint64_t> expected(kInstances);
    for (int i = 0; i < kInstances; ++i) {
        AEffect* effect = OpenInstance(s_entry, i);
        ASSERT_NE(nullptr, effect) << "instance " << i;
        expected[i] = ProcessRound(effect, i);
        CloseInstance(effect);
    }
    // Different programs and signals give different outputs: the comparison can tell them apart.
    for (int i = 1; i < kInstances; ++i) EXPECT_NE(expected[i], expected[0]) << i;

    int warmUp = 0;
    ASSERT_EQ(0, RunRounds(s_entry, expected, 0, &warmUp));
    const sonvex_test::ProcessResources before = sonvex_test::ProcessResources::Now();
    int rounds = 0;
    const int mismatches = RunRounds(s_entry, expected, kStressMilliseconds, &rounds);
    const sonvex_test::ProcessResources after = sonvex_test::ProcessResources::Now();
    std::printf("[stress] %d instances, %d rounds of %d blocks in %.1f s; handles %lu -> %lu, heap bytes %zu -> %zu\n",
                kInstances, rounds, kBlocksPerRound, kStressMilliseconds / 1000.0,
                static_cast<unsigned long>(before.handles), static_cast<unsigned long>(after.handles),
                before.heapBytes, after.heapBytes);
    EXPECT_EQ(0, mismatches) << "of " << rounds * kInstances << " instance rounds";
    // A handle per round would show as dozens; the system may make one or two of its own the
    // first time threads contend for one of its locks, which can fall in the measured rounds.
    EXPECT_LE(after.handles, before.handles + 2);
    EXPECT_LE(after.heapBytes, before.heapBytes + 16384) << "grew by " << after.heapBytes - before.heapBytes;
}

}  // namespace
