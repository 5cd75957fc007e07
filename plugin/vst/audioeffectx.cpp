#include "plugin/vst/audioeffectx.h"

#include <cstdlib>
#include <cstring>

namespace vst {

AudioEffectX::AudioEffectX(audioMasterCallback master, VstInt32 programs, VstInt32 params)
    : AudioEffect(master, programs, params) {}

AudioEffectX::~AudioEffectX() {}

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    switch (opcode) {
    case effCanBeAutomated: return canParameterBeAutomated(index) ? 1 : 0;
    case effString2Parameter: return string2parameter(index, static_cast<char*>(ptr)) ? 1 : 0;
    case effGetProgramNameIndexed:
        return getProgramNameIndexed((VstInt32)value, index, static_cast<char*>(ptr)) ? 1 : 0;
    case effGetPlugCategory: return getPlugCategory();
    case effSetSpeakerArrangement:
        return setSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement*>(value),
                                     static_cast<VstSpeakerArrangement*>(ptr))
                   ? 1
                   : 0;
    case effSetBypass: return setBypass(value != 0) ? 1 : 0;
    case effGetEffectName: return getEffectName(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetVendorString: return getVendorString(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetProductString: return getProductString(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetVendorVersion: return getVendorVersion();
    case effCanDo: return canDo(static_cast<char*>(ptr));
    case effGetTailSize: return getGetTailSize();
    case effGetParameterProperties: return getParameterProperties(index, ptr) ? 1 : 0;
    case effGetVstVersion: return getVstVersion();
    case effEditKeyDown:
    case effEditKeyUp: {
        if (!editor) return 0;
        VstKeyCode key;
        key.character = index;
        key.virt = (unsigned char)value;
        key.modifier = (unsigned char)(VstInt32)opt;
        bool handled = opcode == effEditKeyDown ? editor->onKeyDown(key) : editor->onKeyUp(key);
        return handled ? 1 : 0;
    }
    case effSetEditKnobMode:
        if (!editor) return 0;
        return editor->setKnobMode((VstInt32)value) ? 1 : 0;
    case effGetCurrentMidiProgram: return getCurrentMidiProgram();
    case effBeginSetProgram: return beginSetProgram() ? 1 : 0;
    case effEndSetProgram: return endSetProgram() ? 1 : 0;
    case effGetSpeakerArrangement:
        return getSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement**>(value),
                                     static_cast<VstSpeakerArrangement**>(ptr))
                   ? 1
                   : 0;
    case effSetTotalSampleToProcess: return setTotalSampleToProcess((VstInt32)value);
    // Offered by the interface but not by this plug-in family: MIDI, offline processing,
    // variable I/O, shell plug-ins, pan law, process precision and the vendor extension.
    case effProcessEvents:
    case effGetInputProperties:
    case effGetOutputProperties:
    case effOfflineNotify:
    case effOfflinePrepare:
    case effOfflineRun:
    case effProcessVarIo:
    case effVendorSpecific:
    case effGetMidiProgramName:
    case effGetMidiProgramCategory:
    case effHasMidiProgramsChanged:
    case effGetMidiKeyName:
    case effShellGetNextPlugin:
    case effStartProcess:
    case effStopProcess:
    case effSetPanLaw:
    case effBeginLoadBank:
    case effBeginLoadProgram:
    case effSetProcessPrecision:
    case effGetNumMidiInputChannels:
    case effGetNumMidiOutputChannels: return 0;
    default: return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    }
}

bool AudioEffectX::getSpeakerArrangement(VstSpeakerArrangement** pluginInput, VstSpeakerArrangement** pluginOutput) {
    if (pluginInput) *pluginInput = nullptr;
    if (pluginOutput) *pluginOutput = nullptr;
    return false;
}

float AudioEffectX::updateSampleRate() {
    if (audioMaster) {
        VstIntPtr rate = callHost(audioMasterGetSampleRate, 0, 0, nullptr, 0.0f);
        if (rate > 0) sampleRate = (float)rate;
    }
    return sampleRate;
}

bool AudioEffectX::updateDisplay() { return callHost(audioMasterUpdateDisplay, 0, 0, nullptr, 0.0f) != 0; }

bool AudioEffectX::sizeWindow(VstInt32 width, VstInt32 height) {
    return callHost(audioMasterSizeWindow, width, height, nullptr, 0.0f) != 0;
}

bool AudioEffectX::canHostDo(char* text) { return callHost(audioMasterCanDo, 0, 0, text, 0.0f) != 0; }

bool AudioEffectX::allocateArrangement(VstSpeakerArrangement** arrangement, VstInt32 nbChannels) {
    if (!arrangement) return false;
    deallocateArrangement(arrangement);
    if (nbChannels < 0) return false;
    void* memory = std::calloc(1, speakerArrangementSize(nbChannels));
    if (!memory) return false;
    *arrangement = static_cast<VstSpeakerArrangement*>(memory);
    (*arrangement)->numChannels = nbChannels;
    return true;
}

bool AudioEffectX::deallocateArrangement(VstSpeakerArrangement** arrangement) {
    if (!arrangement) return false;
    std::free(*arrangement);
    *arrangement = nullptr;
    return true;
}

bool AudioEffectX::copySpeaker(VstSpeakerProperties* to, const VstSpeakerProperties* from) {
    if (!to || !from) return false;
    to->azimuth = from->azimuth;
    to->elevation = from->elevation;
    to->radius = from->radius;
    to->reserved = from->reserved;
    // At most 63 characters: the source name need not be terminated.
    size_t i = 0;
    for (; i + 1 < sizeof(to->name) && from->name[i]; ++i) to->name[i] = from->name[i];
    for (; i < sizeof(to->name); ++i) to->name[i] = 0;
    to->type = from->type;
    std::memcpy(to->future, from->future, sizeof(to->future));
    return true;
}

bool AudioEffectX::matchArrangement(VstSpeakerArrangement** to, const VstSpeakerArrangement* from) {
    if (!from || !to) return false;
    // The source may be one of our own records about to be replaced: read it before freeing.
    if (*to == from) return true;
    if (!allocateArrangement(to, from->numChannels)) return false;
    (*to)->type = from->type;
    for (VstInt32 i = 0; i < from->numChannels; ++i) copySpeaker(&(*to)->speakers[i], &from->speakers[i]);
    return true;
}

}  // namespace vst
