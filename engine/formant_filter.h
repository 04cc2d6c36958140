// One formant: a state-variable band-pass filter in trapezoidal form whose
// cutoff and Q glide toward their targets with a 5 ms one-pole smoother.
// Its band-pass output has a gain of Q at the centre frequency; nothing
// normalises it, which is what gives the vowel its bite.
#pragma once

#include "one_pole.h"
#include "vowel.h"

namespace yawp {

struct FormantFilter {
    OnePole smoothing;  // only its K, rise coefficient and threshold are used

    // Smoothed values.
    float cutoff = 0;
    float q = 0;
    float prewarp = 0;

    // Rate constants.
    float pi_over_fs = 0;
    float prewarp_ceiling = 0;

    // Coefficients.
    float ratio = 0;  // tan(π f / fs) / f
    float g = 0;
    float k = 0;
    float k_plus_g = 0;
    float d = 0;

    // Targets.
    float cutoff_target = 0;
    float q_target = 0;
    float prewarp_weight = 1.0f;
    float prewarp_setting = 1000.0f;

    // Memories.
    float last_hp = 0;
    float last_lp = 0;
    float last_bp = 0;
    float previous_cutoff = 0;

    void initialise();
    void set_sample_rate(float fs, float K);
    void reset();
    void set_targets(float cutoff_hz, float q_value) {
        cutoff_target = cutoff_hz;
        q_target = q_value;
    }
    void update_coefficients(bool forced);
    float step(float x);

private:
    float prewarp_target() const {
        return (cutoff_target - prewarp_setting) * prewarp_weight + prewarp_setting;
    }
};

// The three formant filters, all fed the same input; their band-pass
// outputs summed with fixed gains make the wet signal.
struct FormantBank {
    FormantFilter filter[3];

    void initialise() {
        for (FormantFilter& f : filter) f.initialise();
    }
    void set_sample_rate(float fs, float K) {
        for (FormantFilter& f : filter) f.set_sample_rate(fs, K);
    }
    void reset() {
        for (FormantFilter& f : filter) f.reset();
    }
    // [audio-thread]
    float process(float x, const Formants& formants);
};

}  // namespace yawp
