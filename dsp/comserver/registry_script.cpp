#include "dsp/comserver/registry_script.h"

#include <cwctype>

#ifdef _WIN32
#include <windows.h>
#endif

namespace sonvex {

bool SameScriptWord(const std::wstring& a, const wchar_t* b) {
#ifdef _WIN32
    return lstrcmpiW(a.c_str(), b) == 0;
#else
    size_t i = 0;
    for (; i < a.size() && b[i] != 0; ++i) {
        if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i]))) return false;
    }
    return i == a.size() && b[i] == 0;
#endif
}

namespace {

struct Token {
    std::wstring text;
    bool quoted = false;
    bool is(const wchar_t* symbol) const { return !quoted && text == symbol; }
};

bool tokenize(const std::wstring& text, std::vector<Token>* tokens) {
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
            if (!closed) return false;
        } else {
            while (i < n && !iswspace(text[i])) token.text += text[i++];
        }
        tokens->push_back(std::move(token));
    }
    return true;
}

bool rootFromName(const std::wstring& name, ScriptRoot* root) {
    static const struct {
        const wchar_t* shortName;
        const wchar_t* longName;
        ScriptRoot root;
    } roots[] = {
        {L"HKCR", L"HKEY_CLASSES_ROOT", ScriptRoot::ClassesRoot},
        {L"HKCU", L"HKEY_CURRENT_USER", ScriptRoot::CurrentUser},
        {L"HKLM", L"HKEY_LOCAL_MACHINE", ScriptRoot::LocalMachine},
        {L"HKU", L"HKEY_USERS", ScriptRoot::Users},
        {L"HKPD", L"HKEY_PERFORMANCE_DATA", ScriptRoot::PerformanceData},
        {L"HKDD", L"HKEY_DYN_DATA", ScriptRoot::DynData},
        {L"HKCC", L"HKEY_CURRENT_CONFIG", ScriptRoot::CurrentConfig},
    };
    for (const auto& r : roots) {
        if (SameScriptWord(name, r.shortName) || SameScriptWord(name, r.longName)) {
            *root = r.root;
            return true;
        }
    }
    return false;
}

int hexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

void appendUnit(std::vector<uint8_t>* out, uint32_t unit) {
    out->push_back(static_cast<uint8_t>(unit));
    out->push_back(static_cast<uint8_t>(unit >> 8));
}

