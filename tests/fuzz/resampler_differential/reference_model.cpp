#include "tests/fuzz/resampler_differential/reference_model.h"

#include "tests/support/reference_resampler.h"

namespace sonvex_fuzz {

struct ReferenceModel::State {
    sonvex_test::ReferenceResampler model;
};

ReferenceModel::ReferenceModel(int32_t origRate, int32_t newRate, int origChannels, int newChannels,
                               int32_t kernelLength)
    : m_state(new State) {
    m_state->model.Initialize(origRate, newRate, origChannels, newChannels, kernelLength);
}

ReferenceModel::~ReferenceModel() = default;

void ReferenceModel::Add(const float* samples, size_t count) { m_state->model.Add(samples, count); }

void ReferenceModel::Get(std::vector<float>& out) { m_state->model.Get(out); }

void ReferenceModel::Reset() { m_state->model.Reset(); }

}  // namespace sonvex_fuzz
