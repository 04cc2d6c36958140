// The engine's algorithm written out plainly, one sample at a time and one
// formant filter at a time, with no staging, no lanes and no shortcuts: the
// yardstick the fast engine is compared with, bit for bit.
//
// It shares only the numeric kernel, the one-pole smoother, the catalogue,
// the scalar vowel model and the random generator with the engine; every
// step of the signal path is its own.
#pragma once

#include <cstdint>

#include "engine/catalogue.h"
#include "engine/engine.h"
#include "engine/lfo.h"
#include "engine/one_pole.h"
#include "engine/transport.h"
#include "engine/vowel.h"

namespace yawp::test {

class ReferenceEngine {
public:
    void initialise();
    void set_sample_rate(float fs);
    void reset();
    void set_parameter(uint32_t index, float value);
    void process(const float* in, float* out, uint32_t n, const Transport& transport);
    EngineOutputs outputs() const { return outputs_; }

private:
    struct Filter {
        float cutoff_target, q_target;
        float cutoff, prewarp, q;
        float r, g, k, k_plus_g, d;
        float hp, lp, bp, previous_cutoff;
    };

    void take_transport(const Transport& t);
    void recompute_lfo_frequency();
    float lfo_term(float* phase);
    float filter_sample(Filter* f, float x) const;
    void update_coefficients(Filter* f, bool forced) const;
    void compute_prewarp_ratio(Filter* f) const;

    float K_ = 0, T_ = 0;
    float pi_over_fs_ = 0, ceiling_ = 0, glide_ = 0, snap_sq_ = 0;

    float position_ = 0;
    VowelModel vowel_;
    Filter filters_[3] = {};

    // Envelope follower.
    OnePole detector_;
    float env_gate_ = 0, env_depth_ = 0;

    // LFO.
    float lfo_gate_ = 0, waveform_ = 1, lfo_depth_ = 0, bias_ = 0, skew_ = 0.5f;
    bool sync_ = false;
    float free_rate_ = 2, phase_offset_ = 0;
    int32_t sync_index_ = 7;
    float frequency_ = 2, computed_frequency_ = 0;
    OnePole increment_;
    float accumulator_ = 0, random_value_ = 0;
    LfoRandom random_;

    OnePole mix_, bypass_;

    // Transport.
    bool rolling_ = false, pending_ = false;
    float tempo_ = 120, speed_ = 1, effective_speed_ = 1;
    double song_position_ = -1;

    EngineOutputs outputs_{};
};

}  // namespace yawp::test
