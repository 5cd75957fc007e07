// Small pieces shared by the command-line tools: argument parsing, output files that appear
// only when complete, the progress bar; the frame-count rule of a whole conversion comes from
// the resampler.
#pragma once
#include <cstdint>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "dsp/resampler/output_count.h"

namespace sonvex {
namespace tools {

// A mistake on the command line; the tools print the message and the usage line.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The process's arguments as UTF-8 (on Windows taken from the wide command line).
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// printf-style text for messages.
std::string Format(const char* pattern, ...)
#ifdef __GNUC__
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Where a usage error's pointer to --help goes: behind the message on its line
// ("... (tool --help shows the usage)"), or on a line of its own ("(tool --help lists the options)").
enum class UsageHint { SameLine, NextLine };

// Runs a tool's body on its UTF-8 arguments and turns what it throws into a message on stderr
// after what the tool printed so far: exit code 2 for a UsageError (with the pointer to --help),
// 1 for any other failure.
int RunTool(const char* toolName, int argc, char** argv, int (*run)(const std::vector<std::string>& args),
            UsageHint hint = UsageHint::SameLine);

// One option a tool takes: --name, and -alias when it has one.
struct OptionRule {
    enum class Value { Required, None, OptionalNumber };
    std::string name;
    char alias = 0;
    // Required: --name VALUE or --name=VALUE; None: a switch; OptionalNumber: takes the next
    // argument only when the whole of it reads as a number.
    Value value = Value::Required;
    // A repeatable option keeps every value in order (the last one in `options` too); another
    // option given twice is a UsageError.
    bool repeatable = false;
};

// Positional arguments and options anywhere; "--" ends the options, -h, --help and /? ask for
// help. An unknown option or a missing value is a UsageError.
struct ParsedArguments {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;                // a switch has the empty value
    std::map<std::string, std::vector<std::string>> repeated;  // every value of repeatable options
    bool help = false;
};
ParsedArguments ParseArgumentTable(const std::vector<std::string>& args, const std::vector<OptionRule>& options);
// Options that all take a value and may be given once.
ParsedArguments ParseArguments(const std::vector<std::string>& args, const std::vector<std::string>& known);

// Reading a whole decimal number: an optional sign and digits, nothing else.
enum class WholeNumber { Ok, NotANumber, OutOfRange };
WholeNumber ReadWholeNumber(const std::string& text, int64_t* value);
// A whole decimal number in [minimum, maximum]; anything else is a UsageError naming `what`.
int64_t ParseInteger(const std::string& text, int64_t minimum, int64_t maximum, const std::string& what);
// A finite decimal number (strtod's forms, the whole text); otherwise a UsageError
// "<what> '<text>' is not a number".
double ParseDecimal(const std::string& text, const std::string& what);

// A file written under a temporary name beside its final name and moved into place by Commit.
// Destroying an uncommitted TemporaryOutput deletes whatever was written.
class TemporaryOutput {
public:
    explicit TemporaryOutput(std::string finalPath);
    ~TemporaryOutput();
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;

    const std::string& Path() const { return m_TempPath; }
    const std::string& FinalPath() const { return m_FinalPath; }
    // Throws std::runtime_error when the file cannot be moved into place.
    void Commit();

private:
    std::string m_FinalPath;
    std::string m_TempPath;
    bool m_bCommitted = false;
};

// Writes a whole file through a TemporaryOutput. Throws std::runtime_error.
void WriteFileAtomically(const std::string& path, const void* data, size_t size);
void WriteTextFileAtomically(const std::string& path, const std::string& text);

// Reads a whole file of at most maxBytes. Throws std::runtime_error naming the file.
std::vector<uint8_t> ReadFileBytes(const std::string& path, uint64_t maxBytes);

// True when the stream is a console (a terminal), not a file or a pipe.
bool StreamIsConsole(std::FILE* stream);

// A one-line progress bar on `out`, redrawn when the shown percentage changes. It draws only
// when `out` is a console: a log file or a pipe would keep every overwritten state.
class ProgressBar {
public:
    ProgressBar(std::FILE* out, uint64_t total, bool enabled);
    bool Enabled() const { return m_bEnabled; }
    void Update(uint64_t done);
    void Finish();  // completes the line (only if anything was drawn)

private:
    std::FILE* m_pOut;
    uint64_t m_nTotal;
    bool m_bEnabled;
    int m_nShownPercent = -1;
};

// The frame count of a whole conversion, the silent frames fed after the input and the step
// are the resampler's own rule (dsp/resampler/output_count.h).
using sonvex::ComputeStep;
using sonvex::ConvertedFrameCount;
using sonvex::DrainFrames;

std::string FormatSeconds(double seconds);

}  // namespace tools
}  // namespace sonvex
