// AudioEffect: the plug-in side of the VST 2.4 interface. It owns the AEffect handed to the
// host, routes the host's calls to virtual operations and makes the host-callback requests.
// A plug-in derives from AudioEffectX and overrides only what it offers; every operation it
// leaves alone answers the way a plug-in without that feature must.
#pragma once
#include "plugin/vst/aeffeditor.h"
#include "plugin/vst/vst_types.h"

namespace vst {

class AudioEffect {
public:
    AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
    virtual ~AudioEffect();

    AEffect* getAeffect() { return &cEffect; }
    AEffEditor* getEditor() const { return editor; }
    void setEditor(AEffEditor* newEditor);

    // The dispatcher answer for every opcode of the 2.4 interface.
    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

    virtual void open() {}
    virtual void close() {}
    virtual void suspend() {}
    virtual void resume() {}
    virtual void setSampleRate(float newRate) { sampleRate = newRate; }
    virtual void setBlockSize(VstInt32 newSize) { blockSize = newSize; }
    virtual float getSampleRate() { return sampleRate; }
    virtual VstInt32 getBlockSize() { return blockSize; }

    // The deprecated accumulating process and 64-bit processing are not offered.
    virtual void process(float**, float**, VstInt32) {}
    virtual void processReplacing(float**, float**, VstInt32) {}
    virtual void processDoubleReplacing(double**, double**, VstInt32) {}

    virtual void setParameter(VstInt32, float) {}
    virtual float getParameter(VstInt32) { return 0.0f; }
    virtual void setParameterAutomated(VstInt32 index, float value);

    virtual VstInt32 getProgram() { return curProgram; }
    virtual void setProgram(VstInt32 program) { curProgram = program; }
    virtual void setProgramName(char*) {}
    virtual void getProgramName(char* name) {
        if (name) *name = 0;
    }
    virtual void getParameterLabel(VstInt32, char* label) {
        if (label) *label = 0;
    }
    virtual void getParameterDisplay(VstInt32, char* text) {
        if (text) *text = 0;
    }
    virtual void getParameterName(VstInt32, char* text) {
        if (text) *text = 0;
    }
    virtual VstInt32 getChunk(void**, bool) { return 0; }
    virtual VstInt32 setChunk(void*, VstInt32, bool) { return 0; }

    // Host-callback requests. Each is skipped when the host gave no callback.
    virtual VstInt32 getMasterVersion();
    virtual VstInt32 getCurrentUniqueId();
    virtual void masterIdle();
    virtual bool isInputConnected(VstInt32 input);
    virtual bool beginEdit(VstInt32 index);
    virtual bool endEdit(VstInt32 index);

    static VstIntPtr VSTCALLBACK dispatchEffClass(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                                  void* ptr, float opt);
    static void VSTCALLBACK processClass(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames);
    static void VSTCALLBACK processReplacingClass(AEffect* e, float** inputs, float** outputs,
                                                  VstInt32 sampleFrames);
    static void VSTCALLBACK processDoubleReplacingClass(AEffect* e, double** inputs, double** outputs,
                                                        VstInt32 sampleFrames);
    static void VSTCALLBACK setParameterClass(AEffect* e, VstInt32 index, float value);
    static float VSTCALLBACK getParameterClass(AEffect* e, VstInt32 index);

protected:
    VstIntPtr callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

    audioMasterCallback audioMaster;
    AEffEditor* editor;
    float sampleRate;
    VstInt32 blockSize;
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 curProgram;
    AEffect cEffect;
};

}  // namespace vst
