#include "tools/common/tool_support.h"

#include "tools/common/wav_io.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#include <shellapi.h>
#else
#include <unistd.h>
#endif

namespace sonvex {
namespace tools {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    std::vector<std::string> args;
#ifdef _WIN32
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide) {
        for (int i = 1; i < count; ++i) {
            int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
            std::string s(n > 0 ? static_cast<size_t>(n) : 1u, '\0');
            if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, &s[0], n, nullptr, nullptr);
            s.resize(n > 0 ? static_cast<size_t>(n - 1) : 0u);
            args.push_back(s);
        }
        LocalFree(wide);
        return args;
    }
#endif
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return args;
}

ParsedArguments ParseArguments(const std::vector<std::string>& args, const std::vector<std::string>& known) {
    ParsedArguments parsed;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 2 || a[0] != '-') {
            parsed.positional.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        if (a == "-h" || a == "--help" || a == "/?") {
            parsed.help = true;
            continue;
        }
        if (a.compare(0, 2, "--") != 0) throw UsageError("unknown option " + a);
        std::string name = a.substr(2), value;
        bool haveValue = false;
        size_t eq = name.find('=');
        if (eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            haveValue = true;
        }
        if (std::find(known.begin(), known.end(), name) == known.end()) throw UsageError("unknown option --" + name);
        if (!haveValue) {
            if (i + 1 >= args.size()) throw UsageError("--" + name + " needs a value");
            value = args[++i];
        }
        if (parsed.options.count(name)) throw UsageError("--" + name + " given twice");
        parsed.options[name] = value;
    }
    return parsed;
}

int64_t ParseInteger(const std::string& text, int64_t minimum, int64_t maximum, const std::string& what) {
    const std::string range = " (" + std::to_string(minimum) + ".." + std::to_string(maximum) + ")";
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i >= text.size()) throw UsageError(what + " '" + text + "' is not a whole number");
    uint64_t value = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c < '0' || c > '9') throw UsageError(what + " '" + text + "' is not a whole number");
        if (value > (UINT64_MAX - 9) / 10) throw UsageError(what + " " + text + " is out of range" + range);
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > static_cast<uint64_t>(INT64_MAX)) throw UsageError(what + " " + text + " is out of range" + range);
    int64_t v = negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
    if (v < minimum || v > maximum) throw UsageError(what + " " + text + " is out of range" + range);
    return v;
}

// ---------------------------------------------------------------------------------------------

TemporaryOutput::TemporaryOutput(std::string finalPath) : m_FinalPath(std::move(finalPath)) {
#ifdef _WIN32
    unsigned long id = GetCurrentProcessId();
#else
    unsigned long id = static_cast<unsigned long>(getpid());
#endif
    m_TempPath = m_FinalPath + ".part" + std::to_string(id);
}

TemporaryOutput::~TemporaryOutput() {
    if (!m_bCommitted) wav::RemoveFileUtf8(m_TempPath);
}

void TemporaryOutput::Commit() {
    if (!wav::ReplaceFileUtf8(m_TempPath, m_FinalPath)) {
        wav::RemoveFileUtf8(m_TempPath);
        m_bCommitted = true;  // nothing left to remove
        throw std::runtime_error(m_FinalPath + ": cannot move the finished file into place");
    }
    m_bCommitted = true;
}

void WriteFileAtomically(const std::string& path, const void* data, size_t size) {
    TemporaryOutput out(path);
    std::FILE* f = wav::OpenFileUtf8(out.Path(), "wb");
    if (!f) throw std::runtime_error(path + ": cannot create: " + std::strerror(errno));
    bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) throw std::runtime_error(path + ": write failed");
    out.Commit();
}

void WriteTextFileAtomically(const std::string& path, const std::string& text) {
    WriteFileAtomically(path, text.data(), text.size());
}

std::vector<uint8_t> ReadFileBytes(const std::string& path, uint64_t maxBytes) {
    std::FILE* f = wav::OpenFileUtf8(path, "rb");
    if (!f) throw std::runtime_error(path + ": cannot open: " + std::strerror(errno));
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    size_t got;
    bool tooLarge = false;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        if (bytes.size() + got > maxBytes) {
            tooLarge = true;
            break;
        }
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (tooLarge) throw std::runtime_error(path + ": larger than " + std::to_string(maxBytes) + " bytes");
    if (failed) throw std::runtime_error(path + ": read error");
    return bytes;
}

// ---------------------------------------------------------------------------------------------

bool StreamIsConsole(std::FILE* stream) {
    if (!stream) return false;
#ifdef _WIN32
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

ProgressBar::ProgressBar(std::FILE* out, uint64_t total, bool enabled)
    : m_pOut(out), m_nTotal(total), m_bEnabled(enabled && total > 0 && StreamIsConsole(out)) {}

void ProgressBar::Update(uint64_t done) {
    if (!m_bEnabled) return;
    done = std::min(done, m_nTotal);
    int percent = static_cast<int>(done * 100 / m_nTotal);
    if (percent == m_nShownPercent) return;
    m_nShownPercent = percent;
    const int width = 40;
    int filled = percent * width / 100;
    char bar[width + 1];
    for (int i = 0; i < width; ++i) bar[i] = i < filled ? '#' : '.';
    bar[width] = '\0';
    std::fprintf(m_pOut, "\r[%s] %3d%%", bar, percent);
    std::fflush(m_pOut);
}

void ProgressBar::Finish() {
    if (!m_bEnabled || m_nShownPercent < 0) return;
    std::fputc('\n', m_pOut);
    std::fflush(m_pOut);
}

// ---------------------------------------------------------------------------------------------

std::string FormatSeconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", seconds);
    return text;
}

int RunTool(const char* toolName, int argc, char** argv, int (*run)(const std::vector<std::string>& args)) {
    try {
        return run(Utf8Arguments(argc, argv));
    } catch (const UsageError& e) {
        std::fprintf(stderr, "%s: %s (%s --help shows the usage)\n", toolName, e.what(), toolName);
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", toolName, e.what());
        return 1;
    }
}

}  // namespace tools
}  // namespace sonvex
