// The registry script interpreter behind DllRegisterServer and DllUnregisterServer: runs the
// scripts that registry_script.h reads against the registry.
#pragma once
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "dsp/comserver/registry_script.h"

namespace sonvex {

enum class RegistryMode { Register, Unregister };

// How a key without NoRemove goes away on unregistration: only once its listed subkeys have gone
// and nothing else is left below it (text scripts), or with its whole subtree (class scripts).
enum class UnregisterForm { WhenEmpty, WholeSubtree };

// %NAME% replacement; names are matched without regard to case. An unknown or unterminated name
// gives DISP_E_EXCEPTION.
HRESULT ExpandRegistryScript(const std::wstring& script, const RegistryReplacements& replacements,
                             std::wstring* expanded);

// Runs a script against the registry. The whole text is read before anything is written, so a
// malformed script (unknown root, missing brace, a backslash in a key name that is not NoRemove,
// bad type or data) changes nothing and gives DISP_E_EXCEPTION. A registry error stops the
// script with HRESULT_FROM_WIN32; in register mode the failed root block is then run in
// unregister mode to take back what it wrote, and the first failure is returned.
HRESULT RunRegistryScript(const std::wstring& script, const RegistryReplacements& replacements,
                          RegistryMode mode, UnregisterForm form = UnregisterForm::WhenEmpty);

// Key names that no script ever deletes ("CLSID", "TypeLib", "Software", ...).
bool IsProtectedKeyName(const std::wstring& name);

}  // namespace sonvex
