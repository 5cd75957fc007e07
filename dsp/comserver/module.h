// The module object of Sonvex2.dll: lock count, module critical section, module path and the
// type information that IProvideClassInfo hands out.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <string>

namespace sonvex {

// The module's own file path. Fails with the Win32 error, or with ERROR_INSUFFICIENT_BUFFER when
// the path fills a MAX_PATH buffer (it might have been cut).
HRESULT GetModulePath(std::wstring* path);

HMODULE ModuleHandle();

// The first object of either class chooses the kernel version of this processor for the whole
// process (InitProcessorDispatch, once): the transforms, the vector methods and the resampler's
// interpolation then run that version's routines.
void ChooseKernelVersionOnce();

// The coclass type information of clsid, loaded once under the module lock and kept for the life
// of the module; the caller receives its own reference.
HRESULT GetCachedClassInfo(REFCLSID clsid, ITypeInfo** info);

// Loads the module's type library: the registered one for our LIBID 1.0 when present, otherwise
// the library embedded in the module file.
HRESULT LoadSonvexTypeLib(ITypeLib** lib);

}  // namespace sonvex
