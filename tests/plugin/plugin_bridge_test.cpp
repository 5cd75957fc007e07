// Brisane against the recording engine, through the real COM runtime: construction, programs,
// parameters, chunks, audio, arrangements and every dispatcher answer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "plugin/engine/engine_interfaces.h"
#include "plugin/bridge/program_table.h"
#include "tests/plugin/test_host.h"


using namespace testhost;
using namespace vst;
using recording::Call;

namespace {

const bool g_environment = (installEngineEnvironment(), true);

PluginModule& plugin() {
    static PluginModule module(exeDirectory() + L"Brisane.dll");
    return module;
}

float programValue(int program, int index) { return engine().programValues[program][index]; }

class Bridge : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(plugin().loaded());
        resetHost();
        resetEngine();
    }
    void TearDown() override {
        if (effect) close();
        EXPECT_EQ(engine().liveObjects, 0);
        EXPECT_EQ(engine().references, 0);
    }
    AEffect* create() {
        effect = plugin().entry()(audioMaster);
        return effect;
    }
    // Creates the plug-in and forgets the construction's calls on both sides.
    AEffect* createQuiet() {
        create();
        clearEngineCalls();
        hostCalls().clear();
        return effect;
    }
    VstIntPtr close() {
        VstIntPtr answer = dispatch(effect, effClose);
        effect = nullptr;
        return answer;
    }
    VstIntPtr call(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f) {
        return dispatch(effect, opcode, index, value, ptr, opt);
    }
    std::vector<uint8_t> chunk(bool preset) {
        void* data = nullptr;
        VstIntPtr size = call(effGetChunk, preset ? 1 : 0, 0, &data);
        if (size <= 0 || !data) return {};
        const uint8_t* bytes = static_cast<const uint8_t*>(data);
        return std::vector<uint8_t>(bytes, bytes + size);
    }
    float recordValue(int program, int index) {
        std::vector<uint8_t> bank = chunk(false);
        float value;
        std::memcpy(&value, &bank[program * 301 + index * 4], 4);
        return value;
    }
    std::string recordName(int program) {
        std::vector<uint8_t> bank = chunk(false);
        return std::string(reinterpret_cast<const char*>(&bank[program * 301 + 276]), 25);
    }
    void process(std::vector<std::vector<float>>& in, std::vector<std::vector<float>>& out, int frames) {
        std::vector<float*> inputs, outputs;
        for (auto& channel : in) inputs.push_back(channel.data());
        for (auto& channel : out) outputs.push_back(channel.data());
        effect->processReplacing(effect, inputs.data(), outputs.data(), frames);
    }

    AEffect* effect = nullptr;
};

std::vector<std::vector<float>> channels(int count, int frames, float base) {
    std::vector<std::vector<float>> result(count, std::vector<float>(frames));
    for (int c = 0; c < count; ++c)
        for (int f = 0; f < frames; ++f) result[c][f] = base + (float)(c * 100 + f);
    return result;
}

VstSpeakerArrangement makeArrangement(int count, int type = 7) {
    VstSpeakerArrangement a;
    std::memset(&a, 0, sizeof(a));
    a.type = type;
    a.numChannels = count;
    for (int i = 0; i < count && i < 8; ++i) {
        a.speakers[i].azimuth = 0.25f * (float)(i + 1);
        a.speakers[i].type = 10 + i;
        std::snprintf(a.speakers[i].name, sizeof(a.speakers[i].name), "Speaker %d", i);
        a.speakers[i].future[27] = (char)(i + 1);
    }
    return a;
}

// ---- construction ------------------------------------------------------------------------------

TEST_F(Bridge, AEffectAfterConstructionDescribesTheBridge) {
    ASSERT_NE(create(), nullptr);
    EXPECT_EQ(effect->magic, kEffectMagic);
    EXPECT_EQ(effect->numPrograms, 16);
    EXPECT_EQ(effect->numParams, 4);
    EXPECT_EQ(effect->numInputs, 2);
    EXPECT_EQ(effect->numOutputs, 2);
    EXPECT_EQ(effect->flags, 0x38);  // no property page: no editor flag
    EXPECT_EQ(effect->initialDelay, 0);
    EXPECT_EQ(effect->ioRatio, 1.0f);
    EXPECT_EQ(effect->uniqueID, 0x7471786D);
    EXPECT_EQ(effect->version, 1500);
    EXPECT_NE(effect->object, nullptr);
    EXPECT_NE(effect->processReplacing, nullptr);
    EXPECT_NE(effect->processDoubleReplacing, nullptr);
    std::vector<Call> formats = engineCalls(recording::kSetFormat);
    ASSERT_EQ(formats.size(), 1u);
    EXPECT_EQ(formats[0].index, 48000);
    EXPECT_EQ(formats[0].arg, 2);
}

