// brisane-host: a command-line VST 2.4 host. Loads a plug-in DLL, prints what the plug-in
// says about itself, runs a WAV file through it block by block, and saves or loads its program
// and bank chunks.
#include <windows.h>

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "editor_window.h"
#include "plugin/vst/vst_types.h"
#include "wav_file.h"

using namespace vst;

namespace {

// Host requests the shared declarations leave out; numbers from the 2.4 standard.
constexpr VstInt32 hostGetTime = 7;
constexpr VstInt32 hostGetCurrentProcessLevel = 23;
constexpr VstInt32 hostGetVendorString = 32;
constexpr VstInt32 hostGetProductString = 33;
constexpr VstInt32 hostGetVendorVersion = 34;

const char kUsage[] =
    "usage: brisane-host PLUGIN.dll [options]\n"
    "       brisane-host --make-signal OUT.wav [--rate HZ] [--seconds S]\n"
    "  -i, --input IN.wav     process this file (16/24/32-bit PCM or 32-bit float)\n"
    "  -o, --output OUT.wav   write the processed audio (32-bit float)\n"
    "  --program N            select program N before processing\n"
    "  --param I=V            set parameter I to V (0..1); may be repeated\n"
    "  --load-bank F          load a bank chunk from F\n"
    "  --load-preset F        load a program chunk from F into the current program\n"
    "  --save-bank F          save the bank chunk to F at the end\n"
    "  --save-preset F        save the current program's chunk to F at the end\n"
    "  --block N              frames per block (default 512)\n"
    "  --rate HZ              sample rate when no input file is given (default 44100)\n"
    "  --info                 print the plug-in's identity (the default without --input)\n"
    "  --editor [SECONDS]     open the plug-in's editor in a window until it is closed, or for\n"
    "                         SECONDS; prints the parameter changes made in it\n"
    "  --quiet                no progress bar\n";

struct Failure {
    std::string message;
    int code;
};

[[noreturn]] void fail(int code, const char* pattern, ...) {
    char text[1024];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(text, sizeof text, pattern, args);
    va_end(args);
    throw Failure{text, code};
}

struct Options {
    std::string plugin, input, output, makeSignal;
    std::string loadBank, loadPreset, saveBank, savePreset;
    int program = 0;
    bool programGiven = false;
    std::vector<std::pair<int, float>> params;
    int blockSize = 512;
    int rate = 0;
    double seconds = 3.0;
    bool info = false, quiet = false;
    bool editor = false;
    double editorSeconds = 0.0;  // 0: until the window is closed
};

long parseInteger(const std::string& text, const char* what) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != 0 || errno != 0) fail(2, "%s: '%s' is not a whole number", what, text.c_str());
    return v;
}

double parseNumber(const std::string& text, const char* what) {
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != 0 || !std::isfinite(v)) fail(2, "%s: '%s' is not a number", what, text.c_str());
    return v;
}

