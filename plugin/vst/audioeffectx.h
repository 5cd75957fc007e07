// AudioEffectX: the 2.x extensions of AudioEffect (names, speaker arrangements, capabilities)
// and the dispatcher answers for the opcodes they add.
#pragma once
#include "plugin/vst/audioeffect.h"

namespace vst {

class AudioEffectX : public AudioEffect {
public:
    AudioEffectX(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
    ~AudioEffectX() override;

    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) override;

    virtual bool canParameterBeAutomated(VstInt32) { return true; }
    virtual bool string2parameter(VstInt32, char*) { return false; }
    virtual bool getParameterProperties(VstInt32, void*) { return false; }
    virtual bool getProgramNameIndexed(VstInt32, VstInt32, char*) { return false; }
    virtual bool beginSetProgram() { return false; }
    virtual bool endSetProgram() { return false; }

    virtual bool setSpeakerArrangement(VstSpeakerArrangement*, VstSpeakerArrangement*) { return false; }
    virtual bool getSpeakerArrangement(VstSpeakerArrangement** pluginInput, VstSpeakerArrangement** pluginOutput);
    virtual bool setBypass(bool) { return false; }
    virtual VstInt32 getGetTailSize() { return 0; }
    virtual VstInt32 getPlugCategory() { return kPlugCategUnknown; }

    virtual bool getEffectName(char*) { return false; }
    virtual bool getVendorString(char*) { return false; }
    virtual bool getProductString(char*) { return false; }
    virtual VstInt32 getVendorVersion() { return 0; }
    virtual VstInt32 canDo(char*) { return 0; }
    virtual VstInt32 getVstVersion() { return kVstVersion; }
    virtual VstInt32 getCurrentMidiProgram() { return -1; }
    virtual VstInt32 setTotalSampleToProcess(VstInt32 value) { return value; }

    // Host-callback requests of the 2.x interface.
    virtual float updateSampleRate();
    virtual bool updateDisplay();
    virtual bool sizeWindow(VstInt32 width, VstInt32 height);
    virtual bool canHostDo(char* text);

    // Speaker arrangements are sized by their speaker count: an 8-byte head and numChannels
    // speaker records. A negative count allocates nothing.
    virtual bool allocateArrangement(VstSpeakerArrangement** arrangement, VstInt32 nbChannels);
    virtual bool deallocateArrangement(VstSpeakerArrangement** arrangement);
    virtual bool copySpeaker(VstSpeakerProperties* to, const VstSpeakerProperties* from);
    virtual bool matchArrangement(VstSpeakerArrangement** to, const VstSpeakerArrangement* from);
};

}  // namespace vst
