// What Sonvex2's classes add to com::implements (which makes their plain and aggregated forms):
// the module lock count, the counting policies of the two threading models and the cached class
// factory with the module lock rule of a cached class object.
#pragma once
#include <windows.h>
#include <objbase.h>

#include "common/com/implements.h"

namespace sonvex {

// Module lock count: live objects, outside references to class objects, LockServer(TRUE).
LONG LockModule();
LONG UnlockModule();
LONG ModuleLockCount();

// Counting policies for com::implements. Every live object holds the module.
struct FreeThreadedObject {
    static constexpr bool interlocked = true;
    static void lockModule() { LockModule(); }
    static void unlockModule() { UnlockModule(); }
};
struct ApartmentObject {
    static constexpr bool interlocked = false;
    static void lockModule() { LockModule(); }
    static void unlockModule() { UnlockModule(); }
};

// Instance creator of the class table: com::createAggregatable<T>.
using InstanceCreator = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

// The class object kept in the class table. The table's own reference does not hold the module;
// every reference beyond it does, so the count moving to 2 locks and back to 1 unlocks.
class CClassFactory final : public com::implements<CClassFactory, com::NoModule, IClassFactory> {
public:
    explicit CClassFactory(InstanceCreator creator) : m_pfnCreator(creator) {}
    ~CClassFactory() override = default;

    STDMETHODIMP_(ULONG) AddRef() override {
        ULONG count = addRefImpl();
        if (count == 2) LockModule();
        return count;
    }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG count = releaseImpl();
        if (count == 1) UnlockModule();
        return count;
    }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
        return m_pfnCreator(outer, riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) LockModule();
        else UnlockModule();
        return S_OK;
    }

private:
    InstanceCreator m_pfnCreator;
};

}  // namespace sonvex
