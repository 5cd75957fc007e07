// sonvex-convert and sonvex-spectrum run as processes against the registered Sonvex2.dll:
// frame counts, a tone's frequency and level after conversion, the peak list of a known tone,
// and bad input refused with one line, a non-zero exit and no output left behind.
#include "tests/support/child_process.h"
#include "tools/common/tool_support.h"
#include "tools/common/wav_io.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

using namespace sonvex;

namespace {

// CMake gives the tools' paths as host paths; Wine sees the host root as drive Z:.
std::wstring WindowsPath(const std::string& path) {
    std::string p = path;
    if (!p.empty() && p[0] == '/') p = "Z:" + p;
    for (char& c : p)
        if (c == '/') c = '\\';
    return std::wstring(p.begin(), p.end());
}

std::string ReadText(const std::wstring& path) {
    std::string s;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return s;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) s.append(buf, got);
    CloseHandle(h);
    return s;
}

std::wstring Widen(const std::string& s) {
    int n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, nullptr, 0);
    std::wstring w(n > 0 ? static_cast<size_t>(n) : 1u, L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, &w[0], n);
    w.resize(n > 0 ? static_cast<size_t>(n - 1) : 0u);
    return w;
}

std::string Narrow(const std::wstring& w) {
    int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? static_cast<size_t>(n) : 1u, '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &s[0], n, nullptr, nullptr);
    s.resize(n > 0 ? static_cast<size_t>(n - 1) : 0u);
    return s;
}

struct RunResult {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out, err;
};

class ToolsEndToEnd : public ::testing::Test {
protected:
    // The tools find the server through the registry. Other suites register and unregister it
    // (never at the same time: CTest holds a lock for the registration), so this suite
    // registers the server it was built with before it starts.
    static void SetUpTestSuite() {
        HMODULE server = LoadLibraryW(WindowsPath(SONVEX2_DLL).c_str());
        ASSERT_NE(server, nullptr) << "cannot load " << SONVEX2_DLL;
        typedef HRESULT(STDAPICALLTYPE * RegisterFn)();
        auto registerServer = reinterpret_cast<RegisterFn>(reinterpret_cast<void*>(GetProcAddress(server, "DllRegisterServer")));
        ASSERT_NE(registerServer, nullptr);
        EXPECT_EQ(registerServer(), S_OK);
        FreeLibrary(server);
    }

