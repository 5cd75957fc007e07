// The plug-in's portable parts: the VST base classes' dispatcher and host requests, the
// arrangement helpers, the program table with its chunk layouts and the block copies.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "plugin/vst/audioeffectx.h"
#include "plugin/bridge/block_copy.h"
#include "plugin/bridge/program_table.h"

using namespace vst;
using namespace brisane;

namespace {

struct HostLog {
    std::vector<VstInt32> opcodes;
    std::vector<VstInt32> indices;
    VstIntPtr answer = 0;
};
HostLog g_log;

VstIntPtr VSTCALLBACK recordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float) {
    g_log.opcodes.push_back(opcode);
    g_log.indices.push_back(index);
    return g_log.answer;
}

int g_destroyed = 0;

class Probe : public AudioEffectX {
public:
    explicit Probe(audioMasterCallback master) : AudioEffectX(master, 16, 4) {}
    ~Probe() override { ++g_destroyed; }
    void setProgram(VstInt32 program) override {
        programsSet.push_back(program);
        curProgram = program;
    }
    void resume() override { ++resumes; }
    void suspend() override { ++suspends; }
    VstInt32 getChunk(void** data, bool isPreset) override {
        *data = this;
        return isPreset ? 11 : 22;
    }
    VstInt32 setChunk(void*, VstInt32 byteSize, bool isPreset) override { return isPreset ? byteSize : -byteSize; }
    float rate() const { return sampleRate; }
    VstInt32 block() const { return blockSize; }
    using AudioEffectX::allocateArrangement;
    using AudioEffectX::matchArrangement;

    std::vector<VstInt32> programsSet;
    int resumes = 0, suspends = 0;
};

class KeyEditor : public AEffEditor {
public:
    explicit KeyEditor(AudioEffect* effect) : AEffEditor(effect) {}
    bool onKeyDown(VstKeyCode& key) override {
        last = key;
        return true;
    }
    bool setKnobMode(VstInt32 mode) override {
        knobMode = mode;
        return true;
    }
    VstKeyCode last = {};
    VstInt32 knobMode = -1;
};

// ---- base dispatcher -----------------------------------------------------------------------------

TEST(AudioEffectBase, DefaultsOfTheAEffect) {
    Probe probe(nullptr);
    AEffect* e = probe.getAeffect();
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_EQ(e->numPrograms, 16);
    EXPECT_EQ(e->numParams, 4);
    EXPECT_EQ(e->numInputs, 1);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->flags, effFlagsCanReplacing);
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_EQ(e->object, &probe);
    EXPECT_EQ(e->uniqueID, fourCharacters('N', 'o', 'E', 'f'));
    EXPECT_EQ(e->version, 1);
    EXPECT_EQ(probe.rate(), 44100.0f);
    EXPECT_EQ(probe.block(), 1024);
    EXPECT_EQ(probe.getProgram(), 0);
}

TEST(AudioEffectBase, SetProgramReachesOperationOnlyBelowSixteenSigned) {
    Probe probe(nullptr);
    AEffect* e = probe.getAeffect();
    e->dispatcher(e, effSetProgram, 0, 16, nullptr, 0);
    e->dispatcher(e, effSetProgram, 0, 100, nullptr, 0);
    e->dispatcher(e, effSetProgram, 0, -1, nullptr, 0);
    e->dispatcher(e, effSetProgram, 0, 15, nullptr, 0);
    if (sizeof(VstIntPtr) == 8) {
        // Would wrap to program 0 if cut to 32 bits.
        e->dispatcher(e, effSetProgram, 0, (VstIntPtr)(INT64_MIN / 2 & ~(int64_t)0xFFFFFFFF), nullptr, 0);
    }
    EXPECT_EQ(probe.programsSet, (std::vector<VstInt32>{-1, 15}));
    EXPECT_EQ(e->dispatcher(e, effGetProgram, 0, 0, nullptr, 0), 15);
}

