// The LFO: one continuous waveform selector morphing sine -> triangle ->
// square -> random sample-and-hold, a skew that moves the waveform's
// midpoint within the cycle, and a free or tempo-locked rate.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

#include "numeric.h"
#include "one_pole.h"

namespace yawp {

// The sample-and-hold source: a 64-bit linear congruential generator whose
// top bits pick how far the state is shifted down.
struct LfoRandom {
    static constexpr uint64_t kSeed = 0xBADDECAF600DFEEDull;
    uint64_t state = kSeed;

    // Steps the generator; returns a value in [-1, 1). Inline, so that an
    // LFO copied into a sample loop can live in registers.
    float next() {
        constexpr uint64_t kMultiplier = 0x9B60933458E17D7Dull;
        constexpr uint64_t kIncrement = 0xD737232EECCDF7EDull;
        constexpr float kTwoToMinus31 = 4.656612873077393e-10f;
        state = state * kMultiplier + kIncrement;
        const uint32_t shift = 29 - static_cast<uint32_t>(state >> 61);
        const uint32_t v = static_cast<uint32_t>(state >> shift);
        return static_cast<float>(v) * kTwoToMinus31 - 1.0f;
    }
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

    // output() in two steps, for a chunk of samples: the output phase and
    // the random draw of each sample (serial: the draws are state), then
    // the terms of n such samples side by side. The three arrays are read
    // and written in whole eights: each holds n rounded up to a multiple of
    // eight (the lanes past n carry values nobody reads).
    float phase();
    void terms(const float* phase, const float* random, float* term, uint32_t n) const;
    bool wide = false;  // terms() may take its AVX2 path

    // advance() and phase() for increments below one cycle per sample,
    // which every rate a host can set gives (it takes some 50 kHz). The
    // accumulator then stays in [0, 1] and every floor these functions take
    // is -1, 0 or 1, so comparisons give it: the same numbers with a third
    // of the work. `below_one_cycle()` says whether they may be used for
    // the block.
    bool below_one_cycle() const { return std::fabs(glide.target) < 1.0f; }
    void advance_below_one_cycle();
    float phase_below_one_cycle();
    // The same for a loop that has chosen between synced and free once.
    template <bool kSync>
    float phase_below_one_cycle();

