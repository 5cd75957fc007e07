// A tiny VST 2.4 plug-in for testing the command-line host: a stereo gain with a polarity
// switch, three programs and its state as chunks. Gains are powers of two so processed files
// can be checked bit for bit. Built with GAIN_PROBE_PARAMETERS it keeps its state in its
// parameters instead (no chunks) under its own unique ID.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "plugin/vst/vst_types.h"

using namespace vst;

namespace {

constexpr int kPrograms = 3;
constexpr int kParams = 2;
constexpr int kNameBytes = 24;
// Preset chunk: the name (24 bytes, zero-padded) and the two values; a bank is three of them.
constexpr int kPresetBytes = kNameBytes + kParams * 4;
constexpr int kBankBytes = kPrograms * kPresetBytes;

struct Program {
    char name[kNameBytes + 1];
    float values[kParams];  // 0: gain as 4 x value, 1: polarity inverted when >= 0.5
};

struct GainProbe {
    AEffect effect;
    audioMasterCallback master;
    Program programs[kPrograms];
    int current = 0;
    unsigned char chunk[kBankBytes];
};

GainProbe* self(AEffect* e) { return static_cast<GainProbe*>(e->object); }

// With GAIN_PROBE_LOG set, every call that changes the plug-in's state says so on stderr: the
// host tests see what reached the plug-in.
bool logCalls() {
    static const bool enabled = std::getenv("GAIN_PROBE_LOG") != nullptr;
    return enabled;
}
void logCall(const char* what, long value) {
    if (logCalls()) std::fprintf(stderr, "GainProbe: %s %ld\n", what, value);
}

void copyText(void* ptr, const char* text, size_t limit) {
    if (!ptr) return;
    std::strncpy((char*)ptr, text, limit);
    ((char*)ptr)[limit] = 0;
}

void writePreset(const Program& p, unsigned char* out) {
    std::memset(out, 0, kNameBytes);
    std::memcpy(out, p.name, std::strlen(p.name));
    std::memcpy(out + kNameBytes, p.values, sizeof p.values);
}

void readPreset(Program& p, const unsigned char* in) {
    std::memset(p.name, 0, sizeof p.name);
    std::memcpy(p.name, in, kNameBytes);
    std::memcpy(p.values, in + kNameBytes, sizeof p.values);
}

VstIntPtr VSTCALLBACK dispatcher(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    GainProbe* g = self(e);
    Program& cur = g->programs[g->current];
    switch (opcode) {
    case effClose: delete g; return 1;
    case effSetProgram:
        if (value >= 0 && value < kPrograms) g->current = (int)value;
        return 0;
    case effGetProgram: return g->current;
    case effSetProgramName:
        logCall("setProgramName", g->current);
        if (ptr) copyText(cur.name, (const char*)ptr, kNameBytes);
        return 0;
    case effGetProgramName: copyText(ptr, cur.name, kNameBytes); return 0;
    case effGetParamLabel: copyText(ptr, index == 0 ? "x" : "", kVstMaxParamStrLen); return 0;
    case effGetParamDisplay:
        if (ptr && index == 0) std::snprintf((char*)ptr, 9, "%.4f", 4.0 * cur.values[0]);
        else if (ptr && index == 1) copyText(ptr, cur.values[1] >= 0.5f ? "Invert" : "Normal", kVstMaxParamStrLen);
        return 0;
    case effGetParamName: copyText(ptr, index == 0 ? "Gain" : index == 1 ? "Polarity" : "", kVstMaxParamStrLen); return 0;
    case effGetChunk:
        if (!ptr) return 0;
        if (index) {
            writePreset(cur, g->chunk);
            *(void**)ptr = g->chunk;
            return kPresetBytes;
        }
        for (int i = 0; i < kPrograms; ++i) writePreset(g->programs[i], g->chunk + i * kPresetBytes);
        *(void**)ptr = g->chunk;
        return kBankBytes;
    case effSetChunk:
        logCall("setChunk", (long)value);
        if (!ptr) return 0;
        if (index) {
            if (value != kPresetBytes) return 0;
            readPreset(cur, (const unsigned char*)ptr);
            return 1;
        }
        if (value != kBankBytes) return 0;
        for (int i = 0; i < kPrograms; ++i) readPreset(g->programs[i], (const unsigned char*)ptr + i * kPresetBytes);
        g->current = 0;
        return 1;
    case effCanBeAutomated: return 1;
    case effGetProgramNameIndexed:
        if (index < 0 || index >= kPrograms) return 0;
        copyText(ptr, g->programs[index].name, kNameBytes);
        return 1;
    case effGetEffectName: copyText(ptr, "Test Gain", kVstMaxEffectNameLen); return 1;
    case effGetVendorString: copyText(ptr, "Engine Tests", kVstMaxVendorStrLen); return 1;
    case effGetProductString: copyText(ptr, "Gain Probe", kVstMaxProductStrLen); return 1;
    case effGetVendorVersion: return 7;
    case effGetVstVersion: return kVstVersion;
    case effGetPlugCategory: return kPlugCategEffect;
    default: (void)opt; return 0;
    }
}

void VSTCALLBACK processReplacing(AEffect* e, float** inputs, float** outputs, VstInt32 frames) {
    const Program& p = self(e)->programs[self(e)->current];
    const float gain = 4.0f * p.values[0] * (p.values[1] >= 0.5f ? -1.0f : 1.0f);
    for (int c = 0; c < 2; ++c)
        for (VstInt32 f = 0; f < frames; ++f) outputs[c][f] = inputs[c][f] * gain;
}

void VSTCALLBACK process(AEffect*, float**, float**, VstInt32) {}
void VSTCALLBACK setParameter(AEffect* e, VstInt32 index, float v) {
    logCall("setParameter", index);
    if (index >= 0 && index < kParams) self(e)->programs[self(e)->current].values[index] = v;
}
float VSTCALLBACK getParameter(AEffect* e, VstInt32 index) {
    return index >= 0 && index < kParams ? self(e)->programs[self(e)->current].values[index] : 0.0f;
}

}  // namespace

extern "C" AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback master) {
    // Refuses hosts below 2.4, so a host test also proves the host's version answer.
    if (!master || master(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) < kVstVersion) return nullptr;
    GainProbe* g = new (std::nothrow) GainProbe();
    if (!g) return nullptr;
    g->master = master;
    const Program programs[kPrograms] = {{"Unity", {0.25f, 0.0f}}, {"Half", {0.125f, 0.0f}},
                                         {"Inverted Quarter", {0.0625f, 1.0f}}};
    std::memcpy(g->programs, programs, sizeof programs);
    AEffect& e = g->effect;
    e.magic = kEffectMagic;
    e.dispatcher = dispatcher;
    e.process = process;
    e.setParameter = setParameter;
    e.getParameter = getParameter;
    e.numPrograms = kPrograms;
    e.numParams = kParams;
    e.numInputs = e.numOutputs = 2;
#ifdef GAIN_PROBE_PARAMETERS
    e.flags = effFlagsCanReplacing;
    e.uniqueID = fourCharacters('T', 'g', 'P', 'p');
#else
    e.flags = effFlagsCanReplacing | effFlagsProgramChunks;
    e.uniqueID = fourCharacters('T', 'g', 'P', 'l');
#endif
    e.ioRatio = 1.0f;
    e.object = g;
    e.version = 7;
    e.processReplacing = processReplacing;
    return &e;
}
