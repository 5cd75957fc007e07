// Module object, class table and the four exports of Sonvex2.dll.
#include "dsp/comserver/module.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <shellapi.h>

#include <atomic>

#include "common/com/com_ptr.h"
#include "dsp/comserver/audio_resampler.h"
#include "dsp/comserver/com_object.h"
#include "dsp/comserver/fourier_transform.h"
#include "dsp/comserver/registrar.h"
#include "dsp/comserver/resource_ids.h"
#include "dsp/kernels/kernels.h"
#include "sonvex_h.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace sonvex {
namespace {

struct ClassEntry {
    const CLSID* clsid;
    const wchar_t* friendlyName;
    int scriptResource;
    InstanceCreator createInstance;
    com::ptr<IUnknown> classObject;  // cached factory, created on first request
    // Set once classObject is complete: the first look runs without the module lock.
    std::atomic<bool> classObjectReady{false};
    com::ptr<ITypeInfo> classInfo;  // coclass information for IProvideClassInfo, loaded on first use
};

class CSonvexModule {
public:
    CSonvexModule() {
        m_bInitialised = InitializeCriticalSectionAndSpinCount(&m_csModule, 0) != FALSE;
    }
    ~CSonvexModule() {
        for (ClassEntry& entry : m_aClasses) {
            entry.classObject.reset();
            // The type information lives in oleaut32; at process exit it may be gone already.
            if (m_bProcessTerminating) entry.classInfo.detach();
            entry.classInfo.reset();
        }
        if (m_bInitialised) DeleteCriticalSection(&m_csModule);
    }

    bool initialised() const { return m_bInitialised; }
    void setProcessTerminating() { m_bProcessTerminating = true; }

    LONG lock() { return InterlockedIncrement(&m_nLockCount); }
    LONG unlock() { return InterlockedDecrement(&m_nLockCount); }
    LONG lockCount() const { return m_nLockCount; }

    CRITICAL_SECTION* section() { return &m_csModule; }

    ClassEntry* begin() { return m_aClasses; }
    ClassEntry* end() { return m_aClasses + 2; }
    ClassEntry* find(REFCLSID clsid) {
        for (ClassEntry& entry : m_aClasses) {
            if (entry.createInstance && IsEqualCLSID(*entry.clsid, clsid)) return &entry;
        }
        return nullptr;
    }

private:
    volatile LONG m_nLockCount = 0;
    CRITICAL_SECTION m_csModule{};
    bool m_bInitialised = false;
    bool m_bProcessTerminating = false;
    ClassEntry m_aClasses[2] = {
        {&CLSID_CAudioResampler, L"CAudioResampler Object", IDR_AUDIORESAMPLER,
         &com::createAggregatable<CAudioResampler>},
        {&CLSID_CFourierTransform, L"CFourierTransform Object", IDR_FOURIERTRANSFORM,
         &com::createAggregatable<CFourierTransform>},
    };
};

CSonvexModule g_module;

class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CRITICAL_SECTION* section) : m_pSection(section) { EnterCriticalSection(section); }
    ~CriticalSectionLock() { LeaveCriticalSection(m_pSection); }

private:
    CRITICAL_SECTION* m_pSection;
};

// The thread locale is the system default for the whole of a registration call.
class SystemLocaleScope {
public:
    SystemLocaleScope() : m_lcidSaved(GetThreadLocale()) { SetThreadLocale(LOCALE_SYSTEM_DEFAULT); }
    ~SystemLocaleScope() { SetThreadLocale(m_lcidSaved); }

private:
    LCID m_lcidSaved;
};

HRESULT loadScript(int resourceId, std::wstring* script) {
    HMODULE module = ModuleHandle();
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(resourceId), L"REGISTRY");
    if (!found) return HRESULT_FROM_WIN32(GetLastError());
    DWORD size = SizeofResource(module, found);
    HGLOBAL loaded = LoadResource(module, found);
    const char* text = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    if (!text) return HRESULT_FROM_WIN32(GetLastError());
    if (size == 0) {
        script->clear();
        return S_OK;
    }
    int length = MultiByteToWideChar(CP_ACP, 0, text, (int)size, nullptr, 0);
    if (length <= 0) return HRESULT_FROM_WIN32(GetLastError());
    try {
        script->assign((size_t)length, L'\0');
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    MultiByteToWideChar(CP_ACP, 0, text, (int)size, &(*script)[0], length);
    return S_OK;
}

