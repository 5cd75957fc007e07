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
// Objects start with a reference count of 0; com::createInstance makes them and asks them for
// the caller's interface. A class may hide two members of implements:
//   HRESULT internalQueryInterface(REFIID, void**)   more interfaces than the listed ones
//   HRESULT finalConstruct()                         runs once with a temporary reference held
// and com::createAggregatable makes it either plain or as the inner part of an aggregate.
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

// The reference count of every object form, interlocked or plain as the policy says.
template <bool Interlocked>
class RefCount {
public:
    ULONG increment() {
        if constexpr (Interlocked) return (ULONG)InterlockedIncrement(&m_nCount);
        else return (ULONG)++m_nCount;
    }
    LONG decrement() {
        if constexpr (Interlocked) return InterlockedDecrement(&m_nCount);
        else return --m_nCount;
    }
    LONG value() const { return m_nCount; }

private:
    LONG m_nCount = 0;
};
}  // namespace detail

template <class Derived, class Policy, class... Interfaces>
class implements : public Interfaces... {
public:
    using FirstInterface = typename detail::FirstOf<Interfaces...>::type;
    using policy = Policy;

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
    HRESULT internalQueryInterface(REFIID riid, void** ppv) { return queryInterfaceImpl(riid, ppv); }
    HRESULT finalConstruct() { return S_OK; }

    ULONG addRefImpl() { return m_Count.increment(); }
    ULONG releaseImpl() {
        const LONG count = m_Count.decrement();
        if (count == 0) delete static_cast<Derived*>(this);
        return (ULONG)count;
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        return static_cast<Derived*>(this)->internalQueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return addRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return releaseImpl(); }

    LONG referenceCount() const { return m_Count.value(); }

protected:
    virtual ~implements() { Policy::unlockModule(); }

private:
    detail::RefCount<Policy::interlocked> m_Count;
};

// The class as the inner part of an aggregate: its IUnknown methods go to the outer object.
template <class T>
class contained final : public T {
public:
    explicit contained(IUnknown* outer) : m_pOuter(outer) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return m_pOuter->QueryInterface(riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return m_pOuter->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return m_pOuter->Release(); }

private:
    IUnknown* m_pOuter;  // not counted: the outer object owns us
};

// The aggregate's non-delegating unknown: it answers IUnknown with itself and everything else
// from the contained part, whose interfaces then count on the outer object. It counts as the
// class's policy says.
template <class T>
class aggregated final : public IUnknown {
public:
    explicit aggregated(IUnknown* outer) : m_Contained(outer) {}

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
    STDMETHODIMP_(ULONG) AddRef() override { return m_Count.increment(); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG count = m_Count.decrement();
        if (count == 0) delete this;
        return (ULONG)count;
    }
    HRESULT finalConstruct() { return m_Contained.finalConstruct(); }

private:
    detail::RefCount<T::policy::interlocked> m_Count;
    contained<T> m_Contained;
};

// Creates an object with no reference yet, runs its final-construct step under a temporary
// reference and asks it for riid; any failure deletes it again. Arguments go to the constructor.
template <class T, class... Args>
HRESULT createInstance(REFIID riid, void** ppv, Args&&... args) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    T* object = nullptr;
    try {
        object = new (std::nothrow) T(static_cast<Args&&>(args)...);
    } catch (...) {
        object = nullptr;  // a constructor that throws must not cross the interface
    }
    if (!object) return E_OUTOFMEMORY;
    object->AddRef();
    HRESULT hr = object->finalConstruct();
    if (SUCCEEDED(hr)) hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

// The plain object without an outer unknown, the aggregated one with it (the class factory has
// already refused aggregation for any riid but IUnknown).
template <class T>
HRESULT createAggregatable(IUnknown* outer, REFIID riid, void** ppv) {
    if (!outer) return createInstance<T>(riid, ppv);
    return createInstance<aggregated<T>>(riid, ppv, outer);
}

}  // namespace com
