// Program and bank chunks as a host hands them to setChunk, damaged or from other versions,
// loaded the way the plug-in loads them into the example engine: the chunk of the exact size
// is read into program records, every record's 69 values go to the engine one by one as a
// program load sends them, and the engine processes audio. Whatever the bytes, every value
// the engine keeps is within 0..1, every band it could design from them is a stable filter,
// names read back within 24 characters, and full-scale audio comes out finite.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "examples/engine/engine_core.h"
#include "plugin/bridge/program_table.h"
#include "tests/fuzz/fuzz_check.h"

using namespace example_engine;

namespace {

// Inside the stability triangle of a second-order section: both poles within the unit circle.
bool Stable(const Biquad& s) { return std::fabs(s.a2) < 1.0 && std::fabs(s.a1) < 1.0 + s.a2; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    static const int rates[8] = {8000, 11025, 22050, 44100, 48000, 96000, 192000, 1};
    const int rate = rates[data[0] & 7];
    const int channels = 1 + ((data[0] >> 3) & 7);
    const bool bank = (data[1] & 1) != 0;
    data += 2;
    size -= 2;

    // setChunk takes exactly 301 (program) or 4816 (bank) bytes; the input fills the chunk.
    std::vector<uint8_t> chunk(bank ? brisane::kBankChunkSize : brisane::kProgramChunkSize, 0);
    std::memcpy(chunk.data(), data, size < chunk.size() ? size : chunk.size());
    std::vector<brisane::ProgramRecord> records(bank ? brisane::kProgramCount : 1);
    if (bank) brisane::readBankChunk(records.data(), chunk.data());
    else brisane::readProgramChunk(records[0], chunk.data());

    EngineCore engine;
    FUZZ_CHECK(engine.setFormat(rate, channels));
    std::vector<float> audio(static_cast<size_t>(channels) * 16), out(audio.size());
    for (size_t i = 0; i < audio.size(); ++i)
        audio[i] = static_cast<float>(std::sin(0.05 * static_cast<double>(i * i % 977)));
    audio[0] = 1.0f;
    audio[1] = -1.0f;

    for (const brisane::ProgramRecord& record : records) {
        char name[brisane::kProgramNameLength + 1];
        brisane::copyRecordName(record, name);
        FUZZ_CHECK(std::strlen(name) <= static_cast<size_t>(brisane::kProgramNameLength));
        for (int j = 0; j < brisane::kRecordValueCount; ++j) engine.setValue(j, record.values[j]);
        for (int j = 0; j < kParameterCount; ++j) FUZZ_CHECK(engine.value(j) >= 0.0f && engine.value(j) <= 1.0f);
        for (int b = 0; b < kBandCount; ++b) {
            const Biquad s = designBand(bandTypeFromValue(engine.value(bandParameter(b, kBandType))),
                                        bandFrequencyFromValue(engine.value(bandParameter(b, kBandFrequency))),
                                        bandGainDbFromValue(engine.value(bandParameter(b, kBandGain))),
                                        bandQFromValue(engine.value(bandParameter(b, kBandQ))), rate);
            FUZZ_CHECK(Stable(s));
        }
        for (int block = 0; block < 2; ++block) {
            engine.process(audio.data(), out.data(), audio.size());
            for (float v : out) FUZZ_CHECK(std::isfinite(v));
        }
    }
    return 0;
}
