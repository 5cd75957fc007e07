// The portable core of CAudioResampler: queue, channel conversion and polyphase filter behind
// one object that the COM class wraps. No COM types here: the COM object asks how many frames
// the queued input allows, creates its SAFEARRAY of exactly that size and lets the core fill it.
#pragma once
#include <cstdint>

namespace sonvex {

enum ResamplerStatus : int32_t {
    ResamplerOk = 0,
    ResamplerBadKernelLength = -1,  // kernel length <= 0 or even (E_FAIL at the COM level)
    ResamplerBadArgument = -2,      // rate or channel count out of range (E_INVALIDARG)
    ResamplerNoMemory = -3,         // E_OUTOFMEMORY
    ResamplerNotInitialized = -4,   // no successful Initialize yet (E_FAIL)
};

class CResamplerCore;  // defined in resampler.h (audio queue, mixing matrix, kernel table)

}  // namespace sonvex
