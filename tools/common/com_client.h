// What the Windows tools need to be COM clients: the apartment and readable HRESULTs
// (interfaces are held by com::ptr, SAFEARRAYs by com::safe_array).
#pragma once
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "common/com/com_ptr.h"
#include "common/com/safe_array.h"

namespace sonvex {
namespace tools {

// The thread's COM apartment for the life of the object. Single-threaded: the Fourier object
// is registered for the apartment model, and an in-process server of either model is then
// called directly, without a proxy.
class ComApartment {
public:
    ComApartment() {
        HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (FAILED(hr)) throw std::runtime_error("COM initialisation failed");
        m_bOwned = hr == S_OK || hr == S_FALSE;
    }
    ~ComApartment() {
        if (m_bOwned) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool m_bOwned = false;
};

inline std::string HresultText(HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
    const char* name = nullptr;
    switch (hr) {
        case REGDB_E_CLASSNOTREG: name = "class not registered (register Sonvex2.dll with regsvr32)"; break;
        case E_NOINTERFACE: name = "interface not supported"; break;
        case E_INVALIDARG: name = "invalid argument"; break;
        case E_OUTOFMEMORY: name = "out of memory"; break;
        case E_FAIL: name = "general failure"; break;
        case E_POINTER: name = "invalid pointer"; break;
        case CO_E_NOTINITIALIZED: name = "COM not initialised"; break;
        default: break;
    }
    std::string text = code;
    if (name) text += std::string(" (") + name + ")";
    return text;
}

inline void ThrowIfFailed(HRESULT hr, const std::string& what) {
    if (FAILED(hr)) throw std::runtime_error(what + " failed: " + HresultText(hr));
}

}  // namespace tools
}  // namespace sonvex
