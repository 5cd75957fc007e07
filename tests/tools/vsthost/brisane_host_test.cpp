// brisane-host driving the real plug-in, Brisane.dll, with the example engine registered
// behind it: what a user of the two sees from the command line.
#include "tests/tools/vsthost/host_runner.h"

using namespace hosttest;

namespace {

typedef HRESULT(STDAPICALLTYPE* ServerProc)();

HMODULE g_engine = nullptr;
std::string g_pluginDir, g_plugin;

class RegisteredEngine : public ::testing::Environment {
public:
    void SetUp() override {
        g_engine = LoadLibraryA(windowsPath(ENGINE_DLL).c_str());
        ASSERT_NE(nullptr, g_engine);
        ASSERT_EQ(S_OK, ((ServerProc)(void*)GetProcAddress(g_engine, "DllRegisterServer"))());
        // A private copy: the plug-in reads its channel limit beside itself, and nothing
        // another test leaves beside the built module may change what is seen here.
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        g_pluginDir = std::string(temp) + "brisane-host-plugin-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(g_pluginDir.c_str(), nullptr);
        g_plugin = g_pluginDir + "\\Brisane.dll";
        ASSERT_TRUE(CopyFileA(windowsPath(BRISANE_DLL).c_str(), g_plugin.c_str(), FALSE));
    }
    void TearDown() override {
        if (g_engine) {
            EXPECT_EQ(S_OK, ((ServerProc)(void*)GetProcAddress(g_engine, "DllUnregisterServer"))());
            FreeLibrary(g_engine);
        }
        DeleteFileA(g_plugin.c_str());
        RemoveDirectoryA(g_pluginDir.c_str());
    }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new RegisteredEngine);

class BrisaneHostTest : public HostTest {};

double rms(const std::vector<float>& v) {
    double sum = 0;
    for (float x : v) sum += (double)x * x;
    return std::sqrt(sum / (double)v.size());
}

TEST_F(BrisaneHostTest, ShowsTheEnginesNameProgramsAndParameters) {
    HostRun r = runHost(quoted(g_plugin));
    ASSERT_EQ(0u, r.exitCode) << r.output;
    for (const char* expected :
         {"Unique ID:       'tqxm'", "Effect name:     Example EQ and Drive", "Product:         Brisane",
          "Programs:        16", "Parameters:      4", "  *  0  Flat", "     4  Loud Master", "     5  <Default>",
          "    0  Output     = 0.5        +0.0 dB", "    1  Drive      = 0          0 %"})
        EXPECT_TRUE(contains(r.output, expected)) << "missing \"" << expected << "\" in:\n" << r.output;
}

TEST_F(BrisaneHostTest, FlatProgramPassesAudioBitForBitAndOutputGainScalesIt) {
    Audio in = stereoSignal(1000);
    std::string input = file("in.wav"), output = file("out.wav");
    writeWav(input, in);
    HostRun r = runHost(quoted(g_plugin) + " -i " + quoted(input) + " -o " + quoted(output) + " --block 100 --quiet");
    ASSERT_EQ(0u, r.exitCode) << r.output;
    expectScaled(in, readWav(output), 1.0f);

    r = runHost(quoted(g_plugin) + " -i " + quoted(input) + " -o " + quoted(output) + " --param 0=0.75 --quiet");
    ASSERT_EQ(0u, r.exitCode) << r.output;
    Audio out = readWav(output);
    ASSERT_EQ(in.samples.size(), out.samples.size());
    const double gain = std::pow(10.0, 12.0 / 20);
    for (size_t k = 0; k < in.samples.size(); ++k) ASSERT_NEAR(gain * in.samples[k], out.samples[k], 1e-6) << k;
}

TEST_F(BrisaneHostTest, LoudProgramRaisesTheLevelWithoutPassingFullScale) {
    std::string signal = file("signal.wav"), output = file("loud.wav");
    ASSERT_EQ(0u, runHost("--make-signal " + quoted(signal) + " --seconds 1").exitCode);
    HostRun r = runHost(quoted(g_plugin) + " -i " + quoted(signal) + " -o " + quoted(output) + " --program 4 --quiet");
    ASSERT_EQ(0u, r.exitCode) << r.output;
    Audio in = readWav(signal), out = readWav(output);
    ASSERT_EQ(in.samples.size(), out.samples.size());
    EXPECT_GT(20 * std::log10(rms(out.samples) / rms(in.samples)), 6.0);
    for (float v : out.samples) ASSERT_LE(std::fabs(v), 0.8913f);  // the clipper's bound at -1 dB
}

TEST_F(BrisaneHostTest, PresetSavedFromOneProgramRecreatesItsSoundElsewhere) {
    std::string signal = file("signal.wav"), preset = file("telephone.fxp"), bank = file("bank.fxb");
    std::string direct = file("direct.wav"), restored = file("restored.wav"), again = file("again.fxb");
    ASSERT_EQ(0u, runHost("--make-signal " + quoted(signal) + " --seconds 0.5").exitCode);
    HostRun r = runHost(quoted(g_plugin) + " --program 3 -i " + quoted(signal) + " -o " + quoted(direct) +
                        " --quiet --save-preset " + quoted(preset) + " --save-bank " + quoted(bank));
    ASSERT_EQ(0u, r.exitCode) << r.output;
    // The plug-in keeps its state in chunks: an opaque-chunk preset holding the 301-byte program
    // chunk, and a bank holding the 4816-byte bank chunk, both marked 'tqxm', version 1500.
    std::vector<uint8_t> p = readBytes(preset), b = readBytes(bank);
    ASSERT_EQ(60u + 301u, p.size());
    ASSERT_EQ(160u + 4816u, b.size());
    EXPECT_EQ(0, std::memcmp(p.data(), "CcnK", 4));
    EXPECT_EQ(0, std::memcmp(p.data() + 8, "FPCh\0\0\0\1tqxm\0\0\x05\xDC", 16));
    EXPECT_EQ(0, std::memcmp(p.data() + 28, "Telephone\0", 10));
    EXPECT_EQ(0, std::memcmp(p.data() + 60 + 276, "Telephone\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 25));
    EXPECT_EQ(0, std::memcmp(b.data() + 8, "FBCh\0\0\0\2tqxm\0\0\x05\xDC\0\0\0\x10\0\0\0\3", 24));
    EXPECT_EQ(0, std::memcmp(b.data() + 160 + 3 * 301, p.data() + 60, 301));

    r = runHost(quoted(g_plugin) + " --load-preset " + quoted(preset) + " -i " + quoted(signal) + " -o " +
                quoted(restored) + " --quiet --info");
    ASSERT_EQ(0u, r.exitCode) << r.output;
    EXPECT_TRUE(contains(r.output, "  *  0  Telephone")) << r.output;
    EXPECT_EQ(readBytes(direct), readBytes(restored));

    // The bank loaded into a fresh plug-in and saved again gives the same file.
    r = runHost(quoted(g_plugin) + " --load-bank " + quoted(bank) + " --save-bank " + quoted(again) + " --info");
    ASSERT_EQ(0u, r.exitCode) << r.output;
    EXPECT_TRUE(contains(r.output, "  *  3  Telephone")) << r.output;
    EXPECT_EQ(b, readBytes(again));
}

}  // namespace
