// VST preset and bank files: files laid out by hand from the published format read to their
// values and are written back byte for byte; every kind of damage is refused with its own
// message and leaves the caller's record alone; a file is checked against the plug-in.
#include "tools/common/fx_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using namespace sonvex::fx;

namespace {

using Bytes = std::vector<uint8_t>;

void Be32(Bytes& b, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<uint8_t>(v >> shift));
}
void Tag(Bytes& b, const char* t) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(t[i]));
}
void BeFloat(Bytes& b, float v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    Be32(b, u);
}
void Name28(Bytes& b, const char* name) {
    Bytes field(28, 0);
    std::memcpy(field.data(), name, std::strlen(name));
    b.insert(b.end(), field.begin(), field.end());
}
// 'CcnK', the size of what follows, then the body.
Bytes Wrap(const Bytes& body) {
    Bytes b;
    Tag(b, "CcnK");
    Be32(b, static_cast<uint32_t>(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

const uint32_t kId = 0x54677050;  // 'TgpP'

Bytes ParameterProgram(const char* name, std::initializer_list<float> values, uint32_t id = kId) {
    Bytes body;
    Tag(body, "FxCk");
    Be32(body, 1);
    Be32(body, id);
    Be32(body, 7);
    Be32(body, static_cast<uint32_t>(values.size()));
    Name28(body, name);
    for (float v : values) BeFloat(body, v);
    return Wrap(body);
}

Bytes ChunkProgram(const char* name, const Bytes& chunk) {
    Bytes body;
    Tag(body, "FPCh");
    Be32(body, 1);
    Be32(body, kId);
    Be32(body, 7);
    Be32(body, 2);
    Name28(body, name);
    Be32(body, static_cast<uint32_t>(chunk.size()));
    body.insert(body.end(), chunk.begin(), chunk.end());
    return Wrap(body);
}

Bytes BankHeader(const char* kind, uint32_t version, uint32_t programs, uint32_t current) {
    Bytes body;
    Tag(body, kind);
    Be32(body, version);
    Be32(body, kId);
    Be32(body, 7);
    Be32(body, programs);
    Be32(body, version >= 2 ? current : 0);
    body.insert(body.end(), 124, 0);
    return body;
}

Bytes ParameterBank(uint32_t version, uint32_t current) {
    Bytes body = BankHeader("FxBk", version, 2, current);
    for (const Bytes& p : {ParameterProgram("Program One", {0.25f, 1.0f}), ParameterProgram("Two", {-0.0f, 0.5f})})
        body.insert(body.end(), p.begin(), p.end());
    return Wrap(body);
}

Bytes ChunkBank(const Bytes& chunk) {
    Bytes body = BankHeader("FBCh", 2, 3, 1);
    Be32(body, static_cast<uint32_t>(chunk.size()));
    body.insert(body.end(), chunk.begin(), chunk.end());
    return Wrap(body);
}

FxFile Parse(const Bytes& b) {
    FxFile file;
    std::string error;
    EXPECT_TRUE(ParseFxFile(b.data(), b.size(), &file, &error)) << error;
    return file;
}

}  // namespace

TEST(FxFiles, HandMadeFilesReadToTheirValuesAndAreWrittenBackByteForByte) {
    const Bytes program = ParameterProgram("Hand Made", {0.5f, -1.25f, 1e-40f});
    FxFile p = Parse(program);
    ASSERT_EQ(p.kind, FxKind::Program);
    EXPECT_EQ(p.program.form, FxForm::Parameters);
    EXPECT_EQ(p.program.pluginId, static_cast<int32_t>(kId));
    EXPECT_EQ(p.program.pluginVersion, 7);
    EXPECT_EQ(p.program.name, "Hand Made");
    ASSERT_EQ(p.program.parameters.size(), 3u);
    EXPECT_EQ(p.program.parameters[1], -1.25f);
    EXPECT_EQ(p.program.parameters[2], 1e-40f);
    EXPECT_EQ(BuildProgramFile(p.program), program);

    const Bytes chunkProgram = ChunkProgram("Opaque", {1, 2, 3, 0, 255});
    FxFile c = Parse(chunkProgram);
    EXPECT_EQ(c.program.form, FxForm::Chunk);
    EXPECT_EQ(c.program.chunk, (Bytes{1, 2, 3, 0, 255}));
    EXPECT_EQ(BuildProgramFile(c.program), chunkProgram);

    const Bytes bank = ParameterBank(2, 1);
    FxFile b = Parse(bank);
    ASSERT_EQ(b.kind, FxKind::Bank);
    EXPECT_EQ(b.bank.currentProgram, 1);
    ASSERT_EQ(b.bank.programs.size(), 2u);
    EXPECT_EQ(b.bank.programs[1].name, "Two");
    EXPECT_TRUE(std::signbit(b.bank.programs[1].parameters[0]));
    EXPECT_EQ(BuildBankFile(b.bank), bank);
    // Format 1 has no current program; it reads as program 0.
    EXPECT_EQ(Parse(ParameterBank(1, 0)).bank.currentProgram, 0);

    const Bytes chunkBank = ChunkBank(Bytes(4816, 0x5A));
    FxFile cb = Parse(chunkBank);
    EXPECT_EQ(cb.bank.form, FxForm::Chunk);
    EXPECT_EQ(cb.bank.programCount, 3);
    EXPECT_EQ(cb.bank.chunk.size(), 4816u);
    EXPECT_EQ(BuildBankFile(cb.bank), chunkBank);

    // A name that fills all 28 bytes has no terminator and is kept whole.
    Bytes full = ParameterProgram("", {});
    std::memset(full.data() + 28, 'n', 28);
    EXPECT_EQ(Parse(full).program.name, std::string(28, 'n'));
}

TEST(FxFiles, EachKindOfDamageHasItsOwnMessageAndLeavesTheRecordAlone) {
    const Bytes good = ParameterProgram("Good", {0.5f, 0.25f});
    auto with = [](Bytes b, size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
        return b;
    };
    Bytes shortByOne = good;
    shortByOne.pop_back();
    Bytes badBankProgram = ParameterBank(2, 0);
    std::memcpy(badBankProgram.data() + 156 + 64, "XXXX", 4);  // the second program's magic
    Bytes foreignInBank = ParameterBank(2, 0);
    foreignInBank[156 + 16 + 3] ^= 1;  // the first program's plug-in ID
    Bytes chunkShort = ChunkProgram("c", {1, 2, 3});
    chunkShort = with(chunkShort, 56, 4);

    const struct {
        const char* name;
        Bytes bytes;
        const char* message;
    } cases[] = {
        {"empty", {}, "too short for a VST preset or bank (0 bytes)"},
        {"magic", with(good, 0, 0x52494646), "it starts with 'RIFF', not 'CcnK'"},
        {"size", shortByOne, "the header says 56 bytes follow it, the file has 55"},
        {"kind", with(good, 8, 0x46784370), "unknown kind 'FxCp'"},
        {"version", with(good, 12, 3), "program format version 3 (1 is read)"},
        {"negative", with(good, 24, 0xFFFFFFFF), "negative parameter count -1"},
        {"count", with(good, 24, 3), "3 parameters need 12 bytes, the program holds 8"},
        {"header", Wrap(Bytes{'F', 'x', 'C', 'k', 0, 0, 0, 1}), "a program needs 56 header bytes, there are 16"},
        {"chunk", chunkShort, "the chunk claims 4 bytes, the program holds 3"},
        {"bankversion", with(ParameterBank(2, 0), 12, 9), "bank format version 9 (1 and 2 are read)"},
        {"bankcount", with(ParameterBank(2, 0), 24, 3), "3 programs of 64 bytes do not add up to the 128 bytes"},
        {"hugecount", with(ParameterBank(2, 0), 24, 0x7FFFFFFF), "2147483647 programs of 64 bytes do not add up"},
        {"current", with(ParameterBank(2, 0), 28, 2), "current program 2 is outside the bank's 2 programs"},
        {"bankprogram", badBankProgram, "program 1 of the bank: no 'CcnK' header"},
        {"foreign", foreignInBank, "program 0 of the bank: it is for plug-in 'TgpQ', the bank for 'TgpP'"},
        {"bankchunk", with(ChunkBank(Bytes(10, 1)), 156, 11), "the chunk claims 11 bytes, the bank holds 10"},
    };
    for (const auto& c : cases) {
        FxFile file;
        file.program.name = "untouched";
        std::string error;
        EXPECT_FALSE(ParseFxFile(c.bytes.data(), c.bytes.size(), &file, &error)) << c.name;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << c.name;
        EXPECT_EQ(file.program.name, "untouched") << c.name;
    }
}

TEST(FxFiles, AFileFitsOnlyThePluginItWasSavedFor) {
    PluginIdentity plugin;
    plugin.uniqueId = static_cast<int32_t>(kId);
    plugin.version = 7;
    plugin.parameterCount = 2;
    plugin.programCount = 3;
    FxFile program = Parse(ParameterProgram("p", {0.5f, 0.25f}));
    EXPECT_EQ(CheckFileFitsPlugin(program, plugin), "");
    EXPECT_EQ(CheckFileFitsPlugin(Parse(ParameterBank(2, 1)), plugin), "");

    PluginIdentity other = plugin;
    other.uniqueId = 0x74717A6D;
    EXPECT_EQ(CheckFileFitsPlugin(program, other), "the preset is for plug-in 'TgpP', this plug-in is 'tqzm'");
    other = plugin;
    other.version = 6;
    EXPECT_EQ(CheckFileFitsPlugin(program, other), "the preset was saved by version 7 of the plug-in, this is version 6");
    other = plugin;
    other.version = 8;  // an older file loads into a newer plug-in
    EXPECT_EQ(CheckFileFitsPlugin(program, other), "");
    other = plugin;
    other.hasChunks = true;
    EXPECT_EQ(CheckFileFitsPlugin(program, other),
              "the preset holds parameter values, but the plug-in keeps its state in chunks");
    EXPECT_EQ(CheckFileFitsPlugin(Parse(ChunkProgram("c", {1})), plugin),
              "the preset holds an opaque chunk, but the plug-in keeps its state in parameters");
    other = plugin;
    other.parameterCount = 3;
    EXPECT_EQ(CheckFileFitsPlugin(program, other), "the preset holds 2 parameters, the plug-in has 3");
    EXPECT_EQ(CheckFileFitsPlugin(Parse(ParameterBank(2, 0)), other),
              "the bank's programs hold 2 parameters, the plug-in has 3");
    other = plugin;
    other.programCount = 1;
    EXPECT_EQ(CheckFileFitsPlugin(Parse(ParameterBank(2, 0)), other), "the bank holds 2 programs, the plug-in has 1");
}