TEST_F(Bridge, ConstructionTalksToHostAndEngineInOrder) {
    host().sampleRate = 96000;
    ASSERT_NE(create(), nullptr);

    // Host: the version with a null effect, then the sample rate with the plug-in's AEffect.
    ASSERT_GE(hostCalls().size(), 2u);
    EXPECT_EQ(hostCalls()[0].opcode, audioMasterVersion);
    EXPECT_EQ(hostCalls()[0].effect, nullptr);
    EXPECT_EQ(hostCalls()[1].opcode, audioMasterGetSampleRate);
    EXPECT_EQ(hostCalls()[1].effect, effect);
    EXPECT_EQ(hostCalls().size(), 2u);

    // The engine ends up configured, loaded with record 0 and advised; what must come before
    // what: the option before the format, the format before any program, and the advice after
    // the plug-in's own loads, so that they do not come back to it.
    std::vector<Call> calls = allEngineCalls();
    auto firstOf = [&](int method) {
        for (size_t i = 0; i < calls.size(); ++i)
            if (calls[i].method == method) return i;
        return calls.size();
    };
    auto lastOf = [&](int method) {
        for (size_t i = calls.size(); i-- > 0;)
            if (calls[i].method == method) return i;
        return calls.size();
    };
    const std::vector<Call> option = engineCalls(recording::kSetOption), format = engineCalls(recording::kSetFormat);
    ASSERT_EQ(option.size(), 1u);
    EXPECT_EQ(option[0].index, -1);
    ASSERT_EQ(format.size(), 1u);
    EXPECT_EQ(format[0].index, 96000);
    EXPECT_EQ(format[0].arg, 2);
    EXPECT_LT(firstOf(recording::kSetOption), firstOf(recording::kSetFormat));
    EXPECT_LT(firstOf(recording::kSetFormat), firstOf(recording::kSelect));
    EXPECT_EQ(lastOf(recording::kAdvise), calls.size() - 1);
    EXPECT_LT(lastOf(recording::kSetValue), lastOf(recording::kAdvise));
    EXPECT_EQ(engineCalls(recording::kSelect).size(), 16u);
    EXPECT_EQ(engineCalls(recording::kGetValue).size(), 16u * 69u);
    EXPECT_EQ(engineCalls(recording::kGetPropertyPages).size(), 1u);
    for (int j = 0; j < 69; ++j) EXPECT_EQ(engine().current[j], programValue(0, j)) << j;
    EXPECT_EQ(engine().context, effect->object);
    // The four interfaces the plug-in keeps; the option interface was given back.
    EXPECT_EQ(engine().references, 4);
}

TEST_F(Bridge, ProgramTableIsFilledFromTheEngine) {
    ASSERT_NE(create(), nullptr);
    EXPECT_EQ(call(effGetProgram), 0);
    for (int p = 0; p < 16; ++p) {
        std::string expected = p < 3 ? "Engine program " + std::to_string(p) : "<Default>";
        expected.resize(25, '\0');
        EXPECT_EQ(recordName(p), expected) << p;
    }
    std::vector<uint8_t> bank = chunk(false);
    for (int p = 0; p < 16; ++p)
        for (int j = 0; j < 69; ++j) {
            float value;
            std::memcpy(&value, &bank[p * 301 + j * 4], 4);
            // Records beyond the engine's three carry engine program 0.
            ASSERT_EQ(value, programValue(p < 3 ? p : 0, j)) << p << "/" << j;
        }
    for (int j = 0; j < 69; ++j) EXPECT_EQ(engine().current[j], programValue(0, j));
}

TEST_F(Bridge, LongEngineProgramNamesAreCutAt24) {
    std::wcscpy(engine().programNames[1], L"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123");
    ASSERT_NE(create(), nullptr);
    EXPECT_EQ(recordName(1), std::string("ABCDEFGHIJKLMNOPQRSTUVWX") + '\0');
}

TEST_F(Bridge, EntryPointRefusesAndLeavesNothingBehind) {
    host().version = 0;
    EXPECT_EQ(create(), nullptr);
    EXPECT_EQ(allEngineCalls().size(), 0u);
    EXPECT_EQ(plugin().entry()(nullptr), nullptr);

    resetHost();
    engine().failCreate = true;
    EXPECT_EQ(create(), nullptr);
    resetEngine();

    for (int missing : {recording::kParameters, recording::kNotify, recording::kPrograms}) {
        resetEngine();
        engine().offer[missing] = false;
        EXPECT_EQ(create(), nullptr) << missing;
        EXPECT_EQ(engine().liveObjects, 0) << missing;
        EXPECT_EQ(engine().references, 0) << missing;
        EXPECT_EQ(engine().callback, nullptr) << missing;
    }
}

TEST_F(Bridge, EngineWithoutOptionInterfaceStillWorks) {
    engine().offer[recording::kOption] = false;
    ASSERT_NE(create(), nullptr);
    EXPECT_TRUE(engineCalls(recording::kSetOption).empty());
    EXPECT_EQ(engine().references, 4);
}

TEST_F(Bridge, TwoPluginsInOneProcessKeepTheirOwnEngines) {
    ASSERT_NE(create(), nullptr);
    AEffect* second = plugin().entry()(audioMaster);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(engine().liveObjects, 2);
    EXPECT_EQ(engine().references, 8);
    EXPECT_EQ(dispatch(second, effClose), 1);
    EXPECT_EQ(engine().liveObjects, 1);
    EXPECT_EQ(engine().references, 4);
}

