#include "tools/vsthost/preset_files.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "tools/common/fx_file.h"
#include "tools/common/tool_support.h"

namespace vsthost {

using namespace vst;
using sonvex::fx::FxFile;
using sonvex::fx::FxForm;
using sonvex::fx::FxKind;
using sonvex::tools::Format;

namespace {

// Preset and bank files are read whole; none a plug-in writes comes near this.
constexpr uint64_t kMaxPresetFileBytes = 256ull << 20;

const char* kindName(bool preset) { return preset ? "preset" : "bank"; }

std::vector<uint8_t> takeChunk(Plugin& plugin, bool preset) {
    void* data = nullptr;
    VstIntPtr size = plugin.dispatch(effGetChunk, preset ? 1 : 0, 0, &data);
    if (size <= 0 || !data) throw std::runtime_error(Format("the plug-in gave no %s chunk", kindName(preset)));
    const uint8_t* bytes = (const uint8_t*)data;
    return std::vector<uint8_t>(bytes, bytes + size);
}

void giveChunk(Plugin& plugin, const std::vector<uint8_t>& chunk, bool preset, const std::string& path) {
    VstIntPtr taken = plugin.dispatch(effSetChunk, preset ? 1 : 0, (VstIntPtr)chunk.size(), (void*)chunk.data());
    if (taken == 0)
        throw std::runtime_error(Format("the plug-in refused the %s chunk of %zu bytes from %s", kindName(preset),
                                        chunk.size(), path.c_str()));
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

void requireChunksOrParameters(Plugin& plugin, bool hasCall, const char* call) {
    if (!plugin.keepsChunks() && !hasCall)
        throw std::runtime_error(Format("the plug-in offers neither chunks nor %s", call));
}

// Reads and checks the whole file against the plug-in before any of it reaches the plug-in.
FxFile readFxFile(Plugin& plugin, const std::string& path, bool preset) {
    const std::vector<uint8_t> bytes = sonvex::tools::ReadFileBytes(path, kMaxPresetFileBytes);
    FxFile file;
    std::string error;
    if (!sonvex::fx::ParseFxFile(bytes.data(), bytes.size(), &file, &error))
        throw std::runtime_error(Format("%s: %s", path.c_str(), error.c_str()));
    if ((file.kind == FxKind::Program) != preset)
        throw std::runtime_error(Format("%s: this is a %s file, not a %s file (see --load-%s)", path.c_str(),
                                        kindName(!preset), kindName(preset), kindName(!preset)));
    AEffect* e = plugin.effect();
    sonvex::fx::PluginIdentity identity;
    identity.uniqueId = e->uniqueID;
    identity.version = e->version;
    identity.parameterCount = e->numParams;
    identity.programCount = e->numPrograms;
    identity.hasChunks = plugin.keepsChunks();
    const std::string misfit = sonvex::fx::CheckFileFitsPlugin(file, identity);
    if (!misfit.empty()) throw std::runtime_error(Format("%s: %s", path.c_str(), misfit.c_str()));
    requireChunksOrParameters(plugin, e->setParameter != nullptr, "setParameter");
    return file;
}

// A program in the parameter form: its values into the current program, then its name.
void applyParameters(Plugin& plugin, const sonvex::fx::FxProgram& program) {
    AEffect* e = plugin.effect();
    for (size_t i = 0; i < program.parameters.size(); ++i) e->setParameter(e, (VstInt32)i, program.parameters[i]);
    nameProgram(plugin, program.name);
}

}  // namespace

void requireChunks(Plugin& plugin) {
    if (!plugin.keepsChunks())
        throw std::runtime_error("the plug-in does not keep its state in chunks (no ProgramChunks flag)");
}

void saveRaw(Plugin& plugin, const std::string& path, bool preset) {
    requireChunks(plugin);
    const std::vector<uint8_t> chunk = takeChunk(plugin, preset);
    sonvex::tools::WriteFileAtomically(path, chunk.data(), chunk.size());
    std::printf("saved %s chunk of %zu bytes to %s\n", kindName(preset), chunk.size(), path.c_str());
}

void loadRaw(Plugin& plugin, const std::string& path, bool preset) {
    requireChunks(plugin);
    const std::vector<uint8_t> chunk = sonvex::tools::ReadFileBytes(path, kMaxPresetFileBytes);
    if (chunk.empty()) throw std::runtime_error(Format("%s is empty", path.c_str()));
    giveChunk(plugin, chunk, preset, path);
    std::printf("loaded %s chunk of %zu bytes from %s\n", kindName(preset), chunk.size(), path.c_str());
}

void savePreset(Plugin& plugin, const std::string& path) {
    AEffect* e = plugin.effect();
    requireChunksOrParameters(plugin, e->getParameter != nullptr, "getParameter");
    sonvex::fx::FxProgram program;
    if (plugin.keepsChunks()) {
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
    requireChunksOrParameters(plugin, e->getParameter != nullptr, "getParameter");
    sonvex::fx::FxBank bank;
    bank.formatVersion = 2;
    bank.pluginId = e->uniqueID;
    bank.pluginVersion = e->version;
    bank.programCount = e->numPrograms;
    const VstIntPtr current = plugin.dispatch(effGetProgram);
    bank.currentProgram = current >= 0 && current < e->numPrograms ? (VstInt32)current : 0;
    if (plugin.keepsChunks()) {
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

}  // namespace vsthost
