#include "dsp/comserver/registrar.h"

#include <memory>

namespace sonvex {
namespace {

HRESULT fromWin32(LONG error) {
    return HRESULT_FROM_WIN32((DWORD)error);
}

// Deletes a key with its subtree; an absent key is not an error.
LONG deleteTree(HKEY parent, const std::wstring& name) {
    LONG error = RegDeleteTreeW(parent, name.c_str());
    if (error == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (error != ERROR_SUCCESS) return error;
    // Some registries leave the now empty key behind when it was opened by name.
    error = RegDeleteKeyW(parent, name.c_str());
    return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
}

class ScopedKey {
public:
    ScopedKey() = default;
    ~ScopedKey() {
        if (m_key) RegCloseKey(m_key);
    }
    HKEY* out() { return &m_key; }
    HKEY get() const { return m_key; }
    void close() {
        if (m_key) RegCloseKey(m_key);
        m_key = nullptr;
    }

private:
    HKEY m_key = nullptr;
};

LONG setValue(HKEY key, const wchar_t* name, const ScriptValue& value) {
    return RegSetValueExW(key, name, 0, value.type, value.data.empty() ? nullptr : value.data.data(),
                          (DWORD)value.data.size());
}

HKEY rootKey(ScriptRoot root) {
    switch (root) {
        case ScriptRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
        case ScriptRoot::CurrentUser: return HKEY_CURRENT_USER;
        case ScriptRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
        case ScriptRoot::Users: return HKEY_USERS;
        case ScriptRoot::PerformanceData: return HKEY_PERFORMANCE_DATA;
        case ScriptRoot::DynData: return HKEY_DYN_DATA;
        case ScriptRoot::CurrentConfig: return HKEY_CURRENT_CONFIG;
    }
    return HKEY_CLASSES_ROOT;
}

HRESULT registerItems(HKEY parent, const std::vector<ScriptItem>& items) {
    for (const ScriptItem& item : items) {
        if (item.isValue) {
            LONG error = setValue(parent, item.name.c_str(), item.value);
            if (error != ERROR_SUCCESS) return fromWin32(error);
            continue;
        }
        const bool removable = !IsProtectedKeyName(item.name);
        if (item.flag == KeyFlag::Delete) {
            if (removable) {
                LONG error = deleteTree(parent, item.name);
                if (error != ERROR_SUCCESS) return fromWin32(error);
            }
            continue;
        }
        if (item.flag == KeyFlag::ForceRemove && removable) {
            LONG error = deleteTree(parent, item.name);
            if (error != ERROR_SUCCESS) return fromWin32(error);
        }
        ScopedKey key;
        LONG error = RegCreateKeyExW(parent, item.name.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                                     key.out(), nullptr);
        if (error != ERROR_SUCCESS) return fromWin32(error);
        if (item.hasDefault) {
            error = setValue(key.get(), nullptr, item.value);
            if (error != ERROR_SUCCESS) return fromWin32(error);
        }
        HRESULT hr = registerItems(key.get(), item.items);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

// rollback: taking back a failed registration, where a key that cannot be opened was not
// written by us and is passed over.
HRESULT unregisterItems(HKEY parent, const std::vector<ScriptItem>& items, UnregisterForm form, bool rollback) {
    for (const ScriptItem& item : items) {
        if (item.isValue) continue;  // values go with their keys
        ScopedKey key;
        LONG error = RegOpenKeyExW(parent, item.name.c_str(), 0, KEY_READ | KEY_WRITE, key.out());
        if (error == ERROR_FILE_NOT_FOUND || (error != ERROR_SUCCESS && rollback)) continue;
        if (error != ERROR_SUCCESS) return fromWin32(error);
        HRESULT hr = unregisterItems(key.get(), item.items, form, rollback);
        if (FAILED(hr)) return hr;
        if (item.flag == KeyFlag::NoRemove || IsProtectedKeyName(item.name)) continue;
        if (form == UnregisterForm::WholeSubtree) {
            key.close();
            error = deleteTree(parent, item.name);
            if (error != ERROR_SUCCESS) return fromWin32(error);
            continue;
        }
        DWORD subkeys = 0;
        error = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                                 nullptr, nullptr, nullptr, nullptr);
        if (error != ERROR_SUCCESS) return fromWin32(error);
        key.close();
        if (subkeys == 0) {
            error = RegDeleteKeyW(parent, item.name.c_str());
            if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) return fromWin32(error);
        }
    }
    return S_OK;
}

}  // namespace

bool IsProtectedKeyName(const std::wstring& name) {
    static const wchar_t* const kept[] = {L"AppID", L"CLSID",  L"Component Categories", L"FileType",
                                          L"Interface", L"Hardware", L"Mime", L"SAM", L"SECURITY",
                                          L"SYSTEM", L"Software", L"TypeLib"};
    for (const wchar_t* k : kept) {
        if (SameScriptWord(name, k)) return true;
    }
    return false;
}

HRESULT ExpandRegistryScript(const std::wstring& script, const RegistryReplacements& replacements,
                             std::wstring* expanded) {
    try {
        return ExpandScriptText(script, replacements, expanded) ? S_OK : DISP_E_EXCEPTION;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT RunRegistryScript(const std::wstring& script, const RegistryReplacements& replacements,
                          RegistryMode mode, UnregisterForm form) {
    try {
        std::wstring text;
        HRESULT hr = ExpandRegistryScript(script, replacements, &text);
        if (FAILED(hr)) return hr;
        std::vector<RootBlock> blocks;
        if (!ParseRegistryScript(text, &blocks)) return DISP_E_EXCEPTION;
        for (const RootBlock& block : blocks) {
            const HKEY root = rootKey(block.root);
            if (mode == RegistryMode::Register) {
                hr = registerItems(root, block.items);
                if (FAILED(hr)) {
                    unregisterItems(root, block.items, form, /*rollback*/ true);
                    return hr;
                }
            } else {
                hr = unregisterItems(root, block.items, form, /*rollback*/ false);
                if (FAILED(hr)) return hr;
            }
        }
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace sonvex
