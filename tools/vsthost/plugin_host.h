// brisane-host's side of the plug-in interface: the host callback with the state it answers
// from, the loaded plug-in, and what the plug-in says about itself.
#pragma once
#include <windows.h>

#include <string>

#include "plugin/vst/vst_types.h"

namespace vsthost {

// What the host callback answers the plug-in.
struct HostState {
    float sampleRate = 44100.0f;
    vst::VstInt32 blockSize = 512;
    vst::VstInt32 connectedInputs = 2;
    int updateDisplayCount = 0;
    int automateCount = 0;
};
extern HostState g_host;

// A plug-in DLL, loaded and opened; closed and unloaded with the object. Loading failures
// throw std::runtime_error.
class Plugin {
public:
    explicit Plugin(const std::string& path);
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    vst::AEffect* effect() const { return m_effect; }
    vst::VstIntPtr dispatch(vst::VstInt32 opcode, vst::VstInt32 index = 0, vst::VstIntPtr value = 0, void* ptr = nullptr,
                            float opt = 0.0f) {
        return m_effect->dispatcher(m_effect, opcode, index, value, ptr, opt);
    }
    // Asks for a string with generous room: a plug-in that writes past the standard's limits
    // must not overwrite the host's stack.
    std::string text(vst::VstInt32 opcode, vst::VstInt32 index = 0, vst::VstIntPtr value = 0,
                     vst::VstIntPtr* answer = nullptr);
    bool keepsChunks() const { return (m_effect->flags & vst::effFlagsProgramChunks) != 0; }

private:
    HMODULE m_module = nullptr;
    vst::AEffect* m_effect = nullptr;
};

// The identity, the program list and the parameter list, as --info prints them.
void printIdentity(Plugin& plugin, const std::string& path);

}  // namespace vsthost
