#include "plugin/bridge/vestrel.h"

#include <cstring>
#include <new>

#include "common/com/safe_array.h"
#include "common/text/text_conversion.h"
#include "plugin/bridge/block_copy.h"
#include "plugin/bridge/plugin_config.h"
#include "plugin/editor/vst_editor.h"

namespace brisane {

using namespace vst;

namespace {

// OLE is initialised by the first plug-in object of the process and never uninitialised by it.
bool oleInitialized = false;

constexpr VstInt32 kHostParameterCount = 4;
constexpr VstInt32 kPluginUniqueId = fourCharacters('t', 'q', 'x', 'm');
// 1500 for 1.5.0: the build derives it from the product version.
constexpr VstInt32 kPluginVersion = BRISANE_VENDOR_VERSION;
constexpr DWORD kEngineContext = 0x17;  // in-process, handler, local and remote servers
constexpr char kVendorName[] = "Velk Digital Media";
constexpr char kProductName[] = "Brisane";

// A float rate from the host as the whole-Hz integer the engine takes; rates outside the int
// range (or not a number) cannot be truncated and give 0.
int truncateRate(float rate) {
    if (!(rate > -2147483648.0f && rate < 2147483648.0f)) return 0;
    return (int)rate;
}

// UTF-16 text converted with the thread's ANSI code page and cut by copyHostText.
void copyAnsi(const wchar_t* wide, int length, char* destination, size_t limit) {
    if (!destination) return;
    if (!wide || length <= 0) {
        copyHostText(destination, "", limit);
        return;
    }
    copyHostText(destination, text::ToNarrow(wide, length, CP_THREAD_ACP).c_str(), limit);
}

void copyAnsi(BSTR text, char* destination, size_t limit) {
    copyAnsi(text, text ? (int)SysStringLen(text) : 0, destination, limit);
}

}  // namespace

CVestrel::CVestrel(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, kProgramCount, kHostParameterCount),
      engineClsid(GUID_NULL),
      numChannels(0),
      engineSampleRate(0),
      inputArrangement(nullptr),
      outputArrangement(nullptr),
      constructionStatus(S_OK),
      advised(false) {
    construct();
}

void CVestrel::construct() {
    if (!oleInitialized) {
        OleInitialize(nullptr);
        oleInitialized = true;
    }

    const std::wstring clsidText = text::ToWide(kEngineClsidText, -1, CP_THREAD_ACP);
    if (clsidText.empty()) {
        constructionStatus = E_OUTOFMEMORY;
        return;
    }
    CLSIDFromString(clsidText.c_str(), &engineClsid);

    CoCreateInstance(engineClsid, nullptr, kEngineContext, IID_IEffectEngine, engine.putVoid());
    com::ptr<IEngineOption> option;
    if (engine) {
        engine->QueryInterface(IID_IEngineParameters, engineParams.putVoid());
        engine->QueryInterface(IID_IEngineNotify, engineNotify.putVoid());
        engine->QueryInterface(IID_IEnginePrograms, enginePrograms.putVoid());
        engine->QueryInterface(IID_IEngineOption, option.putVoid());
    }
    if (option) option->SetOption(-1);

    // Every later operation talks to these four; without one of them there is no plug-in.
    if (!engine || !engineParams || !engineNotify || !enginePrograms) {
        constructionStatus = engine ? E_NOINTERFACE : REGDB_E_CLASSNOTREG;
        return;
    }

    numChannels = readMaxChannels();
    allocateArrangement(&inputArrangement, numChannels);
    allocateArrangement(&outputArrangement, numChannels);

    updateSampleRate();

    cEffect.flags |= effFlagsProgramChunks | effFlagsCanMono | effFlagsCanReplacing;
    cEffect.numInputs = numChannels;
    cEffect.numOutputs = numChannels;
    engineSampleRate = truncateRate(sampleRate);
    cEffect.uniqueID = kPluginUniqueId;
    cEffect.version = kPluginVersion;

    engine->SetFormat(engineSampleRate, numChannels);

    programs.reset(new (std::nothrow) ProgramRecord[kProgramCount]);
    if (!programs) {
        constructionStatus = E_OUTOFMEMORY;
        return;
    }
    for (int i = 0; i < kProgramCount; ++i) resetRecord(programs[i]);
    fillProgramsFromEngine();

    CAUUID pages = {0, nullptr};
    engine->GetPropertyPages(&pages);
    // The editor shows the engine's own page; it records itself as this plug-in's editor.
    if (pages.cElems != 0) new CVSTEditor(this, this);

    engineNotify->Advise(onEngineChange, this);
    advised = true;
    // The option interface is given back here, at the end of construction.
    option.reset();
}

void CVestrel::fillProgramsFromEngine() {
    int engineProgramCount = 0;
    enginePrograms->GetCount(&engineProgramCount);
    wchar_t nameBuffer[kProgramNameLength + 1];
    std::memset(nameBuffer, 0, sizeof(nameBuffer));
    for (int i = 0; i < kProgramCount; ++i) {
        curProgram = i;
        ProgramRecord& record = programs[i];
        if (i < engineProgramCount) {
            enginePrograms->Select(i);
            enginePrograms->GetName(i, nameBuffer, kProgramNameLength);
            // An engine that fills all 25 characters must not make us read past the buffer.
            nameBuffer[kProgramNameLength] = 0;
            copyAnsi(nameBuffer, (int)wcslen(nameBuffer), record.name, kProgramNameLength);
        } else {
            enginePrograms->Select(0);
        }
        for (int j = 0; j < kRecordValueCount; ++j) engineParams->GetValue(j, &record.values[j]);
    }
    curProgram = 0;
    for (int j = 0; j < kRecordValueCount; ++j) engineParams->SetValue(j, programs[0].values[j], 0);
}

VstInt16 CVestrel::readMaxChannels() {
    char path[MAX_PATH + 1] = {0};
    HMODULE module = GetModuleHandleA("Brisane.dll");
    DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    if (length >= MAX_PATH) length = MAX_PATH;
    path[length] = 0;

    char* lastSeparator = nullptr;
    for (char* p = path; *p; p = CharNextA(p))
        if (*p == '\\') lastSeparator = p;
    if (lastSeparator) *lastSeparator = 0;
    else path[0] = 0;

    char iniPath[MAX_PATH + 32];
    std::strcpy(iniPath, path);
    std::strcat(iniPath, "\\VelkConfig.ini");

    // Read as text so that a value that is not a number (default) and 0 (one channel) differ.
    char value[64] = {0};
    GetPrivateProfileStringA("Config", "MaxChannels", "", value, sizeof(value), iniPath);
    return (VstInt16)maxChannelsFromText(value);
}

CVestrel::~CVestrel() {
    if (advised) engineNotify->Unadvise();
    programs.reset();
    deallocateArrangement(&inputArrangement);
    deallocateArrangement(&outputArrangement);
    bankChunk.reset();
    presetChunk.reset();
    // The engine's interfaces go back in this order, the main one last.
    engineParams.reset();
    enginePrograms.reset();
    engineNotify.reset();
    engine.reset();
}

bool CVestrel::isReady() const {
    return SUCCEEDED(constructionStatus) && engine && engineParams && engineNotify && enginePrograms && programs;
}

IEffectEngine* CVestrel::getEngine(IEffectEngine** engineOut) {
    IEffectEngine* reference = engine.copy();
    if (engineOut) *engineOut = reference;
    return reference;
}

bool CVestrel::getFirstPageClass(GUID* pageClass) {
    if (!engine) return false;
    CAUUID pages = {0, nullptr};
    engine->GetPropertyPages(&pages);
    // The engine keeps the array; a null class counts as no page.
    if (pages.cElems == 0 || !pages.pElems || IsEqualCLSID(pages.pElems[0], GUID_NULL)) return false;
    *pageClass = pages.pElems[0];
    return true;
}

// ---- parameters and programs ---------------------------------------------------------------

void CVestrel::setParameter(VstInt32 index, float value) {
    if (engineParams) engineParams->SetValue(index, value, -1);
    // The engine decides about any index; the record keeps only the 69 it has room for.
    if (programs && index >= 0 && index < kRecordValueCount) currentRecord().values[index] = value;
    updateDisplay();
}

float CVestrel::getParameter(VstInt32 index) {
    float value = 0.0f;
    if (engineParams) engineParams->GetValue(index, &value);
    return value;
}

void CVestrel::setProgram(VstInt32 program) {
    if ((uint32_t)program >= (uint32_t)kProgramCount || !programs) return;
    curProgram = program;
    if (!engineParams) return;
    const ProgramRecord& record = programs[program];
    for (int j = 0; j < kRecordValueCount; ++j) engineParams->SetValue(j, record.values[j], 0);
}

void CVestrel::setProgramName(char* name) {
    if (!name || !programs) return;
    setRecordName(currentRecord(), name);
}

void CVestrel::getProgramName(char* name) {
    if (!name || !programs) return;
    copyRecordName(currentRecord(), name);
}

bool CVestrel::getProgramNameIndexed(VstInt32, VstInt32 index, char* text) {
    if ((uint32_t)index >= (uint32_t)kProgramCount || !programs) return false;
    if (!text) return false;
    // 24 characters and a terminating zero: a name loaded from a chunk may fill all 24.
    copyRecordName(programs[index], text);
    return true;
}

void CVestrel::copyParameterText(ParameterText which, VstInt32 index, char* text) {
    if (!engineParams || !text) return;
    BSTR value = nullptr;
    switch (which) {
    case ParameterText::name: engineParams->GetName(index, &value); break;
    case ParameterText::label: engineParams->GetLabel(index, &value); break;
    case ParameterText::display: engineParams->GetDisplay(index, &value); break;
    }
    copyAnsi(value, text, kVstMaxParamStrLen);
    SysFreeString(value);
}

void CVestrel::getParameterLabel(VstInt32 index, char* label) { copyParameterText(ParameterText::label, index, label); }

void CVestrel::getParameterDisplay(VstInt32 index, char* text) {
    copyParameterText(ParameterText::display, index, text);
}

void CVestrel::getParameterName(VstInt32 index, char* text) { copyParameterText(ParameterText::name, index, text); }

LONG STDMETHODCALLTYPE CVestrel::onEngineChange(LONG, void* context, LONG) {
    CVestrel* plugin = static_cast<CVestrel*>(context);
    if (!plugin || !plugin->engineParams || !plugin->programs) return 0;
    int count = 0;
    plugin->engineParams->GetCount(&count);
    if (count > kRecordValueCount) count = kRecordValueCount;
    ProgramRecord& record = plugin->currentRecord();
    for (int i = 0; i < count; ++i) plugin->engineParams->GetValue(i, &record.values[i]);
    plugin->updateDisplay();
    return 0;
}

// ---- chunks ----------------------------------------------------------------------------------

// The dispatcher hands both chunk operations a pointer that is not null.
VstInt32 CVestrel::getChunk(void** data, bool isPreset) {
    if (!programs) return 0;
    const size_t size = isPreset ? kProgramChunkSize : kBankChunkSize;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[size]);
    if (!buffer) return 0;
    if (isPreset) writeProgramChunk(currentRecord(), buffer.get());
    else writeBankChunk(programs.get(), buffer.get());
    // The buffer handed out last time of this kind is superseded now.
    std::unique_ptr<uint8_t[]>& slot = chunkSlot(isPreset);
    slot = std::move(buffer);
    *data = slot.get();
    return (VstInt32)size;
}

