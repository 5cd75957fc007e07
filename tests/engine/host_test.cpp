// brisane-host run as a program against the GainProbe test plug-in: identity, bit-exact
// processing through known gains, chunk files, and one-line errors.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "wav_file.h"

namespace {

std::string windowsPath(const char* unixPath) {
    std::string w = "Z:";
    for (const char* p = unixPath; *p; ++p) w += *p == '/' ? '\\' : *p;
    return w;
}

const std::string kHost = windowsPath(HOST_EXE);
const std::string kProbe = windowsPath(GAIN_PROBE_DLL);

struct HostRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;  // stdout and stderr together
};

HostRun runHost(const std::string& arguments) {
    HostRun run;
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return run;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = writeEnd;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi = {};
    std::string command = "\"" + kHost + "\" " + arguments;
    std::vector<char> line(command.begin(), command.end());
    line.push_back(0);
    BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(writeEnd);
    if (started) {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) run.output.append(buffer, got);
        WaitForSingleObject(pi.hProcess, INFINITE);
        GetExitCodeProcess(pi.hProcess, &run.exitCode);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    CloseHandle(readEnd);
    return run;
}

class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        m_dir = std::string(temp) + "brisane-host-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        CreateDirectoryA(m_dir.c_str(), nullptr);
    }
    void TearDown() override {
        for (const auto& f : m_files) DeleteFileA(f.c_str());
        RemoveDirectoryA(m_dir.c_str());
    }
    std::string file(const std::string& name) {
        m_files.push_back(m_dir + "\\" + name);
        return m_files.back();
    }
    std::string quoted(const std::string& path) { return "\"" + path + "\""; }

    void writeWav(const std::string& path, const std::vector<uint8_t>& bytes) {
        std::string error;
        ASSERT_TRUE(vsthost::writeFile(path, bytes, error)) << error;
    }
    vsthost::WavAudio readWav(const std::string& path) {
        std::vector<uint8_t> bytes;
        std::string error;
        vsthost::WavAudio a;
        EXPECT_TRUE(vsthost::readFile(path, bytes, error)) << error;
        EXPECT_TRUE(vsthost::parseWav(bytes, a, error)) << error;
        return a;
    }
    std::vector<uint8_t> readBytes(const std::string& path) {
        std::vector<uint8_t> bytes;
        std::string error;
        EXPECT_TRUE(vsthost::readFile(path, bytes, error)) << error;
        return bytes;
    }

private:
    std::string m_dir;
    std::vector<std::string> m_files;
};

// A stereo float signal with values that any power-of-two gain keeps exact.
vsthost::WavAudio stereoSignal(size_t frames) {
    vsthost::WavAudio a;
    a.channels = 2;
    a.sampleRate = 44100;
    for (size_t f = 0; f < frames; ++f) {
        a.samples.push_back(0.6f * (float)std::sin(0.01 * (double)f));
        a.samples.push_back(-0.3f * (float)std::cos(0.003 * (double)f) + 1e-3f);
    }
    return a;
}

