#include "engine_rack.h"

namespace yawp::render {

EngineRack::EngineRack(uint32_t channels, uint32_t max_block)
    : engines_(channels), mono_(max_block) {}

void EngineRack::start(const float* values, float sample_rate) {
    for (Engine& e : engines_) {
        e.initialise();
        for (uint32_t i = 0; i < catalogue::kInputCount; ++i) e.set_parameter(i, values[i]);
        e.set_sample_rate(sample_rate);
        e.reset();
    }
}

void EngineRack::process(float* interleaved, uint32_t frames, const Transport& transport) {
    const uint32_t stride = channels();
    for (uint32_t c = 0; c < stride; ++c) {
        for (uint32_t i = 0; i < frames; ++i) mono_[i] = interleaved[i * stride + c];
        engines_[c].process(mono_.data(), mono_.data(), frames, transport);
        for (uint32_t i = 0; i < frames; ++i) interleaved[i * stride + c] = mono_[i];
    }
}

}  // namespace yawp::render
