#include "plugin/bridge/program_table.h"

#include <cstring>

namespace brisane {

namespace {
// Chunks are little-endian whatever the machine; x86 stores floats that way already, but the
// byte order is spelled out so the layout does not depend on it.
void putFloat(uint8_t* out, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    out[0] = (uint8_t)bits;
    out[1] = (uint8_t)(bits >> 8);
    out[2] = (uint8_t)(bits >> 16);
    out[3] = (uint8_t)(bits >> 24);
}

float getFloat(const uint8_t* in) {
    uint32_t bits = (uint32_t)in[0] | ((uint32_t)in[1] << 8) | ((uint32_t)in[2] << 16) | ((uint32_t)in[3] << 24);
    float value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

constexpr size_t kNameOffset = kRecordValueCount * sizeof(float);
}  // namespace

void copyHostText(char* destination, const char* text, size_t limit) {
    if (!destination) return;
    size_t i = 0;
    if (text)
        for (; i < limit && text[i]; ++i) destination[i] = text[i];
    for (; i < limit; ++i) destination[i] = 0;
    destination[limit] = 0;
}

void resetRecord(ProgramRecord& record) {
    setRecordName(record, "<Default>");
    for (float& value : record.values) value = 0.0f;
}

void setRecordName(ProgramRecord& record, const char* text) { copyHostText(record.name, text, kProgramNameLength); }

void copyRecordName(const ProgramRecord& record, char* text) {
    copyHostText(text, record.name, kProgramNameLength);
}

void writeProgramChunk(const ProgramRecord& record, uint8_t* chunk) {
    for (int i = 0; i < kRecordValueCount; ++i) putFloat(chunk + i * sizeof(float), record.values[i]);
    std::memcpy(chunk + kNameOffset, record.name, sizeof(record.name));
}

void readProgramChunk(ProgramRecord& record, const uint8_t* chunk) {
    for (int i = 0; i < kRecordValueCount; ++i) record.values[i] = getFloat(chunk + i * sizeof(float));
    std::memcpy(record.name, chunk + kNameOffset, sizeof(record.name));
}

void writeBankChunk(const ProgramRecord* records, uint8_t* chunk) {
    for (int p = 0; p < kProgramCount; ++p) writeProgramChunk(records[p], chunk + p * kProgramChunkSize);
}

void readBankChunk(ProgramRecord* records, const uint8_t* chunk) {
    for (int p = 0; p < kProgramCount; ++p) readProgramChunk(records[p], chunk + p * kProgramChunkSize);
}

}  // namespace brisane