TEST_F(Bridge, EngineListingPropertyPagesGetsAnEditor) {
    engine().propertyPageCount = 2;
    ASSERT_NE(create(), nullptr);
    EXPECT_EQ(effect->flags, 0x39);
    ERect* rect = nullptr;
    EXPECT_EQ(call(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top | rect->left | rect->bottom | rect->right, 0);
    // No window can be made in a parent that does not exist: the open fails and keeps no page.
    EXPECT_EQ(call(effEditOpen, 0, 0, reinterpret_cast<void*>(0x1234)), 0);
    EXPECT_EQ(engine().pageLiveObjects, 0);
}

// ---- effClose ----------------------------------------------------------------------------------

TEST_F(Bridge, CloseReleasesEveryEngineReference) {
    ASSERT_NE(createQuiet(), nullptr);
    EXPECT_EQ(engine().liveObjects, 1);
    EXPECT_EQ(close(), 1);
    std::vector<Call> calls = allEngineCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].method, recording::kUnadvise);
    EXPECT_EQ(engine().callback, nullptr);
    EXPECT_EQ(engine().references, 0);
    EXPECT_EQ(engine().liveObjects, 0);
}

// ---- parameters --------------------------------------------------------------------------------

TEST_F(Bridge, SetParameterGoesToEngineAndCurrentRecord) {
    ASSERT_NE(create(), nullptr);
    call(effSetProgram, 0, 3);
    clearEngineCalls();
    hostCalls().clear();
    effect->setParameter(effect, 2, 0.5f);
    std::vector<Call> calls = allEngineCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].method, recording::kSetValue);
    EXPECT_EQ(calls[0].index, 2);
    EXPECT_EQ(calls[0].value, 0.5f);
    EXPECT_EQ(calls[0].arg, -1);
    EXPECT_EQ(countHostCalls(audioMasterUpdateDisplay), 1);
    EXPECT_EQ(hostCalls().size(), 1u);
    EXPECT_EQ(recordValue(3, 2), 0.5f);
    EXPECT_EQ(recordValue(0, 2), programValue(0, 2));
}

TEST_F(Bridge, SetParameterOutsideTheRecordReachesOnlyTheEngine) {
    ASSERT_NE(create(), nullptr);
    std::vector<uint8_t> before = chunk(false);
    clearEngineCalls();
    for (int index : {69, 100, 1 << 20, -1, -70}) effect->setParameter(effect, index, 123.0f);
    std::vector<Call> calls = engineCalls(recording::kSetValue);
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0].index, 69);
    EXPECT_EQ(calls[3].index, -1);
    EXPECT_EQ(engine().current[100], 123.0f);
    EXPECT_EQ(chunk(false), before);
}

TEST_F(Bridge, GetParameterReadsTheEngineNotTheRecord) {
    ASSERT_NE(create(), nullptr);
    engine().current[1] = 7.25f;
    EXPECT_EQ(effect->getParameter(effect, 1), 7.25f);
    EXPECT_NE(recordValue(0, 1), 7.25f);
    // An index the engine refuses leaves the initial 0.
    EXPECT_EQ(effect->getParameter(effect, -5), 0.0f);
}

TEST_F(Bridge, ParameterTextsAreCutAtEightCharacters) {
    std::wcscpy(engine().parameterName, L"Frequency Lo");
    ASSERT_NE(createQuiet(), nullptr);
    char text[32];
    std::memset(text, 0x55, sizeof(text));
    EXPECT_EQ(call(effGetParamName, 3, 0, text), 0);
    EXPECT_STREQ(text, "Frequenc");
    EXPECT_EQ(text[9], 0x55);  // nothing beyond the zero at position 8

    std::memset(text, 0x55, sizeof(text));
    call(effGetParamLabel, 1, 0, text);
    EXPECT_STREQ(text, "dB");
    std::memset(text, 0x55, sizeof(text));
    call(effGetParamDisplay, 2, 0, text);
    EXPECT_STREQ(text, "-6.0");

    std::vector<Call> calls = allEngineCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].method, recording::kGetParamName);
    EXPECT_EQ(calls[0].index, 3);
    EXPECT_EQ(calls[1].method, recording::kGetLabel);
    EXPECT_EQ(calls[1].index, 1);
    EXPECT_EQ(calls[2].method, recording::kGetDisplay);
    EXPECT_EQ(calls[2].index, 2);

    engine().nullTexts = true;
    std::memset(text, 0x55, sizeof(text));
    call(effGetParamName, 0, 0, text);
    EXPECT_STREQ(text, "");
    // A host that gives no buffer gets nothing written and no crash.
    EXPECT_EQ(call(effGetParamName, 0, 0, nullptr), 0);
}

TEST_F(Bridge, EngineChangesReachTheCurrentRecord) {
    ASSERT_NE(create(), nullptr);
    call(effSetProgram, 0, 5);
    for (int j = 0; j < 69; ++j) engine().current[j] = -1.0f - (float)j;
    clearEngineCalls();
    hostCalls().clear();
    auto callback = reinterpret_cast<brisane::EngineChangeCallback>(engine().callback);
    ASSERT_NE(callback, nullptr);
    EXPECT_EQ(callback(11, engine().context, 22), 0);
    EXPECT_EQ(engineCalls(recording::kGetValue).size(), 69u);
    EXPECT_EQ(countHostCalls(audioMasterUpdateDisplay), 1);
    EXPECT_EQ(countHostCalls(audioMasterAutomate), 0);
    for (int j = 0; j < 69; ++j) ASSERT_EQ(recordValue(5, j), -1.0f - (float)j) << j;
    EXPECT_EQ(recordValue(4, 0), programValue(0, 0));
}

