// How many output frames the resampler gives for the input it holds: one rule for the core's
// count, its production and the programs that size a whole conversion in advance. Header only
// and free of the rest of the tree, so that the programs may include it.
#pragma once
#include <cstdint>

namespace sonvex {

constexpr int32_t kPhaseCount = 4096;  // phases per input frame
constexpr int32_t kPhaseShift = 12;    // log2(kPhaseCount)

// Advance per output frame in 1/4096 input frame: (origRate * 4096) / newRate truncated. 0 for
// rates the resampler refuses: not positive, origRate * 4096 beyond 32 bits, or a step that
// truncates to zero (newRate above origRate * 4096).
constexpr int32_t ComputeStep(int32_t origRate, int32_t newRate) {
    if (origRate <= 0 || newRate <= 0 || origRate > INT32_MAX / kPhaseCount) return 0;
    return origRate * kPhaseCount / newRate;
}

// Kernel lengths the filter takes: odd and positive. M = (n + 1) / 2 frames of silence lead the
// stream, and tap M - 1 is the centre tap.
constexpr bool IsValidKernelLength(int32_t kernelLength) { return kernelLength > 0 && kernelLength % 2 == 1; }
constexpr int32_t HalfLength(int32_t kernelLength) { return (kernelLength + 1) / 2; }

// Frames one output reads, counted from the frame under its tap 0. Equal rates copy frame M of
// that span instead of filtering it, which for n = 1 lies one past the span.
constexpr int64_t SpanFrames(int32_t kernelLength, bool equalRates) {
    return equalRates && HalfLength(kernelLength) + 1 > kernelLength ? HalfLength(kernelLength) + 1 : kernelLength;
}

// Output frames whose read positions (the multiples of step from 0 on, in 1/4096 frame) lie
// below `endFrame` input frames: ceil(endFrame * 4096 / step), endFrame >= 0.
constexpr int64_t OutputsBefore(int64_t endFrame, int32_t step) {
    return (endFrame * kPhaseCount + step - 1) / step;
}

// Output frames whose read positions lie in [C*4096, (C+A)*4096): S = ceil(C*4096 / step),
// E = ceil((C+A)*4096 / step) with truncating division, N = E - S. A may be negative (then
// N <= 0). With equal rates (step 4096) N = A.
constexpr int64_t CountOutputs(int64_t consumed, int64_t available, int32_t step) {
    return OutputsBefore(consumed + available, step) - OutputsBefore(consumed, step);
}

// One production from the queue: all whole frames F are taken, A = F - n of them are retired
// (the last n stay as the next call's history) and N frames come out. N = 0 retires nothing.
struct OutputCount {
    int64_t wholeFrames;  // F
    int64_t retired;      // A
    int64_t outputs;      // N, never negative
};
constexpr OutputCount CountQueuedOutputs(int64_t queuedSamples, int32_t channels, int64_t consumed,
                                         int32_t kernelLength, int32_t step) {
    const int64_t whole = queuedSamples / channels;
    const int64_t retired = whole - kernelLength;
    const int64_t outputs = CountOutputs(consumed, retired, step);
    return {whole, retired, outputs > 0 ? outputs : 0};
}

// Silent frames fed after the last input frame to bring the rest of the output out. The
// filtered path runs one input frame behind the copy of equal rates, so rates that differ get M
// frames, which brings out every output frame whose kernel centre lies on an input frame, and
// equal rates M - 1, which gives back exactly the input length.
constexpr int32_t DrainFrames(int32_t origRate, int32_t newRate, int32_t kernelLength) {
    return HalfLength(kernelLength) - (origRate == newRate ? 1 : 0);
}

// Output frames of a whole conversion of `inputFrames` frames followed by DrainFrames of
// silence, however the stream is split into blocks: the stream holds M leading silent frames,
// the input and the drain, the last n frames stay behind as history, and the productions add up
// to one over all retired frames. -1 for parameters the resampler refuses.
constexpr int64_t ConvertedFrameCount(int64_t inputFrames, int32_t origRate, int32_t newRate, int32_t kernelLength) {
    const int32_t step = ComputeStep(origRate, newRate);
    if (step == 0 || !IsValidKernelLength(kernelLength) || inputFrames < 0) return -1;
    const int64_t retired = HalfLength(kernelLength) + inputFrames + DrainFrames(origRate, newRate, kernelLength) -
                            kernelLength;
    const int64_t outputs = CountOutputs(0, retired, step);
    return outputs > 0 ? outputs : 0;
}

}  // namespace sonvex
