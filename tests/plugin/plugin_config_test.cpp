// MaxChannels from "\VelkConfig.ini" beside the module named Brisane.dll. Each case copies the
// plug-in into a directory of its own with the file it needs and loads it from there.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/import_redirect.h"
#include "tests/plugin/test_host.h"

using namespace testhost;
using namespace vst;

namespace {

const bool g_environment = (installEngineEnvironment(), true);

class PluginCopy {
public:
    // moduleName: the file name the copy is loaded under; ini: the file's content (none if null).
    PluginCopy(const wchar_t* moduleName, const char* ini) {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        static int serial = 0;
        m_directory = std::wstring(temp) + L"brisane-config-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                      std::to_wstring(++serial) + L"\\";
        CreateDirectoryW(m_directory.c_str(), nullptr);
        m_module = m_directory + moduleName;
        m_copied = CopyFileW((exeDirectory() + L"Brisane.dll").c_str(), m_module.c_str(), FALSE) != 0;
        if (ini) {
            m_ini = m_directory + L"VelkConfig.ini";
            HANDLE file = CreateFileW(m_ini.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            DWORD written = 0;
            WriteFile(file, ini, (DWORD)strlen(ini), &written, nullptr);
            CloseHandle(file);
        }
    }
    ~PluginCopy() {
        m_plugin.reset();
        DeleteFileW(m_module.c_str());
        if (!m_ini.empty()) DeleteFileW(m_ini.c_str());
        RemoveDirectoryW(m_directory.c_str());
    }
    HMODULE load() {
        if (!m_plugin && m_copied) m_plugin.reset(new PluginModule(m_module));
        return m_plugin && m_plugin->loaded() ? m_plugin->handle() : nullptr;
    }
    AEffect* create() { return load() ? m_plugin->entry()(audioMaster) : nullptr; }

private:
    std::wstring m_directory, m_module, m_ini;
    bool m_copied = false;
    std::unique_ptr<PluginModule> m_plugin;
};

struct Case {
    const char* ini;
    int channels;
};

class MaxChannels : public ::testing::Test {
protected:
    void SetUp() override {
        resetHost();
        resetEngine();
    }
    void TearDown() override {
        EXPECT_EQ(engine().liveObjects, 0);
        EXPECT_EQ(engine().references, 0);
    }
    // The channel count the plug-in takes with this configuration file, checked on every side.
    void expectChannels(const wchar_t* moduleName, const char* ini, int channels) {
        SCOPED_TRACE(ini ? ini : "(no file)");
        resetEngine();
        PluginCopy copy(moduleName, ini);
        AEffect* effect = copy.create();
        ASSERT_NE(effect, nullptr);
        EXPECT_EQ(effect->numInputs, channels);
        EXPECT_EQ(effect->numOutputs, channels);
        std::vector<recording::Call> formats = engineCalls(recording::kSetFormat);
        ASSERT_EQ(formats.size(), 1u);
        EXPECT_EQ(formats[0].arg, channels);
        VstSpeakerArrangement *input = nullptr, *output = nullptr;
        dispatch(effect, effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input), &output);
        ASSERT_NE(input, nullptr);
        EXPECT_EQ(input->numChannels, channels);
        EXPECT_EQ(output->numChannels, channels);
        EXPECT_EQ(dispatch(effect, effClose), 1);
    }
};

TEST_F(MaxChannels, ValuesAreLimitedToOneThroughEight) {
    const Case cases[] = {
        {nullptr, 2},                                  // no file
        {"[Config]\r\nMaxChannels=12\r\n", 8},
        {"[Config]\r\nMaxChannels=0\r\n", 1},
        {"[Config]\r\nMaxChannels=-3\r\n", 1},
        {"[Config]\r\nMaxChannels=65537\r\n", 1},      // the low 16 bits
        {"[Config]\r\nMaxChannels=65541\r\n", 5},
        {"[Config]\r\nMaxChannels=6\r\n", 6},
        {"[Config]\r\nMaxChannels=1\r\n", 1},
    };
    for (const Case& c : cases) expectChannels(L"Brisane.dll", c.ini, c.channels);
}

TEST_F(MaxChannels, MissingOrNonNumericValuesGiveTheDefault) {
    const Case cases[] = {
        {"[Config]\r\nMaxChannels=many\r\n", 2},
        {"[Config]\r\nMaxChannels=\r\n", 2},
        {"[Config]\r\nOther=5\r\n", 2},
        {"[Other]\r\nMaxChannels=5\r\n", 2},
        {"", 2},
    };
    for (const Case& c : cases) expectChannels(L"Brisane.dll", c.ini, c.channels);
}

// A configuration file beside the test executable for the length of one test. The suites that
// load Brisane.dll from this directory hold the same test lock, so none of them runs meanwhile.
class HostDirectoryFile {
public:
    explicit HostDirectoryFile(const char* content) : m_path(exeDirectory() + L"VelkConfig.ini") {
        HANDLE file = CreateFileW(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, content, (DWORD)strlen(content), &written, nullptr);
        CloseHandle(file);
    }
    ~HostDirectoryFile() { DeleteFileW(m_path.c_str()); }

private:
    std::wstring m_path;
};

TEST_F(MaxChannels, ModuleUnderAnotherNameLooksBesideTheHost) {
    // The look-up of "Brisane.dll" finds nothing, so the file beside the host executable is
    // read, not the one beside the renamed copy.
    expectChannels(L"Renamed.dll", "[Config]\r\nMaxChannels=5\r\n", 2);
    HostDirectoryFile hostFile("[Config]\r\nMaxChannels=7\r\n");
    expectChannels(L"Renamed.dll", "[Config]\r\nMaxChannels=5\r\n", 7);
}

TEST_F(MaxChannels, ThreeChannelBlocksInterleaveInOrder) {
    PluginCopy copy(L"Brisane.dll", "[Config]\r\nMaxChannels=3\r\n");
    AEffect* effect = copy.create();
    ASSERT_NE(effect, nullptr);
    std::vector<std::vector<float>> in(3, std::vector<float>(5)), out(3, std::vector<float>(5, -1.0f));
    for (int c = 0; c < 3; ++c)
        for (int f = 0; f < 5; ++f) in[c][f] = (float)(c * 10 + f);
    float* inputs[3] = {in[0].data(), in[1].data(), in[2].data()};
    float* outputs[3] = {out[0].data(), out[1].data(), out[2].data()};
    effect->processReplacing(effect, inputs, outputs, 5);
    ASSERT_EQ(engine().lastInputCount, 15);
    for (int k = 0; k < 15; ++k) EXPECT_EQ(engine().lastInput[k], in[k % 3][k / 3]) << k;
    EXPECT_EQ(out, in);

    // A short result of 4 values over 3 channels is padded by values, not frames.
    engine().processMode = recording::kProcessShort;
    engine().resultLength = 4;
    effect->processReplacing(effect, inputs, outputs, 5);
    for (int k = 0; k < 15; ++k) EXPECT_EQ(out[k % 3][k / 3], k < 11 ? 0.0f : 1000.0f + (float)(k - 11)) << k;
    EXPECT_EQ(dispatch(effect, effClose), 1);
}

LONG g_oleInitializations = 0;
HRESULT(WINAPI* g_oleInitialize)(LPVOID) = nullptr;
HRESULT WINAPI countOleInitialize(LPVOID reserved) {
    ++g_oleInitializations;
    return g_oleInitialize(reserved);
}

TEST_F(MaxChannels, OleIsInitialisedByTheFirstPluginOfTheProcessOnly) {
    PluginCopy copy(L"Brisane.dll", nullptr);
    HMODULE module = copy.load();
    ASSERT_NE(module, nullptr);
    ASSERT_TRUE(sonvex_test::redirectImport(module, "ole32.dll", "OleInitialize",
                                         reinterpret_cast<void*>(countOleInitialize),
                                         reinterpret_cast<void**>(&g_oleInitialize)));
    AEffect* first = copy.create();
    AEffect* second = copy.create();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(g_oleInitializations, 1);
    EXPECT_EQ(dispatch(first, effClose), 1);
    AEffect* third = copy.create();
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(g_oleInitializations, 1);
    EXPECT_EQ(dispatch(second, effClose), 1);
    EXPECT_EQ(dispatch(third, effClose), 1);
}

}  // namespace
