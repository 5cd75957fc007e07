// Shared helpers of the Sonvex2 tests: the DLL loaded by path, the interface holder and
// SAFEARRAY helpers.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/com/com_ptr.h"
#include "sonvex_h.h"

namespace sonvex_test {

// Interfaces are held by the product's owning pointer.
template <class T>
using Ptr = com::ptr<T>;

// The DLL under test, loaded once per process by its path; its exports called directly.
struct Server {
    HMODULE module = nullptr;
    HRESULT(STDAPICALLTYPE* getClassObject)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(STDAPICALLTYPE* canUnloadNow)() = nullptr;
    HRESULT(STDAPICALLTYPE* registerServer)() = nullptr;
    HRESULT(STDAPICALLTYPE* unregisterServer)() = nullptr;

    static Server& get() {
        static Server server;
        if (!server.module) {
            server.module = LoadLibraryW(SONVEX2_PATH);
            if (server.module) {
                server.getClassObject = reinterpret_cast<decltype(server.getClassObject)>(
                    reinterpret_cast<void*>(GetProcAddress(server.module, "DllGetClassObject")));
                server.canUnloadNow = reinterpret_cast<decltype(server.canUnloadNow)>(
                    reinterpret_cast<void*>(GetProcAddress(server.module, "DllCanUnloadNow")));
                server.registerServer = reinterpret_cast<decltype(server.registerServer)>(
                    reinterpret_cast<void*>(GetProcAddress(server.module, "DllRegisterServer")));
                server.unregisterServer = reinterpret_cast<decltype(server.unregisterServer)>(
                    reinterpret_cast<void*>(GetProcAddress(server.module, "DllUnregisterServer")));
            }
        }
        return server;
    }
    bool ready() const { return module && getClassObject && canUnloadNow && registerServer && unregisterServer; }

    template <class I>
    HRESULT create(REFCLSID clsid, Ptr<I>* out, IUnknown* outer = nullptr) const {
        Ptr<IClassFactory> factory;
        HRESULT hr = getClassObject(clsid, IID_IClassFactory, factory.putVoid());
        if (FAILED(hr)) return hr;
        return factory->CreateInstance(outer, __uuidof(I), out->putVoid());
    }
};

// COM initialised on the test thread for the life of the process.
inline void EnsureCom() {
    static HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    (void)hr;
}

inline SAFEARRAY* MakeFloatArray(const std::vector<float>& values) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_R4, 0, (ULONG)values.size());
    if (!array) return nullptr;
    if (!values.empty()) {
        void* data = nullptr;
        SafeArrayAccessData(array, &data);
        memcpy(data, values.data(), values.size() * sizeof(float));
        SafeArrayUnaccessData(array);
    }
    return array;
}

// Copies a returned block out and destroys it; also reports its shape.
struct Block {
    std::vector<float> values;
    LONG lowerBound = -1;
    UINT dims = 0;
    VARTYPE type = VT_EMPTY;
};
inline Block TakeBlock(SAFEARRAY* array) {
    Block block;
    if (!array) return block;
    block.dims = SafeArrayGetDim(array);
    SafeArrayGetVartype(array, &block.type);
    LONG upper = -1;
    SafeArrayGetLBound(array, 1, &block.lowerBound);
    SafeArrayGetUBound(array, 1, &upper);
    LONG count = upper - block.lowerBound + 1;
    if (count > 0) {
        void* data = nullptr;
        SafeArrayAccessData(array, &data);
        const float* f = static_cast<const float*>(data);
        block.values.assign(f, f + count);
        SafeArrayUnaccessData(array);
    }
    SafeArrayDestroy(array);
    return block;
}

}  // namespace sonvex_test
