#include "dsp/resampler/audio_queue.h"

#include <cstddef>
#include <cstring>
#include <new>
#if defined(__MINGW32__) && defined(_GLIBCXX_HAS_GTHREADS)
#include <pthread.h>
#endif

namespace sonvex {

CReentrantLock::~CReentrantLock() {
#if defined(__MINGW32__) && defined(_GLIBCXX_HAS_GTHREADS)
    // The mutex starts as a static initialiser; winpthreads makes its object on the first lock.
    pthread_mutex_destroy(m_Mutex.native_handle());
#endif
}

namespace {

float* AllocateSamples(int64_t n) {
    if (n <= 0 || static_cast<uint64_t>(n) > SIZE_MAX / sizeof(float)) return nullptr;
    return new (std::nothrow) float[static_cast<size_t>(n)];
}

}  // namespace

CAudioQueue::CAudioQueue() {
    // Without the first 2048 floats the queue starts with no ring; the first store grows it.
    m_pfBuffer = AllocateSamples(kInitialCapacity);
    m_nCapacity = m_pfBuffer ? kInitialCapacity : 0;
}

CAudioQueue::~CAudioQueue() { delete[] m_pfBuffer; }

int64_t CAudioQueue::GetCount() const {
    // Under the lock: a 64-bit read is not a single load in the 32-bit build.
    std::lock_guard<CReentrantLock> hold(m_Lock);
    return m_nWriteCount - m_nReadCount;
}

int64_t CAudioQueue::GetCapacity() const {
    std::lock_guard<CReentrantLock> hold(m_Lock);
    return m_nCapacity;
}

void CAudioQueue::Clear() {
    std::lock_guard<CReentrantLock> hold(m_Lock);
    m_nReadCount = 0;
    m_nWriteCount = 0;
}

void CAudioQueue::CopyOut(int64_t fromCount, float* dest, int64_t n) const {
    if (n <= 0) return;
    const int64_t r = RingIndex(fromCount);
    const int64_t first = (r + n < m_nCapacity) ? n : m_nCapacity - r;
    std::memcpy(dest, m_pfBuffer + r, static_cast<size_t>(first) * sizeof(float));
    if (n > first) std::memcpy(dest + first, m_pfBuffer, static_cast<size_t>(n - first) * sizeof(float));
}

void CAudioQueue::CopyIn(const float* src, int64_t n) {
    const int64_t w = RingIndex(m_nWriteCount);
    const int64_t first = (w + n < m_nCapacity) ? n : m_nCapacity - w;
    std::memcpy(m_pfBuffer + w, src, static_cast<size_t>(first) * sizeof(float));
    if (n > first) std::memcpy(m_pfBuffer, src + first, static_cast<size_t>(n - first) * sizeof(float));
    m_nWriteCount += n;
}

void CAudioQueue::FillZero(int64_t n) {
    const int64_t w = RingIndex(m_nWriteCount);
    const int64_t first = (w + n < m_nCapacity) ? n : m_nCapacity - w;
    std::memset(m_pfBuffer + w, 0, static_cast<size_t>(first) * sizeof(float));
    if (n > first) std::memset(m_pfBuffer, 0, static_cast<size_t>(n - first) * sizeof(float));
    m_nWriteCount += n;
}

bool CAudioQueue::Grow(int64_t n) {
    std::lock_guard<CReentrantLock> hold(m_Lock);
    const int64_t step = n > m_nGrowBy ? n : m_nGrowBy;
    if (step > INT64_MAX / 8 - m_nCapacity) return false;
    const int64_t newCapacity = m_nCapacity + step;
    float* fresh = AllocateSamples(newCapacity);
    if (!fresh) return false;
    // Held samples move, oldest first, to the start of the new ring.
    const int64_t held = m_nWriteCount - m_nReadCount;
    if (m_pfBuffer) CopyOut(m_nReadCount, fresh, held);
    delete[] m_pfBuffer;
    m_pfBuffer = fresh;
    m_nCapacity = newCapacity;
    m_nReadCount = 0;
    m_nWriteCount = held;
    return true;
}

bool CAudioQueue::Push(const float* samples, int64_t n) {
    if (n < 0 || (n > 0 && !samples)) return false;
    if (n == 0) return true;
    std::lock_guard<CReentrantLock> hold(m_Lock);
    // The ring grows before it would become full: after every store at least one slot is free.
    if (m_nWriteCount - m_nReadCount + n >= m_nCapacity && !Grow(n)) return false;
    CopyIn(samples, n);
    return true;
}

bool CAudioQueue::PushSample(float value) { return Push(&value, 1); }

bool CAudioQueue::PushSilence(int64_t n) {
    if (n < 0) return false;
    if (n == 0) return true;
    std::lock_guard<CReentrantLock> hold(m_Lock);
    if (m_nWriteCount - m_nReadCount + n >= m_nCapacity && !Grow(n)) return false;
    FillZero(n);
    return true;
}

int64_t CAudioQueue::Pop(float* dest, int64_t n) {
    std::lock_guard<CReentrantLock> hold(m_Lock);
    const int64_t held = m_nWriteCount - m_nReadCount;
    if (n > held) n = held;
    if (n <= 0 || !dest) return 0;
    CopyOut(m_nReadCount, dest, n);
    m_nReadCount += n;
    return n;
}

float CAudioQueue::PopSample() {
    float value = 0.0f;
    Pop(&value, 1);
    return value;
}

bool CAudioQueue::Peek(float* dest, int64_t offset, int64_t n) const {
    std::lock_guard<CReentrantLock> hold(m_Lock);
    const int64_t held = m_nWriteCount - m_nReadCount;
    if (offset < 0 || n < 0 || offset > held || n > held - offset || (n > 0 && !dest)) return false;
    CopyOut(m_nReadCount + offset, dest, n);
    return true;
}

bool CAudioQueue::RunsOf(int64_t offset, int64_t n, Runs* runs) const {
    const int64_t held = m_nWriteCount - m_nReadCount;
    if (offset < 0 || n < 0 || offset > held || n > held - offset) return false;
    if (n == 0) {
        *runs = Runs{m_pfBuffer, 0, m_pfBuffer, 0};
        return true;
    }
    const int64_t r = RingIndex(m_nReadCount + offset);
    const int64_t first = (r + n < m_nCapacity) ? n : m_nCapacity - r;
    *runs = Runs{m_pfBuffer + r, first, m_pfBuffer, n - first};
    return true;
}

int64_t CAudioQueue::Discard(int64_t n) {
    std::lock_guard<CReentrantLock> hold(m_Lock);
    const int64_t held = m_nWriteCount - m_nReadCount;
    if (n > held) n = held;
    if (n <= 0) return 0;
    m_nReadCount += n;
    return n;
}

bool CAudioQueue::ReplaceWithSilence(int64_t n) {
    if (n < 0) return false;
    std::lock_guard<CReentrantLock> hold(m_Lock);
    if (n >= m_nCapacity) {
        // Same capacity as Clear then PushSilence(n) would reach, but allocated first.
        const int64_t step = n > m_nGrowBy ? n : m_nGrowBy;
        if (step > INT64_MAX / 8 - m_nCapacity) return false;
        float* fresh = AllocateSamples(m_nCapacity + step);
        if (!fresh) return false;
        delete[] m_pfBuffer;
        m_pfBuffer = fresh;
        m_nCapacity += step;
    }
    m_nReadCount = 0;
    m_nWriteCount = 0;
    if (n > 0) FillZero(n);
    return true;
}

void CAudioQueue::SetCountsForTesting(int64_t count) {
    std::lock_guard<CReentrantLock> hold(m_Lock);
    if (m_nWriteCount != m_nReadCount || count < 0) return;
    m_nReadCount = count;
    m_nWriteCount = count;
}

}  // namespace sonvex
