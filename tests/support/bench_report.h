// What the benchmarks print about the run: the processor, the build, and the routines our
// kernel row runs, so that every figure names what produced it.
#pragma once
#include <cpuid.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "dsp/kernels/cpu_features.h"
#include "dsp/kernels/dispatch.h"
#include "dsp/kernels/fft_internal.h"
#include "dsp/kernels/kernels.h"

namespace sonvex_bench {

// The brand string, family, model and stepping, and the features our dispatch decides by.
inline std::string ProcessorReport() {
    unsigned regs[12] = {};
    char brand[49] = {};
    unsigned a, b, c, d;
    if (__get_cpuid(0x80000000u, &a, &b, &c, &d) && a >= 0x80000004u) {
        for (unsigned leaf = 0; leaf < 3; ++leaf)
            __get_cpuid(0x80000002u + leaf, &regs[4 * leaf], &regs[4 * leaf + 1], &regs[4 * leaf + 2], &regs[4 * leaf + 3]);
        std::memcpy(brand, regs, 48);
    }
    std::string name = brand;
    while (!name.empty() && name.front() == ' ') name.erase(name.begin());
    char model[96] = "";
    if (__get_cpuid(1, &a, &b, &c, &d)) {
        const unsigned family = ((a >> 8) & 0xf) + (((a >> 8) & 0xf) == 0xf ? (a >> 20) & 0xff : 0);
        const unsigned number = ((a >> 4) & 0xf) | (((a >> 8) & 0xf) >= 6 ? ((a >> 16) & 0xf) << 4 : 0);
        std::snprintf(model, sizeof model, "family %u model %u stepping %u", family, number, a & 0xf);
    }
    const sonvex::detail::ProcessorFeatures& f = sonvex::detail::DetectedProcessorFeatures();
    using namespace sonvex::detail;
    std::string features;
    const struct { bool on; const char* name; } list[] = {
        {(f.mask & CpuSse2) != 0, "SSE2"},   {(f.mask & CpuSsse3) != 0, "SSSE3"},
        {(f.mask & CpuSse41) != 0, "SSE4.1"}, {(f.mask & CpuAvx) && (f.mask & CpuAvxOsSupport), "AVX"},
        {(f.features & CpuAvx2) != 0, "AVX2"}, {(f.features & CpuFma) != 0, "FMA"},
        {(f.features & CpuAvx512f) != 0, "AVX-512F"}};
    for (const auto& item : list)
        if (item.on) features += std::string(features.empty() ? "" : " ") + item.name;
    return (name.empty() ? std::string("(no brand string)") : name) + ", " + model + "; " + features;
}

inline const char* BuildReport() {
#if defined(_WIN64)
    return "64-bit Windows build (x86_64-w64-mingw32)";
#elif defined(_WIN32)
    return "32-bit Windows build (i686-w64-mingw32), the product";
#else
    return "native 64-bit Linux build";
#endif
}

// What a kernel row runs: its name and version, whether its FFT setups carry the 16-lane
// AVX-512 tables (the row then also has the straight-line AVX-512 routines below them and the
// scalar one of 2^4), and its interpolation.
inline std::string RoutinesReport(const sonvex::detail::KernelRow& row) {
    std::string text = std::string("row ") + row.name + " (version " + sonvex::KernelVersionName(row.version) + "): FFT";
    if (row.fft->wideTables) {
        text += " with 16-lane AVX-512 routines for orders " + std::to_string(sonvex::fft::kWideMinOrder) + "-" +
                std::to_string(sonvex::fft::kWideMaxOrder) + ", straight-line 16-lane ones in registers for orders " +
                std::to_string(sonvex::fft::kLaneMinOrder) + "-" + std::to_string(sonvex::fft::kLaneMaxOrder) +
                " and a scalar one for order " + std::to_string(sonvex::fft::kLaneMinOrder - 1);
    }
    return text + "; interpolation " + (row.interpolation ? row.interpolation->name : "plain loop");
}

}  // namespace sonvex_bench
