// VST preset and bank files as they come from disk: the reader refuses what does not add up
// and never reads outside the file; what it takes, the writer writes as a file of the same
// size that reads back to the same records and writes again to the same bytes.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/common/fx_file.h"
#include "tests/fuzz/fuzz_check.h"

using namespace sonvex::fx;

namespace {

std::vector<uint8_t> Build(const FxFile& file) {
    return file.kind == FxKind::Program ? BuildProgramFile(file.program) : BuildBankFile(file.bank);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The bytes in a buffer of their own, so that a read past the end is caught.
    const std::vector<uint8_t> bytes(data, data + size);
    FxFile file;
    std::string error;
    if (!ParseFxFile(bytes.data(), bytes.size(), &file, &error)) {
        FUZZ_CHECK(!error.empty() && error.find('\n') == std::string::npos);
        return 0;
    }
    const std::vector<uint8_t> written = Build(file);
    FUZZ_CHECK(written.size() == size);
    FxFile again;
    if (!ParseFxFile(written.data(), written.size(), &again, &error)) {
        std::fprintf(stderr, "the written file is refused: %s\n", error.c_str());
        FUZZ_CHECK(!"a written file reads back");
    }
    FUZZ_CHECK(Build(again) == written);

    PluginIdentity plugin;
    plugin.uniqueId = 0x7471786D;
    plugin.version = 1500;
    plugin.parameterCount = 4;
    plugin.programCount = 16;
    plugin.hasChunks = size % 2 == 0;
    const std::string misfit = CheckFileFitsPlugin(file, plugin);
    FUZZ_CHECK(misfit.find('\n') == std::string::npos);
    return 0;
}