TEST_F(Bridge, EngineCountingMoreThan69ParametersUpdatesOnly69) {
    ASSERT_NE(create(), nullptr);
    engine().parameterCount = 120;
    clearEngineCalls();
    auto callback = reinterpret_cast<brisane::EngineChangeCallback>(engine().callback);
    EXPECT_EQ(callback(0, engine().context, 0), 0);
    std::vector<Call> reads = engineCalls(recording::kGetValue);
    ASSERT_EQ(reads.size(), 69u);
    EXPECT_EQ(reads.back().index, 68);
    std::vector<uint8_t> bank = chunk(false);
    EXPECT_EQ(bank.size(), 4816u);
}

// ---- programs ----------------------------------------------------------------------------------

TEST_F(Bridge, SetProgramSendsTheRecordToTheEngine) {
    ASSERT_NE(createQuiet(), nullptr);
    EXPECT_EQ(call(effSetProgram, 0, 2), 0);
    EXPECT_EQ(call(effGetProgram), 2);
    std::vector<Call> calls = allEngineCalls();
    ASSERT_EQ(calls.size(), 69u);
    for (int j = 0; j < 69; ++j) {
        EXPECT_EQ(calls[j].method, recording::kSetValue);
        EXPECT_EQ(calls[j].index, j);
        EXPECT_EQ(calls[j].arg, 0);
        EXPECT_EQ(calls[j].value, programValue(2, j));
    }
    EXPECT_TRUE(hostCalls().empty());
}

TEST_F(Bridge, ProgramIndicesOutsideTheTableAreIgnored) {
    ASSERT_NE(create(), nullptr);
    call(effSetProgram, 0, 4);
    clearEngineCalls();
    for (VstIntPtr program : {(VstIntPtr)16, (VstIntPtr)-1, (VstIntPtr)-100, (VstIntPtr)1000})
        call(effSetProgram, 0, program);
    EXPECT_EQ(call(effGetProgram), 4);
    EXPECT_TRUE(allEngineCalls().empty());
}

TEST_F(Bridge, ProgramNamesKeep24Characters) {
    ASSERT_NE(create(), nullptr);
    call(effSetProgram, 0, 6);
    char name[40] = "abcdefghijklmnopqrstuvwxyz0123";
    call(effSetProgramName, 0, 0, name);
    char read[40];
    std::memset(read, 0x55, sizeof(read));
    call(effGetProgramName, 0, 0, read);
    EXPECT_STREQ(read, "abcdefghijklmnopqrstuvwx");
    EXPECT_EQ(read[25], 0x55);
    EXPECT_EQ(recordName(6), std::string("abcdefghijklmnopqrstuvwx") + '\0');
    EXPECT_EQ(call(effSetProgramName, 0, 0, nullptr), 0);
    EXPECT_EQ(call(effGetProgramName, 0, 0, nullptr), 0);
}

TEST_F(Bridge, ProgramNamesByIndex) {
    ASSERT_NE(create(), nullptr);
    char text[64];
    std::memset(text, 0x55, sizeof(text));
    EXPECT_EQ(call(effGetProgramNameIndexed, 2, 5, text), 1);
    EXPECT_STREQ(text, "Engine program 2");
    EXPECT_EQ(call(effGetProgramNameIndexed, 15, 0, text), 1);
    EXPECT_STREQ(text, "<Default>");
    std::memset(text, 0x55, sizeof(text));
    EXPECT_EQ(call(effGetProgramNameIndexed, 16, 0, text), 0);
    EXPECT_EQ(call(effGetProgramNameIndexed, -1, 0, text), 0);
    EXPECT_EQ(text[0], 0x55);
    EXPECT_EQ(call(effGetProgramNameIndexed, 0, 0, nullptr), 0);
}

// ---- chunks ------------------------------------------------------------------------------------

TEST_F(Bridge, ProgramChunkRoundTrip) {
    ASSERT_NE(create(), nullptr);
    call(effSetProgram, 0, 1);
    effect->setParameter(effect, 0, 1.0f);
    std::vector<uint8_t> preset = chunk(true);
    ASSERT_EQ(preset.size(), 301u);
    EXPECT_EQ(preset[0], 0x00);
    EXPECT_EQ(preset[1], 0x00);
    EXPECT_EQ(preset[2], 0x80);
    EXPECT_EQ(preset[3], 0x3F);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&preset[276])), "Engine program 1");

    clearEngineCalls();
    EXPECT_EQ(call(effSetChunk, 1, 301, preset.data()), 1);
    std::vector<Call> calls = allEngineCalls();
    ASSERT_EQ(calls.size(), 69u);
    for (int j = 0; j < 69; ++j) {
        float value;
        std::memcpy(&value, &preset[j * 4], 4);
        EXPECT_EQ(calls[j].index, j);
        EXPECT_EQ(calls[j].value, value);
        EXPECT_EQ(calls[j].arg, 0);
    }
    EXPECT_EQ(call(effGetProgram), 1);
    EXPECT_EQ(chunk(true), preset);
}

TEST_F(Bridge, PresetChunkLoadsIntoTheCurrentProgram) {
    ASSERT_NE(create(), nullptr);
    std::vector<uint8_t> preset(301, 0);
    for (int j = 0; j < 69; ++j) {
        float value = 0.125f * (float)j;
        std::memcpy(&preset[j * 4], &value, 4);
    }
    std::memcpy(&preset[276], "Loaded", 6);
    call(effSetProgram, 0, 9);
    clearEngineCalls();
    EXPECT_EQ(call(effSetChunk, 1, 301, preset.data()), 1);
    EXPECT_EQ(call(effGetProgram), 9);
    EXPECT_EQ(recordName(9), std::string("Loaded") + std::string(19, '\0'));
    for (int j = 0; j < 69; ++j) EXPECT_EQ(engine().current[j], 0.125f * (float)j);
}

