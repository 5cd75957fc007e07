// The plug-in's own program table and its chunk layouts. Knows nothing of the engine or of
// COM: records hold names and values, chunks are plain bytes.
#pragma once
#include <cstddef>
#include <cstdint>

namespace brisane {

constexpr int kProgramCount = 16;
constexpr int kRecordValueCount = 69;  // every engine parameter, index 0..68
constexpr int kProgramNameLength = 24;
constexpr size_t kProgramChunkSize = kRecordValueCount * sizeof(float) + kProgramNameLength + 1;  // 301
constexpr size_t kBankChunkSize = kProgramCount * kProgramChunkSize;                             // 4816
static_assert(kProgramChunkSize == 301, "program chunk layout");
static_assert(kBankChunkSize == 4816, "bank chunk layout");

struct ProgramRecord {
    // Up to 24 characters, zero-padded, and position 24. A name loaded from a chunk may carry
    // a non-zero byte at 24, so readers never take more than 24 characters.
    char name[kProgramNameLength + 1];
    float values[kRecordValueCount];
};

// A record named "<Default>" with every value 0.
void resetRecord(ProgramRecord& record);

// Copies at most 24 characters of text, pads the rest of the 24 with zeros and puts a zero at
// position 24. A null text gives an empty name.
void setRecordName(ProgramRecord& record, const char* text);

// Writes at most 24 characters of the record's name and a zero at position 24 (25 bytes).
void copyRecordName(const ProgramRecord& record, char* text);

// Program chunk: the 69 values as little-endian IEEE singles, then the 25 name bytes as stored.
void writeProgramChunk(const ProgramRecord& record, uint8_t* chunk);
void readProgramChunk(ProgramRecord& record, const uint8_t* chunk);

// Bank chunk: the 16 program chunks of records 0..15 one after another, no header.
void writeBankChunk(const ProgramRecord* records, uint8_t* chunk);
void readBankChunk(ProgramRecord* records, const uint8_t* chunk);

// Copies at most limit bytes of text, pads with zeros up to limit and writes a zero at
// position limit: the destination receives limit + 1 bytes. Null text gives empty text.
void copyHostText(char* destination, const char* text, size_t limit);

}  // namespace brisane
