// The scalar model of the resampler tests behind a small interface, in a translation unit of
// its own that is compiled without coverage instrumentation.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace sonvex_fuzz {

class ReferenceModel {
public:
    ReferenceModel(int32_t origRate, int32_t newRate, int origChannels, int newChannels, int32_t kernelLength);
    ~ReferenceModel();
    void Add(const float* samples, size_t count);
    // The outputs now due, into `out` (its storage is reused).
    void Get(std::vector<float>& out);
    void Reset();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace sonvex_fuzz