TEST(AudioEffectBase, MainsChangedStoresAndChunksRoute) {
    Probe probe(nullptr);
    AEffect* e = probe.getAeffect();
    e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0);
    e->dispatcher(e, effMainsChanged, 0, 5, nullptr, 0);
    EXPECT_EQ(probe.suspends, 1);
    EXPECT_EQ(probe.resumes, 1);
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 96000.0f);
    e->dispatcher(e, effSetBlockSize, 0, 256, nullptr, 0);
    EXPECT_EQ(probe.rate(), 96000.0f);
    EXPECT_EQ(probe.block(), 256);

    void* data = nullptr;
    EXPECT_EQ(e->dispatcher(e, effGetChunk, 1, 0, &data, 0), 11);
    EXPECT_EQ(data, &probe);
    EXPECT_EQ(e->dispatcher(e, effGetChunk, 0, 0, &data, 0), 22);
    EXPECT_EQ(e->dispatcher(e, effGetChunk, 0, 0, nullptr, 0), 0);
    char bytes[4];
    EXPECT_EQ(e->dispatcher(e, effSetChunk, 7, 40, bytes, 0), 40);
    EXPECT_EQ(e->dispatcher(e, effSetChunk, 0, 40, bytes, 0), -40);
    EXPECT_EQ(e->dispatcher(e, effSetChunk, 0, 40, nullptr, 0), 0);
}

