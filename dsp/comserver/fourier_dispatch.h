// Automation dispatch of IFourierTransform: names to fixed DISPIDs, VARIANT arguments checked and
// converted, then the method called through the interface's own vtable.
#pragma once
#include <windows.h>
#include <oaidl.h>

struct IFourierTransform;

namespace sonvex {

HRESULT FourierGetIDsOfNames(LPOLESTR* names, UINT count, DISPID* dispIds);

HRESULT FourierInvoke(IFourierTransform* target, DISPID dispIdMember, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* excepInfo, UINT* argErr);

// The interface's type information, loaded from the module file on every call.
HRESULT FourierGetTypeInfo(UINT index, ITypeInfo** info);
HRESULT FourierGetTypeInfoCount(UINT* count);

}  // namespace sonvex