TEST_F(Bridge, BankChunkLoadLeavesProgramZeroCurrent) {
    ASSERT_NE(create(), nullptr);
    std::vector<uint8_t> bank = chunk(false);
    ASSERT_EQ(bank.size(), 4816u);
    for (int p = 0; p < 16; ++p)
        for (int j = 0; j < 69; ++j) {
            float value = (float)(p * 1000 + j) + 0.75f;
            std::memcpy(&bank[p * 301 + j * 4], &value, 4);
        }
    call(effSetProgram, 0, 7);
    clearEngineCalls();
    EXPECT_EQ(call(effSetChunk, 0, 4816, bank.data()), 1);
    EXPECT_EQ(call(effGetProgram), 0);
    std::vector<Call> calls = allEngineCalls();
    ASSERT_EQ(calls.size(), 69u);
    for (int j = 0; j < 69; ++j) EXPECT_EQ(calls[j].value, (float)j + 0.75f);
    EXPECT_EQ(chunk(false), bank);
}

TEST_F(Bridge, ChunksOfTheWrongSizeAreRefused) {
    ASSERT_NE(create(), nullptr);
    call(effSetProgram, 0, 3);
    std::vector<uint8_t> before = chunk(false);
    std::vector<uint8_t> junk(5000, 0x41);
    clearEngineCalls();
    EXPECT_EQ(call(effSetChunk, 1, 300, junk.data()), 0);
    EXPECT_EQ(call(effSetChunk, 1, 302, junk.data()), 0);
    EXPECT_EQ(call(effSetChunk, 1, 4816, junk.data()), 0);
    EXPECT_EQ(call(effSetChunk, 0, 4815, junk.data()), 0);
    EXPECT_EQ(call(effSetChunk, 0, 4817, junk.data()), 0);
    EXPECT_EQ(call(effSetChunk, 0, 301, junk.data()), 0);
    EXPECT_EQ(call(effSetChunk, 0, -4816, junk.data()), 0);
    EXPECT_EQ(call(effSetChunk, 1, 301, nullptr), 0);
    EXPECT_EQ(call(effSetChunk, 0, 4816, nullptr), 0);
    EXPECT_EQ(call(effGetChunk, 0, 0, nullptr), 0);
    EXPECT_TRUE(allEngineCalls().empty());
    EXPECT_EQ(call(effGetProgram), 3);
    EXPECT_EQ(chunk(false), before);
}

TEST_F(Bridge, NameWithoutTerminatorIsReadAs24Characters) {
    ASSERT_NE(create(), nullptr);
    std::vector<uint8_t> preset = chunk(true);
    std::memset(&preset[276], 'N', 25);
    EXPECT_EQ(call(effSetChunk, 1, 301, preset.data()), 1);
    char name[40];
    std::memset(name, 0x55, sizeof(name));
    call(effGetProgramName, 0, 0, name);
    EXPECT_EQ(std::string(name), std::string(24, 'N'));
    std::memset(name, 0x55, sizeof(name));
    EXPECT_EQ(call(effGetProgramNameIndexed, 0, 0, name), 1);
    EXPECT_EQ(std::string(name), std::string(24, 'N'));
    EXPECT_EQ(chunk(true), preset);
}

// Private memory committed in the process, summed over its address space.
long long committedPrivateBytes() {
    long long total = 0;
    MEMORY_BASIC_INFORMATION info;
    for (const char* address = nullptr; VirtualQuery(address, &info, sizeof(info)) == sizeof(info);) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += (long long)info.RegionSize;
        const char* next = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
        if (next <= address) break;
        address = next;
    }
    return total;
}

TEST_F(Bridge, SupersededChunkBuffersAreReleased) {
    ASSERT_NE(create(), nullptr);
    // Warm up, then save many banks: the memory in use must not grow by a buffer per save.
    for (int i = 0; i < 10; ++i) chunk(false);
    long long before = committedPrivateBytes();
    for (int i = 0; i < 20000; ++i) {
        void* data = nullptr;
        ASSERT_EQ(call(effGetChunk, 0, 0, &data), 4816);
        ASSERT_EQ(call(effGetChunk, 1, 0, &data), 301);
    }
    // Keeping every buffer would take about 100 MB.
    EXPECT_LT(committedPrivateBytes() - before, 16ll << 20);
}

// ---- audio -------------------------------------------------------------------------------------

TEST_F(Bridge, BlocksAreInterleavedFrameByFrame) {
    ASSERT_NE(create(), nullptr);
    auto in = channels(2, 4, 1.0f);
    auto out = channels(2, 4, -50.0f);
    process(in, out, 4);
    ASSERT_EQ(engine().lastInputCount, 8);
    EXPECT_EQ(engine().lastInputDims, 1);
    EXPECT_EQ(engine().lastInputType, VT_R4);
    EXPECT_EQ(engine().lastInputLowerBound, 0);
    for (int f = 0; f < 4; ++f)
        for (int c = 0; c < 2; ++c) EXPECT_EQ(engine().lastInput[f * 2 + c], in[c][f]);
    EXPECT_EQ(out, in);  // the echo engine returns its input
}

