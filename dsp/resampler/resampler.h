// CResamplerCore: the portable part of CAudioResampler. It owns the audio queue, the channel
// conversion matrix and the polyphase kernel table, and produces exactly the output frames the
// queued input allows. No COM types: the COM object asks CountOutputFrames, creates its array
// of that size and lets ProduceFrames fill it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "dsp/kernels/aligned_array.h"
#include "dsp/kernels/interpolate.h"
#include "dsp/resampler/audio_queue.h"
#include "dsp/resampler/channel_mixer.h"
#include "dsp/resampler/output_count.h"
#include "dsp/resampler/resampler_core.h"

namespace sonvex {

// The core's tables and work buffers: cache-line aligned blocks.
template <class T>
using WorkArray = AlignedArray<T, BlockAlignment::CacheLine>;

class CResamplerCore {
public:
    CResamplerCore();
    ~CResamplerCore();
    CResamplerCore(const CResamplerCore&) = delete;
    CResamplerCore& operator=(const CResamplerCore&) = delete;

    // ResamplerOk; ResamplerBadKernelLength (<= 0 or even: previous table released, not
    // initialised); ResamplerBadArgument (rates <= 0, nOrigRate * 4096 or nNewRate * 4096
    // beyond 32 bits, channel counts outside 1..8: object left as before); ResamplerNoMemory
    // (allocation failed: not initialised). Identical parameters while initialised change
    // nothing. Queued samples survive a change of parameters only when the input channel
    // count stays the same; otherwise they are dropped before the silence goes in.
    int32_t Initialize(int32_t nOrigRate, int32_t nNewRate, int16_t nOrigChannels,
                       int16_t nNewChannels, int16_t nKernelLength);

    // Appends interleaved samples (count >= 0): ResamplerOk, ResamplerNoMemory (nothing
    // appended) or ResamplerBadArgument (negative count, or null samples with a count).
    int32_t AddSamples(const float* samples, int64_t count);

    // Output frames the queued input allows now (0 when there are too few).
    int32_t CountOutputFrames(int64_t* frames) const;

    // Produces exactly `frames` output frames, which must equal CountOutputFrames, into out
    // (frames * NewChannels() interleaved floats), then retires the consumed input. The last n
    // frames stay in the queue as history, followed by any partial frame, so nothing leaves
    // the queue before the output is written. ResamplerBadArgument for a different count or a
    // null buffer (nothing changes); ResamplerNotInitialized before Initialize.
    int32_t ProduceFrames(float* out, int64_t frames);

    // Empties the queue and puts M silent frames in; the position and counters stay.
    int32_t Reset();

    bool IsInitialized() const { return static_cast<bool>(m_pfKernel); }
    int16_t OrigChannels() const { return m_nOrigChannels; }
    int16_t NewChannels() const { return m_nNewChannels; }

    // Read-only views of the state, for tests, benchmarks and the COM object.
    int32_t KernelLength() const { return m_nKernelLength; }
    int32_t HalfLength() const { return m_nHalfLength; }
    int32_t Step() const { return m_nStep; }
    float Cutoff() const { return m_fCutoff; }
    int64_t Position() const { return m_llPosition; }
    int64_t Consumed() const { return m_llConsumed; }
    const float* KernelTable() const { return m_pfKernel.Get(); }
    const float (&MixMatrix() const)[kMaxChannels][kMaxChannels] { return m_afMix; }
    const CAudioQueue& Queue() const { return m_Queue; }
    CAudioQueue& Queue() { return m_Queue; }
    // The interpolation routines chosen at Initialize, null for the plain loop; "scalar" names
    // the plain loop.
    const InterpolationRoutines* Interpolation() const { return m_pInterpolation; }
    const char* InterpolationName() const { return m_pInterpolation ? m_pInterpolation->name : "scalar"; }
    size_t MemoryBytes() const;  // object, table, vector tables, work buffers and queue ring

    // Tests only: the core's own allocations (tables, work buffers) above this size fail.
    static void LimitAllocationsForTesting(size_t bytes);

private:
    OutputCount CountQueued() const;  // the counting rule applied to the queue as it stands
    void ReleaseTables();
    void ReleaseGroupTables();
    bool AllocateWork();
    bool BuildGroupTables();
    void ProduceChunk(float* out, int64_t firstFrame, int64_t frames, int64_t outputs,
                      int64_t position);
    void InterpolateChunk(float* const* rows, int64_t rowFirst, int64_t position, int64_t outputs,
                          float* const* planar);
    float* PhaseRow(int channel, int64_t row);  // whole-number steps: row r of channel c's D rows
    void InterpolateWholeStep(int64_t outputs, float* const* planar);

    CAudioQueue m_Queue;
    float m_afMix[kMaxChannels][kMaxChannels] = {};

    int32_t m_nOrigRate = 0;
    int32_t m_nNewRate = 0;
    int16_t m_nOrigChannels = 0;
    int16_t m_nNewChannels = 0;
    int32_t m_nKernelLength = 0;
    int32_t m_nHalfLength = 0;
    int32_t m_nStep = 0;
    float m_fCutoff = 0.0f;
    WorkArray<float> m_pfKernel;
    int64_t m_llPosition = 0;
    int64_t m_llConsumed = 0;
    // Channel count of the samples in the queue (0: unknown, samples added before any
    // Initialize); a new input layout drops them instead of reading them misaligned.
    int16_t m_nQueueChannels = 0;

    // Vector path: output frames of the stream are grouped by L from output 0 on, so a group
    // starts at one of 4096 / m_nGroupPhaseUnit phases; per start phase the L lanes' coefficients
    // are interleaved tap by tap, with the lanes' one-frame carry masks, in the order in which
    // the stream's groups meet the phases. The routines are those of
    // the kernel version active at Initialize.
    const InterpolationRoutines* m_pInterpolation = nullptr;
    int32_t m_nLanes = 1;
    int32_t m_nGroupPhaseUnit = 0;
    static constexpr int kMaxLanes = 16;  // the widest routine set's output frames per vector
    int32_t m_anLaneBase[kMaxLanes] = {};
    WorkArray<float> m_pfGroupCoefficients;
    WorkArray<int32_t> m_pnGroupMasks;
    bool m_bLaneCarry = true;  // some group has a lane that reads one frame further
    bool m_bDirect = false;    // the groups read the rows themselves, unspread
    // Whole-number steps (a multiple of 4096) use phase 0 only: the input is split into
    // step / 4096 rows per channel instead of being spread over lanes.
    bool m_bWholeStep = false;
    int64_t m_nPhaseRowStride = 0;
    WorkArray<float> m_pfPhaseRows;
    WorkArray<int64_t> m_pnTapOffsets;

    // Work buffers, sized at Initialize so that producing output never allocates.
    int64_t m_nChunkFrames = 0;     // input frames per chunk
    int64_t m_nChunkOutputs = 0;    // output frames per chunk
    int64_t m_nRowFront = 0;        // floats of padding in front of each planar row
    int64_t m_nRowStride = 0;       // floats per planar row (padding, chunk frames, padding)
    int64_t m_nPlanarStride = 0;    // floats per output row (L of padding, chunk outputs, L)
    WorkArray<float> m_pfRows;       // planar rows, max(orig, new) of them
    WorkArray<float> m_pfLanes;      // each output channel spread over L lanes
    WorkArray<float> m_pfPlanarOut;  // outputs of one chunk, one row per output channel
    WorkArray<GroupJob> m_pJobs;
};

}  // namespace sonvex
