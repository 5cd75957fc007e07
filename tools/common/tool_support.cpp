#include "tools/common/tool_support.h"

#include "tools/common/wav_io.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#include <shellapi.h>

#include "common/text/text_conversion.h"
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
        for (int i = 1; i < count; ++i) args.push_back(text::ToNarrow(wide[i], -1, CP_UTF8));
        LocalFree(wide);
        return args;
    }
#endif
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return args;
}

std::string Format(const char* pattern, ...) {
    char text[1024];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(text, sizeof text, pattern, args);
    va_end(args);
    return text;
}

ParsedArguments ParseArgumentTable(const std::vector<std::string>& args, const std::vector<OptionRule>& options) {
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
        std::string name, value;
        bool haveValue = false;
        const OptionRule* rule = nullptr;
        if (a.compare(0, 2, "--") == 0) {
            name = a.substr(2);
            const size_t eq = name.find('=');
            if (eq != std::string::npos) {
                value = name.substr(eq + 1);
                name.resize(eq);
                haveValue = true;
            }
            for (const OptionRule& o : options)
                if (o.name == name) rule = &o;
            if (!rule) throw UsageError("unknown option --" + name);
        } else {
            for (const OptionRule& o : options)
                if (o.alias != 0 && a.size() == 2 && a[1] == o.alias) rule = &o;
            if (!rule) throw UsageError("unknown option " + a);
            name = rule->name;
        }
        if (rule->value == OptionRule::Value::None && haveValue) throw UsageError("--" + name + " takes no value");
        if (!haveValue && rule->value == OptionRule::Value::Required) {
            if (i + 1 >= args.size()) throw UsageError("--" + name + " needs a value");
            value = args[++i];
        } else if (!haveValue && rule->value == OptionRule::Value::OptionalNumber && i + 1 < args.size()) {
            const char* next = args[i + 1].c_str();
            char* end = nullptr;
            std::strtod(next, &end);
            if (end != next && *end == 0) value = args[++i];
        }
        if (rule->repeatable) parsed.repeated[name].push_back(value);
        else if (parsed.options.count(name)) throw UsageError("--" + name + " given twice");
        parsed.options[name] = value;
    }
    return parsed;
}

ParsedArguments ParseArguments(const std::vector<std::string>& args, const std::vector<std::string>& known) {
    std::vector<OptionRule> options;
    for (const std::string& name : known) {
        OptionRule o;
        o.name = name;
        options.push_back(o);
    }
    return ParseArgumentTable(args, options);
}

WholeNumber ReadWholeNumber(const std::string& text, int64_t* result) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i >= text.size()) return WholeNumber::NotANumber;
    uint64_t value = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c < '0' || c > '9') return WholeNumber::NotANumber;
        if (value > (UINT64_MAX - 9) / 10) return WholeNumber::OutOfRange;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > static_cast<uint64_t>(INT64_MAX)) return WholeNumber::OutOfRange;
    *result = negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
    return WholeNumber::Ok;
}

int64_t ParseInteger(const std::string& text, int64_t minimum, int64_t maximum, const std::string& what) {
    const std::string range = " (" + std::to_string(minimum) + ".." + std::to_string(maximum) + ")";
    int64_t v = 0;
    switch (ReadWholeNumber(text, &v)) {
    case WholeNumber::NotANumber: throw UsageError(what + " '" + text + "' is not a whole number");
    case WholeNumber::OutOfRange: throw UsageError(what + " " + text + " is out of range" + range);
    case WholeNumber::Ok: break;
    }
    if (v < minimum || v > maximum) throw UsageError(what + " " + text + " is out of range" + range);
    return v;
}

double ParseDecimal(const std::string& text, const std::string& what) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(v))
        throw UsageError(what + " '" + text + "' is not a number");
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

int RunTool(const char* toolName, int argc, char** argv, int (*run)(const std::vector<std::string>& args),
            UsageHint hint) {
    try {
        return run(Utf8Arguments(argc, argv));
    } catch (const UsageError& e) {
        std::fflush(stdout);
        if (hint == UsageHint::SameLine)
            std::fprintf(stderr, "%s: %s (%s --help shows the usage)\n", toolName, e.what(), toolName);
        else
            std::fprintf(stderr, "%s: %s\n(%s --help lists the options)\n", toolName, e.what(), toolName);
        return 2;
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s: %s\n", toolName, e.what());
        return 1;
    }
}

}  // namespace tools
}  // namespace sonvex
