// Points one import of a loaded module at another function, so that tests and benchmarks can
// count what the module calls (allocators, OLE initialisation) without touching its code.
#pragma once
#include <windows.h>

namespace sonvex_test {

// Replaces the module's import of dll!function with replacement and stores the previous
// target in *original. Returns false when the module does not import that function by name.
bool redirectImport(HMODULE module, const char* dll, const char* function, void* replacement, void** original);

}  // namespace sonvex_test
