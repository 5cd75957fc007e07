// Processor-feature detection. The mask and the version choice are pure functions of CPUID
// and XGETBV register values; the functions at the bottom execute the instructions.
#pragma once
#include <cstdint>

namespace sonvex {
namespace detail {

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

// The register values the mask is built from. leaf1* are meaningful only when maxLeaf >= 1,
// xcr0 only when the processor reports OSXSAVE, family11Edx (leaf 0x20000001 EDX) only for
// processors of family 11.
struct CpuidSnapshot {
    uint32_t maxLeaf;
    uint32_t leaf1Eax, leaf1Ecx, leaf1Edx;
    uint64_t xcr0;
    uint32_t family11Edx;
};

uint32_t DecodeCpuFeatureMask(const CpuidSnapshot& regs);
int32_t SelectKernelVariant(uint32_t mask);

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
