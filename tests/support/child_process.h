// Starting a program from a test and collecting what it prints (Windows trees only).
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

struct ChildRun {
    bool started = false;
    DWORD startError = 0;  // GetLastError of a failed start
    bool timedOut = false;  // killed at the deadline
    DWORD exitCode = 0xFFFFFFFF;
    std::string out, err;  // with mergeOutput, both streams arrive in `out`

    bool exitedNormally() const { return started && !timedOut; }
    // One paragraph for a failed expectation: how the child ended and all it printed.
    std::string describe() const {
        char head[128];
        if (!started)
            std::snprintf(head, sizeof head, "the program did not start (error %lu)", (unsigned long)startError);
        else if (timedOut)
            std::snprintf(head, sizeof head, "the program was killed at its deadline");
        else if (exitCode >= 0xC0000000u)
            std::snprintf(head, sizeof head, "the program died with exception 0x%08lX", (unsigned long)exitCode);
        else
            std::snprintf(head, sizeof head, "the program exited with code %lu", (unsigned long)exitCode);
        std::string text = head;
        text += "\n--- stdout ---\n" + out;
        if (!err.empty()) text += "\n--- stderr ---\n" + err;
        return text;
    }
};

namespace child_detail {

// Moves whatever the pipe holds now into `text` without blocking.
inline void DrainAvailable(HANDLE pipe, std::string& text) {
    char buffer[4096];
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available == 0) return;
        DWORD got = 0;
        if (!ReadFile(pipe, buffer, available < sizeof buffer ? available : (DWORD)sizeof buffer, &got, nullptr) ||
            got == 0)
            return;
        text.append(buffer, got);
    }
}

}  // namespace child_detail

// Runs a program to its end or its deadline and collects its output. The output is read while
// the child runs and taken up to the child's exit; the pipes' end is never waited for, because
// another process may inherit a write end and keep it open: under Wine the desktop process
// that the first windowing call of a session starts takes its parent's stderr with it.
inline ChildRun RunChildProcess(const std::wstring& application, const std::wstring& commandLine,
                                DWORD deadlineMilliseconds, bool mergeOutput = false) {
    ChildRun run;
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
    if (!CreatePipe(&outRead, &outWrite, &inheritable, 1 << 16)) {
        run.startError = GetLastError();
        return run;
    }
    if (!mergeOutput && !CreatePipe(&errRead, &errWrite, &inheritable, 1 << 16)) {
        run.startError = GetLastError();
        CloseHandle(outRead);
        CloseHandle(outWrite);
        return run;
    }
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    if (errRead) SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outWrite;
    startup.hStdError = mergeOutput ? outWrite : errWrite;
    PROCESS_INFORMATION info = {};
    run.started = StartChildProcess(application, commandLine, startup, info) != FALSE;
    if (!run.started) run.startError = GetLastError();
    CloseHandle(outWrite);
    if (errWrite) CloseHandle(errWrite);

    if (run.started) {
        const DWORD begin = GetTickCount();
        for (;;) {
            child_detail::DrainAvailable(outRead, run.out);
            if (errRead) child_detail::DrainAvailable(errRead, run.err);
            if (WaitForSingleObject(info.hProcess, 10) == WAIT_OBJECT_0) break;
            if (GetTickCount() - begin >= deadlineMilliseconds) {
                TerminateProcess(info.hProcess, 0xDEAD);
                WaitForSingleObject(info.hProcess, 5000);
                run.timedOut = true;
                break;
            }
        }
        // Everything the child wrote before it ended is in the pipes by now.
        child_detail::DrainAvailable(outRead, run.out);
        if (errRead) child_detail::DrainAvailable(errRead, run.err);
        GetExitCodeProcess(info.hProcess, &run.exitCode);
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
    }
    CloseHandle(outRead);
    if (errRead) CloseHandle(errRead);
    return run;
}

// Deadline for one run of a tool or host from a test: generous, since the 32-bit build runs
// emulated, but far inside CTest's limit for the whole suite.
constexpr DWORD kChildDeadlineMilliseconds = 180000;

}  // namespace sonvex_test
