// The editor a plug-in may own: the host reaches it through the editor opcodes of the
// dispatcher. A plug-in without one answers those opcodes with 0.
#pragma once
#include "plugin/vst/vst_types.h"

namespace vst {

class AudioEffect;

class AEffEditor {
public:
    explicit AEffEditor(AudioEffect* effect) : effect(effect), parentWindow(nullptr) {}
    virtual ~AEffEditor() {}

    virtual AudioEffect* getEffect() { return effect; }
    virtual bool getRect(ERect** rect) {
        if (rect) *rect = nullptr;
        return false;
    }
    virtual bool open(void* ptr) {
        parentWindow = ptr;
        return false;
    }
    virtual void close() { parentWindow = nullptr; }
    virtual bool isOpen() { return parentWindow != nullptr; }
    virtual void idle() {}
    virtual bool onKeyDown(VstKeyCode&) { return false; }
    virtual bool onKeyUp(VstKeyCode&) { return false; }
    virtual bool onWheel(float) { return false; }
    virtual bool setKnobMode(VstInt32) { return false; }

protected:
    AudioEffect* effect;
    void* parentWindow;
};

}  // namespace vst
