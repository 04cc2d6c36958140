// The LFO: one continuous waveform selector morphing sine -> triangle ->
// square -> random sample-and-hold, a skew that moves the waveform's
// midpoint within the cycle, and a free or tempo-locked rate.
#pragma once

#include <cstdint>

#include "one_pole.h"

namespace yawp {

// The sample-and-hold source: a 64-bit linear congruential generator whose
// top bits pick how far the state is shifted down.
struct LfoRandom {
    static constexpr uint64_t kSeed = 0xBADDECAF600DFEEDull;
    uint64_t state = kSeed;

    // Steps the generator; returns a value in [-1, 1).
    float next();
};

struct Lfo {
    // Settings.
    float gate = 0;
    float waveform = 1;
    float depth = 0;
    float bias = 0;
    float skew = 0.5f;
    bool sync = false;
    float free_rate = 2.0f;
    int32_t sync_index = 7;
    float phase_offset = 0;

    // State.
    float frequency = 2.0f;
    float computed_frequency = 0;  // the frequency the increment was made for
    OnePole glide;                 // phase increment, cycles per sample
    float accumulator = 0;
    float random_value = 0;
    LfoRandom random;

    struct Sample {
        float phase;  // output phase, 0..1
        float term;   // contribution to the pedal position
    };

    void initialise();
    void reset(float T);
    // At the start of a block: a new frequency reaches the increment.
    void update_increment(float T);
    // Realigns the phase to a song position in quarter notes.
    void resync(double quarter_notes, float cycles_per_quarter);
    void advance();
    Sample output();

private:
    float increment_ = 0;  // this sample's increment after the denormal flush
    float waveform_value(float p) const;
    float skewed_phase(float phi) const;
};

}  // namespace yawp
