// Starting a program from a test (Windows trees only).
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace sonvex_test {

// CreateProcessW with one allowance. Under Wine a child can die while its loader is still
// setting up its address space, before any code of the program runs; the start then fails with
// ERROR_INTERNAL_ERROR and a second start of the same program succeeds. Such a start is tried
// again, a few times, and each retry is reported on stderr; every other failure is returned at
// once. On failure the last error is left for the caller.
inline BOOL StartChildProcess(const std::wstring& application, const std::wstring& commandLine,
                              STARTUPINFOW& startup, PROCESS_INFORMATION& info) {
    const int attempts = 4;
    for (int attempt = 1;; ++attempt) {
        std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
        line.push_back(L'\0');  // CreateProcessW may write to the command line
        BOOL started = CreateProcessW(application.empty() ? nullptr : application.c_str(), line.data(), nullptr,
                                      nullptr, TRUE, 0, nullptr, nullptr, &startup, &info);
        if (started) return TRUE;
        DWORD error = GetLastError();
        if (error != ERROR_INTERNAL_ERROR || attempt == attempts) {
            SetLastError(error);
            return FALSE;
        }
        std::fprintf(stderr, "[child process died while starting; starting it again (%d of %d)]\n", attempt + 1,
                     attempts);
        Sleep(200u * attempt);
    }
}

}  // namespace sonvex_test
