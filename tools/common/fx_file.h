// VST 2.4 program (.fxp) and bank (.fxb) files, the form in which hosts exchange a plug-in's
// presets. Every value is big-endian. A file starts with 'CcnK' and the number of bytes that
// follow; then its kind, a format version, the plug-in's unique ID and version:
//
//   program  'FxCk' parameters: count, a 28-byte name, then count floats
//            'FPCh' opaque chunk: count, a 28-byte name, the chunk's size and its bytes
//   bank     'FxBk' parameters: program count, current program (format 2), 124 reserved
//                   bytes, then one complete 'FxCk' program file per program
//            'FBCh' opaque chunk: program count, current program (format 2), 124 reserved
//                   bytes, the chunk's size and its bytes
//
// The reader checks every size and count against the bytes that are there before it keeps
// anything; a file that does not add up is refused with one line saying why. The writer's
// output read back gives the same records, and written again the same bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sonvex {
namespace fx {

constexpr size_t kNameBytes = 28;  // the name field, zero-terminated unless all 28 are used
constexpr size_t kProgramHeaderBytes = 56;
constexpr size_t kBankHeaderBytes = 156;

enum class FxKind { Program, Bank };
enum class FxForm { Parameters, Chunk };

struct FxProgram {
    FxForm form = FxForm::Parameters;
    int32_t pluginId = 0;
    int32_t pluginVersion = 0;
    int32_t parameterCount = 0;  // for the chunk form as the plug-in declared it
    std::string name;            // at most 28 characters
    std::vector<float> parameters;  // parameter form: parameterCount values
    std::vector<uint8_t> chunk;     // chunk form
};

struct FxBank {
    FxForm form = FxForm::Parameters;
    int32_t formatVersion = 2;   // 1: no current program stored
    int32_t pluginId = 0;
    int32_t pluginVersion = 0;
    int32_t programCount = 0;
    int32_t currentProgram = 0;  // format 2 only
    std::vector<FxProgram> programs;  // parameter form: programCount of them
    std::vector<uint8_t> chunk;       // chunk form
};

struct FxFile {
    FxKind kind = FxKind::Program;
    FxProgram program;
    FxBank bank;
};

// Reads a whole file image. On failure returns false with a one-line reason in `error` and
// leaves `file` as it was.
bool ParseFxFile(const uint8_t* data, size_t size, FxFile* file, std::string* error);

std::vector<uint8_t> BuildProgramFile(const FxProgram& program);
std::vector<uint8_t> BuildBankFile(const FxBank& bank);

// What the host knows of the loaded plug-in.
struct PluginIdentity {
    int32_t uniqueId = 0;
    int32_t version = 0;
    int32_t parameterCount = 0;
    int32_t programCount = 0;
    bool hasChunks = false;
};

// Whether a parsed file may be handed to this plug-in: same unique ID, saved by this or an
// older version, the form the plug-in keeps its state in, and counts that fit. Returns an
// empty string when it fits, else the one-line reason.
std::string CheckFileFitsPlugin(const FxFile& file, const PluginIdentity& plugin);

// Four characters of an ID as text, with dots for bytes that are not printable.
std::string FourCharacterText(int32_t id);

}  // namespace fx
}  // namespace sonvex
