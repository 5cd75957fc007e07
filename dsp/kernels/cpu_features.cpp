#include "dsp/kernels/cpu_features.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace sonvex {
namespace detail {

namespace {
constexpr uint32_t Bit(int n) { return (uint32_t)1 << n; }
}  // namespace

uint32_t DecodeCpuFeatureMask(const CpuidSnapshot& regs) {
    if (regs.maxLeaf < 1) return 0;
    const uint32_t ecx = regs.leaf1Ecx;
    const uint32_t edx = regs.leaf1Edx;
    uint32_t mask = 0;
    if (edx & Bit(23)) mask |= CpuMmx;
    if (edx & Bit(25)) mask |= CpuSse;
    if (edx & Bit(26)) mask |= CpuSse2;
    if (ecx & Bit(0)) mask |= CpuSse3;
    if (ecx & Bit(9)) mask |= CpuSsse3;
    if (ecx & Bit(22)) mask |= CpuMovbe;
    if (ecx & Bit(19)) mask |= CpuSse41;
    if (ecx & Bit(20)) mask |= CpuSse42;
    if (ecx & Bit(28)) mask |= CpuAvx;
    // The AVX registers are usable only when the operating system saves them on a task
    // switch: OSXSAVE and AVX reported, and XCR0 enabling both the SSE and the AVX state.
    if ((ecx & Bit(27)) && (ecx & Bit(28)) && (regs.xcr0 & 6) == 6) mask |= CpuAvxOsSupport;
    if (ecx & Bit(25)) mask |= CpuAes;
    if (ecx & Bit(1)) mask |= CpuPclmulqdq;
    const uint32_t family = (regs.leaf1Eax >> 8) & 0xF;
    if (family == 11 && (regs.family11Edx & Bit(1))) mask |= CpuFamily11Vector;
    return mask;
}

ProcessorFeatures DecodeProcessorFeatures(const CpuidSnapshot& regs) {
    const uint32_t mask = DecodeCpuFeatureMask(regs);
    ProcessorFeatures decoded{true, mask, mask};
    if (!(mask & CpuAvx) || !(mask & CpuAvxOsSupport)) return decoded;
    if (regs.leaf1Ecx & Bit(12)) decoded.features |= CpuFma;
    if (regs.maxLeaf < 7) return decoded;
    if (regs.leaf7Ebx & Bit(5)) decoded.features |= CpuAvx2;
    // XCR0 bits 5, 6 and 7: the mask registers and both upper parts of the 32 vector registers.
    if ((regs.leaf7Ebx & Bit(16)) && (regs.xcr0 & 0xE6) == 0xE6) decoded.features |= CpuAvx512f;
    return decoded;
}

bool CpuidAvailable() {
#if defined(__x86_64__)
    return true;
#elif defined(__i386__)
    // The ID flag (EFLAGS bit 21) can be toggled only on processors that have CPUID.
    uint32_t before, after;
    __asm__ volatile(
        "pushfl\n\t"
        "pushfl\n\t"
        "popl %0\n\t"
        "movl %0, %1\n\t"
        "xorl $0x200000, %1\n\t"
        "pushl %1\n\t"
        "popfl\n\t"
        "pushfl\n\t"
        "popl %1\n\t"
        "popfl\n\t"
        : "=&r"(before), "=&r"(after)
        :
        : "cc", "memory");
    return ((before ^ after) & 0x200000) != 0;
#else
    return false;
#endif
}

CpuidResult ExecuteCpuid(uint32_t leaf, uint32_t subleaf) {
    CpuidResult r{0, 0, 0, 0};
#if defined(__i386__) || defined(__x86_64__)
    __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
#else
    (void)leaf;
    (void)subleaf;
#endif
    return r;
}

uint64_t ReadXcr0() {
#if defined(__i386__) || defined(__x86_64__)
    uint32_t lo, hi;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return ((uint64_t)hi << 32) | lo;
#else
    return 0;
#endif
}

CpuidSnapshot ReadCpuidSnapshot() {
    CpuidSnapshot s{0, 0, 0, 0, 0, 0, 0};
    s.maxLeaf = ExecuteCpuid(0).eax;
    if (s.maxLeaf >= 1) {
        const CpuidResult leaf1 = ExecuteCpuid(1);
        s.leaf1Eax = leaf1.eax;
        s.leaf1Ecx = leaf1.ecx;
        s.leaf1Edx = leaf1.edx;
        if (leaf1.ecx & Bit(27)) s.xcr0 = ReadXcr0();
        if (((leaf1.eax >> 8) & 0xF) == 11) s.family11Edx = ExecuteCpuid(0x20000001).edx;
    }
    if (s.maxLeaf >= 7) s.leaf7Ebx = ExecuteCpuid(7, 0).ebx;
    return s;
}

const ProcessorFeatures& DetectedProcessorFeatures() {
    // Probed once, on the first call.
    static const ProcessorFeatures features =
        CpuidAvailable() ? DecodeProcessorFeatures(ReadCpuidSnapshot()) : ProcessorFeatures{false, 0, 0};
    return features;
}

}  // namespace detail

bool QueryCpuFeatures(uint32_t* maskOut) {
    const detail::ProcessorFeatures& features = detail::DetectedProcessorFeatures();
    if (!features.hasCpuid) return false;
    if (maskOut) *maskOut = features.mask;
    return true;
}

}  // namespace sonvex