Options parseOptions(int argc, char** argv) {
    Options o;
    bool rateGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&](const char* what) -> std::string {
            if (i + 1 >= argc) fail(2, "%s needs a value", what);
            return argv[++i];
        };
        if (a == "-i" || a == "--input") o.input = next("--input");
        else if (a == "-o" || a == "--output") o.output = next("--output");
        else if (a == "--make-signal") o.makeSignal = next("--make-signal");
        else if (a == "--program") {
            o.program = (int)parseInteger(next("--program"), "--program");
            o.programGiven = true;
        }
        else if (a == "--param") {
            std::string v = next("--param");
            size_t eq = v.find('=');
            if (eq == std::string::npos) fail(2, "--param: '%s' is not I=V", v.c_str());
            long index = parseInteger(v.substr(0, eq), "--param index");
            double value = parseNumber(v.substr(eq + 1), "--param value");
            if (value < 0.0 || value > 1.0) fail(2, "--param: value %g is outside 0..1", value);
            o.params.emplace_back((int)index, (float)value);
        } else if (a == "--load-bank") o.loadBank = next("--load-bank");
        else if (a == "--load-preset") o.loadPreset = next("--load-preset");
        else if (a == "--save-bank") o.saveBank = next("--save-bank");
        else if (a == "--save-preset") o.savePreset = next("--save-preset");
        else if (a == "--block") {
            long n = parseInteger(next("--block"), "--block");
            if (n < 1 || n > 65536) fail(2, "--block: %ld is outside 1..65536", n);
            o.blockSize = (int)n;
        } else if (a == "--rate") {
            long n = parseInteger(next("--rate"), "--rate");
            if (n < 1000 || n > 768000) fail(2, "--rate: %ld is outside 1000..768000", n);
            o.rate = (int)n;
            rateGiven = true;
        } else if (a == "--seconds") {
            double s = parseNumber(next("--seconds"), "--seconds");
            if (s <= 0.0 || s > 600.0) fail(2, "--seconds: %g is outside 0..600", s);
            o.seconds = s;
        } else if (a == "--editor") {
            o.editor = true;
            // An optional time in seconds; a plug-in path never parses as a number.
            if (i + 1 < argc) {
                char* end = nullptr;
                const double seconds = std::strtod(argv[i + 1], &end);
                if (end != argv[i + 1] && *end == 0) {
                    if (!(seconds > 0.0 && seconds <= 3600.0)) fail(2, "--editor: %s seconds is outside 0..3600", argv[i + 1]);
                    o.editorSeconds = seconds;
                    ++i;
                }
            }
        } else if (a == "--info") o.info = true;
        else if (a == "--quiet") o.quiet = true;
        else if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (!a.empty() && a[0] == '-') fail(2, "unknown option %s", a.c_str());
        else if (o.plugin.empty()) o.plugin = a;
        else fail(2, "more than one plug-in given ('%s' and '%s')", o.plugin.c_str(), a.c_str());
    }
    if (o.makeSignal.empty() && o.plugin.empty()) fail(2, "no plug-in given (see --help)");
    if (!o.output.empty() && o.input.empty()) fail(2, "--output needs --input");
    if (!rateGiven) o.rate = o.makeSignal.empty() ? 44100 : 48000;
    return o;
}

// ---------------------------------------------------------------------------------------------
// The host side of the plug-in interface.

struct HostState {
    float sampleRate = 44100.0f;
    VstInt32 blockSize = 512;
    VstInt32 connectedInputs = 2;
    int updateDisplayCount = 0;
    int automateCount = 0;
} g_host;

VstIntPtr VSTCALLBACK audioMaster(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float) {
    switch (opcode) {
    case audioMasterAutomate:
        ++g_host.automateCount;
        vsthost::editorParameterChanged();
        return 0;
    case audioMasterVersion: return kVstVersion;
    case audioMasterCurrentId: return 0;
    case audioMasterIdle: return vsthost::editorIdleRequest();
    case audioMasterPinConnected: return index >= 0 && index < g_host.connectedInputs ? 0 : 1;  // 0: connected
    case hostGetTime: return 0;
    case audioMasterSizeWindow: return vsthost::editorSizeRequest(index, (VstInt32)value);
    case audioMasterGetSampleRate: return (VstIntPtr)g_host.sampleRate;
    case audioMasterGetBlockSize: return g_host.blockSize;
    case hostGetCurrentProcessLevel: return 0;
    case hostGetVendorString:
        if (ptr) std::strcpy((char*)ptr, "Brisane tools");
        return ptr ? 1 : 0;
    case hostGetProductString:
        if (ptr) std::strcpy((char*)ptr, "brisane-host");
        return ptr ? 1 : 0;
    case hostGetVendorVersion: return 1;
    case audioMasterCanDo:
        if (!ptr) return 0;
        return std::strcmp((const char*)ptr, "startStopProcess") == 0 || std::strcmp((const char*)ptr, "sizeWindow") == 0 ? 1 : 0;
    case audioMasterUpdateDisplay:
        ++g_host.updateDisplayCount;
        vsthost::editorParameterChanged();
        return 1;
    case audioMasterBeginEdit:
    case audioMasterEndEdit: return 1;
    default: return 0;
    }
}

