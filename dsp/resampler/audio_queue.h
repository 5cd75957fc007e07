// CAudioQueue: the first-in first-out store of float samples in front of the resampler.
// A growing ring: 2048 samples at first, grown additively by max(2048, n) before a store
// would fill it, compacted on growth, never shrunk. Every operation holds one re-entrant lock.
#pragma once
#include <cstdint>
#include <mutex>

namespace sonvex {

// A re-entrant lock that gives back all it took. std::recursive_mutex alone does not under
// MinGW's POSIX threads: its first lock makes a small object that its destructor leaves behind.
class CReentrantLock {
public:
    CReentrantLock() = default;
    ~CReentrantLock();
    CReentrantLock(const CReentrantLock&) = delete;
    CReentrantLock& operator=(const CReentrantLock&) = delete;
    void lock() { m_Mutex.lock(); }
    void unlock() { m_Mutex.unlock(); }

private:
    std::recursive_mutex m_Mutex;
};

class CAudioQueue {
public:
    static constexpr int64_t kInitialCapacity = 2048;
    static constexpr int64_t kGrowBy = 2048;

    CAudioQueue();
    virtual ~CAudioQueue();
    CAudioQueue(const CAudioQueue&) = delete;
    CAudioQueue& operator=(const CAudioQueue&) = delete;

    // Samples held. The counts are 64-bit: a stream of 48 kHz stereo would need millions of
    // years to exhaust them, so the queue works for streams of any practical length.
    int64_t GetCount() const;
    int64_t GetCapacity() const;

    // Both counts become 0; capacity and storage stay.
    void Clear();

    // Stores append in order. They return false, with the queue unchanged, when the ring
    // would have to grow and the allocation fails (or n is negative).
    bool Push(const float* samples, int64_t n);
    bool PushSample(float value);
    bool PushSilence(int64_t n);

    // Takes the min(n, GetCount()) oldest samples into dest and returns how many it took.
    int64_t Pop(float* dest, int64_t n);
    // Removes and returns the oldest sample; 0.0f when the queue is empty.
    float PopSample();

    // Copies n samples starting `offset` samples behind the oldest one without removing them.
    // False (nothing written) when the range is not held.
    bool Peek(float* dest, int64_t offset, int64_t n) const;
    // Calls read(runs) with the n samples from `offset` behind the oldest one on as they lie in
    // the ring, for reading them without a copy: one run, or two where the range wraps the
    // ring's end (the second empty otherwise). The queue's lock is held meanwhile, so that no
    // store can move them. False (read not called) when the range is not held.
    struct Runs {
        const float* first;
        int64_t firstCount;
        const float* second;
        int64_t secondCount;
    };
    template <class Read>
    bool ReadInPlace(int64_t offset, int64_t n, Read&& read) const {
        std::lock_guard<CReentrantLock> hold(m_Lock);
        Runs runs{};
        if (!RunsOf(offset, n, &runs)) return false;
        read(static_cast<const Runs&>(runs));
        return true;
    }
    // Retires the min(n, GetCount()) oldest samples; returns how many.
    int64_t Discard(int64_t n);

    // Clear followed by PushSilence(n) as one step that either happens whole or not at all:
    // the growth (if any) is allocated before anything is dropped.
    bool ReplaceWithSilence(int64_t n);

    // Tests only: restart an empty queue's counts at `count` to exercise counts far along a
    // stream without storing that many samples.
    void SetCountsForTesting(int64_t count);

private:
    bool Grow(int64_t n);
    int64_t RingIndex(int64_t count) const { return count % m_nCapacity; }
    void CopyOut(int64_t fromCount, float* dest, int64_t n) const;
    bool RunsOf(int64_t offset, int64_t n, Runs* runs) const;  // under the lock
    void CopyIn(const float* src, int64_t n);
    void FillZero(int64_t n);

    mutable CReentrantLock m_Lock;
    int64_t m_nReadCount = 0;
    int64_t m_nWriteCount = 0;
    int64_t m_nCapacity = 0;
    float* m_pfBuffer = nullptr;
    int64_t m_nGrowBy = kGrowBy;
};

}  // namespace sonvex
