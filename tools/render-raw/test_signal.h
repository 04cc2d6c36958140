// A fixed test signal: a three-note chord with noise bursts on top.
//
// It is made with integer arithmetic and the four basic float operations
// only. No C library function is involved, so every build of this program,
// whatever its compiler and C library, makes the same bits.
#pragma once

#include <cstdint>

namespace yawp::raw {

class TestSignal {
public:
    explicit TestSignal(uint32_t sample_rate);
    float next();

private:
    // A "magic circle" oscillator: two multiply-adds a sample, stable, and
    // no sine function needed to start it.
    struct Oscillator {
        float x;
        float y;
        float step;
    };
    static constexpr int kTones = 3;

    float noise();

    Oscillator tones_[kTones];
    uint32_t noise_state_;
    uint32_t burst_period_;
    uint32_t burst_length_;
    float burst_fade_;
    uint64_t count_ = 0;
};

}  // namespace yawp::raw
