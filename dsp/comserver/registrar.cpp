#include "dsp/comserver/registrar.h"

#include <cwctype>
#include <memory>

namespace sonvex {
namespace {

bool equalsNoCase(const std::wstring& a, const wchar_t* b) {
    return lstrcmpiW(a.c_str(), b) == 0;
}

struct Token {
    std::wstring text;
    bool quoted = false;
    bool is(const wchar_t* symbol) const { return !quoted && text == symbol; }
};

HRESULT tokenize(const std::wstring& text, std::vector<Token>* tokens) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        if (iswspace(text[i])) {
            ++i;
            continue;
        }
        Token token;
        if (text[i] == L'\'') {
            token.quoted = true;
            ++i;
            bool closed = false;
            while (i < n) {
                if (text[i] == L'\'') {
                    if (i + 1 < n && text[i + 1] == L'\'') {
                        token.text += L'\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                token.text += text[i++];
            }
            if (!closed) return DISP_E_EXCEPTION;
        } else {
            while (i < n && !iswspace(text[i])) token.text += text[i++];
        }
        tokens->push_back(std::move(token));
    }
    return S_OK;
}

enum class KeyFlag { Plain, NoRemove, ForceRemove, Delete };

struct ScriptValue {
    DWORD type = REG_SZ;
    std::vector<BYTE> data;
};

struct ScriptItem {
    bool isValue = false;
    std::wstring name;            // key name, or value name for "val"
    KeyFlag flag = KeyFlag::Plain;
    bool hasDefault = false;
    ScriptValue value;            // default value of a key, or the named value
    std::vector<ScriptItem> items;
};

struct RootBlock {
    HKEY root = nullptr;
    std::vector<ScriptItem> items;
};

HKEY rootFromName(const std::wstring& name) {
    static const struct {
        const wchar_t* shortName;
        const wchar_t* longName;
        HKEY key;
    } roots[] = {
        {L"HKCR", L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {L"HKCU", L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {L"HKLM", L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {L"HKU", L"HKEY_USERS", HKEY_USERS},
        {L"HKPD", L"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
        {L"HKDD", L"HKEY_DYN_DATA", HKEY_DYN_DATA},
        {L"HKCC", L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    };
    for (const auto& r : roots) {
        if (equalsNoCase(name, r.shortName) || equalsNoCase(name, r.longName)) return r.key;
    }
    return nullptr;
}

int hexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

void appendWide(std::vector<BYTE>* out, const std::wstring& s) {
    const BYTE* p = reinterpret_cast<const BYTE*>(s.c_str());
    out->insert(out->end(), p, p + (s.size() + 1) * sizeof(wchar_t));
}

HRESULT parseTypedValue(const std::wstring& type, const std::wstring& data, ScriptValue* value) {
    value->data.clear();
    if (equalsNoCase(type, L"s")) {
        value->type = REG_SZ;
        appendWide(&value->data, data);
        return S_OK;
    }
    if (equalsNoCase(type, L"d")) {
        value->type = REG_DWORD;
        if (data.empty()) return DISP_E_EXCEPTION;
        unsigned long long number = 0;
        size_t i = 0;
        int base = 10;
        if (data.size() > 2 && data[0] == L'0' && (data[1] == L'x' || data[1] == L'X')) {
            base = 16;
            i = 2;
        }
        for (; i < data.size(); ++i) {
            int digit = hexDigit(data[i]);
            if (digit < 0 || digit >= base) return DISP_E_EXCEPTION;
            number = number * base + digit;
            if (number > 0xFFFFFFFFull) return DISP_E_EXCEPTION;
        }
        DWORD dword = (DWORD)number;
        const BYTE* p = reinterpret_cast<const BYTE*>(&dword);
        value->data.assign(p, p + sizeof dword);
        return S_OK;
    }
    if (equalsNoCase(type, L"b")) {
        value->type = REG_BINARY;
        if (data.size() % 2 != 0) return DISP_E_EXCEPTION;
        for (size_t i = 0; i < data.size(); i += 2) {
            int hi = hexDigit(data[i]), lo = hexDigit(data[i + 1]);
            if (hi < 0 || lo < 0) return DISP_E_EXCEPTION;
            value->data.push_back((BYTE)(hi * 16 + lo));
        }
        return S_OK;
    }
    if (equalsNoCase(type, L"m")) {
        value->type = REG_MULTI_SZ;
        size_t start = 0;
        for (;;) {
            size_t sep = data.find(L"\\0", start);
            std::wstring part = data.substr(start, sep == std::wstring::npos ? std::wstring::npos : sep - start);
            if (!part.empty()) appendWide(&value->data, part);
            if (sep == std::wstring::npos) break;
            start = sep + 2;
        }
        value->data.push_back(0);
        value->data.push_back(0);
        return S_OK;
    }
    return DISP_E_EXCEPTION;
}

class Parser {
public:
    explicit Parser(const std::vector<Token>& tokens) : m_tokens(tokens) {}

    HRESULT parseScript(std::vector<RootBlock>* blocks) {
        while (m_pos < m_tokens.size()) {
            const Token& rootName = m_tokens[m_pos++];
            RootBlock block;
            block.root = rootName.quoted ? nullptr : rootFromName(rootName.text);
            if (!block.root) return DISP_E_EXCEPTION;
            if (m_pos >= m_tokens.size() || !m_tokens[m_pos].is(L"{")) return DISP_E_EXCEPTION;
            ++m_pos;
            HRESULT hr = parseEntries(&block.items, /*depth*/ 0);
            if (FAILED(hr)) return hr;
            blocks->push_back(std::move(block));
        }
        return S_OK;
    }

private:
    // Reads entries up to and including the closing brace of the current block.
    HRESULT parseEntries(std::vector<ScriptItem>* items, int depth) {
        if (depth > 64) return DISP_E_EXCEPTION;
        for (;;) {
            if (m_pos >= m_tokens.size()) return DISP_E_EXCEPTION;
            const Token& token = m_tokens[m_pos++];
            if (token.is(L"}")) return S_OK;
            if (token.is(L"{") || token.is(L"=")) return DISP_E_EXCEPTION;
            ScriptItem item;
            if (!token.quoted && equalsNoCase(token.text, L"val")) {
                item.isValue = true;
                if (m_pos >= m_tokens.size()) return DISP_E_EXCEPTION;
                item.name = m_tokens[m_pos++].text;
                if (m_pos >= m_tokens.size() || !m_tokens[m_pos].is(L"=")) return DISP_E_EXCEPTION;
                ++m_pos;
                HRESULT hr = parseTypedValue(&item.value);
                if (FAILED(hr)) return hr;
                items->push_back(std::move(item));
                continue;
            }
            const Token* name = &token;
            if (!token.quoted) {
                if (equalsNoCase(token.text, L"NoRemove")) item.flag = KeyFlag::NoRemove;
                else if (equalsNoCase(token.text, L"ForceRemove")) item.flag = KeyFlag::ForceRemove;
                else if (equalsNoCase(token.text, L"Delete")) item.flag = KeyFlag::Delete;
                if (item.flag != KeyFlag::Plain) {
                    if (m_pos >= m_tokens.size()) return DISP_E_EXCEPTION;
                    name = &m_tokens[m_pos++];
                    if (name->is(L"{") || name->is(L"}") || name->is(L"=")) return DISP_E_EXCEPTION;
                }
            }
            item.name = name->text;
            if (item.name.empty()) return DISP_E_EXCEPTION;
            if (item.flag != KeyFlag::NoRemove && item.name.find(L'\\') != std::wstring::npos) {
                return DISP_E_EXCEPTION;
            }
            if (m_pos < m_tokens.size() && m_tokens[m_pos].is(L"=")) {
                ++m_pos;
                item.hasDefault = true;
                HRESULT hr = parseTypedValue(&item.value);
                if (FAILED(hr)) return hr;
            }
            if (m_pos < m_tokens.size() && m_tokens[m_pos].is(L"{")) {
                ++m_pos;
                HRESULT hr = parseEntries(&item.items, depth + 1);
                if (FAILED(hr)) return hr;
            }
            items->push_back(std::move(item));
        }
    }

    HRESULT parseTypedValue(ScriptValue* value) {
        if (m_pos + 1 >= m_tokens.size()) return DISP_E_EXCEPTION;
        const Token& type = m_tokens[m_pos++];
        const Token& data = m_tokens[m_pos++];
        if (type.quoted || data.is(L"{") || data.is(L"}")) return DISP_E_EXCEPTION;
        return sonvex::parseTypedValue(type.text, data.text, value);
    }

    const std::vector<Token>& m_tokens;
    size_t m_pos = 0;
};

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
        if (equalsNoCase(name, k)) return true;
    }
    return false;
}

HRESULT ExpandRegistryScript(const std::wstring& script, const RegistryReplacements& replacements,
                             std::wstring* expanded) {
    std::wstring out;
    try {
        out.reserve(script.size());
        for (size_t i = 0; i < script.size(); ++i) {
            if (script[i] != L'%') {
                out += script[i];
                continue;
            }
            size_t end = script.find(L'%', i + 1);
            if (end == std::wstring::npos) return DISP_E_EXCEPTION;
            if (end == i + 1) {
                out += L'%';
            } else {
                std::wstring name = script.substr(i + 1, end - i - 1);
                const std::wstring* value = nullptr;
                for (const auto& r : replacements) {
                    if (lstrcmpiW(r.first.c_str(), name.c_str()) == 0) {
                        value = &r.second;
                        break;
                    }
                }
                if (!value) return DISP_E_EXCEPTION;
                out += *value;
            }
            i = end;
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    *expanded = std::move(out);
    return S_OK;
}

HRESULT RunRegistryScript(const std::wstring& script, const RegistryReplacements& replacements,
                          RegistryMode mode, UnregisterForm form) {
    try {
        std::wstring text;
        HRESULT hr = ExpandRegistryScript(script, replacements, &text);
        if (FAILED(hr)) return hr;
        std::vector<Token> tokens;
        hr = tokenize(text, &tokens);
        if (FAILED(hr)) return hr;
        std::vector<RootBlock> blocks;
        hr = Parser(tokens).parseScript(&blocks);
        if (FAILED(hr)) return hr;
        for (const RootBlock& block : blocks) {
            if (mode == RegistryMode::Register) {
                hr = registerItems(block.root, block.items);
                if (FAILED(hr)) {
                    unregisterItems(block.root, block.items, form, /*rollback*/ true);
                    return hr;
                }
            } else {
                hr = unregisterItems(block.root, block.items, form, /*rollback*/ false);
                if (FAILED(hr)) return hr;
            }
        }
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace sonvex