// The string as UTF-16LE with its terminating zero, as the registry stores REG_SZ data.
void appendWide(std::vector<uint8_t>* out, const std::wstring& s) {
    for (wchar_t c : s) {
        const uint32_t code = static_cast<uint32_t>(c);
        if (code > 0xFFFF && code <= 0x10FFFF) {  // only where wchar_t holds whole code points
            appendUnit(out, 0xD800 + ((code - 0x10000) >> 10));
            appendUnit(out, 0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            appendUnit(out, code);
        }
    }
    appendUnit(out, 0);
}

bool parseTypedValue(const std::wstring& type, const std::wstring& data, ScriptValue* value) {
    value->data.clear();
    if (SameScriptWord(type, L"s")) {
        value->type = kScriptString;
        appendWide(&value->data, data);
        return true;
    }
    if (SameScriptWord(type, L"d")) {
        value->type = kScriptDword;
        if (data.empty()) return false;
        unsigned long long number = 0;
        size_t i = 0;
        int base = 10;
        if (data.size() > 2 && data[0] == L'0' && (data[1] == L'x' || data[1] == L'X')) {
            base = 16;
            i = 2;
        }
        for (; i < data.size(); ++i) {
            int digit = hexDigit(data[i]);
            if (digit < 0 || digit >= base) return false;
            number = number * base + digit;
            if (number > 0xFFFFFFFFull) return false;
        }
        value->data.clear();
        for (int shift = 0; shift < 32; shift += 8) value->data.push_back(static_cast<uint8_t>(number >> shift));
        return true;
    }
    if (SameScriptWord(type, L"b")) {
        value->type = kScriptBinary;
        if (data.size() % 2 != 0) return false;
        for (size_t i = 0; i < data.size(); i += 2) {
            int hi = hexDigit(data[i]), lo = hexDigit(data[i + 1]);
            if (hi < 0 || lo < 0) return false;
            value->data.push_back(static_cast<uint8_t>(hi * 16 + lo));
        }
        return true;
    }
    if (SameScriptWord(type, L"m")) {
        value->type = kScriptMultiString;
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
        return true;
    }
    return false;
}

class Parser {
public:
    explicit Parser(const std::vector<Token>& tokens) : m_tokens(tokens) {}

    bool parseScript(std::vector<RootBlock>* blocks) {
        while (m_pos < m_tokens.size()) {
            const Token& rootName = m_tokens[m_pos++];
            RootBlock block;
            if (rootName.quoted || !rootFromName(rootName.text, &block.root)) return false;
            if (m_pos >= m_tokens.size() || !m_tokens[m_pos].is(L"{")) return false;
            ++m_pos;
            if (!parseEntries(&block.items, /*depth*/ 0)) return false;
            blocks->push_back(std::move(block));
        }
        return true;
    }

private:
    // Reads entries up to and including the closing brace of the current block.
    bool parseEntries(std::vector<ScriptItem>* items, int depth) {
        if (depth > 64) return false;
        for (;;) {
            if (m_pos >= m_tokens.size()) return false;
            const Token& token = m_tokens[m_pos++];
            if (token.is(L"}")) return true;
            if (token.is(L"{") || token.is(L"=")) return false;
            ScriptItem item;
            if (!token.quoted && SameScriptWord(token.text, L"val")) {
                item.isValue = true;
                if (m_pos >= m_tokens.size()) return false;
                item.name = m_tokens[m_pos++].text;
                if (m_pos >= m_tokens.size() || !m_tokens[m_pos].is(L"=")) return false;
                ++m_pos;
                if (!parseTypedValue(&item.value)) return false;
                items->push_back(std::move(item));
                continue;
            }
            const Token* name = &token;
            if (!token.quoted) {
                if (SameScriptWord(token.text, L"NoRemove")) item.flag = KeyFlag::NoRemove;
                else if (SameScriptWord(token.text, L"ForceRemove")) item.flag = KeyFlag::ForceRemove;
                else if (SameScriptWord(token.text, L"Delete")) item.flag = KeyFlag::Delete;
                if (item.flag != KeyFlag::Plain) {
                    if (m_pos >= m_tokens.size()) return false;
                    name = &m_tokens[m_pos++];
                    if (name->is(L"{") || name->is(L"}") || name->is(L"=")) return false;
                }
            }
            item.name = name->text;
            if (item.name.empty()) return false;
            if (item.flag != KeyFlag::NoRemove && item.name.find(L'\\') != std::wstring::npos) {
                return false;
            }
            if (m_pos < m_tokens.size() && m_tokens[m_pos].is(L"=")) {
                ++m_pos;
                item.hasDefault = true;
                if (!parseTypedValue(&item.value)) return false;
            }
            if (m_pos < m_tokens.size() && m_tokens[m_pos].is(L"{")) {
                ++m_pos;
                if (!parseEntries(&item.items, depth + 1)) return false;
            }
            items->push_back(std::move(item));
        }
    }

    bool parseTypedValue(ScriptValue* value) {
        if (m_pos + 1 >= m_tokens.size()) return false;
        const Token& type = m_tokens[m_pos++];
        const Token& data = m_tokens[m_pos++];
        if (type.quoted || data.is(L"{") || data.is(L"}")) return false;
        return sonvex::parseTypedValue(type.text, data.text, value);
    }

    const std::vector<Token>& m_tokens;
    size_t m_pos = 0;
};

}  // namespace

bool ExpandScriptText(const std::wstring& script, const RegistryReplacements& replacements, std::wstring* expanded) {
    std::wstring out;
    out.reserve(script.size());
    for (size_t i = 0; i < script.size(); ++i) {
        if (script[i] != L'%') {
            out += script[i];
            continue;
        }
        size_t end = script.find(L'%', i + 1);
        if (end == std::wstring::npos) return false;
        if (end == i + 1) {
            out += L'%';
        } else {
            std::wstring name = script.substr(i + 1, end - i - 1);
            const std::wstring* value = nullptr;
            for (const auto& r : replacements) {
                if (SameScriptWord(r.first, name.c_str())) {
                    value = &r.second;
                    break;
                }
            }
            if (!value) return false;
            out += *value;
        }
        i = end;
    }
    *expanded = std::move(out);
    return true;
}

bool ParseRegistryScript(const std::wstring& text, std::vector<RootBlock>* blocks) {
    std::vector<Token> tokens;
    if (!tokenize(text, &tokens)) return false;
    std::vector<RootBlock> parsed;
    if (!Parser(tokens).parseScript(&parsed)) return false;
    *blocks = std::move(parsed);
    return true;
}

}  // namespace sonvex
