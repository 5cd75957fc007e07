#include "tools/common/fx_file.h"

#include <cstring>

namespace sonvex {
namespace fx {

namespace {

constexpr uint32_t Tag(const char (&text)[5]) {
    return static_cast<uint32_t>(static_cast<unsigned char>(text[0])) << 24 |
           static_cast<uint32_t>(static_cast<unsigned char>(text[1])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(text[2])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(text[3]));
}

constexpr uint32_t kChunkMagic = Tag("CcnK");
constexpr uint32_t kProgramParameters = Tag("FxCk");
constexpr uint32_t kProgramChunk = Tag("FPCh");
constexpr uint32_t kBankParameters = Tag("FxBk");
constexpr uint32_t kBankChunk = Tag("FBCh");

uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
           static_cast<uint32_t>(p[3]);
}
int32_t ReadI32(const uint8_t* p) { return static_cast<int32_t>(ReadU32(p)); }
float ReadFloat(const uint8_t* p) {
    const uint32_t bits = ReadU32(p);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}
void PutI32(std::vector<uint8_t>& out, int32_t v) { PutU32(out, static_cast<uint32_t>(v)); }
void PutFloat(std::vector<uint8_t>& out, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    PutU32(out, bits);
}
// Overwrites the byte count after 'CcnK' once the rest is written.
void FinishSize(std::vector<uint8_t>& out, size_t start) {
    const uint32_t size = static_cast<uint32_t>(out.size() - start - 8);
    for (int i = 0; i < 4; ++i) out[start + 4 + static_cast<size_t>(i)] = static_cast<uint8_t>(size >> (24 - 8 * i));
}

std::string ReadName(const uint8_t* p) {
    size_t length = 0;
    while (length < kNameBytes && p[length] != 0) ++length;
    return std::string(reinterpret_cast<const char*>(p), length);
}
void PutName(std::vector<uint8_t>& out, const std::string& name) {
    const size_t length = name.size() < kNameBytes ? name.size() : kNameBytes;
    out.insert(out.end(), name.begin(), name.begin() + static_cast<std::ptrdiff_t>(length));
    out.insert(out.end(), kNameBytes - length, 0);
}

std::string KindText(uint32_t tag) { return "'" + FourCharacterText(static_cast<int32_t>(tag)) + "'"; }

// The part after 'CcnK' and its size: `size` bytes at `p`, the whole of one program.
bool ParseProgram(const uint8_t* p, size_t size, const char* where, FxProgram* program, std::string* error) {
    if (size < kProgramHeaderBytes) {
        *error = std::string(where) + "a program needs " + std::to_string(kProgramHeaderBytes) +
                 " header bytes, there are " + std::to_string(size);
        return false;
    }
    const uint32_t kind = ReadU32(p + 8);
    const int32_t version = ReadI32(p + 12);
    if (kind != kProgramParameters && kind != kProgramChunk) {
        *error = std::string(where) + "kind " + KindText(kind) + " is not a program ('FxCk' or 'FPCh')";
        return false;
    }
    if (version != 1) {
        *error = std::string(where) + "program format version " + std::to_string(version) + " (1 is read)";
        return false;
    }
    FxProgram result;
    result.pluginId = ReadI32(p + 16);
    result.pluginVersion = ReadI32(p + 20);
    result.parameterCount = ReadI32(p + 24);
    result.name = ReadName(p + 28);
    if (result.parameterCount < 0) {
        *error = std::string(where) + "negative parameter count " + std::to_string(result.parameterCount);
        return false;
    }
    const size_t rest = size - kProgramHeaderBytes;
    const uint8_t* body = p + kProgramHeaderBytes;
    if (kind == kProgramParameters) {
        result.form = FxForm::Parameters;
        const uint64_t needed = 4ull * static_cast<uint64_t>(result.parameterCount);
        if (needed != rest) {
            *error = std::string(where) + std::to_string(result.parameterCount) + " parameters need " +
                     std::to_string(needed) + " bytes, the program holds " + std::to_string(rest);
            return false;
        }
        result.parameters.resize(static_cast<size_t>(result.parameterCount));
        for (size_t i = 0; i < result.parameters.size(); ++i) result.parameters[i] = ReadFloat(body + 4 * i);
    } else {
        result.form = FxForm::Chunk;
        if (rest < 4) {
            *error = std::string(where) + "the program ends before its chunk size";
            return false;
        }
        const uint32_t chunkSize = ReadU32(body);
        if (static_cast<uint64_t>(chunkSize) != rest - 4) {
            *error = std::string(where) + "the chunk claims " + std::to_string(chunkSize) + " bytes, the program holds " +
                     std::to_string(rest - 4);
            return false;
        }
        result.chunk.assign(body + 4, body + rest);
    }
    *program = std::move(result);
    return true;
}

bool ParseBank(const uint8_t* p, size_t size, FxBank* bank, std::string* error) {
    if (size < kBankHeaderBytes) {
        *error = "a bank needs " + std::to_string(kBankHeaderBytes) + " header bytes, the file has " + std::to_string(size);
        return false;
    }
    const uint32_t kind = ReadU32(p + 8);
    FxBank result;
    result.form = kind == kBankChunk ? FxForm::Chunk : FxForm::Parameters;
    result.formatVersion = ReadI32(p + 12);
    result.pluginId = ReadI32(p + 16);
    result.pluginVersion = ReadI32(p + 20);
    result.programCount = ReadI32(p + 24);
    result.currentProgram = result.formatVersion >= 2 ? ReadI32(p + 28) : 0;
    if (result.formatVersion != 1 && result.formatVersion != 2) {
        *error = "bank format version " + std::to_string(result.formatVersion) + " (1 and 2 are read)";
        return false;
    }
    if (result.programCount < 0) {
        *error = "negative program count " + std::to_string(result.programCount);
        return false;
    }
    if (result.formatVersion >= 2 && (result.currentProgram < 0 || result.currentProgram >= result.programCount)) {
        *error = "current program " + std::to_string(result.currentProgram) + " is outside the bank's " +
                 std::to_string(result.programCount) + " programs";
        return false;
    }
    const size_t rest = size - kBankHeaderBytes;
    const uint8_t* body = p + kBankHeaderBytes;
    if (result.form == FxForm::Chunk) {
        if (rest < 4) {
            *error = "the bank ends before its chunk size";
            return false;
        }
        const uint32_t chunkSize = ReadU32(body);
        if (static_cast<uint64_t>(chunkSize) != rest - 4) {
            *error = "the chunk claims " + std::to_string(chunkSize) + " bytes, the bank holds " + std::to_string(rest - 4);
            return false;
        }
        result.chunk.assign(body + 4, body + rest);
        *bank = std::move(result);
        return true;
    }
    // Every program of a bank is a whole program file of the same size; the first one's
    // parameter count sets it.
    if (result.programCount == 0) {
        if (rest != 0) {
            *error = "a bank of 0 programs carries " + std::to_string(rest) + " more bytes";
            return false;
        }
        *bank = std::move(result);
        return true;
    }
    if (rest < kProgramHeaderBytes) {
        *error = std::to_string(result.programCount) + " programs do not fit the " + std::to_string(rest) +
                 " bytes after the bank header";
        return false;
    }
    const uint64_t programBytes = kProgramHeaderBytes + 4ull * ReadU32(body + 24);
    if (programBytes > rest || programBytes * static_cast<uint64_t>(result.programCount) != rest) {
        *error = std::to_string(result.programCount) + " programs of " + std::to_string(programBytes) +
                 " bytes do not add up to the " + std::to_string(rest) + " bytes after the bank header";
        return false;
    }
    result.programs.resize(static_cast<size_t>(result.programCount));
    for (size_t i = 0; i < result.programs.size(); ++i) {
        const uint8_t* q = body + i * programBytes;
        const std::string where = "program " + std::to_string(i) + " of the bank: ";
        if (ReadU32(q) != kChunkMagic) {
            *error = where + "no 'CcnK' header";
            return false;
        }
        if (ReadU32(q + 4) != programBytes - 8) {
            *error = where + "its header says " + std::to_string(ReadU32(q + 4)) + " bytes follow, not " +
                     std::to_string(programBytes - 8);
            return false;
        }
        if (!ParseProgram(q, static_cast<size_t>(programBytes), where.c_str(), &result.programs[i], error)) return false;
        if (result.programs[i].form != FxForm::Parameters) {
            *error = where + "an opaque chunk inside a parameter bank";
            return false;
        }
        if (result.programs[i].pluginId != result.pluginId) {
            *error = where + "it is for plug-in '" + FourCharacterText(result.programs[i].pluginId) + "', the bank for '" +
                     FourCharacterText(result.pluginId) + "'";
            return false;
        }
    }
    *bank = std::move(result);
    return true;
}

}  // namespace

std::string FourCharacterText(int32_t id) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>(static_cast<uint32_t>(id) >> shift);
        s += (c >= 32 && c < 127) ? c : '.';
    }
    return s;
}

