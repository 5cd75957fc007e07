// The processor probe: the one place that reads CPUID and XGETBV. The decoders are pure
// functions of the register values, so every path can be checked with synthetic registers;
// DetectedProcessorFeatures feeds them the real ones once per process.
#pragma once
#include <cstdint>

namespace sonvex {
namespace detail {

// The feature mask that QueryCpuFeatures reports (bits 13 to 31 stay 0), and above it the
// instructions that only some rows use: those bits are set only where the operating system
// saves the registers they use.
enum CpuFeatureBit : uint32_t {
    CpuMmx = 0x1,
    CpuSse = 0x2,
    CpuSse2 = 0x4,
    CpuSse3 = 0x8,
    CpuSsse3 = 0x10,
    CpuMovbe = 0x20,
    CpuSse41 = 0x40,
    CpuSse42 = 0x80,
    CpuAvx = 0x100,
    CpuAvxOsSupport = 0x200,
    CpuAes = 0x400,
    CpuPclmulqdq = 0x800,
    CpuFamily11Vector = 0x1000,
    CpuReportedMask = 0x1FFF,
    CpuAvx2 = 0x10000,     // AVX2, with the AVX state saved
    CpuFma = 0x20000,      // FMA, likewise
    CpuAvx512f = 0x40000,  // AVX-512F, with the mask and upper vector registers saved too
};

// The register values the features are decoded from. leaf1* are meaningful only when
// maxLeaf >= 1, leaf7Ebx (leaf 7, subleaf 0) only when maxLeaf >= 7, xcr0 only when the
// processor reports OSXSAVE, family11Edx (leaf 0x20000001 EDX) only for processors of family 11.
struct CpuidSnapshot {
    uint32_t maxLeaf;
    uint32_t leaf1Eax, leaf1Ecx, leaf1Edx;
    uint64_t xcr0;
    uint32_t family11Edx;
    uint32_t leaf7Ebx;
};

uint32_t DecodeCpuFeatureMask(const CpuidSnapshot& regs);

// Everything the rows are chosen by: the reported mask, and the same with the bits of the
// instructions that only some rows use.
struct ProcessorFeatures {
    bool hasCpuid;
    uint32_t mask;      // as QueryCpuFeatures reports it
    uint32_t features;  // mask and CpuAvx2, CpuFma, CpuAvx512f
};

ProcessorFeatures DecodeProcessorFeatures(const CpuidSnapshot& regs);

// The features of this processor, probed on the first call (no CPUID: hasCpuid false, all
// features absent).
const ProcessorFeatures& DetectedProcessorFeatures();

struct CpuidResult {
    uint32_t eax, ebx, ecx, edx;
};

// False on a processor without CPUID (only possible on 32-bit x86).
bool CpuidAvailable();
CpuidResult ExecuteCpuid(uint32_t leaf, uint32_t subleaf = 0);
uint64_t ReadXcr0();  // only call when OSXSAVE is reported

// Reads the real registers into a snapshot (CPUID must be available).
CpuidSnapshot ReadCpuidSnapshot();

}  // namespace detail
}  // namespace sonvex
