// The envelope follower: a peak-style detector of the dry input whose rise
// and fall are the attack and release time constants. Louder input pushes
// the pedal toward the toe (or the heel, with a negative amount).
#pragma once

#include <cmath>

#include "one_pole.h"

namespace yawp {

struct EnvelopeFollower {
    OnePole detector;  // its state is the envelope
    float gate = 0;
    float depth = 0;   // env_amount × 0.5: ±50 at ±100 %

    void initialise(float attack_ms, float release_ms) {
        detector.configure(cutoff_of_ms(attack_ms), cutoff_of_ms(release_ms));
    }
    void set_attack(float ms) { detector.set_rise_cutoff(cutoff_of_ms(ms)); }
    void set_release(float ms) { detector.set_fall_cutoff(cutoff_of_ms(ms)); }

    // [audio-thread] The detector runs whether or not the gate is open.
    void detect(float x) { detector.step_asymmetric_late(std::fabs(x)); }
    float term() const { return detector.state * gate * depth; }

    static float cutoff_of_ms(float ms) { return cutoff_of_time_constant(ms * 0.001f); }
};

}  // namespace yawp
