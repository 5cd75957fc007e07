#include "plugin/vst/audioeffect.h"

#include <cstdint>
#include <cstring>

namespace vst {

namespace {
constexpr VstInt32 kBaseUniqueId = fourCharacters('N', 'o', 'E', 'f');
constexpr VstInt32 kIdentifyAnswer = fourCharacters('N', 'v', 'E', 'f');

AudioEffect* effectOf(AEffect* e) { return e ? static_cast<AudioEffect*>(e->object) : nullptr; }
}  // namespace

AudioEffect::AudioEffect(audioMasterCallback master, VstInt32 programs, VstInt32 params)
    : audioMaster(master),
      editor(nullptr),
      sampleRate(44100.0f),
      blockSize(1024),
      numPrograms(programs),
      numParams(params),
      curProgram(0) {
    std::memset(&cEffect, 0, sizeof(cEffect));
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = dispatchEffClass;
    cEffect.process = processClass;
    cEffect.setParameter = setParameterClass;
    cEffect.getParameter = getParameterClass;
    cEffect.numPrograms = programs;
    cEffect.numParams = params;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.flags = effFlagsCanReplacing;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.uniqueID = kBaseUniqueId;
    cEffect.version = 1;
    cEffect.processReplacing = processReplacingClass;
    cEffect.processDoubleReplacing = processDoubleReplacingClass;
}

AudioEffect::~AudioEffect() { delete editor; }

void AudioEffect::setEditor(AEffEditor* newEditor) {
    editor = newEditor;
    if (editor) cEffect.flags |= effFlagsHasEditor;
    else cEffect.flags &= ~effFlagsHasEditor;
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    return audioMaster ? audioMaster(&cEffect, opcode, index, value, ptr, opt) : 0;
}

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    switch (opcode) {
    case effOpen: open(); return 0;
    case effClose: close(); return 0;
    case effSetProgram:
        // A 64-bit value below the int range would wrap into a valid program number.
        if (value < numPrograms && value >= INT32_MIN) setProgram((VstInt32)value);
        return 0;
    case effGetProgram: return getProgram();
    case effSetProgramName: setProgramName(static_cast<char*>(ptr)); return 0;
    case effGetProgramName: getProgramName(static_cast<char*>(ptr)); return 0;
    case effGetParamLabel: getParameterLabel(index, static_cast<char*>(ptr)); return 0;
    case effGetParamDisplay: getParameterDisplay(index, static_cast<char*>(ptr)); return 0;
    case effGetParamName: getParameterName(index, static_cast<char*>(ptr)); return 0;
    case effSetSampleRate: setSampleRate(opt); return 0;
    case effSetBlockSize: setBlockSize((VstInt32)value); return 0;
    case effMainsChanged:
        if (value == 0) suspend();
        else resume();
        return 0;
    case effEditGetRect:
        if (!editor) return 0;
        return editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
    case effEditOpen:
        if (!editor) return 0;
        return editor->open(ptr) ? 1 : 0;
    case effEditClose:
        if (editor) editor->close();
        return 0;
    case effEditIdle:
        if (editor) editor->idle();
        return 0;
    case effIdentify: return kIdentifyAnswer;
    case effGetChunk:
        // Nowhere to store the buffer: nothing is made.
        if (!ptr) return 0;
        return getChunk(static_cast<void**>(ptr), index != 0);
    case effSetChunk:
        if (!ptr) return 0;
        return setChunk(ptr, (VstInt32)value, index != 0);
    default: return 0;
    }
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

VstInt32 AudioEffect::getMasterVersion() {
    return audioMaster ? (VstInt32)audioMaster(&cEffect, audioMasterVersion, 0, 0, nullptr, 0.0f) : 0;
}

VstInt32 AudioEffect::getCurrentUniqueId() { return (VstInt32)callHost(audioMasterCurrentId, 0, 0, nullptr, 0.0f); }

void AudioEffect::masterIdle() { callHost(audioMasterIdle, 0, 0, nullptr, 0.0f); }

bool AudioEffect::isInputConnected(VstInt32 input) {
    // The host answers 0 for a connected pin; without a host every input counts as connected.
    if (!audioMaster) return true;
    return callHost(audioMasterPinConnected, input, 0, nullptr, 0.0f) == 0;
}

bool AudioEffect::beginEdit(VstInt32 index) { return callHost(audioMasterBeginEdit, index, 0, nullptr, 0.0f) != 0; }

bool AudioEffect::endEdit(VstInt32 index) { return callHost(audioMasterEndEdit, index, 0, nullptr, 0.0f) != 0; }

VstIntPtr VSTCALLBACK AudioEffect::dispatchEffClass(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                                    void* ptr, float opt) {
    AudioEffect* effect = effectOf(e);
    if (!effect) return 0;
    if (opcode == effClose) {
        effect->dispatcher(opcode, index, value, ptr, opt);
        delete effect;
        return 1;
    }
    return effect->dispatcher(opcode, index, value, ptr, opt);
}

void VSTCALLBACK AudioEffect::processClass(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames) {
    if (AudioEffect* effect = effectOf(e)) effect->process(inputs, outputs, sampleFrames);
}

void VSTCALLBACK AudioEffect::processReplacingClass(AEffect* e, float** inputs, float** outputs,
                                                   VstInt32 sampleFrames) {
    if (AudioEffect* effect = effectOf(e)) effect->processReplacing(inputs, outputs, sampleFrames);
}

void VSTCALLBACK AudioEffect::processDoubleReplacingClass(AEffect* e, double** inputs, double** outputs,
                                                         VstInt32 sampleFrames) {
    if (AudioEffect* effect = effectOf(e)) effect->processDoubleReplacing(inputs, outputs, sampleFrames);
}

void VSTCALLBACK AudioEffect::setParameterClass(AEffect* e, VstInt32 index, float value) {
    if (AudioEffect* effect = effectOf(e)) effect->setParameter(index, value);
}

float VSTCALLBACK AudioEffect::getParameterClass(AEffect* e, VstInt32 index) {
    AudioEffect* effect = effectOf(e);
    return effect ? effect->getParameter(index) : 0.0f;
}

}  // namespace vst
