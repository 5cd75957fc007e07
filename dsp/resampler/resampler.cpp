#include "dsp/resampler/resampler.h"

#include <atomic>
#include <cstring>

#include "common/audio/interleave.h"
#include "dsp/resampler/kernel_table.h"
#include "dsp/resampler/output_count.h"

namespace sonvex {

namespace {

std::atomic<size_t> g_allocationLimit{SIZE_MAX};

// Output frames per work chunk; the input chunk is sized to hold their kernels.
constexpr int64_t kChunkOutputs = 1024;
constexpr int64_t kChunkBaseFrames = 1024;
// Beyond this ratio a group of output frames spans too much input for the lane layout to pay.
constexpr int32_t kMaxVectorStep = kPhaseCount * 64;
constexpr int kMaxSplitRows = kMaxVectorStep / kPhaseCount;
constexpr size_t kMaxGroupTableBytes = size_t{64} << 20;

// The core's own tables and work buffers: count elements, refused above the testing limit.
template <class T>
bool Allocate(WorkArray<T>& array, int64_t count) {
    if (count > 0 && static_cast<uint64_t>(count) > g_allocationLimit.load() / sizeof(T)) {
        array.Reset();
        return false;
    }
    return array.Allocate(count);
}

int32_t GreatestCommonDivisor(int32_t a, int32_t b) {
    while (b != 0) {
        const int32_t t = a % b;
        a = b;
        b = t;
    }
    return a;
}

int64_t RoundUp(int64_t value, int64_t multiple) { return (value + multiple - 1) / multiple * multiple; }

// De-interleaves `frames` frames from `offset` samples behind the queue's oldest one on straight
// out of its ring; a frame that straddles the ring's end goes through a copy of its own. The
// caller has checked that the queue holds them.
void DeinterleaveQueued(const CAudioQueue& queue, int64_t offset, int channels, int64_t frames, float* const* rows) {
    queue.ReadInPlace(offset, frames * channels, [&](const CAudioQueue::Runs& runs) {
        const int64_t head = runs.firstCount / channels;
        audio::Deinterleave(runs.first, channels, head, rows);
        if (head == frames) return;
        float* rest[kMaxChannels];
        for (int c = 0; c < channels; ++c) rest[c] = rows[c] + head;
        const int64_t split = runs.firstCount - head * channels;  // the straddling frame's samples before the end
        const float* second = runs.second;
        int64_t tail = frames - head;
        if (split > 0) {
            float frame[kMaxChannels];
            std::memcpy(frame, runs.first + head * channels, static_cast<size_t>(split) * sizeof(float));
            std::memcpy(frame + split, second, static_cast<size_t>(channels - split) * sizeof(float));
            audio::Deinterleave(frame, channels, 1, rest);
            for (int c = 0; c < channels; ++c) ++rest[c];
            second += channels - split;
            --tail;
        }
        audio::Deinterleave(second, channels, tail, rest);
    });
}

}  // namespace

void CResamplerCore::LimitAllocationsForTesting(size_t bytes) { g_allocationLimit.store(bytes); }

CResamplerCore::CResamplerCore() = default;

CResamplerCore::~CResamplerCore() = default;

void CResamplerCore::ReleaseTables() {
    // Before the next tables are built, so that the old and new ones are never held together.
    m_pfKernel.Reset();
    ReleaseGroupTables();
    m_pfRows.Reset();
    m_pfLanes.Reset();
    m_pfPlanarOut.Reset();
    m_pJobs.Reset();
    m_pfPhaseRows.Reset();
    m_pnTapOffsets.Reset();
    m_bWholeStep = false;
    m_bDirect = false;
    m_nLanes = 1;
    m_pInterpolation = nullptr;
}

int32_t CResamplerCore::Initialize(int32_t nOrigRate, int32_t nNewRate, int16_t nOrigChannels,
                                   int16_t nNewChannels, int16_t nKernelLength) {
    if (IsInitialized() && nOrigRate == m_nOrigRate && nNewRate == m_nNewRate &&
        nOrigChannels == m_nOrigChannels && nNewChannels == m_nNewChannels &&
        nKernelLength == m_nKernelLength)
        return ResamplerOk;

    if (!IsValidKernelLength(nKernelLength)) {
        ReleaseTables();
        return ResamplerBadKernelLength;
    }
    // The step (nOrigRate * 4096) / nNewRate is computed in 32 bits and divides the positions:
    // it must neither overflow nor truncate to zero.
    const int32_t step = ComputeStep(nOrigRate, nNewRate);
    if (step == 0 || nOrigChannels < 1 || nOrigChannels > kMaxChannels || nNewChannels < 1 ||
        nNewChannels > kMaxChannels)
        return ResamplerBadArgument;

    ReleaseTables();
    if (!Allocate(m_pfKernel, static_cast<int64_t>(kPhaseCount) * nKernelLength)) return ResamplerNoMemory;

    m_nOrigRate = nOrigRate;
    m_nNewRate = nNewRate;
    m_nOrigChannels = nOrigChannels;
    m_nNewChannels = nNewChannels;
    m_nKernelLength = nKernelLength;
    m_nHalfLength = sonvex::HalfLength(nKernelLength);
    m_fCutoff = ComputeCutoff(nOrigRate, nNewRate);
    BuildKernelTable(m_pfKernel.Get(), nKernelLength, m_fCutoff);
    m_nStep = step;

    // The routines of the active kernel version, chosen once here. Equal rates copy frames, and
    // a step too long for the lane layout takes the plain loop, as does a table too large to
    // interleave: it does the same work.
    const InterpolationRoutines* routines = ActiveInterpolationRoutines();
    if (nOrigRate == nNewRate || m_nStep > kMaxVectorStep) routines = nullptr;
    // Whether a set's direct routine reaches every lane of this step: lane L - 1 reads frame
    // ((L - 1) * s) / 4096 of the group, one more if it carries.
    const auto reachesLanes = [&](const InterpolationRoutines* set) {
        return set->interpolateDirect && m_nStep % kPhaseCount != 0 &&
               (static_cast<int64_t>(set->lanes - 1) * m_nStep) / kPhaseCount + 1 < set->directSpan;
    };
    // A set without a routine for this step (the direct one alone, say, and a step it does not
    // reach) leaves it to its fallback.
    const auto takesStep = [&](const InterpolationRoutines* set) {
        if (m_nStep % kPhaseCount == 0) return set->interpolateWholeStep != nullptr;
        return set->interpolateGroups != nullptr || reachesLanes(set);
    };
    if (routines && !takesStep(routines)) routines = routines->fallback;
    m_pInterpolation = routines;
    m_nLanes = routines ? routines->lanes : 1;
    m_bWholeStep = m_nLanes > 1 && m_nStep % kPhaseCount == 0;
    if (m_nLanes > 1 && !m_bWholeStep && !BuildGroupTables()) {
        ReleaseGroupTables();
        m_pInterpolation = nullptr;
        m_nLanes = 1;
    }
    if (m_nLanes == 1 || m_bWholeStep) {
        for (int i = 0; i < kMaxLanes; ++i) m_anLaneBase[i] = 0;
    }
    // Where the set's direct routine reaches every lane, the groups read the rows themselves.
    m_bDirect = m_nLanes > 1 && !m_bWholeStep && reachesLanes(m_pInterpolation);

    if (!AllocateWork()) {
        ReleaseTables();
        return ResamplerNoMemory;
    }
    // Samples queued under another input layout would be read as misaligned frames for ever:
    // they go, and the silence starts a clean stream. Under the same layout they stay in front.
    const int64_t silence = static_cast<int64_t>(nOrigChannels) * m_nHalfLength;
    const bool queued = (m_nQueueChannels != 0 && m_nQueueChannels != nOrigChannels)
                            ? m_Queue.ReplaceWithSilence(silence)
                            : m_Queue.PushSilence(silence);
    if (!queued) {
        ReleaseTables();
        return ResamplerNoMemory;
    }
    m_nQueueChannels = nOrigChannels;
    m_llPosition = 0;
    m_llConsumed = 0;
    BuildMixMatrix(m_afMix, nOrigChannels, nNewChannels);
    return ResamplerOk;
}

bool CResamplerCore::BuildGroupTables() {
    const int32_t lanes = m_nLanes;
    const int32_t n = m_nKernelLength;
    const int32_t s = m_nStep;
    const int32_t groupAdvance = static_cast<int32_t>((static_cast<int64_t>(lanes) * s) % kPhaseCount);
    m_nGroupPhaseUnit = groupAdvance == 0 ? kPhaseCount : GreatestCommonDivisor(groupAdvance, kPhaseCount);
    const int32_t phases = kPhaseCount / m_nGroupPhaseUnit;
    const int64_t coefficientCount = static_cast<int64_t>(phases) * n * lanes;
    // The interleaved tables are as large as the kernel table; for very long kernels the
    // scalar loop over the one table is preferred to doubling an already large footprint.
    if (static_cast<uint64_t>(coefficientCount) * sizeof(float) > kMaxGroupTableBytes) return false;
    if (!Allocate(m_pfGroupCoefficients, coefficientCount) ||
        !Allocate(m_pnGroupMasks, static_cast<int64_t>(phases) * lanes))
        return false;
    m_bLaneCarry = false;

    for (int32_t i = 0; i < kMaxLanes; ++i)
        m_anLaneBase[i] = i < lanes ? static_cast<int32_t>((static_cast<int64_t>(i) * s) / kPhaseCount) : 0;
    // Slot m holds the start phase of the stream's group m (m * L * s mod 4096), so that the
    // groups of a chunk read their coefficients one after the other from memory.
    for (int32_t m = 0; m < phases; ++m) {
        const int64_t r = (static_cast<int64_t>(m) * groupAdvance) % kPhaseCount;
        float* coefficients = m_pfGroupCoefficients.Get() + static_cast<int64_t>(m) * n * lanes;
        int32_t* mask = m_pnGroupMasks.Get() + static_cast<int64_t>(m) * lanes;
        for (int32_t i = 0; i < lanes; ++i) {
            const int64_t offset = static_cast<int64_t>(i) * s;
            const int64_t laneFraction = offset % kPhaseCount;
            const int64_t lanePhase = (r + laneFraction) % kPhaseCount;
            // The lane's tap 0 lies one frame further than its base when the fractions carry.
            mask[i] = (r + laneFraction >= kPhaseCount) ? -1 : 0;
            if (mask[i]) m_bLaneCarry = true;
            const float* source = m_pfKernel.Get() + lanePhase * n;
            for (int32_t t = 0; t < n; ++t) coefficients[static_cast<int64_t>(t) * lanes + i] = source[t];
        }
    }
    return true;
}

bool CResamplerCore::AllocateWork() {
    const int64_t n = m_nKernelLength;
    // Frames one group reads beyond those of its first lane: the last lane's base and its carry.
    const int64_t groupSpan = m_anLaneBase[m_nLanes - 1] + 2;
    m_nChunkFrames = kChunkBaseFrames + n + 1 + groupSpan;
    m_nChunkOutputs = kChunkOutputs;
    // A chunk's first group may start up to a group's span before the chunk's first frame and its
    // last one reach as far past its last frame: their lanes outside the chunk's outputs read
    // the padding on either side of the row and are never stored. The direct routines read up to
    // directSpan frames from a tap's first lane on, and the whole 64-byte lines of the frames they
    // read: the rows start on lines (front and stride are whole lines).
    m_nRowFront = m_nLanes > 1 ? RoundUp(groupSpan, 16) : 0;
    m_nRowStride = m_nRowFront +
                   RoundUp(m_nChunkFrames + groupSpan + 16 + (m_bDirect ? m_pInterpolation->directSpan : 0), 16);
    m_nPlanarStride = m_nChunkOutputs + 2 * m_nLanes;
    const int64_t rowCount = m_nOrigChannels > m_nNewChannels ? m_nOrigChannels : m_nNewChannels;
    if (m_bWholeStep) {
        const int64_t rowsPerChannel = m_nStep / kPhaseCount;
        m_nPhaseRowStride = RoundUp(m_nChunkFrames / rowsPerChannel + 2 + 16 + m_nLanes, 16);
        if (!Allocate(m_pfPhaseRows, m_nPhaseRowStride * rowsPerChannel * m_nNewChannels) ||
            !Allocate(m_pnTapOffsets, n))
            return false;
        std::memset(m_pfPhaseRows.Get(), 0, m_pfPhaseRows.Bytes());
        for (int64_t t = 0; t < n; ++t)
            m_pnTapOffsets.Get()[t] = (t % rowsPerChannel) * m_nPhaseRowStride + t / rowsPerChannel;
    }
    if (!Allocate(m_pfRows, m_nRowStride * rowCount) ||
        !Allocate(m_pfLanes, m_nLanes > 1 && !m_bDirect ? m_nRowStride * m_nLanes * m_nNewChannels : 1) ||
        !Allocate(m_pfPlanarOut, m_nPlanarStride * m_nNewChannels) || !Allocate(m_pJobs, m_nChunkOutputs / m_nLanes + 2))
        return false;
    std::memset(m_pfRows.Get(), 0, m_pfRows.Bytes());
    std::memset(m_pfLanes.Get(), 0, m_pfLanes.Bytes());
    return true;
}

int32_t CResamplerCore::AddSamples(const float* samples, int64_t count) {
    if (count < 0 || (count > 0 && !samples)) return ResamplerBadArgument;
    if (count == 0) return ResamplerOk;
    return m_Queue.Push(samples, count) ? ResamplerOk : ResamplerNoMemory;
}

int32_t CResamplerCore::CountOutputFrames(int64_t* frames) const {
    if (!frames) return ResamplerBadArgument;
    if (!IsInitialized()) return ResamplerNotInitialized;
    *frames = CountQueued().outputs;
    return ResamplerOk;
}

OutputCount CResamplerCore::CountQueued() const {
    return CountQueuedOutputs(m_Queue.GetCount(), m_nOrigChannels, m_llConsumed, m_nKernelLength, m_nStep);
}

int32_t CResamplerCore::Reset() {
    if (!IsInitialized()) return ResamplerNotInitialized;
    const int64_t silence = static_cast<int64_t>(m_nOrigChannels) * m_nHalfLength;
    if (!m_Queue.ReplaceWithSilence(silence)) return ResamplerNoMemory;
    m_nQueueChannels = m_nOrigChannels;
    return ResamplerOk;
}

int32_t CResamplerCore::ProduceFrames(float* out, int64_t frames) {
    if (!IsInitialized()) return ResamplerNotInitialized;
    const OutputCount counted = CountQueued();
    const int64_t outputs = counted.outputs;
    if (frames != outputs) return ResamplerBadArgument;
    if (outputs == 0) return ResamplerOk;
    if (!out) return ResamplerBadArgument;

    const int64_t whole = counted.wholeFrames;
    const int64_t consumed = m_llConsumed;
    const int64_t s = m_nStep;
    const int64_t span = SpanFrames(m_nKernelLength, m_nOrigRate == m_nNewRate);
    int64_t position = m_llPosition;
    int64_t produced = 0;
    while (produced < outputs) {
        const int64_t first = (position >> kPhaseShift) - consumed;
        int64_t frameCount = whole - first;
        if (frameCount > m_nChunkFrames) frameCount = m_nChunkFrames;
        // The outputs whose whole span lies inside this chunk; the position is a multiple of
        // the step, the index of the next output times s.
        int64_t count = OutputsBefore(consumed + first + frameCount - span + 1, m_nStep) - position / s;
        if (count > outputs - produced) count = outputs - produced;
        if (count > m_nChunkOutputs) count = m_nChunkOutputs;
        if (count < outputs - produced && m_nLanes > 1) {
            // Chunks other than the last end on a group boundary of the stream, so that only a
            // call's first and last groups are computed in part.
            const int64_t end = (position / s + count) / m_nLanes * m_nLanes - position / s;
            if (end > 0) count = end;
        }
        ProduceChunk(out + produced * m_nNewChannels, first, frameCount, count, position);
        position += count * s;
        produced += count;
    }
    // Only now does input leave the queue: the last n frames stay as history, and any partial
    // frame behind them stays where it was.
    m_Queue.Discard(counted.retired * m_nOrigChannels);
    m_llPosition = position;
    m_llConsumed = consumed + counted.retired;
    return ResamplerOk;
}

void CResamplerCore::ProduceChunk(float* out, int64_t firstFrame, int64_t frames, int64_t outputs,
                                  int64_t position) {
    const int origChannels = m_nOrigChannels;
    const int newChannels = m_nNewChannels;
    float* planar[kMaxChannels];
    for (int c = 0; c < newChannels; ++c) planar[c] = m_pfPlanarOut.Get() + c * m_nPlanarStride + m_nLanes;
    const int64_t rowsPerChannel = m_nStep / kPhaseCount;
    if (m_bWholeStep && origChannels == newChannels && origChannels * rowsPerChannel <= kMaxChannels) {
        // With no channels to mix, D frames of C samples are one frame of D * C samples whose
        // channel r * C + c is phase row r of channel c: the rows come straight from the queue.
        float* destinations[kMaxChannels];
        for (int c = 0; c < newChannels; ++c)
            for (int64_t r = 0; r < rowsPerChannel; ++r) destinations[r * newChannels + c] = PhaseRow(c, r);
        const int shared = static_cast<int>(rowsPerChannel) * newChannels;
        const int64_t common = frames / rowsPerChannel;
        DeinterleaveQueued(m_Queue, firstFrame * origChannels, shared, common, destinations);
        float last[kMaxChannels];
        const int64_t rest = (frames - common * rowsPerChannel) * newChannels;
        m_Queue.Peek(last, (firstFrame + common * rowsPerChannel) * origChannels, rest);
        for (int64_t i = 0; i < rest; ++i) destinations[i][common] = last[i];
        InterpolateWholeStep(outputs, planar);
        audio::Interleave(planar, newChannels, outputs, out);
        return;
    }

    const int rowCount = origChannels > newChannels ? origChannels : newChannels;
    float* rows[kMaxChannels];
    for (int c = 0; c < rowCount; ++c) rows[c] = m_pfRows.Get() + c * m_nRowStride + m_nRowFront;
    DeinterleaveQueued(m_Queue, firstFrame * origChannels, origChannels, frames, rows);
    if (origChannels != newChannels) MixChannels(m_afMix, origChannels, newChannels, rows, frames);
    // Lanes may read a little past the chunk; what they read there is zero.
    for (int c = 0; c < newChannels; ++c)
        std::memset(rows[c] + frames, 0, static_cast<size_t>(m_nRowStride - m_nRowFront - frames) * sizeof(float));

    if (m_nOrigRate == m_nNewRate) {
        // s = 4096: output k is frame M + k of its span, with no delay and no filtering.
        const float* centred[kMaxChannels];
        for (int c = 0; c < newChannels; ++c) centred[c] = rows[c] + m_nHalfLength;
        audio::Interleave(centred, newChannels, outputs, out);
        return;
    }
    if (m_bWholeStep) {
        // Row r of a channel holds its frames r, r + D, r + 2D, ... up to the last one an output
        // reads: a de-interleave of D "channels" for the frames all rows share, then the rows'
        // last entries.
        const int64_t last = rowsPerChannel * (outputs - 1) + m_nKernelLength - 1;
        const int64_t common = (last + 1) / rowsPerChannel;
        for (int c = 0; c < newChannels; ++c) {
            float* destinations[kMaxSplitRows];
            for (int64_t r = 0; r < rowsPerChannel; ++r) destinations[r] = PhaseRow(c, r);
            audio::Deinterleave(rows[c], static_cast<int>(rowsPerChannel), common, destinations);
            for (int64_t r = 0; r + rowsPerChannel * common <= last; ++r)
                destinations[r][common] = rows[c][r + rowsPerChannel * common];
        }
        InterpolateWholeStep(outputs, planar);
    } else {
        InterpolateChunk(rows, m_llConsumed + firstFrame, position, outputs, planar);
    }
    audio::Interleave(planar, newChannels, outputs, out);
}

float* CResamplerCore::PhaseRow(int channel, int64_t row) {
    return m_pfPhaseRows.Get() + (channel * (m_nStep / kPhaseCount) + row) * m_nPhaseRowStride;
}

void CResamplerCore::InterpolateWholeStep(int64_t outputs, float* const* planar) {
    // Whole groups of L outputs: the lanes of the last one past the chunk's outputs read what
    // lies behind the phase rows' entries and land in the padding of the planar rows.
    const float* phaseRows[kMaxChannels];
    for (int c = 0; c < m_nNewChannels; ++c) phaseRows[c] = PhaseRow(c, 0);
    const float* phaseZero = m_pfKernel.Get();
    m_pInterpolation->interpolateWholeStep(phaseRows, m_nNewChannels, m_pnTapOffsets.Get(), phaseZero, m_nKernelLength,
                                           (outputs + m_nLanes - 1) / m_nLanes, planar);
}

void CResamplerCore::InterpolateChunk(float* const* rows, int64_t rowFirst, int64_t position,
                                      int64_t outputs, float* const* planar) {
    const int32_t n = m_nKernelLength;
    const int64_t s = m_nStep;
    const int channels = m_nNewChannels;
    const int64_t lanes = m_nLanes;
    if (lanes == 1) {
        // The plain loop, four outputs in flight: each sum is ApplyKernel's, and the four chains
        // of additions overlap instead of waiting on one another.
        constexpr int kBatch = 4;
        int64_t k = 0;
        for (; k + kBatch <= outputs; k += kBatch) {
            const float* coefficients[kBatch];
            int64_t first[kBatch];
            for (int j = 0; j < kBatch; ++j) {
                const int64_t p = position + (k + j) * s;
                coefficients[j] = m_pfKernel.Get() + (p & (kPhaseCount - 1)) * n;
                first[j] = (p >> kPhaseShift) - rowFirst;
            }
            for (int c = 0; c < channels; ++c) {
                const float* row = rows[c];
                float sum[kBatch];
                for (int j = 0; j < kBatch; ++j) sum[j] = coefficients[j][0] * row[first[j]];
                for (int32_t t = 1; t < n; ++t)
                    for (int j = 0; j < kBatch; ++j) sum[j] = sum[j] + coefficients[j][t] * row[first[j] + t];
                for (int j = 0; j < kBatch; ++j) planar[c][k + j] = sum[j];
            }
        }
        for (; k < outputs; ++k) {
            const int64_t p = position + k * s;
            const float* coefficients = m_pfKernel.Get() + (p & (kPhaseCount - 1)) * n;
            const int64_t first = (p >> kPhaseShift) - rowFirst;
            for (int c = 0; c < channels; ++c) planar[c][k] = ApplyKernel(coefficients, rows[c] + first, n);
        }
        return;
    }
    // Groups start at stream outputs that are multiples of L, so their start phases are the few
    // the group table holds: the chunk's first group starts up to L - 1 outputs before it.
    const int64_t streamIndex = position / s;
    const int64_t firstGroup = streamIndex / lanes;
    const int64_t before = streamIndex - firstGroup * lanes;
    const int64_t groups = (before + outputs + lanes - 1) / lanes;
    const int64_t groupPosition = position - before * s;
    GroupJob* jobs = m_pJobs.Get();
    const int64_t lowRow = (groupPosition >> kPhaseShift) - rowFirst;
    int64_t highRow = lowRow;
    // The table slot of the chunk's first group; each group takes the next one.
    const int64_t phases = kPhaseCount / m_nGroupPhaseUnit;
    int64_t slot = firstGroup % phases;
    for (int64_t g = 0; g < groups; ++g) {
        const int64_t p = groupPosition + g * lanes * s;
        jobs[g].coefficients = m_pfGroupCoefficients.Get() + slot * n * lanes;
        jobs[g].mask = m_pnGroupMasks.Get() + slot * lanes;
        jobs[g].row = ((p >> kPhaseShift) - rowFirst) - lowRow;
        highRow = jobs[g].row + lowRow;
        if (++slot == phases) slot = 0;
    }
    const float* laneRows[kMaxChannels];
    float* groupOut[kMaxChannels];
    for (int c = 0; c < channels; ++c) groupOut[c] = planar[c] - before;
    if (m_bDirect) {
        for (int c = 0; c < channels; ++c) laneRows[c] = rows[c] + lowRow;
        m_pInterpolation->interpolateDirect(laneRows, channels, m_anLaneBase, jobs, groups, n, groupOut);
        return;
    }
    const int64_t spreadRows = highRow - lowRow + n + 1;
    for (int c = 0; c < channels; ++c) {
        float* spread = m_pfLanes.Get() + c * m_nRowStride * lanes;
        m_pInterpolation->spreadLanes(rows[c] + lowRow, m_anLaneBase, spreadRows, spread);
        laneRows[c] = spread;
    }
    m_pInterpolation->interpolateGroups(laneRows, channels, jobs, groups, n, m_bLaneCarry, groupOut);
}

void CResamplerCore::ReleaseGroupTables() {
    m_pfGroupCoefficients.Reset();
    m_pnGroupMasks.Reset();
}

size_t CResamplerCore::MemoryBytes() const {
    size_t bytes = sizeof(*this) + m_pfKernel.Bytes() + m_pfGroupCoefficients.Bytes() + m_pnGroupMasks.Bytes();
    bytes += m_pfRows.Bytes() + m_pfLanes.Bytes() + m_pfPlanarOut.Bytes() + m_pJobs.Bytes() +
             m_pfPhaseRows.Bytes() + m_pnTapOffsets.Bytes();
    bytes += static_cast<size_t>(m_Queue.GetCapacity()) * sizeof(float);
    return bytes;
}

}  // namespace sonvex
