// A test host for Brisane: a configurable audioMaster that records every request, a loader for
// the plug-in DLL, and access to the recording engine that the plug-in creates through COM.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/recording_engine.h"
#include "plugin/vst/vst_types.h"

namespace testhost {

struct HostCall {
    vst::AEffect* effect;
    vst::VstInt32 opcode;
    vst::VstInt32 index;
    vst::VstIntPtr value;
    void* ptr;
    float opt;
};

struct HostConfig {
    vst::VstIntPtr version = 2400;      // audioMasterVersion
    vst::VstIntPtr sampleRate = 48000;  // audioMasterGetSampleRate
    int firstDisconnectedInput = -1;    // audioMasterPinConnected: inputs from here on answer 1
};

HostConfig& host();
std::vector<HostCall>& hostCalls();
void resetHost();
int countHostCalls(vst::VstInt32 opcode);
vst::VstIntPtr VSTCALLBACK audioMaster(vst::AEffect* effect, vst::VstInt32 opcode, vst::VstInt32 index,
                                       vst::VstIntPtr value, void* ptr, float opt);

// The directory of the test executable, with a trailing backslash.
std::wstring exeDirectory();

// Loads a plug-in DLL and finds its entry point.
class PluginModule {
public:
    explicit PluginModule(const std::wstring& path);
    ~PluginModule();
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;
    bool loaded() const { return m_module && m_entry; }
    vst::PluginEntryProc entry() const { return m_entry; }
    HMODULE handle() const { return m_module; }

private:
    HMODULE m_module = nullptr;
    vst::PluginEntryProc m_entry = nullptr;
};

// The recording engine of this process (the DLL beside the executable, registered by the
// test environment).
recording::Control& engine();
void resetEngine();
std::vector<recording::Call> engineCalls(int method);
std::vector<recording::Call> allEngineCalls();
void clearEngineCalls();

// Registers the recording engine at the start of the run and unregisters it at the end.
void installEngineEnvironment();

vst::VstIntPtr dispatch(vst::AEffect* effect, vst::VstInt32 opcode, vst::VstInt32 index = 0,
                        vst::VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f);

}  // namespace testhost
