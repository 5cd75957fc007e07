// brisane-host: a command-line VST 2.4 host. Loads a plug-in DLL, prints what the plug-in
// says about itself, runs a WAV file through it block by block, and saves or loads its
// programs and banks as the standard preset (.fxp) and bank (.fxb) files, or as raw chunks.
#include <windows.h>

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tools/vsthost/editor_window.h"
#include "tools/common/fx_file.h"
#include "plugin/vst/vst_types.h"
#include "tools/common/tool_support.h"
#include "tools/common/wav_io.h"

using namespace vst;
using sonvex::fx::FxFile;
using sonvex::fx::FxForm;
using sonvex::fx::FxKind;

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
    "  --load-bank F.fxb      load a bank file (VST 2.4 .fxb)\n"
    "  --load-preset F.fxp    load a preset file (VST 2.4 .fxp) into the current program\n"
    "  --save-bank F.fxb      save the bank as a .fxb file at the end\n"
    "  --save-preset F.fxp    save the current program as a .fxp file at the end\n"
    "  --load-raw-bank F, --load-raw-preset F, --save-raw-bank F, --save-raw-preset F\n"
    "                         the same with the plug-in's own chunk bytes, no file header\n"
    "  --block N              frames per block (default 512)\n"
    "  --rate HZ              sample rate when no input file is given (default 44100)\n"
    "  --info                 print the plug-in's identity (the default without --input)\n"
    "  --editor [SECONDS]     open the plug-in's editor in a window until it is closed, or for\n"
    "                         SECONDS; prints the parameter changes made in it\n"
    "  --quiet                no progress bar (it is drawn only on a console anyway)\n";

// Preset and bank files are read whole; none a plug-in writes comes near this.
constexpr uint64_t kMaxPresetFileBytes = 256ull << 20;

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
    std::string loadRawBank, loadRawPreset, saveRawBank, saveRawPreset;
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

