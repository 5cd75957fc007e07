// An owning interface pointer: it holds one reference and gives it back when it is reset,
// overwritten or destroyed, so that no code path has to remember a Release.
#pragma once
#include <windows.h>
#include <objbase.h>

#include <utility>

namespace com {

template <class I>
class ptr {
public:
    ptr() = default;
    ptr(const ptr& other) : m_p(other.m_p) {
        if (m_p) m_p->AddRef();
    }
    ptr(ptr&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
    ptr& operator=(ptr other) noexcept {
        std::swap(m_p, other.m_p);
        return *this;
    }
    ~ptr() { reset(); }

    // Takes over a reference the caller already holds.
    static ptr adopt(I* p) {
        ptr owned;
        owned.m_p = p;
        return owned;
    }
    // A new reference to p.
    static ptr share(I* p) {
        if (p) p->AddRef();
        return adopt(p);
    }

    I* get() const { return m_p; }
    I* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    // For an out-parameter that receives a new reference; what was held before is given back.
    I** put() {
        reset();
        return &m_p;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }

    void reset() {
        if (m_p) m_p->Release();
        m_p = nullptr;
    }
    // Hands the reference to the caller.
    I* detach() {
        I* p = m_p;
        m_p = nullptr;
        return p;
    }
    // A new reference for the caller, who releases it.
    I* copy() const {
        if (m_p) m_p->AddRef();
        return m_p;
    }

private:
    I* m_p = nullptr;
};

}  // namespace com