class Plugin {
public:
    explicit Plugin(const std::string& path) {
        m_module = LoadLibraryA(path.c_str());
        if (!m_module) fail(1, "cannot load %s (error %lu)", path.c_str(), GetLastError());
        auto entry = (PluginEntryProc)(void*)GetProcAddress(m_module, "VSTPluginMain");
        if (!entry) entry = (PluginEntryProc)(void*)GetProcAddress(m_module, "main");
        if (!entry) fail(1, "%s exports neither VSTPluginMain nor main", path.c_str());
        m_effect = entry(audioMaster);
        if (!m_effect) fail(1, "%s refused to create its effect", path.c_str());
        if (m_effect->magic != kEffectMagic) {
            m_effect = nullptr;  // not something we may call into
            fail(1, "%s returned an effect without the VST magic number", path.c_str());
        }
        dispatch(effOpen);
    }
    ~Plugin() {
        if (m_effect) m_effect->dispatcher(m_effect, effClose, 0, 0, nullptr, 0.0f);
        if (m_module) FreeLibrary(m_module);
    }
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    AEffect* effect() const { return m_effect; }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f) {
        return m_effect->dispatcher(m_effect, opcode, index, value, ptr, opt);
    }
    // Asks for a string with generous room: a plug-in that writes past the standard's limits
    // must not overwrite the host's stack.
    std::string text(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, VstIntPtr* answer = nullptr) {
        char buffer[512];
        std::memset(buffer, 0, sizeof buffer);
        VstIntPtr r = dispatch(opcode, index, value, buffer);
        if (answer) *answer = r;
        buffer[sizeof buffer - 1] = 0;
        return buffer;
    }

private:
    HMODULE m_module = nullptr;
    AEffect* m_effect = nullptr;
};

std::string fourCharacterText(VstInt32 id) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        char c = (char)((uint32_t)id >> shift);
        s += (c >= 32 && c < 127) ? c : '.';
    }
    return s;
}

std::string flagNames(VstInt32 flags) {
    static const struct {
        VstInt32 bit;
        const char* name;
    } names[] = {{effFlagsHasEditor, "HasEditor"},           {effFlagsCanMono, "CanMono"},
                 {effFlagsCanReplacing, "CanReplacing"},     {effFlagsProgramChunks, "ProgramChunks"},
                 {effFlagsIsSynth, "IsSynth"},               {effFlagsNoSoundInStop, "NoSoundInStop"},
                 {effFlagsCanDoubleReplacing, "CanDoubleReplacing"}};
    std::string s;
    VstInt32 known = 0;
    for (const auto& n : names) {
        known |= n.bit;
        if (flags & n.bit) s += (s.empty() ? "" : " ") + std::string(n.name);
    }
    if (flags & ~known) {
        char other[32];
        std::snprintf(other, sizeof other, "0x%X", (unsigned)(flags & ~known));
        s += (s.empty() ? "other " : " other ") + std::string(other);
    }
    return s.empty() ? "none" : s;
}

void printIdentity(Plugin& plugin, const std::string& path) {
    AEffect* e = plugin.effect();
    std::printf("Plug-in:         %s\n", path.c_str());
    std::printf("Magic:           '%s'\n", fourCharacterText(e->magic).c_str());
    std::printf("Unique ID:       '%s' (0x%08X)\n", fourCharacterText(e->uniqueID).c_str(), (unsigned)e->uniqueID);
    std::printf("Version:         %d\n", (int)e->version);
    std::printf("Inputs/outputs:  %d / %d\n", (int)e->numInputs, (int)e->numOutputs);
    std::printf("Programs:        %d\n", (int)e->numPrograms);
    std::printf("Parameters:      %d\n", (int)e->numParams);
    std::printf("Flags:           0x%08X (%s)\n", (unsigned)e->flags, flagNames(e->flags).c_str());
    std::printf("Initial delay:   %d\n", (int)e->initialDelay);
    std::printf("I/O ratio:       %g\n", (double)e->ioRatio);
    std::printf("Effect name:     %s\n", plugin.text(effGetEffectName).c_str());
    std::printf("Vendor:          %s\n", plugin.text(effGetVendorString).c_str());
    std::printf("Product:         %s\n", plugin.text(effGetProductString).c_str());
    std::printf("Vendor version:  %ld\n", (long)plugin.dispatch(effGetVendorVersion));
    std::printf("VST version:     %ld\n", (long)plugin.dispatch(effGetVstVersion));
    std::printf("Category:        %ld\n", (long)plugin.dispatch(effGetPlugCategory));

    const VstIntPtr current = plugin.dispatch(effGetProgram);
    std::printf("Program list (current %ld):\n", (long)current);
    bool indexed = true;
    for (VstInt32 i = 0; i < e->numPrograms; ++i) {
        VstIntPtr answer = 0;
        std::string name = indexed ? plugin.text(effGetProgramNameIndexed, i, -1, &answer) : std::string();
        if (indexed && answer == 0) {
            // No indexed names: walk the programs and come back to the current one.
            indexed = false;
        }
        if (!indexed) {
            plugin.dispatch(effSetProgram, 0, i);
            name = plugin.text(effGetProgramName);
        }
        std::printf("  %c%3d  %s\n", i == current ? '*' : ' ', (int)i, name.c_str());
    }
    if (!indexed) plugin.dispatch(effSetProgram, 0, current);

    std::printf("Parameter list:\n");
    for (VstInt32 i = 0; i < e->numParams; ++i) {
        std::string name = plugin.text(effGetParamName, i);
        std::string display = plugin.text(effGetParamDisplay, i);
        std::string label = plugin.text(effGetParamLabel, i);
        float value = e->getParameter ? e->getParameter(e, i) : 0.0f;
        std::printf("  %3d  %-10s = %-10.6g %s %s\n", (int)i, name.c_str(), (double)value, display.c_str(), label.c_str());
    }
}

