// The one-pole smoother shared by the envelope detector, the LFO rate glide
// and the mix and bypass crossfades (the formant filters glide in their own
// lanes with the same coefficient formula). Cutoffs are in Hz; coefficients
// are refreshed lazily from dirty flags so that a parameter change costs
// nothing until the next block.
#pragma once

#include <cstdint>
#include <limits>

#include "numeric.h"

namespace yawp {

inline constexpr float kInfiniteCutoff = std::numeric_limits<float>::infinity();

// The cutoff of a 1 ns time constant: anything faster follows instantly.
inline constexpr float kInstantCutoff = 159154944.0f;

// Time constants below this are treated as instant.
inline constexpr float kShortestTimeConstant = 1e-9f;

// fc = 1 / (2π τ), with the kernel's reciprocal; τ in seconds.
inline float cutoff_of_time_constant(float tau) {
    if (tau < kShortestTimeConstant) return kInfiniteCutoff;
    return numeric::reciprocal(tau) * numeric::kInvTwoPi;
}

// τ·fs / (τ·fs + 1) for fc = 1 / (2π τ), given K = fs / 2π.
inline float one_pole_coefficient(float K, float cutoff) {
    if (cutoff > kInstantCutoff) return 0.0f;
    return K * numeric::reciprocal(cutoff + K);
}

struct OnePole {
    enum Dirty : uint32_t { kRise = 1, kFall = 2, kAll = 3 };

    float K = 0;
    float rise = 0;
    float fall = 0;
    float rise_cutoff = kInfiniteCutoff;
    float fall_cutoff = kInfiniteCutoff;
    uint32_t dirty = kAll;
    float state = 0;
    float target = 0;

    void configure(float rise_hz, float fall_hz) {
        rise_cutoff = rise_hz;
        fall_cutoff = fall_hz;
        dirty = kAll;
    }

    void set_rise_cutoff(float hz) {
        if (hz != rise_cutoff) {
            rise_cutoff = hz;
            dirty |= kRise;
        }
    }

    void set_fall_cutoff(float hz) {
        if (hz != fall_cutoff) {
            fall_cutoff = hz;
            dirty |= kFall;
        }
    }

    // Recomputes what the dirty flags name, or everything when forced.
    void refresh(bool force = false) {
        if (force) dirty = kAll;
        if (dirty == 0) return;
        if (dirty & kRise) rise = one_pole_coefficient(K, rise_cutoff);
        if (dirty & kFall) fall = one_pole_coefficient(K, fall_cutoff);
        dirty = 0;
    }

    // Symmetric step toward `x` with the rise coefficient.
    float step(float x) {
        state = x + rise * (state - x);
        return state;
    }

    // Peak-style step: the fall coefficient while the input is below.
    float step_asymmetric(float x) {
        float c = x < state ? fall : rise;
        state = x + c * (state - x);
        return state;
    }

    // step_asymmetric() with both steps taken and the comparison choosing
    // between them afterwards: the same number (each is the step with that
    // coefficient), but the comparison no longer stands between one
    // sample's state and the next one's multiply.
    float step_asymmetric_late(float x) {
        const float d = state - x;
        const float falling = x + fall * d;
        const float rising = x + rise * d;
        state = x < state ? falling : rising;
        return state;
    }
};

}  // namespace yawp
