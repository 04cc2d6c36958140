// Helpers shared by the engine tests: an engine set up the way a wrapper
// sets it up, and small signal measurements.
#pragma once

#include <cmath>
#include <utility>
#include <vector>

#include "engine/catalogue.h"
#include "engine/engine.h"

namespace yawp::test {

inline constexpr float kRate = 48000.0f;
inline constexpr double kTwoPi = 6.283185307179586;

using Settings = std::vector<std::pair<uint32_t, float>>;

// initialise, defaults in index order with overrides, rate, reset.
inline void prepare(Engine& e, const Settings& overrides = {}, float fs = kRate) {
    e.initialise();
    for (uint32_t i = 0; i < catalogue::kInputCount; ++i) {
        float v = static_cast<float>(catalogue::entry(i)->def);
        for (const auto& [index, value] : overrides)
            if (index == i) v = value;
        e.set_parameter(i, v);
    }
    e.set_sample_rate(fs);
    e.reset();
}

inline std::vector<float> sine(double hz, size_t n, double amplitude = 1.0, float fs = kRate) {
    std::vector<float> x(n);
    for (size_t i = 0; i < n; ++i) x[i] = static_cast<float>(amplitude * std::sin(kTwoPi * hz * i / fs));
    return x;
}

// Runs `x` through the engine in blocks, in place, with an empty transport.
inline std::vector<float> run(Engine& e, std::vector<float> x, uint32_t block = 512) {
    Transport t;
    for (size_t at = 0; at < x.size(); at += block) {
        uint32_t n = static_cast<uint32_t>(std::min<size_t>(block, x.size() - at));
        e.process(x.data() + at, x.data() + at, n, t);
    }
    return x;
}

inline double peak(const std::vector<float>& x, size_t from) {
    double p = 0;
    for (size_t i = from; i < x.size(); ++i) p = std::max(p, std::fabs(static_cast<double>(x[i])));
    return p;
}

}  // namespace yawp::test