// ---------------------------------------------------------------------------------------------
// Chunks

void requireChunks(Plugin& plugin) {
    if (!(plugin.effect()->flags & effFlagsProgramChunks))
        fail(1, "the plug-in does not keep its state in chunks (no ProgramChunks flag)");
}

void saveChunk(Plugin& plugin, const std::string& path, bool preset) {
    requireChunks(plugin);
    void* data = nullptr;
    VstIntPtr size = plugin.dispatch(effGetChunk, preset ? 1 : 0, 0, &data);
    if (size <= 0 || !data) fail(1, "the plug-in gave no %s chunk", preset ? "preset" : "bank");
    const uint8_t* bytes = (const uint8_t*)data;
    std::string error;
    if (!vsthost::writeFile(path, std::vector<uint8_t>(bytes, bytes + size), error)) fail(1, "%s", error.c_str());
    std::printf("saved %s chunk of %ld bytes to %s\n", preset ? "preset" : "bank", (long)size, path.c_str());
}

void loadChunk(Plugin& plugin, const std::string& path, bool preset) {
    requireChunks(plugin);
    std::vector<uint8_t> bytes;
    std::string error;
    if (!vsthost::readFile(path, bytes, error)) fail(1, "%s", error.c_str());
    if (bytes.empty()) fail(1, "%s is empty", path.c_str());
    VstIntPtr taken = plugin.dispatch(effSetChunk, preset ? 1 : 0, (VstIntPtr)bytes.size(), bytes.data());
    if (taken == 0) fail(1, "the plug-in refused the %s chunk of %zu bytes from %s", preset ? "preset" : "bank", bytes.size(), path.c_str());
    std::printf("loaded %s chunk of %zu bytes from %s\n", preset ? "preset" : "bank", bytes.size(), path.c_str());
}

// ---------------------------------------------------------------------------------------------
// Processing

struct Levels {
    std::vector<double> sumSquares, peak;
    size_t frames = 0;
    explicit Levels(int channels) : sumSquares((size_t)channels, 0.0), peak((size_t)channels, 0.0) {}
    void add(int channel, float v) {
        sumSquares[(size_t)channel] += (double)v * v;
        peak[(size_t)channel] = std::max(peak[(size_t)channel], (double)std::fabs(v));
    }
};

double toDb(double v) { return v > 0.0 ? 20.0 * std::log10(v) : -INFINITY; }

void printLevels(const char* what, const Levels& levels) {
    double total = 0.0, peak = 0.0;
    for (size_t c = 0; c < levels.peak.size(); ++c) {
        total += levels.sumSquares[c];
        peak = std::max(peak, levels.peak[c]);
    }
    size_t n = levels.frames * levels.peak.size();
    double rms = n ? std::sqrt(total / (double)n) : 0.0;
    std::printf("%-6s level: RMS %7.2f dBFS, peak %7.2f dBFS\n", what, toDb(rms), toDb(peak));
}

