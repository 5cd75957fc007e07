// brisane-host: a command-line VST 2.4 host. Loads a plug-in DLL, prints what the plug-in
// says about itself, runs a WAV file through it block by block, and saves or loads its
// programs and banks as the standard preset (.fxp) and bank (.fxb) files, or as raw chunks.
// The host callback and loading are in plugin_host, the files in preset_files, the audio in
// processing and the editor window in editor_window.
#include <windows.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "tools/common/tool_support.h"
#include "tools/common/wav_io.h"
#include "tools/vsthost/editor_window.h"
#include "tools/vsthost/plugin_host.h"
#include "tools/vsthost/preset_files.h"
#include "tools/vsthost/processing.h"

using namespace vst;
using namespace vsthost;
using sonvex::tools::Format;
using sonvex::tools::OptionRule;
using sonvex::tools::UsageError;

namespace {

const char kUsage[] =
    "usage: brisane-host PLUGIN.dll [options]\n"
    "       brisane-host --make-signal OUT.wav [--rate HZ] [--seconds S]\n"
    "  -i, --input IN.wav     process this file (16/24/32-bit PCM or 32-bit float)\n"
    "  -o, --output OUT.wav   write the processed audio (32-bit float)\n"
    "  --program N            select program N before processing\n"
    "  --param I=V            set parameter I to V (0..1); may be repeated\n"
    "  --load-bank F.fxb      load a bank file (VST 2.4 .fxb)\n"
    "  --load-preset F.fxp    load a preset file (VST 2.4 .fxp) into the current program\n"
    "  --save-bank F.fxb      save the bank as a .fxb file at the end\n"
    "  --save-preset F.fxp    save the current program as a .fxp file at the end\n"
    "  --load-raw-bank F, --load-raw-preset F, --save-raw-bank F, --save-raw-preset F\n"
    "                         the same with the plug-in's own chunk bytes, no file header\n"
    "  --block N              frames per block (default 512)\n"
    "  --rate HZ              sample rate when no input file is given (default 44100)\n"
    "  --info                 print the plug-in's identity (the default without --input)\n"
    "  --editor [SECONDS]     open the plug-in's editor in a window until it is closed, or for\n"
    "                         SECONDS; prints the parameter changes made in it\n"
    "  --quiet                no progress bar (it is drawn only on a console anyway)\n";

struct Options {
    std::string plugin, input, output, makeSignal;
    std::string loadBank, loadPreset, saveBank, savePreset;
    std::string loadRawBank, loadRawPreset, saveRawBank, saveRawPreset;
    int program = 0;
    bool programGiven = false;
    std::vector<std::pair<int, float>> params;
    int blockSize = 512;
    int rate = 0;
    double seconds = 3.0;
    bool info = false, quiet = false;
    bool editor = false;
    double editorSeconds = 0.0;  // 0: until the window is closed
};

// Every option may be given again; the last value counts, and every --param is applied.
std::vector<OptionRule> optionTable() {
    std::vector<OptionRule> table;
    auto add = [&](const char* name, char alias, OptionRule::Value value) {
        OptionRule o;
        o.name = name;
        o.alias = alias;
        o.value = value;
        o.repeatable = true;
        table.push_back(o);
    };
    const auto value = OptionRule::Value::Required, none = OptionRule::Value::None;
    add("input", 'i', value);
    add("output", 'o', value);
    for (const char* name : {"make-signal", "program", "param", "load-bank", "load-preset", "save-bank", "save-preset",
                             "load-raw-bank", "load-raw-preset", "save-raw-bank", "save-raw-preset", "block", "rate",
                             "seconds"})
        add(name, 0, value);
    // An optional time in seconds; a plug-in path never reads as a number.
    add("editor", 0, OptionRule::Value::OptionalNumber);
    add("info", 0, none);
    add("quiet", 0, none);
    return table;
}

// A whole number in the range of a long, as the host's options take them.
long wholeNumber(const std::string& text, const char* what) {
    int64_t value = 0;
    if (sonvex::tools::ReadWholeNumber(text, &value) != sonvex::tools::WholeNumber::Ok || value < LONG_MIN ||
        value > LONG_MAX)
        throw UsageError(Format("%s: '%s' is not a whole number", what, text.c_str()));
    return (long)value;
}

double number(const std::string& text, const char* what) { return sonvex::tools::ParseDecimal(text, std::string(what) + ":"); }

Options readOptions(const sonvex::tools::ParsedArguments& parsed) {
    Options o;
    auto given = [&](const char* name) { return parsed.options.count(name) != 0; };
    auto text = [&](const char* name) {
        auto found = parsed.options.find(name);
        return found == parsed.options.end() ? std::string() : found->second;
    };
    if (parsed.positional.size() > 1)
        throw UsageError(Format("more than one plug-in given ('%s' and '%s')", parsed.positional[0].c_str(),
                                parsed.positional[1].c_str()));
    if (!parsed.positional.empty()) o.plugin = parsed.positional[0];
    o.input = text("input");
    o.output = text("output");
    o.makeSignal = text("make-signal");
    o.loadBank = text("load-bank");
    o.loadPreset = text("load-preset");
    o.saveBank = text("save-bank");
    o.savePreset = text("save-preset");
    o.loadRawBank = text("load-raw-bank");
    o.loadRawPreset = text("load-raw-preset");
    o.saveRawBank = text("save-raw-bank");
    o.saveRawPreset = text("save-raw-preset");
    if (given("program")) {
        o.program = (int)wholeNumber(text("program"), "--program");
        o.programGiven = true;
    }
    if (given("param")) {
        for (const std::string& v : parsed.repeated.at("param")) {
            size_t eq = v.find('=');
            if (eq == std::string::npos) throw UsageError(Format("--param: '%s' is not I=V", v.c_str()));
            long index = wholeNumber(v.substr(0, eq), "--param index");
            double value = number(v.substr(eq + 1), "--param value");
            if (value < 0.0 || value > 1.0) throw UsageError(Format("--param: value %g is outside 0..1", value));
            o.params.emplace_back((int)index, (float)value);
        }
    }
    if (given("block")) {
        long n = wholeNumber(text("block"), "--block");
        if (n < 1 || n > 65536) throw UsageError(Format("--block: %ld is outside 1..65536", n));
        o.blockSize = (int)n;
    }
    if (given("rate")) {
        long n = wholeNumber(text("rate"), "--rate");
        if (n < 1000 || n > 768000) throw UsageError(Format("--rate: %ld is outside 1000..768000", n));
        o.rate = (int)n;
    }
    if (given("seconds")) {
        double s = number(text("seconds"), "--seconds");
        if (s <= 0.0 || s > 600.0) throw UsageError(Format("--seconds: %g is outside 0..600", s));
        o.seconds = s;
    }
    if (given("editor")) {
        o.editor = true;
        const std::string seconds = text("editor");
        if (!seconds.empty()) {
            char* end = nullptr;
            const double s = std::strtod(seconds.c_str(), &end);
            if (end == seconds.c_str() || *end != 0)
                throw UsageError(Format("--editor: '%s' is not a number", seconds.c_str()));
            if (!(s > 0.0 && s <= 3600.0))
                throw UsageError(Format("--editor: %s seconds is outside 0..3600", seconds.c_str()));
            o.editorSeconds = s;
        }
    }
    o.info = given("info");
    o.quiet = given("quiet");
    if (o.makeSignal.empty() && o.plugin.empty()) throw UsageError("no plug-in given (see --help)");
    if (!o.output.empty() && o.input.empty()) throw UsageError("--output needs --input");
    if (!given("rate")) o.rate = o.makeSignal.empty() ? 44100 : 48000;
    return o;
}

int run(const std::vector<std::string>& args) {
    const sonvex::tools::ParsedArguments parsed = sonvex::tools::ParseArgumentTable(args, optionTable());
    if (parsed.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    Options o = readOptions(parsed);
    if (!o.makeSignal.empty()) {
        makeSignal(o.makeSignal, o.rate, o.seconds);
        if (o.plugin.empty()) return 0;
    }

    sonvex::wav::WavData input;
    if (!o.input.empty()) {
        input = sonvex::wav::ReadWavFile(o.input);
        if (!input.warning.empty()) std::fprintf(stderr, "brisane-host: warning: %s\n", input.warning.c_str());
        if (input.format.sampleRate > 768000u)
            throw std::runtime_error(
                Format("%s: sample rate %u Hz is above the host's 768000 Hz", o.input.c_str(), input.format.sampleRate));
        o.rate = (int)input.format.sampleRate;
    }
    g_host.sampleRate = (float)o.rate;
    g_host.blockSize = o.blockSize;
    g_host.connectedInputs = o.input.empty() ? 64 : input.format.channels;

    Plugin plugin(o.plugin);
    AEffect* e = plugin.effect();
    plugin.dispatch(effSetSampleRate, 0, 0, nullptr, (float)o.rate);
    plugin.dispatch(effSetBlockSize, 0, o.blockSize);

    // Raw chunks need a plug-in that keeps them; say so before any work is done.
    const bool raw = !o.loadRawBank.empty() || !o.loadRawPreset.empty() || !o.saveRawBank.empty() || !o.saveRawPreset.empty();
    if (raw) requireChunks(plugin);

    if (!o.loadBank.empty()) loadBank(plugin, o.loadBank);
    if (!o.loadRawBank.empty()) loadRaw(plugin, o.loadRawBank, false);
    if (o.programGiven) {
        if (o.program >= e->numPrograms || o.program < 0)
            throw std::runtime_error(
                Format("--program %d: the plug-in has programs 0..%d", o.program, (int)e->numPrograms - 1));
        plugin.dispatch(effSetProgram, 0, o.program);
    }
    if (!o.loadPreset.empty()) loadPreset(plugin, o.loadPreset);
    if (!o.loadRawPreset.empty()) loadRaw(plugin, o.loadRawPreset, true);
    for (const auto& p : o.params) {
        if (p.first < 0 || p.first >= e->numParams)
            throw std::runtime_error(
                Format("--param %d: the plug-in has parameters 0..%d", p.first, (int)e->numParams - 1));
        if (!e->setParameter) throw std::runtime_error("the plug-in offers no setParameter call");
        e->setParameter(e, p.first, p.second);
    }
    if (o.info || (o.input.empty() && !o.editor)) printIdentity(plugin, o.plugin);
    if (o.editor) {
        std::string error;
        if (!runEditor(e, o.editorSeconds, error)) throw std::runtime_error(error);
    }
    if (!o.input.empty()) processFile(plugin, input, o.blockSize, o.output, o.quiet);
    if (!o.savePreset.empty()) savePreset(plugin, o.savePreset);
    if (!o.saveRawPreset.empty()) saveRaw(plugin, o.saveRawPreset, true);
    if (!o.saveBank.empty()) saveBank(plugin, o.saveBank);
    if (!o.saveRawBank.empty()) saveRaw(plugin, o.saveRawBank, false);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    return sonvex::tools::RunTool("brisane-host", argc, argv, run, sonvex::tools::UsageHint::NextLine);
}
