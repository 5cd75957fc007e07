// brisane-host's audio: a WAV file through the plug-in block by block, with the levels before
// and after, and the stereo test signal of --make-signal.
#pragma once
#include <string>

#include "tools/common/wav_io.h"
#include "tools/vsthost/plugin_host.h"

namespace vsthost {

// Runs `in` through the plug-in in blocks of blockSize frames and writes the result to
// outputPath (none when empty); the progress bar is left out when quiet.
void processFile(Plugin& plugin, const sonvex::wav::WavData& in, int blockSize, const std::string& outputPath,
                 bool quiet);

// A stereo 16-bit test signal of `seconds` at `rate`.
void makeSignal(const std::string& path, int rate, double seconds);

}  // namespace vsthost