class ProgressBar {
public:
    explicit ProgressBar(bool quiet) : m_quiet(quiet) {}
    void show(size_t done, size_t total) {
        if (m_quiet) return;
        int percent = total ? (int)(done * 100 / total) : 100;
        if (percent == m_shown) return;
        m_shown = percent;
        char bar[41];
        int filled = percent * 40 / 100;
        for (int i = 0; i < 40; ++i) bar[i] = i < filled ? '#' : '-';
        bar[40] = 0;
        std::fprintf(stderr, "\rprocessing [%s] %3d%%", bar, percent);
        if (percent == 100) std::fputc('\n', stderr);
        std::fflush(stderr);
    }

private:
    bool m_quiet;
    int m_shown = -1;
};

void processFile(Plugin& plugin, const vsthost::WavAudio& in, const Options& o) {
    AEffect* e = plugin.effect();
    if (!(e->flags & effFlagsCanReplacing) || !e->processReplacing)
        fail(1, "the plug-in offers no replacing process call");
    const int numIn = e->numInputs, numOut = e->numOutputs;
    if (numIn < 0 || numOut < 1 || numIn > 64 || numOut > 64)
        fail(1, "the plug-in declares %d inputs and %d outputs", numIn, numOut);
    const int fileChannels = in.channels;
    const int outChannels = std::min(fileChannels, numOut);
    const size_t frames = in.frames();
    const int block = o.blockSize;

    std::vector<std::vector<float>> inBuffers((size_t)std::max(numIn, 1), std::vector<float>((size_t)block));
    std::vector<std::vector<float>> outBuffers((size_t)numOut, std::vector<float>((size_t)block));
    std::vector<float*> inPointers, outPointers;
    for (auto& b : inBuffers) inPointers.push_back(b.data());
    for (auto& b : outBuffers) outPointers.push_back(b.data());

    vsthost::WavAudio out;
    out.channels = outChannels;
    out.sampleRate = in.sampleRate;
    out.samples.assign(frames * (size_t)outChannels, 0.0f);
    Levels inLevels(fileChannels), outLevels(outChannels);
    inLevels.frames = outLevels.frames = frames;

    plugin.dispatch(effMainsChanged, 0, 1);
    plugin.dispatch(effStartProcess);
    ProgressBar progress(o.quiet);
    progress.show(0, frames);
    for (size_t start = 0; start < frames; start += (size_t)block) {
        const int n = (int)std::min((size_t)block, frames - start);
        for (int c = 0; c < numIn; ++c) {
            float* dest = inBuffers[(size_t)c].data();
            for (int f = 0; f < n; ++f)
                dest[f] = c < fileChannels ? in.samples[(start + (size_t)f) * (size_t)fileChannels + (size_t)c] : 0.0f;
        }
        for (auto& b : outBuffers) std::fill(b.begin(), b.end(), 0.0f);
        e->processReplacing(e, inPointers.data(), outPointers.data(), n);
        for (int f = 0; f < n; ++f) {
            const size_t frame = start + (size_t)f;
            for (int c = 0; c < fileChannels; ++c) inLevels.add(c, in.samples[frame * (size_t)fileChannels + (size_t)c]);
            for (int c = 0; c < outChannels; ++c) {
                float v = outBuffers[(size_t)c][(size_t)f];
                out.samples[frame * (size_t)outChannels + (size_t)c] = v;
                outLevels.add(c, v);
            }
        }
        progress.show(start + (size_t)n, frames);
    }
    plugin.dispatch(effStopProcess);
    plugin.dispatch(effMainsChanged, 0, 0);

    std::printf("processed %zu frames of %d channel(s) at %d Hz in blocks of %d\n", frames, fileChannels, in.sampleRate, block);
    printLevels("input", inLevels);
    printLevels("output", outLevels);
    if (!o.output.empty()) {
        std::string error;
        if (!vsthost::writeFile(o.output, vsthost::buildFloatWav(out), error)) fail(1, "%s", error.c_str());
        std::printf("wrote %s (%d channel(s), 32-bit float)\n", o.output.c_str(), outChannels);
    }
}

