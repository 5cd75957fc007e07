// The converters compared by the benchmark and the quality report, behind one streaming shape:
// feed a block of interleaved frames, append whatever output it yields. soxr is in every tree
// that has it; speexdsp and libsamplerate in the native tree (SONVEX_HAVE_NATIVE_PEERS).
#pragma once
#if defined(SONVEX_HAVE_NATIVE_PEERS)
#include <samplerate.h>
#include <speex/speex_resampler.h>
#endif
#include <soxr.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dsp/kernels/dispatch.h"
#include "dsp/kernels/kernels.h"
#include "dsp/resampler/kernel_table.h"
#include "dsp/resampler/resampler.h"


namespace sonvex_bench {

class Engine {
public:
    virtual ~Engine() = default;
    virtual std::string Name() const = 0;
    // Appends the output of this block to out; returns false on failure.
    virtual bool Process(const float* in, size_t frames, std::vector<float>& out) = 0;
    // Output rate actually realised (our step is truncated to 1/4096 frame).
    virtual double OutputRate() const = 0;
};

// Our core with the interpolation routines of the given kernel version (Baseline: the plain loop).
class CoreEngine : public Engine {
public:
    CoreEngine(int32_t in, int32_t outRate, int channels, int16_t n, sonvex::KernelVersion version)
        : m_channels(channels) {
        const sonvex::KernelVersion previous = sonvex::ActiveKernelVersion();
        sonvex::detail::ForceKernelVersion(version);
        m_ok = m_core.Initialize(in, outRate, static_cast<int16_t>(channels), static_cast<int16_t>(channels), n) ==
               sonvex::ResamplerOk;
        sonvex::detail::ForceKernelVersion(previous);
        m_name = std::string("ours n=") + std::to_string(n) + " (" + m_core.InterpolationName() + ")";
        m_rate = static_cast<double>(in) * 4096.0 / m_core.Step();
    }
    std::string Name() const override { return m_name; }
    bool Process(const float* in, size_t frames, std::vector<float>& out) override {
        if (!m_ok) return false;
        if (m_core.AddSamples(in, static_cast<int64_t>(frames) * m_channels) != sonvex::ResamplerOk) return false;
        int64_t produced = 0;
        if (m_core.CountOutputFrames(&produced) != sonvex::ResamplerOk) return false;
        const size_t at = out.size();
        out.resize(at + static_cast<size_t>(produced) * m_channels);
        return m_core.ProduceFrames(out.data() + at, produced) == sonvex::ResamplerOk;
    }
    double OutputRate() const override { return m_rate; }
    const sonvex::CResamplerCore& Core() const { return m_core; }

private:
    sonvex::CResamplerCore m_core;
    int m_channels;
    bool m_ok = false;
    std::string m_name;
    double m_rate = 0;
};

#if defined(SONVEX_HAVE_NATIVE_PEERS)
// Filter length per speexdsp quality (its documented table for ratios at or above 1).
inline int SpeexFilterLength(int quality) {
    static const int lengths[11] = {8, 16, 32, 48, 64, 80, 96, 128, 160, 192, 256};
    return lengths[quality];
}
inline int SpeexQualityClosestTo(int n) {
    int best = 0;
    for (int q = 1; q <= 10; ++q)
        if (std::abs(SpeexFilterLength(q) - n) < std::abs(SpeexFilterLength(best) - n)) best = q;
    return best;
}

class SpeexEngine : public Engine {
public:
    SpeexEngine(int32_t in, int32_t outRate, int channels, int quality) : m_channels(channels), m_rate(outRate) {
        int error = 0;
        m_state = speex_resampler_init(static_cast<spx_uint32_t>(channels), static_cast<spx_uint32_t>(in),
                                       static_cast<spx_uint32_t>(outRate), quality, &error);
        m_name = "speexdsp q" + std::to_string(quality) + " (len " + std::to_string(SpeexFilterLength(quality)) + ")";
    }
    ~SpeexEngine() override {
        if (m_state) speex_resampler_destroy(m_state);
    }
    std::string Name() const override { return m_name; }
    bool Process(const float* in, size_t frames, std::vector<float>& out) override {
        if (!m_state) return false;
        while (frames > 0) {
            spx_uint32_t inLen = static_cast<spx_uint32_t>(frames);
            spx_uint32_t outLen = static_cast<spx_uint32_t>(frames * 4 + 64);
            const size_t at = out.size();
            out.resize(at + static_cast<size_t>(outLen) * m_channels);
            if (speex_resampler_process_interleaved_float(m_state, in, &inLen, out.data() + at, &outLen) != 0)
                return false;
            out.resize(at + static_cast<size_t>(outLen) * m_channels);
            in += static_cast<size_t>(inLen) * m_channels;
            frames -= inLen;
            if (inLen == 0 && outLen == 0) return false;
        }
        return true;
    }
    double OutputRate() const override { return m_rate; }

private:
    SpeexResamplerState* m_state = nullptr;
    int m_channels;
    double m_rate;
    std::string m_name;
};

class SamplerateEngine : public Engine {
public:
    SamplerateEngine(int32_t in, int32_t outRate, int channels, int converter)
        : m_channels(channels), m_ratio(static_cast<double>(outRate) / in), m_rate(outRate) {
        int error = 0;
        m_state = src_new(converter, channels, &error);
        m_name = std::string("libsamplerate ") + src_get_name(converter);
    }
    ~SamplerateEngine() override {
        if (m_state) src_delete(m_state);
    }
    std::string Name() const override { return m_name; }
    bool Process(const float* in, size_t frames, std::vector<float>& out) override {
        if (!m_state) return false;
        while (frames > 0) {
            const long room = static_cast<long>(frames * m_ratio) + 256;
            const size_t at = out.size();
            out.resize(at + static_cast<size_t>(room) * m_channels);
            SRC_DATA data{};
            data.data_in = in;
            data.input_frames = static_cast<long>(frames);
            data.data_out = out.data() + at;
            data.output_frames = room;
            data.src_ratio = m_ratio;
            data.end_of_input = 0;
            if (src_process(m_state, &data) != 0) return false;
            out.resize(at + static_cast<size_t>(data.output_frames_gen) * m_channels);
            in += static_cast<size_t>(data.input_frames_used) * m_channels;
            frames -= static_cast<size_t>(data.input_frames_used);
            if (data.input_frames_used == 0 && data.output_frames_gen == 0) return false;
        }
        return true;
    }
    double OutputRate() const override { return m_rate; }

private:
    SRC_STATE* m_state = nullptr;
    int m_channels;
    double m_ratio, m_rate;
    std::string m_name;
};

#endif  // SONVEX_HAVE_NATIVE_PEERS

class SoxrEngine : public Engine {
public:
    SoxrEngine(int32_t in, int32_t outRate, int channels, unsigned long recipe, const char* label)
        : m_channels(channels), m_ratio(static_cast<double>(outRate) / in), m_rate(outRate) {
        soxr_error_t error = nullptr;
        // Null I/O and run-time settings are soxr's defaults: interleaved float, one thread.
        const soxr_quality_spec_t quality = soxr_quality_spec(recipe, 0);
        m_state = soxr_create(in, outRate, static_cast<unsigned>(channels), &error, nullptr, &quality, nullptr);
        if (error) m_state = nullptr;
        // The engine soxr picked for the recipe (cr32s: its SIMD path).
        m_name = std::string("soxr ") + label + " (" + (m_state ? soxr_engine(m_state) : "failed") + ")";
    }
    ~SoxrEngine() override {
        if (m_state) soxr_delete(m_state);
    }
    std::string Name() const override { return m_name; }
    bool Process(const float* in, size_t frames, std::vector<float>& out) override {
        if (!m_state) return false;
        while (frames > 0) {
            const size_t room = static_cast<size_t>(frames * m_ratio) + 256;
            const size_t at = out.size();
            out.resize(at + room * m_channels);
            size_t used = 0, done = 0;
            if (soxr_process(m_state, in, frames, &used, out.data() + at, room, &done) != nullptr) return false;
            out.resize(at + done * m_channels);
            in += used * m_channels;
            frames -= used;
            if (used == 0 && done == 0) return false;
        }
        return true;
    }
    double OutputRate() const override { return m_rate; }

private:
    soxr_t m_state = nullptr;
    int m_channels;
    double m_ratio, m_rate;
    std::string m_name;
};

}  // namespace sonvex_bench
