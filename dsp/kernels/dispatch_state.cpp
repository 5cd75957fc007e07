#include "dsp/kernels/dispatch.h"

namespace sonvex {
namespace detail {

int32_t g_kernelVariant = 0;

void ForceKernelVariant(int32_t variant) {
    if (variant >= 0 && variant < kKernelVariantCount) g_kernelVariant = variant;
}

}  // namespace detail
}  // namespace sonvex
