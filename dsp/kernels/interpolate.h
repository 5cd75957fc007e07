// The resampler's interpolation kernels: the inner products of its polyphase filter, computed
// for groups of L consecutive output frames, one frame per vector lane. The resampler takes the
// routines of the active kernel row once, when it is initialised.
//
// Every output sample is the sequential float sum of the kernel: the tap-0 product first, then
// the products of taps 1..n-1 in ascending order, rounded to single precision after each
// addition. The vector routines keep exactly that order by giving each lane its own output frame
// (never splitting one sum across lanes), so every version is bit-identical to ApplyKernel.
#pragma once
#include <cstdint>

namespace sonvex {

inline float ApplyKernel(const float* coefficients, const float* row, int32_t taps) {
    float sum = coefficients[0] * row[0];
    for (int32_t t = 1; t < taps; ++t) sum = sum + coefficients[t] * row[t];
    return sum;
}

// A group is L consecutive output frames. Lane i reads input frame row + laneBase[i] + t, or
// the frame after it where mask[i] is all ones, at tap t. `lanes` holds the input of one
// channel spread over L lanes: lanes[j * L + i] = input[j + laneBase[i]], so a lane's samples
// for consecutive taps are L floats apart and every tap needs two aligned vector loads.
// coefficients[t * L + i] is the coefficient of lane i at tap t.
struct GroupJob {
    const float* coefficients;
    const int32_t* mask;
    int64_t row;
};

struct InterpolationRoutines {
    const char* name;
    int32_t lanes;  // L, output frames per vector

    // lanes[j * L + i] = input[j + laneBase[i]] for j = 0..rows-1.
    void (*spreadLanes)(const float* input, const int32_t* laneBase, int64_t rows, float* lanes);

    // lanes[c] is channel c spread over the lanes; out[c][g * L + i] receives lane i of job g for
    // channel c. The channels of one group share its coefficient loads. `carry` is false when no
    // lane of any group reads the next frame (step a multiple of 4096).
    void (*interpolateGroups)(const float* const* lanes, int channels, const GroupJob* jobs, int64_t count,
                              int32_t taps, bool carry, float* const* out);

    // Whole-number steps (step = D * 4096): every output uses phase 0, and output k of a chunk
    // reads input frame d0 + D * k + t at tap t. The input of each channel is split into D rows,
    // phaseRows[c][r * stride + m] = input[d0 + r + D * m], so tap t of L consecutive outputs is
    // one contiguous vector at tapOffset[t] = (t % D) * stride + t / D (plus the first output's
    // index). out[c][k] receives output k for k < groups * L; the coefficients are phase 0's taps.
    void (*interpolateWholeStep)(const float* const* phaseRows, int channels, const int64_t* tapOffset,
                                 const float* coefficients, int32_t taps, int64_t groups, float* const* out);

    // Groups read straight from the channels' rows, without spreading them over the lanes: lane
    // i of job g reads rows[c][row + laneBase[i] + t], or the frame after it where the job's
    // mask is set, at tap t, and may read any frame up to rows[c][row + t + directSpan - 1], and
    // back to the start of the 64-byte line that rows[c][row] lies in.
    // For steps whose lanes all read within directSpan frames of the first lane's frame
    // (laneBase[L - 1] + 1 < directSpan); directSpan 0 and a null routine where the set has none.
    int32_t directSpan;
    void (*interpolateDirect)(const float* const* rows, int channels, const int32_t* laneBase, const GroupJob* jobs,
                              int64_t count, int32_t taps, float* const* out);
    // A set without the spread routines (the first two above null) leaves the steps its other
    // routines do not take to this one.
    const InterpolationRoutines* fallback;
};

// The routines of the active kernel row; null under Baseline, where the resampler runs its
// plain loop of ApplyKernel. The sets are kInterpolationSse2 (4 output frames per vector,
// interpolate_sse2.cpp), kInterpolationAvx2 (8, interpolate_avx2.cpp) and kInterpolationAvx512
// (16, interpolate_avx512.cpp; its direct routine for steps up to two frames per output and its
// whole-number steps, kInterpolationAvx2 for the steps beyond), as the rows name them.
const InterpolationRoutines* ActiveInterpolationRoutines();

}  // namespace sonvex