bool ParseFxFile(const uint8_t* data, size_t size, FxFile* file, std::string* error) {
    if (size < 16) {
        *error = "too short for a VST preset or bank (" + std::to_string(size) + " bytes)";
        return false;
    }
    if (ReadU32(data) != kChunkMagic) {
        *error = "not a VST preset or bank: it starts with " + KindText(ReadU32(data)) + ", not 'CcnK'";
        return false;
    }
    const uint32_t byteSize = ReadU32(data + 4);
    if (static_cast<uint64_t>(byteSize) + 8 != size) {
        *error = "the header says " + std::to_string(byteSize) + " bytes follow it, the file has " +
                 std::to_string(size - 8);
        return false;
    }
    const uint32_t kind = ReadU32(data + 8);
    FxFile result;
    if (kind == kProgramParameters || kind == kProgramChunk) {
        result.kind = FxKind::Program;
        if (!ParseProgram(data, size, "", &result.program, error)) return false;
    } else if (kind == kBankParameters || kind == kBankChunk) {
        result.kind = FxKind::Bank;
        if (!ParseBank(data, size, &result.bank, error)) return false;
    } else {
        *error = "unknown kind " + KindText(kind) + " (a preset is 'FxCk' or 'FPCh', a bank 'FxBk' or 'FBCh')";
        return false;
    }
    *file = std::move(result);
    return true;
}