void expectScaled(const vsthost::WavAudio& in, const vsthost::WavAudio& out, float gain) {
    ASSERT_EQ(in.channels, out.channels);
    ASSERT_EQ(in.sampleRate, out.sampleRate);
    ASSERT_EQ(in.samples.size(), out.samples.size());
    for (size_t k = 0; k < in.samples.size(); ++k) ASSERT_EQ(in.samples[k] * gain, out.samples[k]) << "sample " << k;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(HostTest, PrintsThePluginsIdentityProgramsAndParameters) {
    HostRun r = runHost(quoted(kProbe) + " --program 1 --param 1=1");
    ASSERT_EQ(0u, r.exitCode) << r.output;
    for (const char* expected :
         {"Magic:           'VstP'", "Unique ID:       'TgPl' (0x5467506C)", "Version:         7",
          "Inputs/outputs:  2 / 2", "Flags:           0x00000030 (CanReplacing ProgramChunks)", "Effect name:     Test Gain",
          "Vendor:          Engine Tests", "Product:         Gain Probe", "Vendor version:  7", "VST version:     2400",
          "Program list (current 1):", "     0  Unity", "  *  1  Half", "     2  Inverted Quarter",
          "    0  Gain       = 0.125      0.5000 x", "    1  Polarity   = 1          Invert"})
        EXPECT_TRUE(contains(r.output, expected)) << "missing \"" << expected << "\" in:\n" << r.output;
}

TEST_F(HostTest, ProcessesFilesBitExactlyInAnyBlockSizeAndInputFormat) {
    vsthost::WavAudio in = stereoSignal(1000);
    std::string input = file("in.wav"), output = file("out.wav");
    writeWav(input, vsthost::buildFloatWav(in));

    HostRun r = runHost(quoted(kProbe) + " -i " + quoted(input) + " -o " + quoted(output) + " --program 1 --block 64");
    ASSERT_EQ(0u, r.exitCode) << r.output;
    EXPECT_TRUE(contains(r.output, "processed 1000 frames of 2 channel(s) at 44100 Hz in blocks of 64")) << r.output;
    EXPECT_TRUE(contains(r.output, "processing [########################################] 100%")) << r.output;
    expectScaled(in, readWav(output), 0.5f);

    r = runHost(quoted(kProbe) + " -i " + quoted(input) + " -o " + quoted(output) + " --param 0=0.0625 --param 1=1 --quiet");
    ASSERT_EQ(0u, r.exitCode) << r.output;
    EXPECT_FALSE(contains(r.output, "processing [")) << r.output;
    expectScaled(in, readWav(output), -0.25f);

    // 16-bit PCM in, one block larger than the file: read as n/32768, scaled exactly.
    vsthost::WavAudio pcm = stereoSignal(300);
    std::string pcmInput = file("pcm16.wav");
    writeWav(pcmInput, vsthost::buildPcm16Wav(pcm));
    r = runHost(quoted(kProbe) + " -i " + quoted(pcmInput) + " -o " + quoted(output) + " --program 2 --block 4096");
    ASSERT_EQ(0u, r.exitCode) << r.output;
    expectScaled(readWav(pcmInput), readWav(output), -0.25f);
}

TEST_F(HostTest, MonoFilesUseTheFirstInputAndGiveMonoFiles) {
    vsthost::WavAudio mono;
    mono.channels = 1;
    mono.sampleRate = 22050;
    for (int i = 0; i < 777; ++i) mono.samples.push_back((float)(i % 100) / 128.0f - 0.3f);
    std::string input = file("mono.wav"), output = file("mono-out.wav");
    writeWav(input, vsthost::buildFloatWav(mono));
    HostRun r = runHost(quoted(kProbe) + " -i " + quoted(input) + " -o " + quoted(output) + " --param 0=0.5 --block 100");
    ASSERT_EQ(0u, r.exitCode) << r.output;
    expectScaled(mono, readWav(output), 2.0f);
}

TEST_F(HostTest, PresetAndBankChunksGoToFilesAndComeBack) {
    std::string preset = file("p.bin"), bank = file("b.bin");
    HostRun r = runHost(quoted(kProbe) + " --program 2 --param 0=0.5 --save-preset " + quoted(preset) + " --save-bank " + quoted(bank));
    ASSERT_EQ(0u, r.exitCode) << r.output;
    EXPECT_TRUE(contains(r.output, "saved preset chunk of 32 bytes")) << r.output;
    EXPECT_TRUE(contains(r.output, "saved bank chunk of 96 bytes")) << r.output;

    std::vector<uint8_t> p = readBytes(preset);
    ASSERT_EQ(32u, p.size());
    EXPECT_EQ(0, std::memcmp(p.data(), "Inverted Quarter\0\0\0\0\0\0\0\0", 24));
    const uint8_t values[8] = {0x00, 0x00, 0x00, 0x3F, 0x00, 0x00, 0x80, 0x3F};  // 0.5, 1.0
    EXPECT_EQ(0, std::memcmp(p.data() + 24, values, 8));
    std::vector<uint8_t> b = readBytes(bank);
    ASSERT_EQ(96u, b.size());
    EXPECT_EQ(0, std::memcmp(b.data(), "Unity", 6));
    EXPECT_EQ(0, std::memcmp(b.data() + 64, p.data(), 32));

    // The saved preset loaded over program 0 in a fresh run: gain 2, inverted.
    vsthost::WavAudio in = stereoSignal(500);
    std::string input = file("in.wav"), output = file("out.wav");
    writeWav(input, vsthost::buildFloatWav(in));
    r = runHost(quoted(kProbe) + " --load-preset " + quoted(preset) + " -i " + quoted(input) + " -o " + quoted(output) + " --info");
    ASSERT_EQ(0u, r.exitCode) << r.output;
    EXPECT_TRUE(contains(r.output, "loaded preset chunk of 32 bytes")) << r.output;
    EXPECT_TRUE(contains(r.output, "  *  0  Inverted Quarter")) << r.output;
    expectScaled(in, readWav(output), -2.0f);

    // A bank with program 0 changed, then program 2 chosen from it.
    std::vector<uint8_t> edited = b;
    const uint8_t quarter[4] = {0x00, 0x00, 0x80, 0x3C};  // 1/64: gain 1/16
    std::memcpy(edited.data() + 64 + 24, quarter, 4);
    std::string editedBank = file("edited.bin");
    writeWav(editedBank, edited);
    r = runHost(quoted(kProbe) + " --load-bank " + quoted(editedBank) + " --program 2 -i " + quoted(input) + " -o " + quoted(output));
    ASSERT_EQ(0u, r.exitCode) << r.output;
    expectScaled(in, readWav(output), -1.0f / 16);
}

TEST_F(HostTest, ErrorsAreOneLineWithANonZeroExit) {
    std::string input = file("in.wav"), junk = file("junk.bin");
    writeWav(input, vsthost::buildFloatWav(stereoSignal(10)));
    writeWav(junk, std::vector<uint8_t>(31, 7));
    struct Case {
        std::string arguments, message;
        DWORD code;
    } cases[] = {
        {quoted(file("missing.dll")), "brisane-host: cannot load", 1},
        {quoted(kHost), "exports neither VSTPluginMain nor main", 1},
        {quoted(kProbe) + " --program 3", "brisane-host: --program 3: the plug-in has programs 0..2", 1},
        {quoted(kProbe) + " --param 2=0.5", "brisane-host: --param 2: the plug-in has parameters 0..1", 1},
        {quoted(kProbe) + " --param 0=1.5", "brisane-host: --param: value 1.5 is outside 0..1", 2},
        {quoted(kProbe) + " --load-preset " + quoted(junk), "brisane-host: the plug-in refused the preset chunk of 31 bytes", 1},
        {quoted(kProbe) + " -i " + quoted(junk), "not a RIFF/WAVE file", 1},
        {quoted(kProbe) + " -i " + quoted(file("none.wav")), "brisane-host: cannot open", 1},
        {quoted(kProbe) + " --block 0", "brisane-host: --block: 0 is outside 1..65536", 2},
        {quoted(kProbe) + " --frobnicate", "brisane-host: unknown option --frobnicate", 2},
        {"", "brisane-host: no plug-in given", 2},
    };
    for (const auto& c : cases) {
        HostRun r = runHost(c.arguments);
        EXPECT_EQ(c.code, r.exitCode) << c.arguments << "\n" << r.output;
        EXPECT_TRUE(contains(r.output, c.message)) << c.arguments << "\n" << r.output;
        size_t lines = 0;
        for (char ch : r.output) lines += ch == '\n';
        EXPECT_LE(lines, c.code == 2 ? 2u : 1u) << r.output;
    }
}

TEST_F(HostTest, MakesATestSignal) {
    std::string signal = file("signal.wav");
    HostRun r = runHost("--make-signal " + quoted(signal) + " --rate 32000 --seconds 0.5");
    ASSERT_EQ(0u, r.exitCode) << r.output;
    vsthost::WavAudio a = readWav(signal);
    EXPECT_EQ(2, a.channels);
    EXPECT_EQ(32000, a.sampleRate);
    EXPECT_EQ(16000u, a.frames());
    float peak = 0;
    for (float v : a.samples) peak = std::max(peak, std::fabs(v));
    EXPECT_GT(peak, 0.3f);
    EXPECT_LT(peak, 0.5f);
}

}  // namespace
