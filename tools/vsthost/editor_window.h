// brisane-host's editor mode: a top-level host window with the plug-in's editor inside, kept
// alive by idle calls about every 20 ms until the window is closed or the time is up.
#pragma once
#include <string>

#include "plugin/vst/vst_types.h"

namespace vsthost {

// Opens the editor of `effect` in a new window and runs the window's message loop. seconds
// <= 0 runs until the user closes the window. Parameter changes the plug-in reports while the
// editor is open are printed as they arrive. False, with a message, when the plug-in has no
// editor or refuses to open it.
bool runEditor(vst::AEffect* effect, double seconds, std::string& error);

// The host callback's requests that concern the editor window: the plug-in asks for idle time
// (answered with an editor idle) and for a new window size. Both return what the host answers.
vst::VstIntPtr editorIdleRequest();
vst::VstIntPtr editorSizeRequest(vst::VstInt32 width, vst::VstInt32 height);
// The plug-in announced a parameter change (automation or a display update).
void editorParameterChanged();

}  // namespace vsthost
