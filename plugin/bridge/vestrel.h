// CVestrel: the plug-in object. It does no signal processing of its own; every host request is
// translated into calls on the external effect engine, while the 16 programs, the speaker
// arrangements and the chunk buffers are kept here.
#pragma once
#include <memory>

#include "plugin/vst/audioeffectx.h"
#include "plugin/vst/editor_interfaces.h"
#include "common/com/com_ptr.h"
#include "plugin/engine/engine_interfaces.h"
#include "plugin/bridge/program_table.h"

namespace brisane {

class CVestrel : public vst::AudioEffectX, public vst::PageOwner {
public:
    explicit CVestrel(vst::audioMasterCallback audioMaster);
    ~CVestrel() override;

    // True when construction ran to its end with every engine interface it needs; the entry
    // point hands out only such objects.
    bool isReady() const;
    HRESULT constructionResult() const { return constructionStatus; }

    void resume() override;
    void processReplacing(float** inputs, float** outputs, vst::VstInt32 sampleFrames) override;
    void setParameter(vst::VstInt32 index, float value) override;
    float getParameter(vst::VstInt32 index) override;
    void setProgram(vst::VstInt32 program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    void getParameterLabel(vst::VstInt32 index, char* label) override;
    void getParameterDisplay(vst::VstInt32 index, char* text) override;
    void getParameterName(vst::VstInt32 index, char* text) override;
    vst::VstInt32 getChunk(void** data, bool isPreset) override;
    vst::VstInt32 setChunk(void* data, vst::VstInt32 byteSize, bool isPreset) override;
    bool getProgramNameIndexed(vst::VstInt32 category, vst::VstInt32 index, char* text) override;
    bool setSpeakerArrangement(vst::VstSpeakerArrangement* pluginInput, vst::VstSpeakerArrangement* pluginOutput) override;
    bool getSpeakerArrangement(vst::VstSpeakerArrangement** pluginInput,
                               vst::VstSpeakerArrangement** pluginOutput) override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    vst::VstInt32 getVendorVersion() override;

    // The engine with a new reference for the caller.
    virtual IEffectEngine* getEngine(IEffectEngine** engineOut);
    // The editor shows the engine's first property page, bound to the engine.
    bool getFirstPageClass(GUID* pageClass) override;
    IUnknown* getPageObject() override { return getEngine(nullptr); }
    virtual void interleave(float** channels, float* dest, int count, vst::VstInt16 channelCount);
    virtual void deinterleave(const float* src, float** channels, int count, vst::VstInt16 channelCount);

    // Registered with the engine: copies the engine's values into the current program.
    static LONG STDMETHODCALLTYPE onEngineChange(LONG reason, void* context, LONG subject);

    vst::VstInt16 channelCount() const { return numChannels; }

private:
    void construct();
    vst::VstInt16 readMaxChannels();
    void fillProgramsFromEngine();
    void passThrough(float** inputs, float** outputs, int frames);
    void setEngineFormat();
    enum class ParameterText { name, label, display };
    void copyParameterText(ParameterText which, vst::VstInt32 index, char* text);
    ProgramRecord& currentRecord() { return programs[curProgram]; }
    // The last chunk of a kind handed to the host; it stays valid until the next of that kind.
    std::unique_ptr<uint8_t[]>& chunkSlot(bool isPreset) { return isPreset ? presetChunk : bankChunk; }

    GUID engineClsid;
    com::ptr<IEffectEngine> engine;
    com::ptr<IEngineNotify> engineNotify;
    com::ptr<IEnginePrograms> enginePrograms;
    vst::VstInt16 numChannels;
    int engineSampleRate;
    std::unique_ptr<ProgramRecord[]> programs;  // kProgramCount records, once construction got so far
    std::unique_ptr<uint8_t[]> bankChunk;
    std::unique_ptr<uint8_t[]> presetChunk;
    com::ptr<IEngineParameters> engineParams;
    vst::VstSpeakerArrangement* inputArrangement;
    vst::VstSpeakerArrangement* outputArrangement;

    HRESULT constructionStatus;
    bool advised;
};

}  // namespace brisane
