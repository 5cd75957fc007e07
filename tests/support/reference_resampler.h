// A straightforward scalar model of the resampler, kept in the tests as the oracle of the
// queue, the counting rule, the channel conversion and the interpolation: a plain vector as the
// queue, every call takes all whole frames out and puts the last n back (with any partial frame
// after them), every output summed tap by tap. The kernel table is the one the core builds (its
// own test checks its properties).
#pragma once
#include <cmath>
#include <cstdint>
#include <vector>

#include "dsp/resampler/channel_mixer.h"
#include "dsp/resampler/kernel_table.h"

namespace sonvex_test {

class ReferenceResampler {
public:
    void Initialize(int32_t origRate, int32_t newRate, int origChannels, int newChannels, int32_t n) {
        m_origRate = origRate;
        m_newRate = newRate;
        m_origChannels = origChannels;
        m_newChannels = newChannels;
        m_n = n;
        m_half = (n + 1) / 2;
        double fc = static_cast<double>(newRate) / origRate;
        if (fc > 1.0) fc = 1.0;
        m_table.assign(static_cast<size_t>(4096) * n, 0.0f);
        sonvex::BuildKernelTable(m_table.data(), n, static_cast<float>(fc));
        m_step = static_cast<int32_t>(static_cast<int64_t>(origRate) * 4096 / newRate);
        m_position = 0;
        m_consumed = 0;
        m_queue.insert(m_queue.end(), static_cast<size_t>(origChannels) * m_half, 0.0f);
        sonvex::BuildMixMatrix(m_mix, origChannels, newChannels);
    }

    void Add(const float* samples, size_t count) { m_queue.insert(m_queue.end(), samples, samples + count); }

    std::vector<float> Get() {
        std::vector<float> out;
        Get(out);
        return out;
    }

    // The same into the caller's vector, whose storage (like the rows') is kept from call to call.
    void Get(std::vector<float>& out) {
        out.clear();
        const int64_t frames = static_cast<int64_t>(m_queue.size()) / m_origChannels;
        const int64_t available = frames - m_n;
        const int64_t first = (m_consumed * 4096 + m_step - 1) / m_step;
        const int64_t end = ((m_consumed + available) * 4096 + m_step - 1) / m_step;
        const int64_t outputs = end - first;
        if (outputs <= 0) return;
        const int rowCount = m_origChannels > m_newChannels ? m_origChannels : m_newChannels;
        // Every element read below is written first in this call.
        std::vector<std::vector<float>>& rows = m_rows;
        rows.resize(static_cast<size_t>(rowCount));
        for (std::vector<float>& row : rows) row.resize(static_cast<size_t>(frames));
        for (int64_t f = 0; f < frames; ++f)
            for (int c = 0; c < m_origChannels; ++c) rows[c][f] = m_queue[f * m_origChannels + c];
        // The last n frames stay as history, and a partial frame after them stays too.
        m_queue.erase(m_queue.begin(), m_queue.begin() + available * m_origChannels);
        if (m_origChannels != m_newChannels) {
            for (int64_t f = 0; f < frames; ++f) {
                float accumulators[8] = {};
                for (int o = 0; o < m_newChannels; ++o)
                    for (int c = 0; c < m_origChannels; ++c)
                        accumulators[o] = accumulators[o] + rows[c][f] * m_mix[c][o];
                for (int o = 0; o < m_newChannels; ++o) rows[o][f] = accumulators[o];
            }
        }
        out.resize(static_cast<size_t>(outputs) * m_newChannels);
        for (int64_t k = 0; k < outputs; ++k) {
            if (m_origRate == m_newRate) {
                for (int c = 0; c < m_newChannels; ++c) out[k * m_newChannels + c] = rows[c][m_half + k];
                continue;
            }
            const int64_t phase = m_position % 4096;
            const int64_t d = m_position / 4096 - m_consumed;
            for (int c = 0; c < m_newChannels; ++c) {
                const float* coefficients = &m_table[phase * m_n];
                float sum = coefficients[0] * rows[c][d];
                for (int32_t t = 1; t < m_n; ++t) sum = sum + coefficients[t] * rows[c][d + t];
                out[k * m_newChannels + c] = sum;
            }
            m_position += m_step;
        }
        m_consumed += available;
    }

    // Clear the queue and put M silent frames in; position and counters stay.
    void Reset() { m_queue.assign(static_cast<size_t>(m_origChannels) * m_half, 0.0f); }

    const std::vector<float>& Queue() const { return m_queue; }
    int32_t Step() const { return m_step; }
    int64_t Consumed() const { return m_consumed; }
    const std::vector<float>& Table() const { return m_table; }

private:
    int32_t m_origRate = 0, m_newRate = 0, m_n = 0, m_half = 0, m_step = 0;
    int m_origChannels = 0, m_newChannels = 0;
    int64_t m_position = 0, m_consumed = 0;
    float m_mix[8][8] = {};
    std::vector<float> m_table;
    std::vector<float> m_queue;
    std::vector<std::vector<float>> m_rows;
};

}  // namespace sonvex_test
