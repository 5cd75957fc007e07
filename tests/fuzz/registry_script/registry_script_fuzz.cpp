// Registry scripts as text: after %NAME% replacement the reader either refuses the script or
// gives a tree that keeps its own rules (no empty key names, backslashes only in NoRemove
// names), and that tree written out as a script reads back to the same tree. The input is
// taken as UTF-16 code units, as the registrar sees its scripts.
#include <cstdint>
#include <string>
#include <vector>

#include "dsp/comserver/registry_script.h"
#include "tests/fuzz/fuzz_check.h"

using namespace sonvex;

namespace {

std::wstring Quoted(const std::wstring& text) {
    std::wstring out = L"'";
    for (wchar_t c : text) {
        out += c;
        if (c == L'\'') out += L'\'';
    }
    return out + L"'";
}

// The UTF-16LE units of registry data as text, the final zero unit left out. Zero units
// inside stay as they are: a quoted string may hold them.
std::wstring Units(const std::vector<uint8_t>& data) {
    std::wstring text;
    for (size_t i = 0; i + 1 < data.size(); i += 2) text += static_cast<wchar_t>(data[i] | data[i + 1] << 8);
    FUZZ_CHECK(!text.empty() && text.back() == 0);
    text.pop_back();
    return text;
}

std::wstring ValueText(const ScriptValue& value) {
    switch (value.type) {
        case kScriptString: return L"s " + Quoted(Units(value.data));
        case kScriptDword: {
            FUZZ_CHECK(value.data.size() == 4);
            uint32_t number = 0;
            for (int i = 0; i < 4; ++i) number |= static_cast<uint32_t>(value.data[i]) << (8 * i);
            return L"d " + Quoted(std::to_wstring(number));
        }
        case kScriptBinary: {
            std::wstring hex;
            for (uint8_t b : value.data) {
                hex += L"0123456789ABCDEF"[b >> 4];
                hex += L"0123456789ABCDEF"[b & 15];
            }
            return L"b " + Quoted(hex);
        }
        default: {
            // Every string ends in a zero and the list in one more: written as one string
            // holding the inner zeros, it reads back to the same units.
            FUZZ_CHECK(value.type == kScriptMultiString);
            std::wstring text = Units(value.data);
            if (!text.empty()) {
                FUZZ_CHECK(text.back() == 0);
                text.pop_back();
            }
            return L"m " + Quoted(text);
        }
    }
}

void Write(const std::vector<ScriptItem>& items, std::wstring* out) {
    for (const ScriptItem& item : items) {
        FUZZ_CHECK(!item.name.empty() || item.isValue);
        if (item.isValue) {
            *out += L"val " + Quoted(item.name) + L" = " + ValueText(item.value) + L"\n";
            continue;
        }
        FUZZ_CHECK(item.flag == KeyFlag::NoRemove || item.name.find(L'\\') == std::wstring::npos);
        static const wchar_t* const flags[] = {L"", L"NoRemove ", L"ForceRemove ", L"Delete "};
        *out += flags[static_cast<int>(item.flag)] + Quoted(item.name);
        if (item.hasDefault) *out += L" = " + ValueText(item.value);
        *out += L" {\n";
        Write(item.items, out);
        *out += L"}\n";
    }
}

bool SameItems(const std::vector<ScriptItem>& a, const std::vector<ScriptItem>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const ScriptItem &x = a[i], &y = b[i];
        if (x.isValue != y.isValue || x.name != y.name || x.flag != y.flag || x.hasDefault != y.hasDefault ||
            x.value.type != y.value.type || x.value.data != y.value.data || !SameItems(x.items, y.items))
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring script;
    for (size_t i = 0; i + 1 < size; i += 2) script += static_cast<wchar_t>(data[i] | data[i + 1] << 8);
    const RegistryReplacements replacements = {
        {L"APPID", L"{F4A4CFEA-BDF3-4192-B36C-BB356C756B13}"}, {L"Module", L"C:\\it''s\\Sonvex2.dll"},
        {L"Module_Raw", L"C:\\it's\\Sonvex2.dll"}, {L"MODULETYPE", L"InprocServer32"},
        {L"MODULEGUID", L"{F4A4CFEA-BDF3-4192-B36C-BB356C756B13}"}, {L"FriendlyName", L"CAudioResampler Object"}};
    std::wstring text;
    if (!ExpandScriptText(script, replacements, &text)) return 0;
    std::vector<RootBlock> blocks;
    if (!ParseRegistryScript(text, &blocks)) return 0;

    static const wchar_t* const roots[] = {L"HKCR", L"HKCU", L"HKLM", L"HKU", L"HKPD", L"HKDD", L"HKCC"};
    std::wstring written;
    for (const RootBlock& block : blocks) {
        written += std::wstring(roots[static_cast<int>(block.root)]) + L" {\n";
        Write(block.items, &written);
        written += L"}\n";
    }
    std::vector<RootBlock> again;
    FUZZ_CHECK(ParseRegistryScript(written, &again));
    FUZZ_CHECK(again.size() == blocks.size());
    for (size_t i = 0; i < blocks.size(); ++i) {
        FUZZ_CHECK(again[i].root == blocks[i].root);
        FUZZ_CHECK(SameItems(again[i].items, blocks[i].items));
    }
    return 0;
}
