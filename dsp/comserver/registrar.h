// The registry script interpreter behind DllRegisterServer and DllUnregisterServer.
//
// A script is a sequence of root blocks ("HKCR { ... }"). Inside a block each entry is an
// optional keyword (NoRemove, ForceRemove, Delete), a key name (bare or in single quotes), an
// optional default value "= type 'data'" and an optional brace block of subentries; a named
// value is "val Name = type 'data'". Types: s (REG_SZ), d (REG_DWORD), b (REG_BINARY, hex
// digits), m (REG_MULTI_SZ, strings separated by \0). Tokens are separated by white space; in a
// quoted string '' stands for one quote. %NAME% is replaced before the text is read (%% is one
// percent sign).
#pragma once
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace sonvex {

using RegistryReplacements = std::vector<std::pair<std::wstring, std::wstring>>;

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