TEST_F(Bridge, NullResultPassesTheInputThrough) {
    engine().processMode = recording::kProcessNull;
    ASSERT_NE(create(), nullptr);
    auto in = channels(2, 64, 3.0f);
    auto out = channels(2, 64, -50.0f);
    process(in, out, 64);
    EXPECT_EQ(out, in);
}

TEST_F(Bridge, ResultThatIsNotFloatsPassesTheInputThrough) {
    engine().processMode = recording::kProcessDoubles;
    ASSERT_NE(create(), nullptr);
    auto in = channels(2, 16, 3.0f);
    auto out = channels(2, 16, -50.0f);
    process(in, out, 16);
    EXPECT_EQ(out, in);
}

TEST_F(Bridge, LongResultUsesOnlyTheBlock) {
    engine().processMode = recording::kProcessLong;
    engine().resultLength = 7;
    ASSERT_NE(create(), nullptr);
    auto in = channels(2, 4, 0.0f);
    auto out = channels(2, 4, -50.0f);
    process(in, out, 4);
    for (int f = 0; f < 4; ++f)
        for (int c = 0; c < 2; ++c) EXPECT_EQ(out[c][f], 1000.0f + (float)(f * 2 + c));
}

TEST_F(Bridge, ShortResultIsPaddedAtTheStart) {
    engine().processMode = recording::kProcessShort;
    engine().resultLength = 5;
    ASSERT_NE(create(), nullptr);
    auto in = channels(2, 4, 0.0f);
    auto out = channels(2, 4, -50.0f);
    process(in, out, 4);
    // Interleaved: 0 0 0 1000 1001 1002 1003 1004.
    EXPECT_EQ(out[0], (std::vector<float>{0.0f, 0.0f, 1001.0f, 1003.0f}));
    EXPECT_EQ(out[1], (std::vector<float>{0.0f, 1000.0f, 1002.0f, 1004.0f}));

    engine().resultLength = 0;
    out = channels(2, 4, -50.0f);
    process(in, out, 4);
    EXPECT_EQ(out, (std::vector<std::vector<float>>(2, std::vector<float>(4, 0.0f))));
}

TEST_F(Bridge, ZeroFramesSendAnEmptyBlockAndWriteNothing) {
    ASSERT_NE(create(), nullptr);
    auto in = channels(2, 4, 1.0f);
    auto out = channels(2, 4, -50.0f);
    auto untouched = out;
    process(in, out, 0);
    EXPECT_EQ(engine().lastInputCount, 0);
    EXPECT_EQ(out, untouched);
}

TEST_F(Bridge, InPlaceBuffersAndMissingBufferArrays) {
    ASSERT_NE(create(), nullptr);
    auto buffers = channels(2, 32, 1.0f);
    auto expected = buffers;
    process(buffers, buffers, 32);
    EXPECT_EQ(buffers, expected);

    clearEngineCalls();
    std::vector<float*> pointers = {buffers[0].data(), buffers[1].data()};
    effect->processReplacing(effect, nullptr, pointers.data(), 32);
    effect->processReplacing(effect, pointers.data(), nullptr, 32);
    effect->processReplacing(effect, pointers.data(), pointers.data(), -4);
    EXPECT_TRUE(engineCalls(recording::kProcess).empty());
    // The unsupported entry points do nothing.
    effect->process(effect, pointers.data(), pointers.data(), 32);
    EXPECT_TRUE(engineCalls(recording::kProcess).empty());
}

// ---- resume and arrangements ---------------------------------------------------------------------

TEST_F(Bridge, ResumeSetsTheFormatOnlyWhenSomethingChanged) {
    ASSERT_NE(createQuiet(), nullptr);
    call(effMainsChanged, 0, 0);
    EXPECT_TRUE(allEngineCalls().empty());
    call(effMainsChanged, 0, 1);
    EXPECT_TRUE(allEngineCalls().empty());
    EXPECT_EQ(countHostCalls(audioMasterPinConnected), 2);

    host().sampleRate = 44100;
    call(effMainsChanged, 0, 1);
    std::vector<Call> calls = allEngineCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].method, recording::kSetFormat);
    EXPECT_EQ(calls[0].index, 44100);
    EXPECT_EQ(calls[0].arg, 2);
}

TEST_F(Bridge, ResumeFollowsConnectedInputs) {
    ASSERT_NE(createQuiet(), nullptr);
    // Input 0 not connected: no input counts, so only the rate matters.
    host().firstDisconnectedInput = 0;
    call(effMainsChanged, 0, 1);
    EXPECT_TRUE(allEngineCalls().empty());

    // Only input 0 connected: the channel count drops to 1.
    host().firstDisconnectedInput = 1;
    call(effMainsChanged, 0, 1);
    std::vector<Call> calls = allEngineCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].index, 48000);
    EXPECT_EQ(calls[0].arg, 1);
    EXPECT_EQ(effect->numInputs, 2);  // the host's view stays
    auto in = channels(1, 8, 1.0f);
    auto out = channels(1, 8, 0.0f);
    process(in, out, 8);
    EXPECT_EQ(engine().lastInputCount, 8);
}

TEST_F(Bridge, SampleRateSetByTheHostReachesTheEngineAtResume) {
    ASSERT_NE(createQuiet(), nullptr);
    host().sampleRate = 0;  // the host no longer answers the rate request
    call(effSetSampleRate, 0, 0, nullptr, 22050.0f);
    call(effSetBlockSize, 0, 333);
    EXPECT_TRUE(allEngineCalls().empty());
    call(effMainsChanged, 0, 1);
    std::vector<Call> calls = engineCalls(recording::kSetFormat);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].index, 22050);
}

