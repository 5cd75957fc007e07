// What the plug-in window asks of the editor that owns it, and what that editor asks of the
// plug-in that owns it. The classes above implement them (AEffGUIEditor, CVestrel), so that the
// frame and the editor reach their owners without including them.
#pragma once
#include "plugin/vst/vst_types.h"

// The COM types the page's owner hands over, declared only: this layer includes no platform
// header, and only Windows code implements or calls PageOwner.
struct _GUID;
struct IUnknown;

namespace vst {

class AudioEffect;

// The editor as its frame sees it: idle time for long interactions, edit gestures for the host,
// the plug-in whose host may resize the window, and the host's knob mode.
class FrameOwner {
public:
    // The throttled idle pass of long interactions inside the window.
    virtual void pumpIdle() = 0;
    virtual void beginEdit(VstInt32 index) = 0;
    virtual void endEdit(VstInt32 index) = 0;
    virtual AudioEffect* getEffect() = 0;

    // Process-wide: effSetEditKnobMode sets it, and every frame reports it, with an editor or not.
    static inline VstInt32 knobMode = 0;

protected:
    ~FrameOwner() = default;
};

// The plug-in as an editor that shows a COM property page sees it: which page to show and the
// object the page edits.
class PageOwner {
public:
    // The class of the first property page the plug-in's object lists now; false when it lists
    // none (pageClass is then left alone).
    virtual bool getFirstPageClass(_GUID* pageClass) = 0;
    // The object the page edits, with a new reference for the caller; null when there is none.
    virtual IUnknown* getPageObject() = 0;

protected:
    ~PageOwner() = default;
};

}  // namespace vst