// A stereo test signal: a low, a middle and a high tone at moderate level, with short fades.
void makeSignal(const Options& o) {
    vsthost::WavAudio a;
    a.channels = 2;
    a.sampleRate = o.rate;
    const size_t frames = (size_t)(o.seconds * o.rate);
    a.samples.resize(frames * 2);
    const double twoPi = 6.283185307179586;
    const double fade = 0.01 * o.rate;
    for (size_t f = 0; f < frames; ++f) {
        double t = (double)f / o.rate;
        double g = std::min(1.0, std::min((double)f, (double)(frames - 1 - f)) / fade);
        double left = 0.2 * std::sin(twoPi * 110 * t) + 0.15 * std::sin(twoPi * 1000 * t) + 0.1 * std::sin(twoPi * 6000 * t);
        double right = 0.2 * std::sin(twoPi * 110 * t + 1.0) + 0.15 * std::sin(twoPi * 1000 * t + 0.5) +
                       0.1 * std::sin(twoPi * 6000 * t + 0.25);
        a.samples[2 * f] = (float)(g * left);
        a.samples[2 * f + 1] = (float)(g * right);
    }
    std::string error;
    if (!vsthost::writeFile(o.makeSignal, vsthost::buildPcm16Wav(a), error)) fail(1, "%s", error.c_str());
    std::printf("wrote %s (%zu frames, 2 channels, %d Hz, 16-bit)\n", o.makeSignal.c_str(), frames, o.rate);
}

int run(int argc, char** argv) {
    Options o = parseOptions(argc, argv);
    if (!o.makeSignal.empty()) {
        makeSignal(o);
        if (o.plugin.empty()) return 0;
    }

    vsthost::WavAudio input;
    if (!o.input.empty()) {
        std::vector<uint8_t> bytes;
        std::string error;
        if (!vsthost::readFile(o.input, bytes, error)) fail(1, "%s", error.c_str());
        if (!vsthost::parseWav(bytes, input, error)) fail(1, "%s: %s", o.input.c_str(), error.c_str());
        o.rate = input.sampleRate;
    }
    g_host.sampleRate = (float)o.rate;
    g_host.blockSize = o.blockSize;
    g_host.connectedInputs = o.input.empty() ? 64 : input.channels;

    Plugin plugin(o.plugin);
    AEffect* e = plugin.effect();
    plugin.dispatch(effSetSampleRate, 0, 0, nullptr, (float)o.rate);
    plugin.dispatch(effSetBlockSize, 0, o.blockSize);

    if (!o.loadBank.empty()) loadChunk(plugin, o.loadBank, false);
    if (o.programGiven) {
        if (o.program >= e->numPrograms || o.program < 0)
            fail(1, "--program %d: the plug-in has programs 0..%d", o.program, (int)e->numPrograms - 1);
        plugin.dispatch(effSetProgram, 0, o.program);
    }
    if (!o.loadPreset.empty()) loadChunk(plugin, o.loadPreset, true);
    for (const auto& p : o.params) {
        if (p.first < 0 || p.first >= e->numParams)
            fail(1, "--param %d: the plug-in has parameters 0..%d", p.first, (int)e->numParams - 1);
        if (!e->setParameter) fail(1, "the plug-in offers no setParameter call");
        e->setParameter(e, p.first, p.second);
    }
    if (o.info || (o.input.empty() && !o.editor)) printIdentity(plugin, o.plugin);
    if (o.editor) {
        std::string error;
        if (!vsthost::runEditor(e, o.editorSeconds, error)) fail(1, "%s", error.c_str());
    }
    if (!o.input.empty()) processFile(plugin, input, o);
    if (!o.savePreset.empty()) saveChunk(plugin, o.savePreset, true);
    if (!o.saveBank.empty()) saveChunk(plugin, o.saveBank, false);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const Failure& f) {
        std::fflush(stdout);
        std::fprintf(stderr, "brisane-host: %s\n", f.message.c_str());
        if (f.code == 2) std::fputs("(brisane-host --help lists the options)\n", stderr);
        return f.code;
    } catch (const std::exception& ex) {
        std::fprintf(stderr, "brisane-host: %s\n", ex.what());
        return 1;
    }
}
