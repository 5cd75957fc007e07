// AEffGUIEditor: an editor that shows its interface in a CFrame. It keeps the editor's
// rectangle, throttles the idle passes that long interactions inside the window ask for, and
// guards against a host that answers the plug-in's idle request with another editor idle.
#pragma once
#include <cstdint>

#include "plugin/vst/aeffeditor.h"
#include "plugin/vst/editor_interfaces.h"
#include "plugin/vst/vst_types.h"

namespace VSTGUI {
class CFrame;
}

namespace vst {

class AEffGUIEditor : public AEffEditor, public FrameOwner {
public:
    explicit AEffGUIEditor(AudioEffect* effect);
    ~AEffGUIEditor() override;

    AudioEffect* getEffect() override { return effect; }
    bool getRect(ERect** rect) override;
    bool open(void* ptr) override;
    void close() override;
    void idle() override;
    bool onKeyDown(VstKeyCode& keyCode) override;
    bool onKeyUp(VstKeyCode& keyCode) override;
    bool onWheel(float distance) override;
    bool setKnobMode(VstInt32 value) override;

    virtual void onParameterChange(VstInt32 index, float value);
    void beginEdit(VstInt32 index) override;
    void endEdit(VstInt32 index) override;
    // The idle pass for long interactions inside the window: at most one every 100 ms (a
    // call early by more than 50 ms only sleeps 4 ms), one paint message, then the host's idle.
    void pumpIdle() override;

    VSTGUI::CFrame* getFrame() const { return frame; }
    bool isInIdle() const { return inIdle; }

protected:
    ERect rect;
    uint32_t nextIdleTicks;
    bool inIdle;
    VSTGUI::CFrame* frame;
};

}  // namespace vst
