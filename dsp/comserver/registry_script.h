// Reading registry scripts: %NAME% replacement, tokens and the tree of keys and values that
// the registrar then runs against the registry. Portable: roots are named by an enum and
// values carry the registry's type numbers and the bytes the registry stores.
//
// A script is a sequence of root blocks ("HKCR { ... }"). Inside a block each entry is an
// optional keyword (NoRemove, ForceRemove, Delete), a key name (bare or in single quotes), an
// optional default value "= type 'data'" and an optional brace block of subentries; a named
// value is "val Name = type 'data'". Types: s (REG_SZ), d (REG_DWORD), b (REG_BINARY, hex
// digits), m (REG_MULTI_SZ, strings separated by \0). Tokens are separated by white space; in a
// quoted string '' stands for one quote. Keywords, types and root names are matched without
// regard to case.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace sonvex {

using RegistryReplacements = std::vector<std::pair<std::wstring, std::wstring>>;

// The registry's value types as it numbers them.
enum ScriptValueType : uint32_t {
    kScriptString = 1,       // REG_SZ
    kScriptBinary = 3,       // REG_BINARY
    kScriptDword = 4,        // REG_DWORD
    kScriptMultiString = 7,  // REG_MULTI_SZ
};

enum class ScriptRoot { ClassesRoot, CurrentUser, LocalMachine, Users, PerformanceData, DynData, CurrentConfig };

enum class KeyFlag { Plain, NoRemove, ForceRemove, Delete };

struct ScriptValue {
    uint32_t type = kScriptString;
    std::vector<uint8_t> data;  // as the registry stores it: UTF-16LE strings with their zeros
};

struct ScriptItem {
    bool isValue = false;
    std::wstring name;  // key name, or value name for "val"
    KeyFlag flag = KeyFlag::Plain;
    bool hasDefault = false;
    ScriptValue value;  // default value of a key, or the named value
    std::vector<ScriptItem> items;
};

struct RootBlock {
    ScriptRoot root = ScriptRoot::ClassesRoot;
    std::vector<ScriptItem> items;
};

// Case-insensitive comparison as the registrar makes it (the system's own on Windows).
bool SameScriptWord(const std::wstring& a, const wchar_t* b);

// %NAME% replacement; names are matched without regard to case and %% is one percent sign.
// False for an unknown or unterminated name. May throw std::bad_alloc.
bool ExpandScriptText(const std::wstring& script, const RegistryReplacements& replacements, std::wstring* expanded);

// Reads a whole script into its root blocks. False for a malformed script (unknown root, a
// root without its brace, unbalanced braces, a backslash in a key name that is not NoRemove,
// a bad type or data); `blocks` is then left as it was. May throw std::bad_alloc.
bool ParseRegistryScript(const std::wstring& text, std::vector<RootBlock>* blocks);

}  // namespace sonvex