TEST(AudioEffectBase, CloseDestroysTheObjectAndAnswersOne) {
    g_destroyed = 0;
    Probe* probe = new Probe(nullptr);
    AEffect* e = probe->getAeffect();
    EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0), 1);
    EXPECT_EQ(g_destroyed, 1);
    // An AEffect without an object is not followed.
    AEffect empty;
    std::memset(&empty, 0, sizeof(empty));
    EXPECT_EQ(AudioEffect::dispatchEffClass(&empty, effClose, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(AudioEffect::dispatchEffClass(nullptr, effGetVstVersion, 0, 0, nullptr, 0), 0);
}

TEST(AudioEffectBase, EditorOpcodesTranslateTheKeyCode) {
    Probe probe(nullptr);
    KeyEditor* editor = new KeyEditor(&probe);
    probe.setEditor(editor);  // owned by the effect from now on
    AEffect* e = probe.getAeffect();
    EXPECT_EQ(e->flags & effFlagsHasEditor, effFlagsHasEditor);
    EXPECT_EQ(e->dispatcher(e, effEditKeyDown, 'q', 0x1FF, nullptr, 258.9f), 1);
    EXPECT_EQ(editor->last.character, 'q');
    EXPECT_EQ(editor->last.virt, 0xFF);
    EXPECT_EQ(editor->last.modifier, 2);  // 258 truncated, low byte
    EXPECT_EQ(e->dispatcher(e, effEditKeyUp, 'q', 0, nullptr, 0), 0);
    EXPECT_EQ(e->dispatcher(e, effSetEditKnobMode, 0, 2, nullptr, 0), 1);
    EXPECT_EQ(editor->knobMode, 2);
    ERect* rect = reinterpret_cast<ERect*>(0x10);
    EXPECT_EQ(e->dispatcher(e, effEditGetRect, 0, 0, &rect, 0), 0);
    EXPECT_EQ(rect, nullptr);
    int window = 0;
    EXPECT_EQ(e->dispatcher(e, effEditOpen, 0, 0, &window, 0), 0);
    EXPECT_TRUE(editor->isOpen());
    e->dispatcher(e, effEditClose, 0, 0, nullptr, 0);
    EXPECT_FALSE(editor->isOpen());
}

TEST(AudioEffectBase, HostRequestsAndTheirNullCallbackAnswers) {
    g_log = HostLog();
    Probe probe(recordingHost);
    g_log.answer = 0;
    EXPECT_TRUE(probe.isInputConnected(3));  // 0 means connected
    g_log.answer = 1;
    EXPECT_FALSE(probe.isInputConnected(4));
    EXPECT_TRUE(probe.updateDisplay());
    EXPECT_TRUE(probe.beginEdit(7));
    EXPECT_TRUE(probe.endEdit(7));
    char capability[] = "sizeWindow";
    EXPECT_TRUE(probe.canHostDo(capability));
    EXPECT_TRUE(probe.sizeWindow(300, 200));
    probe.masterIdle();
    g_log.answer = 22050;
    EXPECT_EQ(probe.updateSampleRate(), 22050.0f);
    g_log.answer = -5;
    EXPECT_EQ(probe.updateSampleRate(), 22050.0f);  // a non-positive answer keeps the rate
    EXPECT_EQ(g_log.opcodes,
              (std::vector<VstInt32>{audioMasterPinConnected, audioMasterPinConnected, audioMasterUpdateDisplay,
                                     audioMasterBeginEdit, audioMasterEndEdit, audioMasterCanDo, audioMasterSizeWindow,
                                     audioMasterIdle, audioMasterGetSampleRate, audioMasterGetSampleRate}));
    EXPECT_EQ(g_log.indices[0], 3);
    EXPECT_EQ(g_log.indices[3], 7);
    EXPECT_EQ(g_log.indices[6], 300);

    Probe lonely(nullptr);
    EXPECT_TRUE(lonely.isInputConnected(0));
    EXPECT_FALSE(lonely.updateDisplay());
    EXPECT_FALSE(lonely.beginEdit(0));
    EXPECT_FALSE(lonely.canHostDo(capability));
    EXPECT_FALSE(lonely.sizeWindow(1, 1));
    EXPECT_EQ(lonely.getMasterVersion(), 0);
    EXPECT_EQ(lonely.updateSampleRate(), 44100.0f);
}

// ---- arrangements --------------------------------------------------------------------------------

TEST(Arrangements, AllocatedZeroFilledAndMatchedSpeakerBySpeaker) {
    Probe probe(nullptr);
    VstSpeakerArrangement* a = nullptr;
    ASSERT_TRUE(probe.allocateArrangement(&a, 3));
    EXPECT_EQ(a->type, 0);
    EXPECT_EQ(a->numChannels, 3);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(a->speakers);
    for (size_t i = 0; i < 3 * sizeof(VstSpeakerProperties); ++i) ASSERT_EQ(bytes[i], 0) << i;

    VstSpeakerArrangement source;
    std::memset(&source, 0, sizeof(source));
    source.type = 4;
    source.numChannels = 2;
    source.speakers[1].elevation = -0.5f;
    source.speakers[1].radius = 2.0f;
    source.speakers[1].reserved = 9.0f;
    std::memset(source.speakers[1].name, 'x', sizeof(source.speakers[1].name));  // no terminator
    source.speakers[1].future[0] = 42;
    ASSERT_TRUE(probe.matchArrangement(&a, &source));
    EXPECT_EQ(a->numChannels, 2);
    EXPECT_EQ(a->type, 4);
    EXPECT_EQ(a->speakers[1].elevation, -0.5f);
    EXPECT_EQ(a->speakers[1].radius, 2.0f);
    EXPECT_EQ(a->speakers[1].reserved, 9.0f);
    EXPECT_EQ(std::strlen(a->speakers[1].name), 63u);
    EXPECT_EQ(a->speakers[1].future[0], 42);
    EXPECT_FALSE(probe.matchArrangement(&a, nullptr));
    EXPECT_FALSE(probe.allocateArrangement(&a, -1));
    EXPECT_EQ(a, nullptr);
    probe.deallocateArrangement(&a);
}

// ---- program table and chunks --------------------------------------------------------------------

TEST(ProgramTable, NamesAreCutPaddedAndTerminated) {
    ProgramRecord record;
    std::memset(&record, 0x7F, sizeof(record));
    resetRecord(record);
    EXPECT_STREQ(record.name, "<Default>");
    for (int i = 9; i < 25; ++i) EXPECT_EQ(record.name[i], 0) << i;
    setRecordName(record, "abcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(std::string(record.name), "abcdefghijklmnopqrstuvwx");
    setRecordName(record, nullptr);
    EXPECT_STREQ(record.name, "");

    std::memset(record.name, 'Z', sizeof(record.name));
    char text[30];
    std::memset(text, 0x55, sizeof(text));
    copyRecordName(record, text);
    EXPECT_EQ(std::string(text), std::string(24, 'Z'));
    EXPECT_EQ(text[25], 0x55);

    std::memset(text, 0x55, sizeof(text));
    copyHostText(text, "Frequency", 8);
    EXPECT_STREQ(text, "Frequenc");
    EXPECT_EQ(text[9], 0x55);
    copyHostText(text, "ab", 8);
    for (int i = 2; i <= 8; ++i) EXPECT_EQ(text[i], 0);
}

TEST(ProgramTable, ChunkLayoutIsValuesThenNameBytes) {
    ProgramRecord records[kProgramCount];
    for (int p = 0; p < kProgramCount; ++p) {
        resetRecord(records[p]);
        for (int j = 0; j < kRecordValueCount; ++j) records[p].values[j] = (float)(p * 100 + j);
        records[p].values[0] = p == 0 ? 1.0f : -2.5f;
        setRecordName(records[p], ("Program " + std::to_string(p)).c_str());
    }
    std::vector<uint8_t> bank(kBankChunkSize, 0xEE);
    writeBankChunk(records, bank.data());
    EXPECT_EQ(bank[0], 0x00);
    EXPECT_EQ(bank[1], 0x00);
    EXPECT_EQ(bank[2], 0x80);
    EXPECT_EQ(bank[3], 0x3F);
    // -2.5 is 0xC0200000.
    EXPECT_EQ(bank[301 + 0], 0x00);
    EXPECT_EQ(bank[301 + 2], 0x20);
    EXPECT_EQ(bank[301 + 3], 0xC0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&bank[15 * 301 + 276])), "Program 15");
    EXPECT_EQ(bank[15 * 301 + 300], 0);
    float value;
    std::memcpy(&value, &bank[7 * 301 + 68 * 4], 4);
    EXPECT_EQ(value, 768.0f);

    ProgramRecord loaded[kProgramCount];
    std::memset(loaded, 0, sizeof(loaded));
    bank[3 * 301 + 300] = 'Q';  // a name byte 24 that is not zero is kept as stored
    readBankChunk(loaded, bank.data());
    EXPECT_EQ(loaded[3].name[24], 'Q');
    std::vector<uint8_t> again(kBankChunkSize);
    writeBankChunk(loaded, again.data());
    EXPECT_EQ(again, bank);

    uint8_t preset[kProgramChunkSize];
    writeProgramChunk(loaded[3], preset);
    EXPECT_EQ(std::memcmp(preset, &bank[3 * 301], kProgramChunkSize), 0);
}

