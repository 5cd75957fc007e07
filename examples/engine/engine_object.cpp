// The example effect engine as a COM in-process server: one object offering the five engine
// interfaces around an EngineCore, its class factory, unloading and self-registration.
#include <windows.h>
#include <olectl.h>

#include <string>

#include "common/com/implements.h"
#include "common/com/safe_array.h"
#include "examples/engine/engine_core.h"
#include "examples/engine/engine_module.h"
#include "plugin/engine/engine_interfaces.h"

using namespace brisane;
using example_engine::EngineCore;

// IEngineParameters and IEnginePrograms both have GetCount(int*); one class cannot implement
// the two differently under one name, so each is routed to a method of its own here.
namespace example_engine_com {
struct ParametersShim : public IEngineParameters {
    STDMETHODIMP GetCount(int* count) final { return parameterCount(count); }
    virtual HRESULT parameterCount(int* count) = 0;
};
struct ProgramsShim : public IEnginePrograms {
    STDMETHODIMP GetCount(int* count) final { return programCount(count); }
    virtual HRESULT programCount(int* count) = 0;
};
}  // namespace example_engine_com
__CRT_UUID_DECL(example_engine_com::ParametersShim, 0x222E9B7B, 0x9B23, 0x4841, 0xAD, 0xAA, 0x9F, 0x69, 0x21, 0x98, 0x24, 0xA3)
__CRT_UUID_DECL(example_engine_com::ProgramsShim, 0x237AC92B, 0xCA06, 0x4992, 0xB9, 0x08, 0xBD, 0x7F, 0xB6, 0x97, 0x69, 0xA1)

namespace {
using example_engine_com::g_module;
using example_engine_com::g_moduleLocks;
using example_engine_com::ModulePolicy;
using example_engine_com::ParametersShim;
using example_engine_com::ProgramsShim;

const wchar_t kEngineName[] = L"Example EQ and Drive";
const wchar_t kClassKey[] = L"CLSID\\{DB9A9DC4-7638-4B0F-95A1-EF8C2FDCDD04}";
const wchar_t kClassDescription[] = L"Example effect engine: equaliser, drive and gain";

// Why the engine calls the advised callback (its first argument); the second is the context,
// the third the program or parameter concerned.
enum ChangeReason : LONG { kProgramLoaded = 1, kAutoGainMoved = 2, kEditedOnPage = 3 };

class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&m_cs); }
    ~CriticalSection() { DeleteCriticalSection(&m_cs); }
    void enter() { EnterCriticalSection(&m_cs); }
    void leave() { LeaveCriticalSection(&m_cs); }

private:
    CRITICAL_SECTION m_cs;
};

