#include "tools/vsthost/plugin_host.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "common/text/text_conversion.h"
#include "tools/common/fx_file.h"
#include "tools/common/tool_support.h"
#include "tools/vsthost/editor_window.h"

namespace vsthost {

using namespace vst;
using sonvex::tools::Format;

HostState g_host;

namespace {

// Host requests the shared declarations leave out; numbers from the 2.4 standard.
constexpr VstInt32 hostGetTime = 7;
constexpr VstInt32 hostGetCurrentProcessLevel = 23;
constexpr VstInt32 hostGetVendorString = 32;
constexpr VstInt32 hostGetProductString = 33;
constexpr VstInt32 hostGetVendorVersion = 34;

VstIntPtr VSTCALLBACK audioMaster(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float) {
    switch (opcode) {
    case audioMasterAutomate:
        ++g_host.automateCount;
        editorParameterChanged();
        return 0;
    case audioMasterVersion: return kVstVersion;
    case audioMasterCurrentId: return 0;
    case audioMasterIdle: return editorIdleRequest();
    case audioMasterPinConnected: return index >= 0 && index < g_host.connectedInputs ? 0 : 1;  // 0: connected
    case hostGetTime: return 0;
    case audioMasterSizeWindow: return editorSizeRequest(index, (VstInt32)value);
    case audioMasterGetSampleRate: return (VstIntPtr)g_host.sampleRate;
    case audioMasterGetBlockSize: return g_host.blockSize;
    case hostGetCurrentProcessLevel: return 0;
    case hostGetVendorString:
        if (ptr) std::strcpy((char*)ptr, "Brisane tools");
        return ptr ? 1 : 0;
    case hostGetProductString:
        if (ptr) std::strcpy((char*)ptr, "brisane-host");
        return ptr ? 1 : 0;
    case hostGetVendorVersion: return 1;
    case audioMasterCanDo:
        if (!ptr) return 0;
        return std::strcmp((const char*)ptr, "startStopProcess") == 0 || std::strcmp((const char*)ptr, "sizeWindow") == 0 ? 1 : 0;
    case audioMasterUpdateDisplay:
        ++g_host.updateDisplayCount;
        editorParameterChanged();
        return 1;
    case audioMasterBeginEdit:
    case audioMasterEndEdit: return 1;
    default: return 0;
    }
}

std::string flagNames(VstInt32 flags) {
    static const struct {
        VstInt32 bit;
        const char* name;
    } names[] = {{effFlagsHasEditor, "HasEditor"},           {effFlagsCanMono, "CanMono"},
                 {effFlagsCanReplacing, "CanReplacing"},     {effFlagsProgramChunks, "ProgramChunks"},
                 {effFlagsIsSynth, "IsSynth"},               {effFlagsNoSoundInStop, "NoSoundInStop"},
                 {effFlagsCanDoubleReplacing, "CanDoubleReplacing"}};
    std::string s;
    VstInt32 known = 0;
    for (const auto& n : names) {
        known |= n.bit;
        if (flags & n.bit) s += (s.empty() ? "" : " ") + std::string(n.name);
    }
    if (flags & ~known) {
        char other[32];
        std::snprintf(other, sizeof other, "0x%X", (unsigned)(flags & ~known));
        s += (s.empty() ? "other " : " other ") + std::string(other);
    }
    return s.empty() ? "none" : s;
}

}  // namespace

Plugin::Plugin(const std::string& path) {
    m_module = LoadLibraryW(text::ToWide(path, CP_UTF8).c_str());
    if (!m_module) throw std::runtime_error(Format("cannot load %s (error %lu)", path.c_str(), GetLastError()));
    auto entry = (PluginEntryProc)(void*)GetProcAddress(m_module, "VSTPluginMain");
    if (!entry) entry = (PluginEntryProc)(void*)GetProcAddress(m_module, "main");
    if (!entry) throw std::runtime_error(Format("%s exports neither VSTPluginMain nor main", path.c_str()));
    m_effect = entry(audioMaster);
    if (!m_effect) throw std::runtime_error(Format("%s refused to create its effect", path.c_str()));
    if (m_effect->magic != kEffectMagic) {
        m_effect = nullptr;  // not something we may call into
        throw std::runtime_error(Format("%s returned an effect without the VST magic number", path.c_str()));
    }
    dispatch(effOpen);
}

Plugin::~Plugin() {
    if (m_effect) m_effect->dispatcher(m_effect, effClose, 0, 0, nullptr, 0.0f);
    if (m_module) FreeLibrary(m_module);
}

std::string Plugin::text(VstInt32 opcode, VstInt32 index, VstIntPtr value, VstIntPtr* answer) {
    char buffer[512];
    std::memset(buffer, 0, sizeof buffer);
    VstIntPtr r = dispatch(opcode, index, value, buffer);
    if (answer) *answer = r;
    buffer[sizeof buffer - 1] = 0;
    return buffer;
}

void printIdentity(Plugin& plugin, const std::string& path) {
    AEffect* e = plugin.effect();
    const auto fourCharacterText = sonvex::fx::FourCharacterText;
    std::printf("Plug-in:         %s\n", path.c_str());
    std::printf("Magic:           '%s'\n", fourCharacterText(e->magic).c_str());
    std::printf("Unique ID:       '%s' (0x%08X)\n", fourCharacterText(e->uniqueID).c_str(), (unsigned)e->uniqueID);
    std::printf("Version:         %d\n", (int)e->version);
    std::printf("Inputs/outputs:  %d / %d\n", (int)e->numInputs, (int)e->numOutputs);
    std::printf("Programs:        %d\n", (int)e->numPrograms);
    std::printf("Parameters:      %d\n", (int)e->numParams);
    std::printf("Flags:           0x%08X (%s)\n", (unsigned)e->flags, flagNames(e->flags).c_str());
    std::printf("Initial delay:   %d\n", (int)e->initialDelay);
    std::printf("I/O ratio:       %g\n", (double)e->ioRatio);
    std::printf("Effect name:     %s\n", plugin.text(effGetEffectName).c_str());
    std::printf("Vendor:          %s\n", plugin.text(effGetVendorString).c_str());
    std::printf("Product:         %s\n", plugin.text(effGetProductString).c_str());
    std::printf("Vendor version:  %ld\n", (long)plugin.dispatch(effGetVendorVersion));
    std::printf("VST version:     %ld\n", (long)plugin.dispatch(effGetVstVersion));
    std::printf("Category:        %ld\n", (long)plugin.dispatch(effGetPlugCategory));

    const VstIntPtr current = plugin.dispatch(effGetProgram);
    std::printf("Program list (current %ld):\n", (long)current);
    bool indexed = true;
    for (VstInt32 i = 0; i < e->numPrograms; ++i) {
        VstIntPtr answer = 0;
        std::string name = indexed ? plugin.text(effGetProgramNameIndexed, i, -1, &answer) : std::string();
        if (indexed && answer == 0) {
            // No indexed names: walk the programs and come back to the current one.
            indexed = false;
        }
        if (!indexed) {
            plugin.dispatch(effSetProgram, 0, i);
            name = plugin.text(effGetProgramName);
        }
        std::printf("  %c%3d  %s\n", i == current ? '*' : ' ', (int)i, name.c_str());
    }
    if (!indexed) plugin.dispatch(effSetProgram, 0, current);

    std::printf("Parameter list:\n");
    for (VstInt32 i = 0; i < e->numParams; ++i) {
        std::string name = plugin.text(effGetParamName, i);
        std::string display = plugin.text(effGetParamDisplay, i);
        std::string label = plugin.text(effGetParamLabel, i);
        float value = e->getParameter ? e->getParameter(e, i) : 0.0f;
        std::printf("  %3d  %-10s = %-10.6g %s %s\n", (int)i, name.c_str(), (double)value, display.c_str(), label.c_str());
    }
}

}  // namespace vsthost
