// Test input for the CLAP tests: deterministic, full of movement, and the
// same in both lanes.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace yawp::clap_test {

// Two sines in [-0.5, 0.5] with a little noise, and quiet stretches so
// that the envelope follower rises and falls.
inline std::vector<float> test_tone(size_t n, uint32_t seed = 1) {
    constexpr double kTwoPi = 6.283185307179586;
    constexpr size_t kPhrase = 12000;  // a phrase, then a quarter of it quiet
    std::vector<float> x(n);
    uint32_t noise = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; ++i) {
        noise = noise * 1664525u + 1013904223u;
        const double hiss = (static_cast<double>(noise >> 8) / (1 << 24) - 0.5) * 0.05;
        const double t = static_cast<double>(i) / 48000.0;
        const double tone = 0.3 * std::sin(kTwoPi * 110.0 * t) + 0.15 * std::sin(kTwoPi * 1375.0 * t + seed);
        const bool quiet = i % kPhrase >= kPhrase * 3 / 4;
        x[i] = quiet ? 0.0f : static_cast<float>(tone + hiss);
    }
    return x;
}

// Where two runs of samples first differ bit for bit; -1 when they agree.
inline long first_difference(const float* a, const float* b, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (std::memcmp(a + i, b + i, sizeof(float)) != 0) return static_cast<long>(i);
    return -1;
}

inline bool all_finite(const float* x, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (!std::isfinite(x[i])) return false;
    return true;
}

inline double peak_of(const float* x, size_t n) {
    double p = 0;
    for (size_t i = 0; i < n; ++i) p = std::fmax(p, std::fabs(static_cast<double>(x[i])));
    return p;
}

}  // namespace yawp::clap_test
