// An owned SAFEARRAY and a scoped lock on an array's data: the array is destroyed with its
// owner and the data unlocked when the lock goes out of scope, on every path.
#pragma once
#include <windows.h>
#include <oleauto.h>

namespace com {

class safe_array {
public:
    safe_array() = default;
    explicit safe_array(SAFEARRAY* array) : m_p(array) {}
    ~safe_array() { reset(); }
    safe_array(const safe_array&) = delete;
    safe_array& operator=(const safe_array&) = delete;

    SAFEARRAY* get() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // For an out-parameter that receives a new array; what was held before is destroyed.
    SAFEARRAY** put() {
        reset();
        return &m_p;
    }
    void reset(SAFEARRAY* array = nullptr) {
        if (m_p) SafeArrayDestroy(m_p);
        m_p = array;
    }
    // Hands the array to the caller.
    SAFEARRAY* detach() {
        SAFEARRAY* array = m_p;
        m_p = nullptr;
        return array;
    }

private:
    SAFEARRAY* m_p = nullptr;
};

// The data of an array (owned or not) as T, locked for the life of this object. Empty when
// there is no array or the lock fails; result() tells which HRESULT the lock gave.
template <class T>
class array_data {
public:
    explicit array_data(SAFEARRAY* array) {
        if (!array) return;
        void* data = nullptr;
        m_hr = SafeArrayAccessData(array, &data);
        if (SUCCEEDED(m_hr)) {
            m_pArray = array;
            m_pData = static_cast<T*>(data);
        }
    }
    ~array_data() {
        if (m_pArray) SafeArrayUnaccessData(m_pArray);
    }
    array_data(const array_data&) = delete;
    array_data& operator=(const array_data&) = delete;

    T* get() const { return m_pData; }
    explicit operator bool() const { return m_pArray != nullptr; }
    HRESULT result() const { return m_hr; }

private:
    SAFEARRAY* m_pArray = nullptr;
    T* m_pData = nullptr;
    HRESULT m_hr = E_POINTER;
};

}  // namespace com