    // Whether the rate glide sits on its target for good: a step then
    // leaves its state bit for bit where it is, so every sample of the
    // block has the same increment.
    bool rate_still() const;
    // For a still rate: the increment of every sample, computed once, and
    // advance_below_one_cycle() with it, which skips the glide step that
    // would give the same increment again.
    void hold_increment();
    void advance_held();

private:
    void terms_in_eights(const float* phase, const float* random, float* term, uint32_t n) const;
    float increment_ = 0;  // this sample's increment after the denormal flush
    float waveform_value(float p) const;
    float skewed_phase(float phi) const;
};

namespace lfo_detail {

// Increments this small would only stir denormal-sized phase changes.
inline constexpr float kSmallestIncrement = 6e-8f;

// Waveform selector regions: [1, 2) sine->triangle, [2, 2.999) triangle->
// square, [2.999, 4] square->random.
inline constexpr float kTriangle = 2.0f;
inline constexpr float kSquareEdge = 2.999f;
inline constexpr float kSquare = 3.0f;

}  // namespace lfo_detail

// The per-sample functions live here so that they inline into the engine's
// sample loop.
// [audio-thread]
inline void Lfo::advance() {
    float inc = glide.step(glide.target);
    if (std::fabs(inc) < lfo_detail::kSmallestIncrement) inc = 0;
    increment_ = inc;
    accumulator = numeric::frac(accumulator + inc);
}

// [audio-thread] The output phase; a wrap past 1 during this sample draws
// the next random value.
inline float Lfo::phase() {
    const float phi = sync ? numeric::frac(accumulator + phase_offset) : accumulator;
    if (numeric::floor(phi) != numeric::floor(phi - increment_)) random_value = random.next();
    return phi;
}

namespace lfo_detail {

// floor(x) for x in (-1, 2): the only integers there are -1, 0 and 1.
inline float floor_near_zero(float x) { return x < 0.0f ? -1.0f : (x >= 1.0f ? 1.0f : 0.0f); }

// The same as an integer, for comparing two floors without selects.
inline int cycle_near_zero(float x) { return int{x >= 1.0f} - int{x < 0.0f}; }

}  // namespace lfo_detail

// [audio-thread] accumulator + increment lies in (-1, 2).
inline void Lfo::advance_below_one_cycle() {
    float inc = glide.step(glide.target);
    if (std::fabs(inc) < lfo_detail::kSmallestIncrement) inc = 0;
    increment_ = inc;
    const float x = accumulator + inc;
    accumulator = x - lfo_detail::floor_near_zero(x);
}

inline bool Lfo::rate_still() const {
    OnePole g = glide;
    return std::bit_cast<uint32_t>(g.step(g.target)) == std::bit_cast<uint32_t>(glide.state);
}

inline void Lfo::hold_increment() {
    float inc = glide.state;
    if (std::fabs(inc) < lfo_detail::kSmallestIncrement) inc = 0;
    increment_ = inc;
}

// [audio-thread]
inline void Lfo::advance_held() {
    const float x = accumulator + increment_;
    accumulator = x - lfo_detail::floor_near_zero(x);
}

// [audio-thread] accumulator + phase offset lies in [0, 2), the phase in
// [0, 1] and the phase less the increment in (-1, 2).
inline float Lfo::phase_below_one_cycle() { return sync ? phase_below_one_cycle<true>() : phase_below_one_cycle<false>(); }

template <bool kSync>
inline float Lfo::phase_below_one_cycle() {
    float phi = accumulator;
    if (kSync) {
        const float x = accumulator + phase_offset;
        phi = x - lfo_detail::floor_near_zero(x);
    }
    // Both floors are 0 while the phase and the phase before it lie in
    // [0, 1), which is nearly always: that is tested first.
    const float before = phi - increment_;
    const bool inside = phi >= 0.0f && phi < 1.0f && before >= 0.0f && before < 1.0f;
    if (!inside && lfo_detail::cycle_near_zero(phi) != lfo_detail::cycle_near_zero(before)) random_value = random.next();
    return phi;
}

// [audio-thread]
inline Lfo::Sample Lfo::output() {
    const float phi = phase();
    // A closed gate makes the term 0 whatever the waveform: skip it.
    if (gate == 0.0f) return {phi, 0.0f};
    const float v = waveform_value(skewed_phase(phi));
    return {phi, (v + bias) * gate * depth};
}

// Maps the output phase so that its first half lasts `skew` of the cycle.
inline float Lfo::skewed_phase(float phi) const {
    if (phi < skew) return phi * numeric::reciprocal(2.0f * skew);
    return (phi + 1.0f - 2.0f * skew) * numeric::reciprocal(2.0f - 2.0f * skew);
}

inline float Lfo::waveform_value(float p) const {
    const float w = waveform;
    if (w < lfo_detail::kTriangle) {
        const float tri = 1.0f - 4.0f * std::fabs(p - 0.5f);
        const float sine = numeric::sine2pi(tri * 0.25f);
        return sine + (tri - sine) * (w - 1.0f);
    }
    if (w < lfo_detail::kSquareEdge) {
        const float a = 4.0f * numeric::reciprocal(lfo_detail::kSquare - w);
        float v = p < 0.5f ? a * p - 1.0f : a * 0.5f - (a * p - 1.0f);
        if (v < -1.0f) v = -1.0f;
        if (v > 1.0f) v = 1.0f;
        return v;
    }
    const float sq = p < 0.5f ? 1.0f : (p == 0.5f ? 0.0f : -1.0f);
    const float blend = w - lfo_detail::kSquare > 0 ? w - lfo_detail::kSquare : 0.0f;
    return sq + (random_value - sq) * blend;
}

}  // namespace yawp