std::vector<uint8_t> BuildProgramFile(const FxProgram& program) {
    std::vector<uint8_t> out;
    const size_t start = out.size();
    PutU32(out, kChunkMagic);
    PutU32(out, 0);
    PutU32(out, program.form == FxForm::Chunk ? kProgramChunk : kProgramParameters);
    PutI32(out, 1);
    PutI32(out, program.pluginId);
    PutI32(out, program.pluginVersion);
    PutI32(out, program.form == FxForm::Chunk ? program.parameterCount : static_cast<int32_t>(program.parameters.size()));
    PutName(out, program.name);
    if (program.form == FxForm::Chunk) {
        PutU32(out, static_cast<uint32_t>(program.chunk.size()));
        out.insert(out.end(), program.chunk.begin(), program.chunk.end());
    } else {
        for (float v : program.parameters) PutFloat(out, v);
    }
    FinishSize(out, start);
    return out;
}

std::vector<uint8_t> BuildBankFile(const FxBank& bank) {
    std::vector<uint8_t> out;
    PutU32(out, kChunkMagic);
    PutU32(out, 0);
    PutU32(out, bank.form == FxForm::Chunk ? kBankChunk : kBankParameters);
    PutI32(out, bank.formatVersion);
    PutI32(out, bank.pluginId);
    PutI32(out, bank.pluginVersion);
    PutI32(out, bank.form == FxForm::Chunk ? bank.programCount : static_cast<int32_t>(bank.programs.size()));
    PutI32(out, bank.formatVersion >= 2 ? bank.currentProgram : 0);
    out.insert(out.end(), 124, 0);
    if (bank.form == FxForm::Chunk) {
        PutU32(out, static_cast<uint32_t>(bank.chunk.size()));
        out.insert(out.end(), bank.chunk.begin(), bank.chunk.end());
    } else {
        for (const FxProgram& program : bank.programs) {
            const std::vector<uint8_t> one = BuildProgramFile(program);
            out.insert(out.end(), one.begin(), one.end());
        }
    }
    FinishSize(out, 0);
    return out;
}

std::string CheckFileFitsPlugin(const FxFile& file, const PluginIdentity& plugin) {
    const bool isBank = file.kind == FxKind::Bank;
    const int32_t id = isBank ? file.bank.pluginId : file.program.pluginId;
    const int32_t version = isBank ? file.bank.pluginVersion : file.program.pluginVersion;
    const FxForm form = isBank ? file.bank.form : file.program.form;
    const char* what = isBank ? "bank" : "preset";
    if (id != plugin.uniqueId)
        return std::string("the ") + what + " is for plug-in '" + FourCharacterText(id) + "', this plug-in is '" +
               FourCharacterText(plugin.uniqueId) + "'";
    if (version > plugin.version)
        return std::string("the ") + what + " was saved by version " + std::to_string(version) +
               " of the plug-in, this is version " + std::to_string(plugin.version);
    if (form == FxForm::Chunk && !plugin.hasChunks)
        return std::string("the ") + what + " holds an opaque chunk, but the plug-in keeps its state in parameters";
    if (form == FxForm::Parameters && plugin.hasChunks)
        return std::string("the ") + what + " holds parameter values, but the plug-in keeps its state in chunks";
    if (!isBank) {
        if (form == FxForm::Parameters && file.program.parameterCount != plugin.parameterCount)
            return "the preset holds " + std::to_string(file.program.parameterCount) + " parameters, the plug-in has " +
                   std::to_string(plugin.parameterCount);
        return std::string();
    }
    if (file.bank.programCount > plugin.programCount)
        return "the bank holds " + std::to_string(file.bank.programCount) + " programs, the plug-in has " +
               std::to_string(plugin.programCount);
    for (const FxProgram& program : file.bank.programs)
        if (program.parameterCount != plugin.parameterCount)
            return "the bank's programs hold " + std::to_string(program.parameterCount) +
                   " parameters, the plug-in has " + std::to_string(plugin.parameterCount);
    return std::string();
}

}  // namespace fx
}  // namespace sonvex
