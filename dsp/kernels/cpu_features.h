// The processor probe: the one place that reads CPUID and XGETBV. The decoders are pure
// functions of the register values, so every path can be checked with synthetic registers;
// DetectedProcessorFeatures feeds them the real ones once per process.
#pragma once
#include <cstdint>

#include "dsp/kernels/kernels.h"

namespace sonvex {
namespace detail {

// The feature mask that QueryCpuFeatures reports (bits 13 to 31 stay 0).
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

// Everything the version rows are chosen by: the mask, and the instructions inside the AVX
// version that some of its routines use when the processor has them.
struct ProcessorFeatures {
    bool hasCpuid;
    uint32_t mask;
    bool avx2;     // AVX2, with the AVX register state saved by the operating system
    bool fma;      // FMA, likewise
    bool avx512f;  // AVX-512F with AVX2 and FMA, and the mask and upper registers saved too
};

ProcessorFeatures DecodeProcessorFeatures(const CpuidSnapshot& regs);

// The version a feature mask selects: the first match of AVX (with its state saved), SSE4.1,
// SSSE3 with MOVBE, SSSE3, SSE2; Baseline otherwise.
KernelVersion SelectKernelVersion(uint32_t mask);

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