Options parseOptions(const std::vector<std::string>& args) {
    Options o;
    bool rateGiven = false;
    const size_t count = args.size();
    for (size_t i = 0; i < count; ++i) {
        const std::string& a = args[i];
        auto next = [&](const char* what) -> std::string {
            if (i + 1 >= count) fail(2, "%s needs a value", what);
            return args[++i];
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
        else if (a == "--load-raw-bank") o.loadRawBank = next("--load-raw-bank");
        else if (a == "--load-raw-preset") o.loadRawPreset = next("--load-raw-preset");
        else if (a == "--save-raw-bank") o.saveRawBank = next("--save-raw-bank");
        else if (a == "--save-raw-preset") o.saveRawPreset = next("--save-raw-preset");
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
            if (i + 1 < count) {
                const char* text = args[i + 1].c_str();
                char* end = nullptr;
                const double seconds = std::strtod(text, &end);
                if (end != text && *end == 0) {
                    if (!(seconds > 0.0 && seconds <= 3600.0)) fail(2, "--editor: %s seconds is outside 0..3600", text);
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

std::wstring widen(const std::string& utf8) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring w(n > 0 ? (size_t)n : 1u, L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &w[0], n);
    w.resize(n > 0 ? (size_t)n - 1 : 0u);
    return w;
}

class Plugin {
public:
    explicit Plugin(const std::string& path) {
        m_module = LoadLibraryW(widen(path).c_str());
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

std::string fourCharacterText(VstInt32 id) { return sonvex::fx::FourCharacterText(id); }

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
// Presets and banks: the standard files, and the plug-in's raw chunks

const char* kindName(bool preset) { return preset ? "preset" : "bank"; }

bool keepsChunks(Plugin& plugin) { return (plugin.effect()->flags & effFlagsProgramChunks) != 0; }

std::vector<uint8_t> takeChunk(Plugin& plugin, bool preset) {
    void* data = nullptr;
    VstIntPtr size = plugin.dispatch(effGetChunk, preset ? 1 : 0, 0, &data);
    if (size <= 0 || !data) fail(1, "the plug-in gave no %s chunk", kindName(preset));
    const uint8_t* bytes = (const uint8_t*)data;
    return std::vector<uint8_t>(bytes, bytes + size);
}

void giveChunk(Plugin& plugin, const std::vector<uint8_t>& chunk, bool preset, const std::string& path) {
    VstIntPtr taken = plugin.dispatch(effSetChunk, preset ? 1 : 0, (VstIntPtr)chunk.size(), (void*)chunk.data());
    if (taken == 0)
        fail(1, "the plug-in refused the %s chunk of %zu bytes from %s", kindName(preset), chunk.size(), path.c_str());
}

void selectProgram(Plugin& plugin, VstInt32 program) {
    plugin.dispatch(effBeginSetProgram);
    plugin.dispatch(effSetProgram, 0, program);
    plugin.dispatch(effEndSetProgram);
}

// The host's limit for a program name, with room for the terminating zero.
void nameProgram(Plugin& plugin, const std::string& name) {
    char text[kVstMaxProgNameLen + 1] = {};
    std::strncpy(text, name.c_str(), kVstMaxProgNameLen);
    plugin.dispatch(effSetProgramName, 0, 0, text);
}

sonvex::fx::FxProgram currentProgramRecord(Plugin& plugin) {
    AEffect* e = plugin.effect();
    sonvex::fx::FxProgram program;
    program.pluginId = e->uniqueID;
    program.pluginVersion = e->version;
    program.parameterCount = e->numParams;
    program.name = plugin.text(effGetProgramName);
    program.form = FxForm::Parameters;
    for (VstInt32 i = 0; i < e->numParams; ++i) program.parameters.push_back(e->getParameter(e, i));
    return program;
}

void saveRaw(Plugin& plugin, const std::string& path, bool preset) {
    if (!keepsChunks(plugin)) fail(1, "the plug-in does not keep its state in chunks (no ProgramChunks flag)");
    const std::vector<uint8_t> chunk = takeChunk(plugin, preset);
    sonvex::tools::WriteFileAtomically(path, chunk.data(), chunk.size());
    std::printf("saved %s chunk of %zu bytes to %s\n", kindName(preset), chunk.size(), path.c_str());
}

void loadRaw(Plugin& plugin, const std::string& path, bool preset) {
    if (!keepsChunks(plugin)) fail(1, "the plug-in does not keep its state in chunks (no ProgramChunks flag)");
    const std::vector<uint8_t> chunk = sonvex::tools::ReadFileBytes(path, kMaxPresetFileBytes);
    if (chunk.empty()) fail(1, "%s is empty", path.c_str());
    giveChunk(plugin, chunk, preset, path);
    std::printf("loaded %s chunk of %zu bytes from %s\n", kindName(preset), chunk.size(), path.c_str());
}

void savePreset(Plugin& plugin, const std::string& path) {
    AEffect* e = plugin.effect();
    if (!keepsChunks(plugin) && !e->getParameter) fail(1, "the plug-in offers neither chunks nor getParameter");
    sonvex::fx::FxProgram program;
    if (keepsChunks(plugin)) {
        program.pluginId = e->uniqueID;
        program.pluginVersion = e->version;
        program.parameterCount = e->numParams;
        program.name = plugin.text(effGetProgramName);
        program.form = FxForm::Chunk;
        program.chunk = takeChunk(plugin, true);
    } else {
        program = currentProgramRecord(plugin);
    }
    const std::vector<uint8_t> bytes = sonvex::fx::BuildProgramFile(program);
    sonvex::tools::WriteFileAtomically(path, bytes.data(), bytes.size());
    std::printf("saved preset '%s' (%s) of %zu bytes to %s\n", program.name.c_str(),
                program.form == FxForm::Chunk ? "chunk" : "parameters", bytes.size(), path.c_str());
}

void saveBank(Plugin& plugin, const std::string& path) {
    AEffect* e = plugin.effect();
    if (!keepsChunks(plugin) && !e->getParameter) fail(1, "the plug-in offers neither chunks nor getParameter");
    sonvex::fx::FxBank bank;
    bank.formatVersion = 2;
    bank.pluginId = e->uniqueID;
    bank.pluginVersion = e->version;
    bank.programCount = e->numPrograms;
    const VstIntPtr current = plugin.dispatch(effGetProgram);
    bank.currentProgram = current >= 0 && current < e->numPrograms ? (VstInt32)current : 0;
    if (keepsChunks(plugin)) {
        bank.form = FxForm::Chunk;
        bank.chunk = takeChunk(plugin, false);
    } else {
        // Without chunks the programs are read one by one, and the current one is made
        // current again afterwards.
        bank.form = FxForm::Parameters;
        for (VstInt32 i = 0; i < e->numPrograms; ++i) {
            selectProgram(plugin, i);
            bank.programs.push_back(currentProgramRecord(plugin));
        }
        selectProgram(plugin, bank.currentProgram);
    }
    const std::vector<uint8_t> bytes = sonvex::fx::BuildBankFile(bank);
    sonvex::tools::WriteFileAtomically(path, bytes.data(), bytes.size());
    std::printf("saved bank of %d programs (%s) of %zu bytes to %s\n", (int)bank.programCount,
                bank.form == FxForm::Chunk ? "chunk" : "parameters", bytes.size(), path.c_str());
}

// Reads and checks the whole file against the plug-in before any of it reaches the plug-in:
// a file that is refused changes nothing.
FxFile readFxFile(Plugin& plugin, const std::string& path, bool preset) {
    const std::vector<uint8_t> bytes = sonvex::tools::ReadFileBytes(path, kMaxPresetFileBytes);
    FxFile file;
    std::string error;
    if (!sonvex::fx::ParseFxFile(bytes.data(), bytes.size(), &file, &error)) fail(1, "%s: %s", path.c_str(), error.c_str());
    if ((file.kind == FxKind::Program) != preset)
        fail(1, "%s: this is a %s file, not a %s file (see --load-%s)", path.c_str(), kindName(!preset), kindName(preset),
             kindName(!preset));
    AEffect* e = plugin.effect();
    sonvex::fx::PluginIdentity identity;
    identity.uniqueId = e->uniqueID;
    identity.version = e->version;
    identity.parameterCount = e->numParams;
    identity.programCount = e->numPrograms;
    identity.hasChunks = keepsChunks(plugin);
    const std::string misfit = sonvex::fx::CheckFileFitsPlugin(file, identity);
    if (!misfit.empty()) fail(1, "%s: %s", path.c_str(), misfit.c_str());
    if (!identity.hasChunks && !e->setParameter) fail(1, "the plug-in offers neither chunks nor setParameter");
    return file;
}

// A program in the parameter form: its values into the current program, then its name.
void applyParameters(Plugin& plugin, const sonvex::fx::FxProgram& program) {
    AEffect* e = plugin.effect();
    for (size_t i = 0; i < program.parameters.size(); ++i) e->setParameter(e, (VstInt32)i, program.parameters[i]);
    nameProgram(plugin, program.name);
}

void loadPreset(Plugin& plugin, const std::string& path) {
    const FxFile file = readFxFile(plugin, path, true);
    const sonvex::fx::FxProgram& program = file.program;
    if (program.form == FxForm::Chunk)
        giveChunk(plugin, program.chunk, true, path);
    else
        applyParameters(plugin, program);
    std::printf("loaded preset '%s' from %s\n", program.name.c_str(), path.c_str());
}

void loadBank(Plugin& plugin, const std::string& path) {
    const FxFile file = readFxFile(plugin, path, false);
    const sonvex::fx::FxBank& bank = file.bank;
    if (bank.form == FxForm::Chunk) {
        giveChunk(plugin, bank.chunk, false, path);
    } else {
        for (size_t p = 0; p < bank.programs.size(); ++p) {
            selectProgram(plugin, (VstInt32)p);
            applyParameters(plugin, bank.programs[p]);
        }
    }
    if (bank.formatVersion >= 2 || bank.form == FxForm::Parameters) selectProgram(plugin, bank.currentProgram);
    std::printf("loaded bank of %d programs from %s\n", (int)bank.programCount, path.c_str());
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

void processFile(Plugin& plugin, const sonvex::wav::WavData& in, const Options& o) {
    AEffect* e = plugin.effect();
    if (!(e->flags & effFlagsCanReplacing) || !e->processReplacing)
        fail(1, "the plug-in offers no replacing process call");
    const int numIn = e->numInputs, numOut = e->numOutputs;
    if (numIn < 0 || numOut < 1 || numIn > 64 || numOut > 64)
        fail(1, "the plug-in declares %d inputs and %d outputs", numIn, numOut);
    const int fileChannels = in.format.channels;
    const int outChannels = std::min(fileChannels, numOut);
    const size_t frames = (size_t)in.frames;
    const int block = o.blockSize;
    const int rate = (int)in.format.sampleRate;

    std::vector<std::vector<float>> inBuffers((size_t)std::max(numIn, 1), std::vector<float>((size_t)block));
    std::vector<std::vector<float>> outBuffers((size_t)numOut, std::vector<float>((size_t)block));
    std::vector<float*> inPointers, outPointers;
    for (auto& b : inBuffers) inPointers.push_back(b.data());
    for (auto& b : outBuffers) outPointers.push_back(b.data());

    // The output appears under its name only once it is complete.
    std::unique_ptr<sonvex::tools::TemporaryOutput> output;
    sonvex::wav::WavWriter writer;
    if (!o.output.empty()) {
        output.reset(new sonvex::tools::TemporaryOutput(o.output));
        writer.Create(output->Path(), in.format.sampleRate, outChannels);
    }
    std::vector<float> outBlock((size_t)block * (size_t)outChannels);
    Levels inLevels(fileChannels), outLevels(outChannels);
    inLevels.frames = outLevels.frames = frames;

    plugin.dispatch(effMainsChanged, 0, 1);
    plugin.dispatch(effStartProcess);
    sonvex::tools::ProgressBar progress(stderr, frames, !o.quiet);
    progress.Update(0);
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
                outBlock[(size_t)f * (size_t)outChannels + (size_t)c] = v;
                outLevels.add(c, v);
            }
        }
        if (output) writer.WriteFrames(outBlock.data(), (size_t)n);
        progress.Update(start + (size_t)n);
    }
    progress.Finish();
    plugin.dispatch(effStopProcess);
    plugin.dispatch(effMainsChanged, 0, 0);

    std::printf("processed %zu frames of %d channel(s) at %d Hz in blocks of %d\n", frames, fileChannels, rate, block);
    printLevels("input", inLevels);
    printLevels("output", outLevels);
    if (output) {
        writer.Finish();
        output->Commit();
        std::printf("wrote %s (%d channel(s), 32-bit float)\n", o.output.c_str(), outChannels);
    }
}

// A stereo test signal: a low, a middle and a high tone at moderate level, with short fades.
void makeSignal(const Options& o) {
    const size_t frames = (size_t)(o.seconds * o.rate);
    std::vector<float> samples(frames * 2);
    const double twoPi = 6.283185307179586;
    const double fade = 0.01 * o.rate;
    for (size_t f = 0; f < frames; ++f) {
        double t = (double)f / o.rate;
        double g = std::min(1.0, std::min((double)f, (double)(frames - 1 - f)) / fade);
        double left = 0.2 * std::sin(twoPi * 110 * t) + 0.15 * std::sin(twoPi * 1000 * t) + 0.1 * std::sin(twoPi * 6000 * t);
        double right = 0.2 * std::sin(twoPi * 110 * t + 1.0) + 0.15 * std::sin(twoPi * 1000 * t + 0.5) +
                       0.1 * std::sin(twoPi * 6000 * t + 0.25);
        samples[2 * f] = (float)(g * left);
        samples[2 * f + 1] = (float)(g * right);
    }
    sonvex::tools::TemporaryOutput output(o.makeSignal);
    sonvex::wav::WavWriter writer;
    writer.Create(output.Path(), (uint32_t)o.rate, 2, sonvex::wav::SampleEncoding::Pcm16);
    writer.WriteFrames(samples.data(), frames);
    writer.Finish();
    output.Commit();
    std::printf("wrote %s (%zu frames, 2 channels, %d Hz, 16-bit)\n", o.makeSignal.c_str(), frames, o.rate);
}

int run(const std::vector<std::string>& args) {
    Options o = parseOptions(args);
    if (!o.makeSignal.empty()) {
        makeSignal(o);
        if (o.plugin.empty()) return 0;
    }

    sonvex::wav::WavData input;
    if (!o.input.empty()) {
        input = sonvex::wav::ReadWavFile(o.input);
        if (!input.warning.empty()) std::fprintf(stderr, "brisane-host: warning: %s\n", input.warning.c_str());
        if (input.format.sampleRate > 768000u)
            fail(1, "%s: sample rate %u Hz is above the host's 768000 Hz", o.input.c_str(), input.format.sampleRate);
        o.rate = (int)input.format.sampleRate;
    }
    g_host.sampleRate = (float)o.rate;
    g_host.blockSize = o.blockSize;
    g_host.connectedInputs = o.input.empty() ? 64 : input.format.channels;

    Plugin plugin(o.plugin);
    AEffect* e = plugin.effect();
    plugin.dispatch(effSetSampleRate, 0, 0, nullptr, (float)o.rate);
    plugin.dispatch(effSetBlockSize, 0, o.blockSize);

    // Raw chunks need a plug-in that keeps them; say so before any work is done.
    const bool raw = !o.loadRawBank.empty() || !o.loadRawPreset.empty() || !o.saveRawBank.empty() || !o.saveRawPreset.empty();
    if (raw && !keepsChunks(plugin)) fail(1, "the plug-in does not keep its state in chunks (no ProgramChunks flag)");

    if (!o.loadBank.empty()) loadBank(plugin, o.loadBank);
    if (!o.loadRawBank.empty()) loadRaw(plugin, o.loadRawBank, false);
    if (o.programGiven) {
        if (o.program >= e->numPrograms || o.program < 0)
            fail(1, "--program %d: the plug-in has programs 0..%d", o.program, (int)e->numPrograms - 1);
        plugin.dispatch(effSetProgram, 0, o.program);
    }
    if (!o.loadPreset.empty()) loadPreset(plugin, o.loadPreset);
    if (!o.loadRawPreset.empty()) loadRaw(plugin, o.loadRawPreset, true);
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
    if (!o.savePreset.empty()) savePreset(plugin, o.savePreset);
    if (!o.saveRawPreset.empty()) saveRaw(plugin, o.saveRawPreset, true);
    if (!o.saveBank.empty()) saveBank(plugin, o.saveBank);
    if (!o.saveRawBank.empty()) saveRaw(plugin, o.saveRawBank, false);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(sonvex::tools::Utf8Arguments(argc, argv));
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
