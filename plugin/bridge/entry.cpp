// The VST 2.4 entry point. Exported as VSTPluginMain and as main (one function, brisane.def).
#include <new>

#include "plugin/bridge/vestrel.h"

extern "C" vst::AEffect* VSTCALLBACK VSTPluginMain(vst::audioMasterCallback audioMaster) {
    // A host that gives no callback, or answers the version request with 0, gets no plug-in.
    if (!audioMaster) return nullptr;
    if (audioMaster(nullptr, vst::audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;

    brisane::CVestrel* plugin = new (std::nothrow) brisane::CVestrel(audioMaster);
    if (!plugin) return nullptr;
    if (!plugin->isReady()) {
        // Whatever the engine gave is released by the destructor.
        delete plugin;
        return nullptr;
    }
    return plugin->getAeffect();
}