TEST_F(Bridge, ArrangementsStartZeroFilledWithTheChannelCount) {
    ASSERT_NE(create(), nullptr);
    VstSpeakerArrangement* input = nullptr;
    VstSpeakerArrangement* output = nullptr;
    EXPECT_EQ(call(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input), &output), 1);
    ASSERT_NE(input, nullptr);
    ASSERT_NE(output, nullptr);
    EXPECT_EQ(input->type, 0);
    EXPECT_EQ(input->numChannels, 2);
    EXPECT_EQ(output->numChannels, 2);
    VstSpeakerProperties zero;
    std::memset(&zero, 0, sizeof(zero));
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(std::memcmp(&input->speakers[i], &zero, sizeof(zero)), 0);
        EXPECT_EQ(std::memcmp(&output->speakers[i], &zero, sizeof(zero)), 0);
    }
}

TEST_F(Bridge, FewerChannelsAreTakenAndMoreAreRefusedAfterwards) {
    ASSERT_NE(createQuiet(), nullptr);
    VstSpeakerArrangement in1 = makeArrangement(1), out1 = makeArrangement(1, 3);
    EXPECT_EQ(call(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in1), &out1), 1);
    std::vector<Call> formats = engineCalls(recording::kSetFormat);
    ASSERT_EQ(formats.size(), 1u);
    EXPECT_EQ(formats[0].index, 48000);
    EXPECT_EQ(formats[0].arg, 1);
    VstSpeakerArrangement *input = nullptr, *output = nullptr;
    call(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input), &output);
    EXPECT_EQ(input->type, 7);
    EXPECT_EQ(output->type, 3);
    EXPECT_STREQ(input->speakers[0].name, "Speaker 0");
    EXPECT_EQ(input->speakers[0].azimuth, 0.25f);
    EXPECT_EQ(input->speakers[0].type, 10);
    EXPECT_EQ(input->speakers[0].future[27], 1);

    clearEngineCalls();
    VstSpeakerArrangement in2 = makeArrangement(2), out2 = makeArrangement(2);
    EXPECT_EQ(call(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in2), &out2), 0);
    EXPECT_TRUE(engineCalls(recording::kSetFormat).empty());
    call(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input), &output);
    EXPECT_EQ(input->numChannels, 1);
    EXPECT_EQ(input->type, 0);
    EXPECT_EQ(input->speakers[0].name[0], 0);
    EXPECT_EQ(input->speakers[0].type, 0);
    EXPECT_EQ(output->numChannels, 1);
    EXPECT_EQ(output->type, 0);
    EXPECT_EQ(effect->numInputs, 2);
    EXPECT_EQ(effect->numOutputs, 2);
}

TEST_F(Bridge, MismatchedOutputCopiesTheInput) {
    ASSERT_NE(createQuiet(), nullptr);
    VstSpeakerArrangement in2 = makeArrangement(2, 5), out1 = makeArrangement(1, 9);
    EXPECT_EQ(call(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in2), &out1), 0);
    EXPECT_TRUE(engineCalls(recording::kSetFormat).empty());
    VstSpeakerArrangement *input = nullptr, *output = nullptr;
    call(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input), &output);
    for (VstSpeakerArrangement* a : {input, output}) {
        EXPECT_EQ(a->numChannels, 2);
        EXPECT_EQ(a->type, 5);
        EXPECT_STREQ(a->speakers[1].name, "Speaker 1");
        EXPECT_EQ(a->speakers[1].type, 11);
    }
}

TEST_F(Bridge, MalformedArrangementsAreRefused) {
    ASSERT_NE(createQuiet(), nullptr);
    VstSpeakerArrangement *input = nullptr, *output = nullptr;
    call(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input), &output);
    VstSpeakerArrangement good = makeArrangement(1), negative = makeArrangement(0);
    negative.numChannels = -3;
    EXPECT_EQ(call(effSetSpeakerArrangement, 0, 0, &good), 0);
    EXPECT_EQ(call(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&good), nullptr), 0);
    EXPECT_EQ(call(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&negative), &good), 0);
    EXPECT_EQ(call(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&good), &negative), 0);
    EXPECT_TRUE(allEngineCalls().empty());
    VstSpeakerArrangement *input2 = nullptr, *output2 = nullptr;
    call(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input2), &output2);
    EXPECT_EQ(input2, input);
    EXPECT_EQ(output2, output);
    EXPECT_EQ(input2->numChannels, 2);
    EXPECT_EQ(call(effGetSpeakerArrangement, 0, 0, nullptr), 0);
}

TEST_F(Bridge, HostHandingBackOurOwnRecords) {
    ASSERT_NE(createQuiet(), nullptr);
    VstSpeakerArrangement in1 = makeArrangement(1), out1 = makeArrangement(1);
    call(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in1), &out1);
    VstSpeakerArrangement *input = nullptr, *output = nullptr;
    call(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input), &output);
    // Output request pointing at the input record that the call replaces.
    VstSpeakerArrangement in0 = makeArrangement(0);
    EXPECT_EQ(call(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in0), input), 0);
    call(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input), &output);
    EXPECT_EQ(input->numChannels, 0);
    EXPECT_EQ(output->numChannels, 0);
    // Both of our records as they are.
    EXPECT_EQ(call(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(input), output), 1);
}

