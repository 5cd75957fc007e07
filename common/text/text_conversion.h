// Text between 8-bit code pages (UTF-8 for file names and arguments, the thread's ANSI code page
// for what a VST host reads) and the wide characters of the Windows API. Neither function
// throws: text that cannot be converted, or no memory for it, gives an empty result.
#pragma once
#include <windows.h>

#include <new>
#include <string>

namespace text {

// `length` bytes of text (-1: up to its terminating zero, which the result leaves out). flags
// as MultiByteToWideChar takes them: MB_ERR_INVALID_CHARS refuses invalid sequences instead of
// replacing them.
inline std::wstring ToWide(const char* text, int length, UINT codePage, DWORD flags = 0) noexcept {
    std::wstring wide;
    if (!text || length == 0) return wide;
    const int needed = MultiByteToWideChar(codePage, flags, text, length, nullptr, 0);
    if (needed <= 0) return wide;
    try {
        wide.resize(static_cast<size_t>(needed));
    } catch (const std::bad_alloc&) {
        return std::wstring();
    }
    const int written = MultiByteToWideChar(codePage, flags, text, length, &wide[0], needed);
    wide.resize(written > 0 ? static_cast<size_t>(written) : 0u);
    if (length < 0 && !wide.empty()) wide.pop_back();  // the terminating zero
    return wide;
}

inline std::wstring ToWide(const std::string& text, UINT codePage, DWORD flags = 0) noexcept {
    return ToWide(text.c_str(), -1, codePage, flags);
}

// `length` wide characters (-1: up to the terminating zero) in the 8-bit code page.
inline std::string ToNarrow(const wchar_t* text, int length, UINT codePage) noexcept {
    std::string narrow;
    if (!text || length == 0) return narrow;
    const int needed = WideCharToMultiByte(codePage, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return narrow;
    try {
        narrow.resize(static_cast<size_t>(needed));
    } catch (const std::bad_alloc&) {
        return std::string();
    }
    const int written = WideCharToMultiByte(codePage, 0, text, length, &narrow[0], needed, nullptr, nullptr);
    narrow.resize(written > 0 ? static_cast<size_t>(written) : 0u);
    if (length < 0 && !narrow.empty()) narrow.pop_back();
    return narrow;
}

}  // namespace text
