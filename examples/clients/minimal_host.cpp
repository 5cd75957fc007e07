// The smallest VST 2.4 host for Brisane: load the plug-in, create its effect through
// VSTPluginMain, run one block of a tone through processReplacing and close it again. The
// effect engine must be registered first (`regsvr32 ExampleEngine.dll`). Usage:
//     minimal_host Brisane.dll
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "plugin/vst/vst_types.h"

using namespace vst;

// The host's side of the conversation: the plug-in asks for the host's version and sample rate.
VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    switch (opcode) {
    case audioMasterVersion: return 2400;
    case audioMasterGetSampleRate: return 48000;
    case audioMasterGetBlockSize: return 512;
    default: return 0;
    }
}

double rms(const std::vector<float>& v) {
    double sum = 0;
    for (float x : v) sum += (double)x * x;
    return std::sqrt(sum / (double)v.size());
}

int main(int argc, char** argv) {
    HMODULE module = LoadLibraryA(argc > 1 ? argv[1] : "Brisane.dll");
    auto entry = module ? (PluginEntryProc)(void*)GetProcAddress(module, "VSTPluginMain") : nullptr;
    AEffect* effect = entry ? entry(hostCallback) : nullptr;
    if (!effect || effect->magic != kEffectMagic) {
        std::printf("no effect: is the plug-in there and its engine registered?\n");
        return 1;
    }
    auto dispatch = [effect](VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    };
    char name[64] = {0};
    dispatch(effGetEffectName, 0, 0, name, 0);
    dispatch(effOpen, 0, 0, nullptr, 0);
    dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    dispatch(effSetBlockSize, 0, 512, nullptr, 0);
    dispatch(effSetProgram, 0, 4, nullptr, 0);  // the example engine's "Loud Master"
    dispatch(effMainsChanged, 0, 1, nullptr, 0);

    // One block per channel; the host owns every buffer.
    const int frames = 512, channels = effect->numInputs;
    std::vector<std::vector<float>> in(channels, std::vector<float>(frames)), out(channels, std::vector<float>(frames));
    std::vector<float*> inputs, outputs;
    for (int c = 0; c < channels; ++c) {
        for (int f = 0; f < frames; ++f) in[c][f] = 0.1f * (float)std::sin(2 * 3.141592653589793 * 440 * f / 48000.0);
        inputs.push_back(in[c].data());
        outputs.push_back(out[c].data());
    }
    effect->processReplacing(effect, inputs.data(), outputs.data(), frames);
    std::printf("%s, program 4, %d channel(s): one block of %d frames, RMS %.4f in, %.4f out\n", name, channels, frames,
                rms(in[0]), rms(out[0]));

    dispatch(effMainsChanged, 0, 0, nullptr, 0);
    dispatch(effClose, 0, 0, nullptr, 0);
    FreeLibrary(module);
    return 0;
}