// ---- block copies --------------------------------------------------------------------------------

// Reference: value k is frame k / C of channel k % C.
void referenceInterleave(float* const* channels, float* out, int count, int c) {
    for (int k = 0; k < count; ++k) out[k] = channels[k % c][k / c];
}

TEST(BlockCopy, InterleaveAndDeinterleaveMatchTheReferenceForEveryChannelCount) {
    for (int c = 1; c <= 8; ++c) {
        for (int count : {0, c, 7 * c, 7 * c + (c > 1 ? 1 : 0), 513 * c}) {
            const int frames = (count + c - 1) / c;
            std::vector<std::vector<float>> in(c, std::vector<float>(frames + 1));
            std::vector<float*> pointers;
            for (int ch = 0; ch < c; ++ch) {
                for (int f = 0; f <= frames; ++f) in[ch][f] = (float)(ch * 10000 + f);
                pointers.push_back(in[ch].data());
            }
            std::vector<float> expected(count + 1, -1.0f), actual(count + 1, -1.0f);
            referenceInterleave(pointers.data(), expected.data(), count, c);
            interleaveChannels(pointers.data(), actual.data(), count, c);
            ASSERT_EQ(actual, expected) << c << " channels, " << count << " values";

            std::vector<std::vector<float>> out(c, std::vector<float>(frames + 1, -7.0f));
            std::vector<float*> outPointers;
            for (auto& channel : out) outPointers.push_back(channel.data());
            deinterleaveChannels(actual.data(), outPointers.data(), count, c);
            for (int k = 0; k < count; ++k) ASSERT_EQ(out[k % c][k / c], in[k % c][k / c]) << k;
            // Nothing past the last value is written.
            for (int ch = 0; ch < c; ++ch) {
                int written = count / c + (ch < count % c ? 1 : 0);
                for (int f = written; f <= frames; ++f) ASSERT_EQ(out[ch][f], -7.0f);
            }
        }
    }
}

TEST(BlockCopy, ShortResultsAlignToTheEnd) {
    const float result[] = {1, 2, 3, 4, 5};
    std::vector<float> block(8, -1.0f);
    placeAtEnd(result, 5, block.data(), 8);
    EXPECT_EQ(block, (std::vector<float>{0, 0, 0, 1, 2, 3, 4, 5}));
    placeAtEnd(result, 0, block.data(), 8);
    EXPECT_EQ(block, std::vector<float>(8, 0.0f));
    placeAtEnd(result, 5, block.data(), 3);  // more than fits: the first values
    EXPECT_EQ(block[0], 1.0f);
    EXPECT_EQ(block[2], 3.0f);
    EXPECT_EQ(block[3], 0.0f);
}

}  // namespace