    void SetUp() override {
        wchar_t temp[MAX_PATH];
        ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
        m_Dir = std::wstring(temp) + L"sonvex_tools_e2e_" + std::to_wstring(GetCurrentProcessId()) + L"\\";
        ASSERT_TRUE(CreateDirectoryW(m_Dir.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    }
    void TearDown() override {
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((m_Dir + L"*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((m_Dir + fd.cFileName).c_str());
            } while (FindNextFileW(h, &fd));
            FindClose(h);
        }
        RemoveDirectoryW(m_Dir.c_str());
    }

    std::string File(const char* name) const { return Narrow(m_Dir) + name; }

    std::vector<std::string> FilesInDir() const {
        std::vector<std::string> names;
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((m_Dir + L"*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(Narrow(fd.cFileName));
            } while (FindNextFileW(h, &fd));
            FindClose(h);
        }
        return names;
    }

    RunResult Run(const char* exe, const std::vector<std::string>& args) {
        std::wstring app = WindowsPath(exe);
        std::wstring cmd = L"\"" + app + L"\"";
        for (const std::string& a : args) cmd += L" \"" + Widen(a) + L"\"";
        const sonvex_test::ChildRun child =
            sonvex_test::RunChildProcess(app, cmd, sonvex_test::kChildDeadlineMilliseconds);
        EXPECT_TRUE(child.exitedNormally() && child.exitCode < 0xC0000000u) << exe << ": " << child.describe();
        RunResult r;
        if (child.exitedNormally()) r.exitCode = child.exitCode;
        r.out = child.out;
        r.err = child.err;
        return r;
    }

    void MakeSignal(const std::string& path, std::vector<std::string> args) {
        args.insert(args.begin(), path);
        RunResult r = Run(SONVEX_TESTSIGNAL_EXE, args);
        ASSERT_EQ(r.exitCode, 0u) << r.err;
    }

    std::wstring m_Dir;
};

// Frequency of a steady sine from its upward zero crossings, interpolated between samples.
double ToneFrequency(const std::vector<float>& x, int channels, size_t first, size_t last, double rate) {
    double firstCrossing = -1, lastCrossing = -1;
    int crossings = 0;
    for (size_t i = first; i + 1 < last; ++i) {
        double a = x[i * channels], b = x[(i + 1) * channels];
        if (a < 0 && b >= 0) {
            double t = i + a / (a - b);
            if (firstCrossing < 0) firstCrossing = t;
            lastCrossing = t;
            ++crossings;
        }
    }
    if (crossings < 2) return 0;
    return (crossings - 1) / (lastCrossing - firstCrossing) * rate;
}

double Rms(const std::vector<float>& x, size_t first, size_t last) {
    double s = 0;
    for (size_t i = first; i < last; ++i) s += double(x[i]) * x[i];
    return std::sqrt(s / double(last - first));
}

// RMS difference, relative to the amplitude, between the output and the ideal sine at the
// resampler's output times: frame k sits at input frame k*step/4096 - 1.
double RelativeError(const std::vector<float>& y, size_t first, size_t last, double amplitude, double frequency,
                     double inRate, int32_t step) {
    const double twoPi = 6.283185307179586;
    double sum = 0;
    for (size_t k = first; k < last; ++k) {
        double t = (static_cast<double>(k) * step / 4096.0 - 1.0) / inRate;
        double e = y[k] - amplitude * std::sin(twoPi * frequency * t);
        sum += e * e;
    }
    return std::sqrt(sum / double(last - first)) / amplitude;
}

bool OneLine(const std::string& text) {
    return !text.empty() && text.back() == '\n' && text.find('\n') == text.size() - 1;
}

}  // namespace

TEST_F(ToolsEndToEnd, ConversionKeepsAToneAndGivesTheCountedFrames) {
    const std::string in = File("tone.wav"), out = File("tone48k.wav");
    MakeSignal(in, {"--rate", "44100", "--seconds", "1", "--channels", "2", "--format", "pcm24", "--tones", "1000",
                    "--tone-level", "-6", "--sweep", "none"});
    RunResult r = Run(SONVEX_CONVERT_EXE, {in, out, "--rate", "48000", "--channels", "1"});
    ASSERT_EQ(r.exitCode, 0u) << r.err;
    EXPECT_NE(r.out.find("44100 frames"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("48002.55 Hz realised (step 3763/4096)"), std::string::npos) << r.out;

    wav::WavData d = wav::ReadWavFile(out);
    EXPECT_EQ(d.format.encoding, wav::SampleEncoding::Float32);
    EXPECT_EQ(d.format.sampleRate, 48000u);
    EXPECT_EQ(d.format.channels, 1);
    EXPECT_EQ(static_cast<int64_t>(d.frames), tools::ConvertedFrameCount(44100, 44100, 48000, 65));
    EXPECT_NE(r.out.find(std::to_string(d.frames) + " frames"), std::string::npos) << r.out;
    // The realised rate is 44100*4096/3763, so at the nominal 48000 the tone reads slightly low.
    const double realised = 44100.0 * 4096 / 3763;
    EXPECT_NEAR(ToneFrequency(d.samples, 1, 2000, d.frames - 2000, 48000.0), 1000.0 * 48000.0 / realised, 0.01);
    // Identical channels mixed by 0.7071 each: amplitude 2*0.7071*10^(-6/20).
    const double amplitude = 2 * 0.7071 * std::pow(10.0, -6.0 / 20);
    EXPECT_NEAR(Rms(d.samples, 2000, d.frames - 2000), amplitude / std::sqrt(2.0), 0.002);
    EXPECT_LT(RelativeError(d.samples, 2000, d.frames - 2000, amplitude, 1000.0, 44100.0, 3763), 0.02);
    for (const std::string& name : FilesInDir()) EXPECT_EQ(name.find(".part"), std::string::npos) << name;
}

TEST_F(ToolsEndToEnd, EqualRatesGiveTheInputBackExactly) {
    const std::string in = File("float.wav"), out = File("same.wav");
    MakeSignal(in, {"--rate", "32000", "--seconds", "0.7", "--channels", "3", "--format", "float"});
    RunResult r = Run(SONVEX_CONVERT_EXE, {in, out, "--rate", "32000", "--taps", "17"});
    ASSERT_EQ(r.exitCode, 0u) << r.err;
    wav::WavData a = wav::ReadWavFile(in), b = wav::ReadWavFile(out);
    ASSERT_EQ(b.frames, a.frames);
    EXPECT_EQ(b.format.channels, 3);
    EXPECT_EQ(b.format.channelMask, a.format.channelMask);
    EXPECT_TRUE(a.samples == b.samples);

    // 5.1 with side speakers: the positions stay when the channel count does.
    const std::string side = File("side51.wav"), sideOut = File("side51_out.wav");
    {
        std::vector<float> frames(6 * 300);
        for (size_t i = 0; i < frames.size(); ++i) frames[i] = static_cast<float>(std::sin(0.37 * double(i)) * 0.5);
        wav::WavWriter w;
        w.Create(side, 32000, 6, wav::SampleEncoding::Float32, 0x60F);
        w.WriteFrames(frames.data(), 300);
        w.Finish();
    }
    r = Run(SONVEX_CONVERT_EXE, {side, sideOut, "--rate", "32000"});
    ASSERT_EQ(r.exitCode, 0u) << r.err;
    wav::WavData c = wav::ReadWavFile(side), e = wav::ReadWavFile(sideOut);
    EXPECT_EQ(e.format.channelMask, 0x60Fu);
    EXPECT_TRUE(c.samples == e.samples);
}

TEST_F(ToolsEndToEnd, LongFilesKeepTheirLogsFreeOfProgressBarsAndDownsamplingCounts) {
    const std::string in = File("long.wav"), out = File("long8k.wav");
    MakeSignal(in, {"--rate", "11025", "--seconds", "12", "--channels", "1", "--format", "pcm16", "--tones", "440",
                    "--sweep", "none"});
    RunResult r = Run(SONVEX_CONVERT_EXE, {in, out, "--rate", "8000", "--taps", "33"});
    ASSERT_EQ(r.exitCode, 0u) << r.err;
    // The error stream is a pipe here, not a console: no progress bar states in it.
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("sonvex-convert: "), std::string::npos) << r.out;
    wav::WavData d = wav::ReadWavFile(out);
    EXPECT_EQ(static_cast<int64_t>(d.frames), tools::ConvertedFrameCount(12 * 11025, 11025, 8000, 33));
    const double realised = 11025.0 * 4096 / tools::ComputeStep(11025, 8000);
    EXPECT_NEAR(ToneFrequency(d.samples, 1, 1000, d.frames - 1000, 8000.0), 440.0 * 8000.0 / realised, 0.01);
    EXPECT_LT(RelativeError(d.samples, 1000, d.frames - 1000, std::pow(10.0, -12.0 / 20), 440.0, 11025.0,
                            tools::ComputeStep(11025, 8000)),
              0.03);
}

TEST_F(ToolsEndToEnd, SpectrumPrintsTheKnownTonesAndDrawsThePlot) {
    const std::string in = File("tones.wav"), svg = File("tones.svg");
    MakeSignal(in, {"--rate", "48000", "--seconds", "1", "--tones", "3000", "--tone-level", "-10", "--sweep", "none"});
    RunResult r = Run(SONVEX_SPECTRUM_EXE, {in, svg, "--size", "4096", "--window", "blackman-harris", "--peaks", "3"});
    ASSERT_EQ(r.exitCode, 0u) << r.err;
    double frequency = 0, level = 0;
    size_t at = r.out.find("peak 1 ");
    ASSERT_NE(at, std::string::npos) << r.out;
    ASSERT_EQ(std::sscanf(r.out.c_str() + at, "peak 1 %lf Hz %lf dB", &frequency, &level), 2) << r.out;
    EXPECT_NEAR(frequency, 3000.0, 1.0);
    EXPECT_NEAR(level, -10.0, 0.5);
    EXPECT_NE(r.out.find("22 frames averaged"), std::string::npos) << r.out;  // 48000 samples, hop 2048
    std::string text = ReadText(Widen(svg));
    EXPECT_EQ(text.compare(0, 5, "<?xml"), 0);
    EXPECT_NE(text.find("Spectrum of tones.wav"), std::string::npos);
    EXPECT_NE(text.find("blackman-harris window"), std::string::npos);
    EXPECT_NE(text.find("</svg>"), std::string::npos);

    // Two tones at 500 and 7000 Hz: both found.
    const std::string in2 = File("tones2.wav");
    MakeSignal(in2, {"--rate", "44100", "--seconds", "2", "--channels", "1", "--tones", "500,7000", "--tone-level",
                     "-20", "--sweep", "none"});
    r = Run(SONVEX_SPECTRUM_EXE, {in2, svg, "--peaks", "2"});
    ASSERT_EQ(r.exitCode, 0u) << r.err;
    double f1 = 0, f2 = 0, l1 = 0, l2 = 0;
    at = r.out.find("peak 1 ");
    ASSERT_NE(at, std::string::npos) << r.out;
    ASSERT_EQ(std::sscanf(r.out.c_str() + at, "peak 1 %lf Hz %lf dB", &f1, &l1), 2);
    at = r.out.find("peak 2 ");
    ASSERT_NE(at, std::string::npos) << r.out;
    ASSERT_EQ(std::sscanf(r.out.c_str() + at, "peak 2 %lf Hz %lf dB", &f2, &l2), 2);
    EXPECT_NEAR(std::min(f1, f2), 500.0, 1.0);
    EXPECT_NEAR(std::max(f1, f2), 7000.0, 1.0);
    EXPECT_NEAR(l1, -20.0, 1.0);
    EXPECT_NEAR(l2, -20.0, 1.0);
}

TEST_F(ToolsEndToEnd, ShortFilesAndUnicodeNamesWork) {
    // Names outside the ANSI code page reach the files through the wide-character API.
    const std::string in = File("t\xC3\xB6n-\xE2\x99\xAA.wav"), out = File("\xE5\xA3\xB0.wav"), svg = File("\xC3\xA9.svg");
    MakeSignal(in, {"--rate", "8000", "--seconds", "0.05", "--channels", "1", "--tones", "1000", "--sweep", "none"});
    RunResult r = Run(SONVEX_CONVERT_EXE, {in, out, "--rate", "16000"});
    ASSERT_EQ(r.exitCode, 0u) << r.err;
    wav::WavData d = wav::ReadWavFile(out);
    EXPECT_EQ(static_cast<int64_t>(d.frames), tools::ConvertedFrameCount(400, 8000, 16000, 65));
    // Shorter than one transform: one zero-padded frame.
    r = Run(SONVEX_SPECTRUM_EXE, {out, svg, "--size", "4096", "--peaks", "1"});
    ASSERT_EQ(r.exitCode, 0u) << r.err;
    EXPECT_NE(r.out.find("1 frame averaged"), std::string::npos) << r.out;
    double frequency = 0, level = 0;
    size_t at = r.out.find("peak 1 ");
    ASSERT_NE(at, std::string::npos) << r.out;
    ASSERT_EQ(std::sscanf(r.out.c_str() + at, "peak 1 %lf Hz %lf dB", &frequency, &level), 2) << r.out;
    EXPECT_NEAR(frequency, 1000.0 * 16000.0 / (8000.0 * 4096 / tools::ComputeStep(8000, 16000)), 2.0);
    EXPECT_NE(ReadText(Widen(svg)).find("</svg>"), std::string::npos);
}

TEST_F(ToolsEndToEnd, BadInputFailsWithOneLineAndLeavesNoOutput) {
    const std::string good = File("good.wav"), out = File("out.wav"), svg = File("out.svg");
    MakeSignal(good, {"--seconds", "0.1"});
    // A truncated header and an 8-bit file.
    {
        std::FILE* f = wav::OpenFileUtf8(File("trunc.wav"), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("RIFF\x24\x00", f);
        std::fclose(f);
    }
    {
        const unsigned char pcm8[] = {'R', 'I', 'F', 'F', 38, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                                      1, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x40, 0x1F, 0, 0, 1, 0, 8, 0, 'd', 'a', 't', 'a', 2, 0,
                                      0, 0, 0x80, 0x80};
        std::FILE* f = wav::OpenFileUtf8(File("pcm8.wav"), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(pcm8, 1, sizeof pcm8, f);
        std::fclose(f);
    }
    struct Case {
        const char* exe;
        std::vector<std::string> args;
        const char* message;
        DWORD exitCode;
    };
    const std::vector<Case> cases = {
        {SONVEX_CONVERT_EXE, {File("missing.wav"), out, "--rate", "48000"}, "cannot open", 1},
        {SONVEX_CONVERT_EXE, {File("trunc.wav"), out, "--rate", "48000"}, "shorter than a RIFF header", 1},
        {SONVEX_CONVERT_EXE, {File("pcm8.wav"), out, "--rate", "48000"}, "unsupported PCM sample size of 8 bits", 1},
        {SONVEX_CONVERT_EXE, {good, out}, "--rate is required", 2},
        {SONVEX_CONVERT_EXE, {good, out, "--rate", "48000", "--taps", "64"}, "tap count 64 is even", 2},
        {SONVEX_CONVERT_EXE, {good, out, "--rate", "48000", "--channels", "9"}, "channel count 9 is out of range", 2},
        {SONVEX_CONVERT_EXE, {good, out, "--rate", "0"}, "rate 0 is out of range", 2},
        {SONVEX_CONVERT_EXE, {good, out, "--rate", "48000", "--speed", "2"}, "unknown option --speed", 2},
        {SONVEX_CONVERT_EXE, {good, File("nodir\\x.wav"), "--rate", "48000"}, "cannot create", 1},
        {SONVEX_SPECTRUM_EXE, {File("missing.wav"), svg}, "cannot open", 1},
        {SONVEX_SPECTRUM_EXE, {File("pcm8.wav"), svg}, "unsupported PCM sample size", 1},
        {SONVEX_SPECTRUM_EXE, {good, svg, "--size", "1000"}, "not a power of two", 2},
        {SONVEX_SPECTRUM_EXE, {good, svg, "--window", "kaiser"}, "unknown window 'kaiser'", 2},
        {SONVEX_SPECTRUM_EXE, {good}, "expected an input WAV and an output SVG file", 2},
    };
    for (const Case& c : cases) {
        RunResult r = Run(c.exe, c.args);
        std::string what = c.args.empty() ? "" : c.args.back();
        EXPECT_EQ(r.exitCode, c.exitCode) << c.message << "\n" << r.err;
        EXPECT_TRUE(OneLine(r.err)) << c.message << ": [" << r.err << "]";
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    // Nothing but the inputs is left in the directory.
    for (const std::string& name : FilesInDir())
        EXPECT_TRUE(name == "good.wav" || name == "trunc.wav" || name == "pcm8.wav") << name;

    // A failing run leaves an existing output file as it was.
    {
        std::FILE* f = wav::OpenFileUtf8(out, "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("keep", f);
        std::fclose(f);
    }
    RunResult r = Run(SONVEX_CONVERT_EXE, {File("trunc.wav"), out, "--rate", "48000"});
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_EQ(ReadText(Widen(out)), "keep");
}
