// One way to write COM objects in this tree: derive from
//     com::implements<Derived, Policy, IFirst, ISecond, ...>
// and get QueryInterface, AddRef and Release for exactly the listed interfaces (IUnknown is
// answered with the first). Interface identifiers come from __uuidof, so every interface needs
// a __CRT_UUID_DECL (widl emits it; hand-written interface headers declare it themselves).
//
// Policy decides how references are counted and whether the object holds its module:
//   struct Policy {
//       static constexpr bool interlocked = true;   // false: plain ++/-- (apartment objects)
//       static void lockModule();                     // called once per live object
//       static void unlockModule();
//   };
// Objects start with a reference count of 0; the creator QueryInterfaces them.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <new>
#include <type_traits>

namespace com {

struct NoModule {
    static constexpr bool interlocked = true;
    static void lockModule() {}
    static void unlockModule() {}
};

namespace detail {
template <class First, class... Rest>
struct FirstOf {
    using type = First;
};

template <class Self>
inline bool findInterface(Self*, REFIID, void**) {
    return false;
}
template <class Self, class I, class... Rest>
inline bool findInterface(Self* self, REFIID riid, void** ppv) {
    if (IsEqualIID(riid, __uuidof(I))) {
        *ppv = static_cast<I*>(self);
        return true;
    }
    return findInterface<Self, Rest...>(self, riid, ppv);
}
}  // namespace detail

template <class Derived, class Policy, class... Interfaces>
class implements : public Interfaces... {
public:
    using FirstInterface = typename detail::FirstOf<Interfaces...>::type;

    implements() { Policy::lockModule(); }
    implements(const implements&) = delete;
    implements& operator=(const implements&) = delete;

    // Answers the listed interfaces; IUnknown is the first of them.
    HRESULT queryInterfaceImpl(REFIID riid, void** ppv) {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(static_cast<FirstInterface*>(this));
        } else if (!detail::findInterface<implements, Interfaces...>(this, riid, ppv)) {
            return E_NOINTERFACE;
        }
        static_cast<IUnknown*>(*ppv)->AddRef();
        return S_OK;
    }
    ULONG addRefImpl() {
        if constexpr (Policy::interlocked) return (ULONG)InterlockedIncrement(&m_refCount);
        else return (ULONG)++m_refCount;
    }
    ULONG releaseImpl() {
        LONG count;
        if constexpr (Policy::interlocked) count = InterlockedDecrement(&m_refCount);
        else count = --m_refCount;
        if (count == 0) delete static_cast<Derived*>(this);
        return (ULONG)count;
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return queryInterfaceImpl(riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return addRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return releaseImpl(); }

    LONG referenceCount() const { return m_refCount; }

protected:
    virtual ~implements() { Policy::unlockModule(); }

private:
    LONG m_refCount = 0;
};

// Creates an object with no reference yet and asks it for riid; the object is deleted when the
// interface is not offered. Arguments are passed to the constructor.
template <class T, class... Args>
HRESULT createInstance(REFIID riid, void** ppv, Args&&... args) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    T* object = new (std::nothrow) T(static_cast<Args&&>(args)...);
    if (!object) return E_OUTOFMEMORY;
    object->AddRef();
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

}  // namespace com
