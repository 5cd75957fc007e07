// Runs brisane-host as a separate program under the test's own Wine and gives each test a
// scratch directory; shared by the host tests.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tools/common/wav_io.h"

namespace hosttest {

inline std::string windowsPath(const char* unixPath) {
    std::string w = "Z:";
    for (const char* p = unixPath; *p; ++p) w += *p == '/' ? '\\' : *p;
    return w;
}

const std::string kHost = windowsPath(HOST_EXE);

struct HostRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;  // stdout and stderr together
};

inline HostRun runHost(const std::string& arguments) {
    const std::string command = "\"" + kHost + "\" " + arguments;
    std::wstring wideCommand(MultiByteToWideChar(CP_ACP, 0, command.c_str(), -1, nullptr, 0), L'\0');
    MultiByteToWideChar(CP_ACP, 0, command.c_str(), -1, &wideCommand[0], int(wideCommand.size()));
    wideCommand.pop_back();  // the terminator
    const sonvex_test::ChildRun child =
        sonvex_test::RunChildProcess(std::wstring(), wideCommand, sonvex_test::kChildDeadlineMilliseconds, true);
    HostRun run;
    run.exitCode = child.exitedNormally() ? child.exitCode : 0xFFFFFFFF;
    // A run that did not end by itself, or ended by an exception, says so in its output.
    run.output = child.exitedNormally() && child.exitCode < 0xC0000000u ? child.out : child.describe();
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

    void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr) << path;
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    std::vector<uint8_t> readBytes(const std::string& path) {
        std::vector<uint8_t> bytes;
        std::FILE* f = std::fopen(path.c_str(), "rb");
        EXPECT_NE(f, nullptr) << path;
        if (!f) return bytes;
        int c;
        while ((c = std::fgetc(f)) != EOF) bytes.push_back((uint8_t)c);
        std::fclose(f);
        return bytes;
    }

private:
    std::string m_dir;
    std::vector<std::string> m_files;
};

struct Audio {
    int channels = 0;
    int sampleRate = 0;
    std::vector<float> samples;  // frames x channels, interleaved
    size_t frames() const { return channels > 0 ? samples.size() / (size_t)channels : 0; }
};

inline void writeWav(const std::string& path, const Audio& audio,
                     sonvex::wav::SampleEncoding encoding = sonvex::wav::SampleEncoding::Float32) {
    sonvex::wav::WavWriter writer;
    writer.Create(path, (uint32_t)audio.sampleRate, audio.channels, encoding);
    writer.WriteFrames(audio.samples.data(), audio.frames());
    writer.Finish();
}

inline Audio readWav(const std::string& path) {
    Audio audio;
    try {
        sonvex::wav::WavData data = sonvex::wav::ReadWavFile(path);
        audio.channels = data.format.channels;
        audio.sampleRate = (int)data.format.sampleRate;
        audio.samples = std::move(data.samples);
    } catch (const sonvex::wav::WavError& e) {
        ADD_FAILURE() << e.what();
    }
    return audio;
}

// A stereo float signal with values that any power-of-two gain keeps exact.
inline Audio stereoSignal(size_t frames) {
    Audio a;
    a.channels = 2;
    a.sampleRate = 44100;
    for (size_t f = 0; f < frames; ++f) {
        a.samples.push_back(0.6f * (float)std::sin(0.01 * (double)f));
        a.samples.push_back(-0.3f * (float)std::cos(0.003 * (double)f) + 1e-3f);
    }
    return a;
}

inline void expectScaled(const Audio& in, const Audio& out, float gain) {
    ASSERT_EQ(in.channels, out.channels);
    ASSERT_EQ(in.sampleRate, out.sampleRate);
    ASSERT_EQ(in.samples.size(), out.samples.size());
    for (size_t k = 0; k < in.samples.size(); ++k) ASSERT_EQ(in.samples[k] * gain, out.samples[k]) << "sample " << k;
}

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace hosttest