// ---- dispatcher --------------------------------------------------------------------------------

TEST_F(Bridge, IdentityAnswers) {
    std::wcscpy(engine().engineName, L"An engine name that is longer than thirty-two");
    ASSERT_NE(createQuiet(), nullptr);
    char text[128];
    std::memset(text, 0x55, sizeof(text));
    EXPECT_EQ(call(effGetEffectName, 0, 0, text), 1);
    EXPECT_EQ(std::string(text), "An engine name that is longer th");
    EXPECT_EQ(text[33], 0x55);
    std::memset(text, 0x55, sizeof(text));
    EXPECT_EQ(call(effGetVendorString, 0, 0, text), 1);
    EXPECT_STREQ(text, "Velk Digital Media");
    EXPECT_EQ(text[65], 0x55);
    EXPECT_EQ(call(effGetProductString, 0, 0, text), 1);
    EXPECT_STREQ(text, "Brisane");
    EXPECT_EQ(call(effGetVendorVersion), 1500);
    EXPECT_EQ(call(effGetVstVersion), 2400);
    EXPECT_EQ(call(effIdentify), 0x4E764566);
    EXPECT_EQ(call(effGetEffectName, 0, 0, nullptr), 0);
    EXPECT_EQ(call(effGetVendorString, 0, 0, nullptr), 0);

    engine().nullTexts = true;
    std::memset(text, 0x55, sizeof(text));
    EXPECT_EQ(call(effGetEffectName, 0, 0, text), 1);
    EXPECT_STREQ(text, "");
}

TEST_F(Bridge, FixedAnswers) {
    ASSERT_NE(createQuiet(), nullptr);
    char capability[] = "receiveVstEvents";
    char other[] = "sizeWindow";
    EXPECT_EQ(call(effCanDo, 0, 0, capability), 0);
    EXPECT_EQ(call(effCanDo, 0, 0, other), 0);
    EXPECT_EQ(call(effCanBeAutomated, 0), 1);
    EXPECT_EQ(call(effCanBeAutomated, 60), 1);
    EXPECT_EQ(call(effGetPlugCategory), 0);
    EXPECT_EQ(call(effGetCurrentMidiProgram), -1);
    EXPECT_EQ(call(effSetTotalSampleToProcess, 0, 4410), 4410);
    EXPECT_EQ(call(effOpen), 0);
    EXPECT_TRUE(allEngineCalls().empty());
}

TEST_F(Bridge, EditorOpcodesWithoutAnEditorAnswerZero) {
    ASSERT_NE(createQuiet(), nullptr);
    ERect* rect = reinterpret_cast<ERect*>(0x10);
    EXPECT_EQ(call(effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(rect, reinterpret_cast<ERect*>(0x10));
    EXPECT_EQ(call(effEditOpen, 0, 0, reinterpret_cast<void*>(0x1234)), 0);
    EXPECT_EQ(call(effEditIdle), 0);
    EXPECT_EQ(call(effEditClose), 0);
    EXPECT_EQ(call(effEditKeyDown, 'a', 3, nullptr, 1.0f), 0);
    EXPECT_EQ(call(effEditKeyUp, 'a', 3, nullptr, 1.0f), 0);
    EXPECT_EQ(call(effSetEditKnobMode, 0, 2), 0);
    EXPECT_TRUE(allEngineCalls().empty());
}

TEST_F(Bridge, EveryOtherOpcodeAnswersZeroAndChangesNothing) {
    ASSERT_NE(createQuiet(), nullptr);
    std::vector<uint8_t> bankBefore = chunk(false);
    clearEngineCalls();
    hostCalls().clear();
    std::vector<VstInt32> opcodes = {effProcessEvents, effString2Parameter, effGetInputProperties,
                                     effGetOutputProperties, effOfflineNotify, effOfflinePrepare, effOfflineRun,
                                     effProcessVarIo, effSetBypass, 50 /* vendor extension */, effGetTailSize,
                                     effGetParameterProperties, effGetMidiProgramName, effGetMidiProgramCategory,
                                     effHasMidiProgramsChanged, effGetMidiKeyName, effBeginSetProgram,
                                     effEndSetProgram, effShellGetNextPlugin, effStartProcess, effStopProcess,
                                     effSetPanLaw, effBeginLoadBank, effBeginLoadProgram, effSetProcessPrecision,
                                     effGetNumMidiInputChannels, effGetNumMidiOutputChannels};
    for (VstInt32 unused : {9, 16, 17, 18, 20, 21, 28, 30, 31, 32, 36, 37, 43, 46, 53, 54, 55, 57, 80, 81, 200, 100000,
                            -1})
        opcodes.push_back(unused);
    for (VstInt32 opcode : opcodes) {
        std::vector<uint8_t> buffer(1024, 0x55);
        EXPECT_EQ(call(opcode, 1, 1, buffer.data(), 1.0f), 0) << opcode;
        EXPECT_EQ(buffer, std::vector<uint8_t>(1024, 0x55)) << opcode;
    }
    EXPECT_TRUE(allEngineCalls().empty());
    EXPECT_TRUE(hostCalls().empty());
    EXPECT_EQ(call(effGetProgram), 0);
    EXPECT_EQ(chunk(false), bankBefore);
}

}  // namespace
