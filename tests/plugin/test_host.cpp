#include "tests/plugin/test_host.h"

#include <gtest/gtest.h>

namespace testhost {

namespace {
HostConfig g_config;
std::vector<HostCall> g_calls;
HMODULE g_engineModule = nullptr;
recording::Control* g_engine = nullptr;
void(WINAPI* g_engineReset)() = nullptr;

void loadEngine() {
    if (g_engineModule) return;
    std::wstring path = exeDirectory() + L"RecEngine.dll";
    g_engineModule = LoadLibraryW(path.c_str());
    if (!g_engineModule) return;
    auto control = reinterpret_cast<recording::ControlProc>(GetProcAddress(g_engineModule, "RecordingEngineControl"));
    g_engineReset = reinterpret_cast<void(WINAPI*)()>(GetProcAddress(g_engineModule, "RecordingEngineReset"));
    g_engine = control ? control() : nullptr;
}

class EngineEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        loadEngine();
        ASSERT_NE(g_engine, nullptr) << "RecEngine.dll not found beside the test";
        auto registerServer = reinterpret_cast<HRESULT(WINAPI*)()>(GetProcAddress(g_engineModule, "DllRegisterServer"));
        ASSERT_NE(registerServer, nullptr);
        ASSERT_EQ(registerServer(), S_OK);
    }
    void TearDown() override {
        if (!g_engineModule) return;
        auto unregisterServer =
            reinterpret_cast<HRESULT(WINAPI*)()>(GetProcAddress(g_engineModule, "DllUnregisterServer"));
        if (unregisterServer) EXPECT_EQ(unregisterServer(), S_OK);
    }
};
}  // namespace

HostConfig& host() { return g_config; }
std::vector<HostCall>& hostCalls() { return g_calls; }

void resetHost() {
    g_config = HostConfig();
    g_calls.clear();
}

int countHostCalls(vst::VstInt32 opcode) {
    int n = 0;
    for (const HostCall& call : g_calls)
        if (call.opcode == opcode) ++n;
    return n;
}

vst::VstIntPtr VSTCALLBACK audioMaster(vst::AEffect* effect, vst::VstInt32 opcode, vst::VstInt32 index,
                                       vst::VstIntPtr value, void* ptr, float opt) {
    g_calls.push_back(HostCall{effect, opcode, index, value, ptr, opt});
    switch (opcode) {
    case vst::audioMasterVersion: return g_config.version;
    case vst::audioMasterGetSampleRate: return g_config.sampleRate;
    case vst::audioMasterPinConnected:
        return g_config.firstDisconnectedInput >= 0 && index >= g_config.firstDisconnectedInput ? 1 : 0;
    default: return 0;
    }
}

std::wstring exeDirectory() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path, length);
    return text.substr(0, text.find_last_of(L'\\') + 1);
}

PluginModule::PluginModule(const std::wstring& path) {
    m_module = LoadLibraryW(path.c_str());
    if (m_module)
        m_entry = reinterpret_cast<vst::PluginEntryProc>(GetProcAddress(m_module, "VSTPluginMain"));
}

PluginModule::~PluginModule() {
    if (m_module) FreeLibrary(m_module);
}

recording::Control& engine() {
    loadEngine();
    return *g_engine;
}

void resetEngine() {
    loadEngine();
    g_engineReset();
}

std::vector<recording::Call> engineCalls(int method) {
    std::vector<recording::Call> calls;
    const recording::Control& c = engine();
    for (int i = 0; i < c.callCount; ++i)
        if (c.calls[i].method == method) calls.push_back(c.calls[i]);
    return calls;
}

std::vector<recording::Call> allEngineCalls() {
    const recording::Control& c = engine();
    return std::vector<recording::Call>(c.calls, c.calls + c.callCount);
}

void clearEngineCalls() {
    engine().callCount = 0;
    engine().droppedCalls = 0;
}

void installEngineEnvironment() { ::testing::AddGlobalTestEnvironment(new EngineEnvironment); }

vst::VstIntPtr dispatch(vst::AEffect* effect, vst::VstInt32 opcode, vst::VstInt32 index, vst::VstIntPtr value,
                        void* ptr, float opt) {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

}  // namespace testhost
