// What the example engine's COM classes share: the module handle, the lock count that decides
// unloading, and the counting policy of their objects.
#pragma once
#include <windows.h>

#include "common/com/implements.h"

namespace example_engine_com {

extern HINSTANCE g_module;
extern LONG g_moduleLocks;  // live objects, live factories and LockServer(TRUE) calls

struct ModulePolicy {
    static constexpr bool interlocked = true;
    static void lockModule() { InterlockedIncrement(&g_moduleLocks); }
    static void unlockModule() { InterlockedDecrement(&g_moduleLocks); }
};

// The class object of one of the module's classes.
template <class Object>
class CClassFactory : public com::implements<CClassFactory<Object>, ModulePolicy, IClassFactory> {
public:
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return com::createInstance<Object>(riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) ModulePolicy::lockModule();
        else ModulePolicy::unlockModule();
        return S_OK;
    }
};

// The origin the engine's own page gives SetValue: an edit the plug-in must hear about.
constexpr int kOriginPage = 1;

// {6F0D1C32-5E7B-4C8A-9D41-2B7E93A6C150}
static const CLSID CLSID_ExampleEnginePage =
    {0x6F0D1C32, 0x5E7B, 0x4C8A, {0x9D, 0x41, 0x2B, 0x7E, 0x93, 0xA6, 0xC1, 0x50}};

// Writes HKCR\<classKey> with its description and an InprocServer32 key naming the module.
LONG registerInprocServer(const wchar_t* classKey, const wchar_t* description, const wchar_t* modulePath,
                          const wchar_t* threadingModel);

// The page's class object, and its registry entries beside the engine's.
HRESULT createPageFactory(REFIID riid, void** ppv);
HRESULT registerPage(const wchar_t* modulePath);
HRESULT unregisterPage();

}  // namespace example_engine_com