class Lock {
public:
    explicit Lock(CriticalSection& cs) : m_cs(cs) { m_cs.enter(); }
    ~Lock() { m_cs.leave(); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    CriticalSection& m_cs;
};

HRESULT toBstr(const std::string& text, BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    std::wstring wide(text.begin(), text.end());  // the engine's texts are plain ASCII
    BSTR s = SysAllocStringLen(wide.data(), (UINT)wide.size());
    if (!s) return E_OUTOFMEMORY;
    *out = s;
    return S_OK;
}

class CExampleEngine
    : public com::implements<CExampleEngine, ModulePolicy, IEffectEngine, ParametersShim, IEngineNotify,
                             ProgramsShim, IEngineOption> {
public:
    ~CExampleEngine() override = default;

    // IEffectEngine
    STDMETHODIMP Process(SAFEARRAY* input, SAFEARRAY** output) override {
        if (!output) return E_POINTER;
        *output = nullptr;
        if (!input) return E_POINTER;
        VARTYPE vt = VT_EMPTY;
        if (SafeArrayGetDim(input) != 1 || FAILED(SafeArrayGetVartype(input, &vt)) || vt != VT_R4)
            return E_INVALIDARG;
        LONG lower = 0, upper = -1;
        if (FAILED(SafeArrayGetLBound(input, 1, &lower)) || FAILED(SafeArrayGetUBound(input, 1, &upper)))
            return E_INVALIDARG;
        ULONG count = upper >= lower ? (ULONG)(upper - lower) + 1 : 0;

        bool moved = false;
        EngineChangeCallback callback = nullptr;
        void* context = nullptr;
        {
            Lock lock(m_lock);
            // The result array is reused while the block size stays; the caller reads it before
            // the next call and never frees it.
            if (!m_result || m_resultCount != count) {
                m_result.reset(SafeArrayCreateVector(VT_R4, 0, count));
                m_resultCount = count;
                if (!m_result) return E_OUTOFMEMORY;
            }
            {
                const com::array_data<float> in(input);
                if (!in) return E_FAIL;
                const com::array_data<float> out(m_result.get());
                if (!out) return E_FAIL;
                moved = m_core.process(in.get(), out.get(), count);
            }
            *output = m_result.get();
            callback = m_callback;
            context = m_context;
        }
        // Outside the lock: the callback reads the values back through this object.
        if (moved && callback) callback(kAutoGainMoved, context, example_engine::kOutputGain);
        return S_OK;
    }
    STDMETHODIMP Reserved4() override { return E_NOTIMPL; }
    // One page, the engine's own editor; the array stays the engine's.
    STDMETHODIMP GetPropertyPages(CAUUID* pages) override {
        if (!pages) return E_POINTER;
        pages->cElems = 1;
        pages->pElems = const_cast<GUID*>(&example_engine_com::CLSID_ExampleEnginePage);
        return S_OK;
    }
    STDMETHODIMP Reserved6() override { return E_NOTIMPL; }
    STDMETHODIMP SetFormat(int sampleRate, int channels) override {
        Lock lock(m_lock);
        return m_core.setFormat(sampleRate, channels) ? S_OK : E_INVALIDARG;
    }
    STDMETHODIMP Reserved8() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved9() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved10() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved11() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved12() override { return E_NOTIMPL; }
    STDMETHODIMP GetName(BSTR* name) override {
        if (!name) return E_POINTER;
        *name = SysAllocString(kEngineName);
        return *name ? S_OK : E_OUTOFMEMORY;
    }

    // IEngineParameters
    HRESULT parameterCount(int* count) override {
        if (!count) return E_POINTER;
        *count = example_engine::kParameterCount;
        return S_OK;
    }
    STDMETHODIMP GetValue(int index, float* value) override {
        if (!value) return E_POINTER;
        if (!validParameter(index)) return E_INVALIDARG;
        Lock lock(m_lock);
        *value = m_core.value(index);
        return S_OK;
    }
    // An edit on the engine's own page is reported to the plug-in, as any change the engine
    // makes itself; changes from the plug-in (host or program load) are not echoed back.
    STDMETHODIMP SetValue(int index, float value, int origin) override {
        EngineChangeCallback callback = nullptr;
        void* context = nullptr;
        {
            Lock lock(m_lock);
            if (!m_core.setValue(index, value)) return E_INVALIDARG;
            if (origin == example_engine_com::kOriginPage) {
                callback = m_callback;
                context = m_context;
            }
        }
        if (callback) callback(kEditedOnPage, context, index);
        return S_OK;
    }
    STDMETHODIMP GetDisplay(int index, BSTR* text) override {
        if (!text) return E_POINTER;
        if (!validParameter(index)) return E_INVALIDARG;
        float value;
        {
            Lock lock(m_lock);
            value = m_core.value(index);
        }
        return toBstr(example_engine::parameterDisplay(index, value), text);
    }
    STDMETHODIMP GetName(int index, BSTR* text) override {
        if (!text) return E_POINTER;
        if (!validParameter(index)) return E_INVALIDARG;
        return toBstr(example_engine::parameterName(index), text);
    }
    STDMETHODIMP GetLabel(int index, BSTR* text) override {
        if (!text) return E_POINTER;
        if (!validParameter(index)) return E_INVALIDARG;
        return toBstr(example_engine::parameterLabel(index), text);
    }

    // IEngineNotify
    STDMETHODIMP Advise(EngineChangeCallback callback, void* context) override {
        Lock lock(m_lock);
        m_callback = callback;
        m_context = context;
        return S_OK;
    }
    STDMETHODIMP Unadvise() override {
        Lock lock(m_lock);
        m_callback = nullptr;
        m_context = nullptr;
        return S_OK;
    }

    // IEnginePrograms
    HRESULT programCount(int* count) override {
        if (!count) return E_POINTER;
        *count = (int)example_engine::factoryPrograms().size();
        return S_OK;
    }
    STDMETHODIMP GetName(int index, wchar_t* buffer, int maxChars) override {
        const auto& programs = example_engine::factoryPrograms();
        if (!buffer) return E_POINTER;
        if (index < 0 || index >= (int)programs.size() || maxChars < 0) return E_INVALIDARG;
        const char* name = programs[(size_t)index].name;
        int n = 0;
        for (; n < maxChars && name[n]; ++n) buffer[n] = (wchar_t)(unsigned char)name[n];
        buffer[n] = 0;
        return S_OK;
    }
    STDMETHODIMP Select(int index) override {
        const auto& programs = example_engine::factoryPrograms();
        if (index < 0 || index >= (int)programs.size()) return E_INVALIDARG;
        EngineChangeCallback callback;
        void* context;
        {
            Lock lock(m_lock);
            m_core.loadValues(programs[(size_t)index].values);
            callback = m_callback;
            context = m_context;
        }
        if (callback) callback(kProgramLoaded, context, index);
        return S_OK;
    }

    // IEngineOption: the plug-in announces itself with -1; this engine has no options that
    // change its sound, so the value is only kept.
    STDMETHODIMP SetOption(int option) override {
        Lock lock(m_lock);
        m_option = option;
        return S_OK;
    }

private:
    static bool validParameter(int index) { return index >= 0 && index < example_engine::kParameterCount; }

    CriticalSection m_lock;
    EngineCore m_core;
    com::safe_array m_result;
    ULONG m_resultCount = 0;
    EngineChangeCallback m_callback = nullptr;
    void* m_context = nullptr;
    int m_option = 0;
};

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualCLSID(rclsid, example_engine_com::CLSID_ExampleEnginePage))
        return example_engine_com::createPageFactory(riid, ppv);
    if (!IsEqualCLSID(rclsid, CLSID_EffectEngine)) return CLASS_E_CLASSNOTAVAILABLE;
    return com::createInstance<example_engine_com::CClassFactory<CExampleEngine>>(riid, ppv);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return g_moduleLocks == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    wchar_t path[MAX_PATH + 1];
    DWORD length = GetModuleFileNameW(g_module, path, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return SELFREG_E_CLASS;  // no path, or a cut one

    const LONG rc = example_engine_com::registerInprocServer(kClassKey, kClassDescription, path, L"Both");
    if (rc != ERROR_SUCCESS || FAILED(example_engine_com::registerPage(path))) {
        // Leave no half-written class behind.
        RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey);
        example_engine_com::unregisterPage();
        return SELFREG_E_CLASS;
    }
    return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey);
    const HRESULT page = example_engine_com::unregisterPage();
    return (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) && SUCCEEDED(page) ? S_OK : SELFREG_E_CLASS;
}