VstInt32 CVestrel::setChunk(void* data, VstInt32 byteSize, bool isPreset) {
    if (!programs) return 0;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    if (isPreset) {
        if (byteSize != (VstInt32)kProgramChunkSize) return 0;
        readProgramChunk(currentRecord(), bytes);
        setProgram(curProgram);
    } else {
        if (byteSize != (VstInt32)kBankChunkSize) return 0;
        readBankChunk(programs.get(), bytes);
        setProgram(0);
    }
    return 1;
}

// ---- audio -----------------------------------------------------------------------------------

void CVestrel::interleave(float** channels, float* dest, int count, VstInt16 channelCount) {
    interleaveChannels(channels, dest, count, channelCount);
}

void CVestrel::deinterleave(const float* src, float** channels, int count, VstInt16 channelCount) {
    deinterleaveChannels(src, channels, count, channelCount);
}

void CVestrel::passThrough(float** inputs, float** outputs, int frames) {
    for (int c = 0; c < numChannels; ++c)
        if (inputs[c] != outputs[c]) std::memmove(outputs[c], inputs[c], (size_t)frames * sizeof(float));
}

void CVestrel::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    if (!inputs || !outputs || sampleFrames < 0) return;
    const VstInt16 channels = numChannels;
    if ((LONGLONG)channels * sampleFrames > 0x7FFFFFFF) {
        passThrough(inputs, outputs, sampleFrames);
        return;
    }
    const int total = channels * sampleFrames;

    const com::safe_array input(SafeArrayCreateVector(VT_R4, 0, (ULONG)total));
    const com::array_data<float> inputData(input.get());
    if (!inputData) {
        // No block for the engine: the host still gets its outputs, the input unchanged.
        passThrough(inputs, outputs, sampleFrames);
        return;
    }
    float* data = inputData.get();
    interleave(inputs, data, total, channels);

    // The engine keeps its result; the plug-in only locks its data while reading it.
    SAFEARRAY* result = nullptr;
    if (engine) engine->Process(input.get(), &result);

    // The descriptor is read in place: its layout is fixed by the automation ABI, and the
    // element count of a one-dimensional array is upper bound - lower bound + 1.
    if (!result || result->cDims != 1 || result->cbElements != sizeof(float)) {
        // Null means pass-through; a result that is not a vector of floats cannot be read.
        deinterleave(data, outputs, total, channels);
        return;
    }
    const LONGLONG available = (LONGLONG)result->rgsabound[0].cElements;
    const com::array_data<float> values(result);
    if (!values) {
        deinterleave(data, outputs, total, channels);
        return;
    }
    if (available >= total) {
        deinterleave(values.get(), outputs, total, channels);
        return;
    }
    // A short result belongs at the end of the block; the start is silence. Without a block of
    // its own for the padding the input block takes it rather than leave the outputs unwritten.
    const com::safe_array padded(SafeArrayCreateVector(VT_R4, 0, (ULONG)total));
    const com::array_data<float> paddedData(padded.get());
    float* block = paddedData ? paddedData.get() : data;
    placeAtEnd(values.get(), (int)available, block, total);
    deinterleave(block, outputs, total, channels);
}

