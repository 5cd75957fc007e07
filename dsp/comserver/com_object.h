// The object forms of Sonvex2's classes, built on com::implements:
//   - plain object: the class itself, counting its own references;
//   - aggregated object: a non-delegating unknown that owns the class as a contained part whose
//     IUnknown methods go to the outer object;
//   - the cached class factory with the module lock rule of a cached class object.
// A class used here provides
//   HRESULT internalQueryInterface(REFIID, void**)   the interfaces of the object itself
//   HRESULT finalConstruct()                         runs once with a temporary reference held
// and routes its QueryInterface through internalQueryInterface.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <new>

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

// The class as the inner part of an aggregate: its IUnknown belongs to the outer object.
template <class T>
class ContainedObject final : public T {
public:
    explicit ContainedObject(IUnknown* outer) : m_pOuter(outer) {}
    ~ContainedObject() override = default;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return m_pOuter->QueryInterface(riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return m_pOuter->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return m_pOuter->Release(); }

private:
    IUnknown* m_pOuter;  // not counted: the outer object owns us
};

// The aggregated object: answers IUnknown with itself and everything else from the contained
// part, whose interfaces then count on the outer object.
template <class T, bool Interlocked>
class AggregatedObject final : public IUnknown {
public:
    explicit AggregatedObject(IUnknown* outer) : m_Contained(outer) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return m_Contained.internalQueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        if constexpr (Interlocked) return (ULONG)InterlockedIncrement(&m_nRefCount);
        else return (ULONG)++m_nRefCount;
    }
    STDMETHODIMP_(ULONG) Release() override {
        LONG count;
        if constexpr (Interlocked) count = InterlockedDecrement(&m_nRefCount);
        else count = --m_nRefCount;
        if (count == 0) delete this;
        return (ULONG)count;
    }
    HRESULT finalConstruct() { return m_Contained.finalConstruct(); }

private:
    LONG m_nRefCount = 0;
    ContainedObject<T> m_Contained;
};

// Allocates one object form, runs its final-construct step under a temporary reference and
// asks it for riid; any failure deletes it again.
template <class Object, class... Args>
HRESULT constructAndQuery(REFIID riid, void** ppv, Args... args) {
    Object* object = nullptr;
    try {
        object = new (std::nothrow) Object(args...);
    } catch (...) {
        object = nullptr;
    }
    if (!object) return E_OUTOFMEMORY;
    object->AddRef();
    HRESULT hr = object->finalConstruct();
    if (SUCCEEDED(hr)) hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

// Instance creator of the class table: plain object without an outer unknown, aggregated object
// with one (the factory has already refused aggregation for any riid but IUnknown).
template <class T>
HRESULT CreateObjectInstance(IUnknown* outer, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!outer) return constructAndQuery<T>(riid, ppv);
    return constructAndQuery<AggregatedObject<T, T::kInterlockedCount>>(riid, ppv, outer);
}

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