std::wstring guidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);  // braces, upper-case hexadecimal
    return text;
}

HRESULT moduleReplacements(RegistryReplacements* replacements) {
    std::wstring path;
    HRESULT hr = GetModulePath(&path);
    if (FAILED(hr)) return hr;
    try {
        std::wstring quoted;
        for (wchar_t c : path) {
            quoted += c;
            if (c == L'\'') quoted += L'\'';
        }
        // The shell recognises executables only; a DLL is an in-process server.
        SHFILEINFOW info{};
        const wchar_t* moduleType =
            SHGetFileInfoW(path.c_str(), 0, &info, sizeof info, SHGFI_EXETYPE) != 0 ? L"LocalServer32"
                                                                                    : L"InprocServer32";
        std::wstring appId = guidText(LIBID_Sonvex);
        replacements->assign({{L"APPID", appId},
                              {L"Module", quoted},
                              {L"Module_Raw", path},
                              {L"MODULEGUID", appId},
                              {L"MODULETYPE", moduleType}});
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT runClassScript(const ClassEntry& entry, const RegistryReplacements& base, RegistryMode mode) {
    std::wstring script;
    HRESULT hr = loadScript(entry.scriptResource, &script);
    if (FAILED(hr)) return hr;
    try {
        RegistryReplacements replacements = base;
        replacements.push_back({L"FriendlyName", entry.friendlyName});
        return RunRegistryScript(script, replacements, mode, UnregisterForm::WholeSubtree);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT runAppIdScript(const RegistryReplacements& base, RegistryMode mode) {
    std::wstring script;
    HRESULT hr = loadScript(IDR_APPID, &script);
    if (FAILED(hr)) return hr;
    // The AppID script sees only the module's own names.
    RegistryReplacements replacements;
    for (const auto& r : base) {
        if (r.first == L"APPID" || r.first == L"Module" || r.first == L"Module_Raw") replacements.push_back(r);
    }
    return RunRegistryScript(script, replacements, mode, UnregisterForm::WhenEmpty);
}

// The module's type library from its own file, or from the ".tlb" beside it.
HRESULT loadModuleTypeLib(ITypeLib** lib, std::wstring* loadedFrom) {
    *lib = nullptr;
    std::wstring path;
    HRESULT hr = GetModulePath(&path);
    if (FAILED(hr)) return hr;
    hr = LoadTypeLib(path.c_str(), lib);
    if (SUCCEEDED(hr)) {
        *loadedFrom = path;
        return hr;
    }
    size_t dot = path.find_last_of(L'.');
    size_t slash = path.find_last_of(L"\\/");
    std::wstring tlb = (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash))
                           ? path.substr(0, dot) + L".tlb"
                           : path + L".tlb";
    HRESULT hrTlb = LoadTypeLib(tlb.c_str(), lib);
    if (FAILED(hrTlb)) return hr;
    *loadedFrom = tlb;
    return hrTlb;
}

HRESULT registerTypeLib() {
    com::ptr<ITypeLib> lib;
    std::wstring path;
    HRESULT hr = loadModuleTypeLib(lib.put(), &path);
    if (FAILED(hr)) return hr;
    // Help directory: the directory of the library's help file, when it names one.
    BSTR helpFile = nullptr;
    std::wstring helpDir;
    if (SUCCEEDED(lib->GetDocumentation(-1, nullptr, nullptr, nullptr, &helpFile)) && helpFile &&
        SysStringLen(helpFile) > 0) {
        helpDir.assign(helpFile, SysStringLen(helpFile));
        size_t slash = helpDir.find_last_of(L"\\/");
        helpDir = slash == std::wstring::npos ? std::wstring() : helpDir.substr(0, slash);
    }
    SysFreeString(helpFile);
    return RegisterTypeLib(lib.get(), const_cast<OLECHAR*>(path.c_str()),
                           helpDir.empty() ? nullptr : const_cast<OLECHAR*>(helpDir.c_str()));
}

HRESULT unregisterTypeLib() {
    com::ptr<ITypeLib> lib;
    std::wstring path;
    HRESULT hr = loadModuleTypeLib(lib.put(), &path);
    if (FAILED(hr)) return hr;
    TLIBATTR* attr = nullptr;
    hr = lib->GetLibAttr(&attr);
    if (SUCCEEDED(hr)) {
        hr = UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
        lib->ReleaseTLibAttr(attr);
    }
    return hr;
}

}  // namespace

LONG LockModule() { return g_module.lock(); }
LONG UnlockModule() { return g_module.unlock(); }
LONG ModuleLockCount() { return g_module.lockCount(); }

HMODULE ModuleHandle() { return reinterpret_cast<HMODULE>(&__ImageBase); }

void ChooseKernelVersionOnce() {
    static const bool chosen = (InitProcessorDispatch(), true);
    (void)chosen;
}

HRESULT GetModulePath(std::wstring* path) {
    wchar_t buffer[MAX_PATH];
    DWORD length = GetModuleFileNameW(ModuleHandle(), buffer, MAX_PATH);
    if (length == 0) return HRESULT_FROM_WIN32(GetLastError());
    if (length >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    try {
        path->assign(buffer, length);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT LoadSonvexTypeLib(ITypeLib** lib) {
    *lib = nullptr;
    // The library carries LCID 0x0409 and is registered under it, so a neutral-locale look-up may
    // find nothing; then the library's own locale, then the copy inside this module.
    if (SUCCEEDED(LoadRegTypeLib(LIBID_Sonvex, 1, 0, 0, lib))) return S_OK;
    if (SUCCEEDED(LoadRegTypeLib(LIBID_Sonvex, 1, 0, 0x0409, lib))) return S_OK;
    std::wstring path;
    return loadModuleTypeLib(lib, &path);
}

HRESULT GetCachedClassInfo(REFCLSID clsid, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    ClassEntry* entry = g_module.find(clsid);
    if (!entry) return TYPE_E_ELEMENTNOTFOUND;
    CriticalSectionLock lock(g_module.section());
    if (!entry->classInfo) {
        com::ptr<ITypeLib> lib;
        HRESULT hr = LoadSonvexTypeLib(lib.put());
        if (FAILED(hr)) return hr;
        com::ptr<ITypeInfo> loaded;
        hr = lib->GetTypeInfoOfGuid(clsid, loaded.put());
        if (FAILED(hr)) return hr;
        entry->classInfo = std::move(loaded);
    }
    *info = entry->classInfo.copy();
    return S_OK;
}

}  // namespace sonvex

using namespace sonvex;

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) return g_module.initialised() ? TRUE : FALSE;
    if (reason == DLL_PROCESS_DETACH && reserved != nullptr) g_module.setProcessTerminating();
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!g_module.initialised()) return E_UNEXPECTED;
    ClassEntry* entry = g_module.find(rclsid);
    if (!entry) return CLASS_E_CLASSNOTAVAILABLE;
    if (!entry->classObjectReady.load(std::memory_order_acquire)) {
        CriticalSectionLock lock(g_module.section());
        if (!entry->classObject) {
            com::ptr<IUnknown> factory;
            HRESULT hr = com::createInstance<CClassFactory>(IID_IUnknown, factory.putVoid(), entry->createInstance);
            if (FAILED(hr)) return hr;
            entry->classObject = std::move(factory);
            // Published only once complete: the first check above runs without the lock.
            entry->classObjectReady.store(true, std::memory_order_release);
        }
    }
    HRESULT hr = entry->classObject->QueryInterface(riid, ppv);
    if (SUCCEEDED(hr) && !*ppv) return CLASS_E_CLASSNOTAVAILABLE;
    return hr;
}

STDAPI DllCanUnloadNow() {
    return g_module.lockCount() == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
    SystemLocaleScope locale;
    RegistryReplacements replacements;
    HRESULT hr = moduleReplacements(&replacements);
    if (FAILED(hr)) return hr;
    hr = runAppIdScript(replacements, RegistryMode::Register);
    if (FAILED(hr)) return hr;
    for (const ClassEntry& entry : g_module) {
        hr = runClassScript(entry, replacements, RegistryMode::Register);
        if (FAILED(hr)) return hr;
    }
    return registerTypeLib();
}

STDAPI DllUnregisterServer() {
    SystemLocaleScope locale;
    RegistryReplacements replacements;
    HRESULT hr = moduleReplacements(&replacements);
    if (FAILED(hr)) return hr;
    for (const ClassEntry& entry : g_module) {
        hr = runClassScript(entry, replacements, RegistryMode::Unregister);
        if (FAILED(hr)) return hr;
    }
    hr = unregisterTypeLib();
    if (FAILED(hr)) return hr;
    return runAppIdScript(replacements, RegistryMode::Unregister);
}