void CVestrel::setEngineFormat() {
    engineSampleRate = truncateRate(updateSampleRate());
    if (engine) engine->SetFormat(engineSampleRate, numChannels);
}

void CVestrel::resume() {
    int connected = 0;
    for (int j = 0; j < numChannels; ++j) {
        if (!isInputConnected(j)) break;
        ++connected;
    }
    if (connected > 0 && connected != numChannels) {
        numChannels = (VstInt16)connected;
    } else if (truncateRate(updateSampleRate()) == engineSampleRate) {
        return;
    }
    setEngineFormat();
}

bool CVestrel::setSpeakerArrangement(VstSpeakerArrangement* pluginInput, VstSpeakerArrangement* pluginOutput) {
    if (!pluginInput || !pluginOutput) return false;
    // A negative speaker count describes no record that could be stored.
    if (pluginInput->numChannels < 0 || pluginOutput->numChannels < 0) return false;

    // A host may hand back the records it got from getSpeakerArrangement. The output request
    // is read after the input record has been replaced, so it must not point into that record.
    VstSpeakerArrangement* outputCopy = nullptr;
    if (pluginOutput == inputArrangement && pluginInput != inputArrangement) {
        if (!matchArrangement(&outputCopy, pluginOutput)) return false;
        pluginOutput = outputCopy;
    }

    bool ok = true;
    bool stored;
    if (pluginInput->numChannels > numChannels) {
        stored = allocateArrangement(&inputArrangement, numChannels);
        ok = false;
    } else {
        stored = matchArrangement(&inputArrangement, pluginInput);
    }
    if (!stored || !inputArrangement) {
        deallocateArrangement(&outputCopy);
        return false;
    }

    if (pluginOutput->numChannels != inputArrangement->numChannels) {
        matchArrangement(&outputArrangement, inputArrangement);
        ok = false;
    } else {
        matchArrangement(&outputArrangement, pluginOutput);
    }
    deallocateArrangement(&outputCopy);

    if (inputArrangement->numChannels != numChannels) {
        numChannels = (VstInt16)inputArrangement->numChannels;
        setEngineFormat();
    }
    return ok;
}

bool CVestrel::getSpeakerArrangement(VstSpeakerArrangement** pluginInput, VstSpeakerArrangement** pluginOutput) {
    if (!pluginInput || !pluginOutput) return false;
    *pluginInput = inputArrangement;
    *pluginOutput = outputArrangement;
    return true;
}

// ---- identity --------------------------------------------------------------------------------

bool CVestrel::getEffectName(char* name) {
    if (!name) return false;
    BSTR engineName = nullptr;
    if (engine) engine->GetName(&engineName);
    copyAnsi(engineName, name, kVstMaxEffectNameLen);
    SysFreeString(engineName);
    return true;
}

bool CVestrel::getVendorString(char* text) {
    if (!text) return false;
    copyHostText(text, kVendorName, kVstMaxVendorStrLen);
    return true;
}

bool CVestrel::getProductString(char* text) {
    if (!text) return false;
    copyHostText(text, kProductName, kVstMaxProductStrLen);
    return true;
}

VstInt32 CVestrel::getVendorVersion() { return kPluginVersion; }

}  // namespace brisane
