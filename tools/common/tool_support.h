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

// Runs a tool's body on its UTF-8 arguments and turns what it throws into one line on stderr:
// exit code 2 for a UsageError (with a pointer to --help), 1 for any other failure.
int RunTool(const char* toolName, int argc, char** argv, int (*run)(const std::vector<std::string>& args));

// Positional arguments and --name value / --name=value options. Every option must be one of
// `known`; a repeated option or a missing value is a UsageError.
struct ParsedArguments {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;
    bool help = false;
};
ParsedArguments ParseArguments(const std::vector<std::string>& args, const std::vector<std::string>& known);

// A whole decimal number in [minimum, maximum]; anything else is a UsageError naming `what`.
int64_t ParseInteger(const std::string& text, int64_t minimum, int64_t maximum, const std::string& what);

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
