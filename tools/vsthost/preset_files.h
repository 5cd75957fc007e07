// brisane-host's presets and banks: the standard .fxp and .fxb files, and the plug-in's raw
// chunks without a header. Every failure throws std::runtime_error with the message to print;
// a file that is refused changes nothing in the plug-in.
#pragma once
#include <string>

#include "tools/vsthost/plugin_host.h"

namespace vsthost {

void savePreset(Plugin& plugin, const std::string& path);
void saveBank(Plugin& plugin, const std::string& path);
void loadPreset(Plugin& plugin, const std::string& path);
void loadBank(Plugin& plugin, const std::string& path);

// The raw forms need a plug-in that keeps its state in chunks.
void requireChunks(Plugin& plugin);
void saveRaw(Plugin& plugin, const std::string& path, bool preset);
void loadRaw(Plugin& plugin, const std::string& path, bool preset);

}  // namespace vsthost
