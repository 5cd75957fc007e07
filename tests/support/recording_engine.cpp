// The recording test engine (see recording_engine.h).
#include "tests/support/recording_engine.h"

#include <cmath>
#include <cstring>
#include <cwchar>

#include <olectl.h>

#include "plugin/engine/engine_interfaces.h"
#include "common/com/implements.h"

using namespace brisane;

namespace {

recording::Control g_control;
HMODULE g_module = nullptr;

void record(int method, int index = 0, int arg = 0, float value = 0.0f) {
    recording::Control& c = g_control;
    if (!c.recordCalls) return;
    if (c.callCount >= recording::kMaxCalls) {
        ++c.droppedCalls;
        return;
    }
    c.calls[c.callCount++] = recording::Call{method, index, arg, value};
}

void setDefaults() {
    recording::Control& c = g_control;
    c.programCount = 3;
    for (int p = 0; p < 16; ++p) {
        std::swprintf(c.programNames[p], 40, L"Engine program %d", p);
        for (int j = 0; j < recording::kEngineValues; ++j) c.programValues[p][j] = (float)(p * 100 + j) + 0.5f;
    }
    c.parameterCount = kEngineParameterCount;
    std::wcscpy(c.parameterName, L"Gain");
    std::wcscpy(c.parameterLabel, L"dB");
    std::wcscpy(c.parameterDisplay, L"-6.0");
    std::wcscpy(c.engineName, L"Recording Engine");
    c.nullTexts = false;
    c.processMode = recording::kProcessEcho;
    c.resultLength = 0;
    c.filterStages = 8;
    c.propertyPageCount = 0;
    for (bool& o : c.offer) o = true;
    c.failCreate = false;
    c.recordCalls = true;
    std::memcpy(c.current, c.programValues[0], sizeof(c.current));
    c.selected = 0;
    c.callback = nullptr;
    c.context = nullptr;
    c.lastInputCount = -2;
    c.lastInputDims = 0;
    c.lastInputType = 0;
    c.lastInputLowerBound = 0;
    c.processTicks = 0;
    c.processCalls = 0;
    c.pageWidth = 320;
    c.pageHeight = 180;
    c.pageFailActivate = false;
    c.pageParent = 0;
    c.pageActivateRect = RECT{0, 0, 0, 0};
    c.pageObject = nullptr;
    c.callCount = 0;
    c.droppedCalls = 0;
}

BSTR makeText(const wchar_t* text) { return g_control.nullTexts ? nullptr : SysAllocString(text); }

// Adapters give the two GetCount methods of the parameter and program interfaces their own names.
struct ParametersAdapter : IEngineParameters {
    HRESULT STDMETHODCALLTYPE GetCount(int* count) override { return parameterCount(count); }
    HRESULT STDMETHODCALLTYPE GetName(int index, BSTR* text) override { return parameterName(index, text); }
    virtual HRESULT parameterCount(int* count) = 0;
    virtual HRESULT parameterName(int index, BSTR* text) = 0;
};
struct ProgramsAdapter : IEnginePrograms {
    HRESULT STDMETHODCALLTYPE GetCount(int* count) override { return programCount(count); }
    HRESULT STDMETHODCALLTYPE GetName(int index, wchar_t* buffer, int maxChars) override {
        return programName(index, buffer, maxChars);
    }
    virtual HRESULT programCount(int* count) = 0;
    virtual HRESULT programName(int index, wchar_t* buffer, int maxChars) = 0;
};

}  // namespace

__CRT_UUID_DECL(ParametersAdapter, 0x222E9B7B, 0x9B23, 0x4841, 0xAD, 0xAA, 0x9F, 0x69, 0x21, 0x98, 0x24, 0xA3)
__CRT_UUID_DECL(ProgramsAdapter, 0x237AC92B, 0xCA06, 0x4992, 0xB9, 0x08, 0xBD, 0x7F, 0xB6, 0x97, 0x69, 0xA1)

