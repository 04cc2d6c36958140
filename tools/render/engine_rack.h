// One engine per channel. The effect is mono, so a file with several
// channels goes through as many independent wahs with the same settings.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/engine.h"

namespace yawp::render {

class EngineRack {
public:
    EngineRack(uint32_t channels, uint32_t max_block);

    // The activation sequence a plug-in wrapper goes through: initialise,
    // every parameter in index order, the sample rate, reset.
    void start(const float* values, float sample_rate);

    // Processes `frames` interleaved frames in place.
    void process(float* interleaved, uint32_t frames, const Transport& transport);

    uint32_t channels() const { return static_cast<uint32_t>(engines_.size()); }
    EngineOutputs outputs(uint32_t channel) const { return engines_[channel].outputs(); }

private:
    std::vector<Engine> engines_;
    std::vector<float> mono_;
};

}  // namespace yawp::render
