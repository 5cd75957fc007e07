// Internal interface between the resampler and its instruction-set versions.
//
// Every output sample is the sequential float sum of the kernel: the tap-0 product first, then
// the products of taps 1..n-1 in ascending order, rounded to single precision after each
// addition. The vector versions keep exactly that order by giving each lane its own output
// frame (never splitting one sum across lanes), so every version is bit-identical to ApplyKernel.
#pragma once
#include <cstdint>

namespace sonvex {
namespace resampler_detail {

enum InterpolationVersion : int32_t {
    kVersionScalar = 0,
    kVersionSse2 = 1,  // 4 output frames per vector
    kVersionAvx2 = 2,  // 8 output frames per vector (separate multiplies and adds, never FMA)
    kVersionCount = 3,
};

bool VersionSupported(int32_t version);
int32_t BestSupportedVersion();
int32_t LaneCount(int32_t version);
const char* VersionName(int32_t version);

// Groups whose sums a batch keeps in flight, for channel pairs and for a single channel: as
// many as the vector registers hold without spilling a running sum (16 registers in 64-bit
// code, 8 in 32-bit code).
#if defined(__x86_64__) || defined(_M_X64)
constexpr int kPairGroups = 2, kSingleGroups = 4, kWholePairGroups = 4, kWholeSingleGroups = 8;
#else
constexpr int kPairGroups = 1, kSingleGroups = 2, kWholePairGroups = 2, kWholeSingleGroups = 4;
#endif

inline float ApplyKernel(const float* coefficients, const float* row, int32_t n) {
    float sum = coefficients[0] * row[0];
    for (int32_t t = 1; t < n; ++t) sum = sum + coefficients[t] * row[t];
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

// lanes[c] is channel c spread over the lanes; out[c][g * L + i] receives lane i of job g for
// channel c. The channels of one group share its coefficient loads.
// `carry` is false when no lane of any group reads the next frame (step a multiple of 4096).
void InterpolateGroupsSse2(const float* const* lanes, int channels, const GroupJob* jobs, int64_t count,
                           int32_t n, bool carry, float* const* out);
void InterpolateGroupsAvx2(const float* const* lanes, int channels, const GroupJob* jobs, int64_t count,
                           int32_t n, bool carry, float* const* out);

// Whole-number steps (step = D * 4096): every output uses phase 0, and output k of a chunk
// reads input frame d0 + D * k + t at tap t. The input of each channel is split into D rows,
// phaseRows[c][r * stride + m] = input[d0 + r + D * m], so tap t of L consecutive outputs is
// one contiguous vector at tapOffset[t] = (t % D) * stride + t / D (plus the first output's
// index). out[c][k] receives output k for k < groups * L; the coefficients are phase 0's taps.
void InterpolateWholeStepSse2(const float* const* phaseRows, int channels, const int64_t* tapOffset,
                              const float* coefficients, int32_t n, int64_t groups, float* const* out);
void InterpolateWholeStepAvx2(const float* const* phaseRows, int channels, const int64_t* tapOffset,
                              const float* coefficients, int32_t n, int64_t groups, float* const* out);

// lanes[j * L + i] = input[j + laneBase[i]] for j = 0..rows-1.
void SpreadLanesSse2(const float* input, const int32_t* laneBase, int64_t rows, float* lanes);
void SpreadLanesAvx2(const float* input, const int32_t* laneBase, int64_t rows, float* lanes);

}  // namespace resampler_detail
}  // namespace sonvex