namespace {

struct EnginePolicy {
    static constexpr bool interlocked = true;
    static void lockModule() { InterlockedIncrement(&g_control.liveObjects); }
    static void unlockModule() { InterlockedDecrement(&g_control.liveObjects); }
};

class RecordingEngine final
    : public com::implements<RecordingEngine, EnginePolicy, IEffectEngine, ParametersAdapter, IEngineNotify,
                             ProgramsAdapter, IEngineOption> {
public:
    ~RecordingEngine() override {
        if (m_result) SafeArrayDestroy(m_result);
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        static const IID* const known[] = {&IID_IEffectEngine, &IID_IEngineParameters, &IID_IEngineNotify,
                                           &IID_IEnginePrograms, &IID_IEngineOption};
        for (int i = 0; i < 5; ++i) {
            if (!IsEqualIID(riid, *known[i])) continue;
            record(recording::kQueryInterface, i);
            if (i != recording::kEffectEngine && !g_control.offer[i]) {
                if (ppv) *ppv = nullptr;
                return E_NOINTERFACE;
            }
        }
        return queryInterfaceImpl(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        InterlockedIncrement(&g_control.references);
        return addRefImpl();
    }
    STDMETHODIMP_(ULONG) Release() override {
        InterlockedDecrement(&g_control.references);
        return releaseImpl();
    }

    // IEffectEngine
    HRESULT STDMETHODCALLTYPE Process(SAFEARRAY* input, SAFEARRAY** output) override {
        recording::Control& c = g_control;
        LARGE_INTEGER start, stop;
        QueryPerformanceCounter(&start);
        int count = -1;
        float* in = nullptr;
        if (input) {
            c.lastInputDims = SafeArrayGetDim(input);
            VARTYPE type = VT_EMPTY;
            SafeArrayGetVartype(input, &type);
            c.lastInputType = type;
            LONG lower = 0, upper = -1;
            SafeArrayGetLBound(input, 1, &lower);
            SafeArrayGetUBound(input, 1, &upper);
            c.lastInputLowerBound = lower;
            count = upper - lower + 1;
            SafeArrayAccessData(input, reinterpret_cast<void**>(&in));
            if (c.recordCalls)
                for (int k = 0; k < count && k < recording::kMaxRecordedInput; ++k) c.lastInput[k] = in[k];
        }
        c.lastInputCount = count;
        record(recording::kProcess, count);
        if (!output) {
            if (input) SafeArrayUnaccessData(input);
            return E_POINTER;
        }
        *output = nullptr;
        int length = 0;
        switch (c.processMode) {
        case recording::kProcessNull: break;
        case recording::kProcessEcho:
        case recording::kProcessFilter: length = count < 0 ? 0 : count; break;
        case recording::kProcessShort: length = c.resultLength; break;
        case recording::kProcessLong: length = (count < 0 ? 0 : count) + c.resultLength; break;
        }
        if (c.processMode == recording::kProcessDoubles) {
            if (m_result) SafeArrayDestroy(m_result);
            m_result = SafeArrayCreateVector(VT_R8, 0, (ULONG)(count < 0 ? 0 : count));
            *output = m_result;
        } else if (c.processMode != recording::kProcessNull) {
            // The engine keeps its result array and reuses it while the block size stays.
            if (!m_result || m_result->cbElements != sizeof(float) || (int)m_result->rgsabound[0].cElements != length) {
                if (m_result) SafeArrayDestroy(m_result);
                m_result = SafeArrayCreateVector(VT_R4, 0, (ULONG)length);
            }
            float* out = nullptr;
            SafeArrayAccessData(m_result, reinterpret_cast<void**>(&out));
            if (c.processMode == recording::kProcessEcho) {
                for (int k = 0; k < length; ++k) out[k] = in[k];
            } else if (c.processMode == recording::kProcessFilter) {
                filter(in, out, length);
            } else {
                for (int k = 0; k < length; ++k) out[k] = 1000.0f + (float)k;
            }
            SafeArrayUnaccessData(m_result);
            *output = m_result;
        }
        QueryPerformanceCounter(&stop);
        c.processTicks += stop.QuadPart - start.QuadPart;
        ++c.processCalls;
        if (input) SafeArrayUnaccessData(input);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reserved4() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPropertyPages(CAUUID* pages) override {
        // The page list stays the engine's: a fixed table.
        static const GUID kPages[4] = {{0x1A2B3C4D, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}},
                                       {0x1A2B3C4E, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}},
                                       {0x1A2B3C4F, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}},
                                       {0x1A2B3C50, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}}};
        record(recording::kGetPropertyPages);
        if (!pages) return E_POINTER;
        int count = g_control.propertyPageCount;
        pages->cElems = (ULONG)(count < 0 ? 0 : count > 4 ? 4 : count);
        pages->pElems = pages->cElems ? const_cast<GUID*>(kPages) : nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reserved6() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetFormat(int sampleRate, int channels) override {
        record(recording::kSetFormat, sampleRate, channels);
        m_channels = channels;
        std::memset(m_state, 0, sizeof(m_state));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reserved8() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved9() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved10() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved11() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved12() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetName(BSTR* name) override {
        record(recording::kGetName);
        if (!name) return E_POINTER;
        *name = makeText(g_control.engineName);
        return S_OK;
    }

    // IEngineParameters
    HRESULT parameterCount(int* count) override {
        record(recording::kParamsGetCount);
        if (!count) return E_POINTER;
        *count = g_control.parameterCount;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetValue(int index, float* value) override {
        record(recording::kGetValue, index);
        if (!value) return E_POINTER;
        if (index < 0 || index >= recording::kEngineValues) return E_INVALIDARG;
        *value = g_control.current[index];
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetValue(int index, float value, int origin) override {
        record(recording::kSetValue, index, origin, value);
        if (index < 0 || index >= recording::kEngineValues) return E_INVALIDARG;
        g_control.current[index] = value;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDisplay(int index, BSTR* text) override {
        record(recording::kGetDisplay, index);
        if (!text) return E_POINTER;
        *text = makeText(g_control.parameterDisplay);
        return S_OK;
    }
    HRESULT parameterName(int index, BSTR* text) override {
        record(recording::kGetParamName, index);
        if (!text) return E_POINTER;
        *text = makeText(g_control.parameterName);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetLabel(int index, BSTR* text) override {
        record(recording::kGetLabel, index);
        if (!text) return E_POINTER;
        *text = makeText(g_control.parameterLabel);
        return S_OK;
    }

    // IEngineNotify
    HRESULT STDMETHODCALLTYPE Advise(EngineChangeCallback callback, void* context) override {
        record(recording::kAdvise);
        g_control.callback = reinterpret_cast<void*>(callback);
        g_control.context = context;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise() override {
        record(recording::kUnadvise);
        g_control.callback = nullptr;
        g_control.context = nullptr;
        return S_OK;
    }

    // IEnginePrograms
    HRESULT programCount(int* count) override {
        record(recording::kProgramsGetCount);
        if (!count) return E_POINTER;
        *count = g_control.programCount;
        return S_OK;
    }
    HRESULT programName(int index, wchar_t* buffer, int maxChars) override {
        record(recording::kProgramsGetName, index, maxChars);
        if (!buffer || index < 0 || index >= 16 || maxChars < 0) return E_INVALIDARG;
        const wchar_t* name = g_control.programNames[index];
        int i = 0;
        for (; i < maxChars && name[i]; ++i) buffer[i] = name[i];
        buffer[i] = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Select(int index) override {
        record(recording::kSelect, index);
        if (index < 0 || index >= 16) return E_INVALIDARG;
        g_control.selected = index;
        std::memcpy(g_control.current, g_control.programValues[index], sizeof(g_control.current));
        return S_OK;
    }

    // IEngineOption
    HRESULT STDMETHODCALLTYPE SetOption(int option) override {
        record(recording::kSetOption, option);
        return S_OK;
    }

private:
    // A cascade of gentle peaking sections per channel: the cost of a multi-band equaliser.
    void filter(const float* in, float* out, int count) {
        const int channels = m_channels > 0 && m_channels <= 8 ? m_channels : 1;
        int stages = g_control.filterStages;
        if (stages > kMaxStages) stages = kMaxStages;
        static const float b0 = 1.0210f, b1 = -1.8900f, b2 = 0.8800f, a1 = -1.8900f, a2 = 0.9010f;
        for (int k = 0; k < count; ++k) {
            float x = in[k];
            float(*state)[2] = m_state[k % channels];
            for (int s = 0; s < stages; ++s) {
                float y = b0 * x + state[s][0];
                state[s][0] = b1 * x - a1 * y + state[s][1];
                state[s][1] = b2 * x - a2 * y;
                x = y;
            }
            out[k] = x;
        }
    }

    static constexpr int kMaxStages = 16;
    SAFEARRAY* m_result = nullptr;
    int m_channels = 2;
    float m_state[8][kMaxStages][2] = {};
};

// The recording property page: records every IPropertyPage call and, when activated, makes a
// plain child window of the given size in the given parent.
class RecordingPage final : public com::implements<RecordingPage, com::NoModule, IPropertyPage> {
public:
    RecordingPage() {
        InterlockedIncrement(&g_control.pageLiveObjects);
        record(recording::kPageCreated);
    }
    ~RecordingPage() override {
        if (m_window) DestroyWindow(m_window);
        InterlockedDecrement(&g_control.pageLiveObjects);
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        InterlockedIncrement(&g_control.pageReferences);
        return implements::AddRef();
    }
    ULONG STDMETHODCALLTYPE Release() override {
        InterlockedDecrement(&g_control.pageReferences);
        return implements::Release();
    }

    STDMETHODIMP SetPageSite(IPropertyPageSite*) override { return other(); }
    STDMETHODIMP Activate(HWND parent, LPCRECT rect, BOOL modal) override {
        if (!rect) return E_POINTER;
        record(recording::kPageActivate, (int)(rect->right - rect->left), (int)(rect->bottom - rect->top),
               modal ? 1.0f : 0.0f);
        g_control.pageParent = reinterpret_cast<INT_PTR>(parent);
        g_control.pageActivateRect = *rect;
        if (g_control.pageFailActivate) return E_FAIL;
        m_window = CreateWindowExW(0, L"STATIC", L"recording page", WS_CHILD | WS_VISIBLE, rect->left, rect->top,
                                   rect->right - rect->left, rect->bottom - rect->top, parent, nullptr, g_module, nullptr);
        g_control.pageWindow = reinterpret_cast<INT_PTR>(m_window);
        return m_window ? S_OK : E_FAIL;
    }
    STDMETHODIMP Deactivate() override {
        record(recording::kPageDeactivate);
        if (m_window) DestroyWindow(m_window);
        m_window = nullptr;
        g_control.pageWindow = 0;
        return S_OK;
    }
    STDMETHODIMP GetPageInfo(PROPPAGEINFO* info) override {
        record(recording::kPageGetPageInfo);
        if (!info) return E_POINTER;
        info->cb = sizeof(PROPPAGEINFO);
        info->pszTitle = nullptr;
        info->size.cx = g_control.pageWidth;
        info->size.cy = g_control.pageHeight;
        info->pszDocString = nullptr;
        info->pszHelpFile = nullptr;
        info->dwHelpContext = 0;
        return S_OK;
    }
    STDMETHODIMP SetObjects(ULONG count, IUnknown** objects) override {
        record(recording::kPageSetObjects, (int)count);
        g_control.pageObject = count && objects ? objects[0] : nullptr;
        return S_OK;
    }
    STDMETHODIMP Show(UINT) override { return other(); }
    STDMETHODIMP Move(LPCRECT) override { return other(); }
    STDMETHODIMP IsPageDirty() override { return other(); }
    STDMETHODIMP Apply() override { return other(); }
    STDMETHODIMP Help(LPCOLESTR) override { return other(); }
    STDMETHODIMP TranslateAccelerator(MSG*) override { return other(); }

private:
    HRESULT other() {
        record(recording::kPageOther);
        return E_NOTIMPL;
    }
    HWND m_window = nullptr;
};

class PageFactory final : public com::implements<PageFactory, com::NoModule, IClassFactory> {
public:
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return com::createInstance<RecordingPage>(riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

class EngineFactory final : public com::implements<EngineFactory, com::NoModule, IClassFactory> {
public:
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        if (g_control.failCreate) return E_FAIL;
        return com::createInstance<RecordingEngine>(riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) InterlockedIncrement(&g_control.serverLocks);
        else InterlockedDecrement(&g_control.serverLocks);
        return S_OK;
    }
};

const wchar_t kClsidKey[] = L"CLSID\\{DB9A9DC4-7638-4B0F-95A1-EF8C2FDCDD04}";
const wchar_t kPageClsidKey[] = L"CLSID\\{1A2B3C4D-0000-0000-0102-030405060708}";

LONG registerClass(const wchar_t* classKey, const wchar_t* path, DWORD pathLength, const wchar_t* model) {
    wchar_t key[128];
    std::swprintf(key, 128, L"%ls\\InprocServer32", classKey);
    HKEY handle = nullptr;
    LONG status = RegCreateKeyExW(HKEY_CLASSES_ROOT, key, 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr);
    if (status != ERROR_SUCCESS) return status;
    status = RegSetValueExW(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                            (DWORD)((pathLength + 1) * sizeof(wchar_t)));
    if (status == ERROR_SUCCESS)
        status = RegSetValueExW(handle, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(model),
                                (DWORD)((wcslen(model) + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return status;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        setDefaults();
    }
    return TRUE;
}

recording::Control* WINAPI RecordingEngineControl() { return &g_control; }

// Back to the default configuration with an empty call log; the live counts stay as they are.
void WINAPI RecordingEngineReset() { setDefaults(); }

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualCLSID(clsid, recording::CLSID_RecordingPage)) return com::createInstance<PageFactory>(riid, ppv);
    if (!IsEqualCLSID(clsid, CLSID_EffectEngine)) return CLASS_E_CLASSNOTAVAILABLE;
    return com::createInstance<EngineFactory>(riid, ppv);
}

HRESULT WINAPI DllCanUnloadNow() {
    return g_control.liveObjects == 0 && g_control.serverLocks == 0 ? S_OK : S_FALSE;
}

HRESULT WINAPI DllRegisterServer() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(g_module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return E_FAIL;
    if (registerClass(kClsidKey, path, length, L"Both") != ERROR_SUCCESS ||
        registerClass(kPageClsidKey, path, length, L"Apartment") != ERROR_SUCCESS)
        return SELFREG_E_CLASS;
    return S_OK;
}

HRESULT WINAPI DllUnregisterServer() {
    LONG status = RegDeleteTreeW(HKEY_CLASSES_ROOT, kClsidKey);
    LONG page = RegDeleteTreeW(HKEY_CLASSES_ROOT, kPageClsidKey);
    auto gone = [](LONG s) { return s == ERROR_SUCCESS || s == ERROR_FILE_NOT_FOUND; };
    return gone(status) && gone(page) ? S_OK : SELFREG_E_CLASS;
}

}  // extern "C"
