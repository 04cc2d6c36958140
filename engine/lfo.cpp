#include "lfo.h"

#include <cmath>

#include "numeric.h"

namespace yawp {
namespace {

constexpr uint64_t kRandomMultiplier = 0x9B60933458E17D7Dull;
constexpr uint64_t kRandomIncrement = 0xD737232EECCDF7EDull;
constexpr float kTwoToMinus31 = 4.656612873077393e-10f;

// Increments this small would only stir denormal-sized phase changes.
constexpr float kSmallestIncrement = 6e-8f;

// The phase accumulator stays below 1 after a resync.
constexpr double kLastPhaseBelowOne = 0.99999994;

// Waveform selector regions: [1, 2) sine->triangle, [2, 2.999) triangle->
// square, [2.999, 4] square->random.
constexpr float kTriangle = 2.0f;
constexpr float kSquareEdge = 2.999f;
constexpr float kSquare = 3.0f;

}  // namespace

float LfoRandom::next() {
    state = state * kRandomMultiplier + kRandomIncrement;
    const uint32_t shift = 29 - static_cast<uint32_t>(state >> 61);
    const uint32_t v = static_cast<uint32_t>(state >> shift);
    return static_cast<float>(v) * kTwoToMinus31 - 1.0f;
}

void Lfo::initialise() {
    glide.configure(kInfiniteCutoff, kInfiniteCutoff, 0);
    free_rate = 2.0f;
    sync = false;
    frequency = free_rate;
    random.state = LfoRandom::kSeed;
}

void Lfo::reset(float T) {
    glide.refresh(true);
    glide.target = frequency * T;
    glide.state = glide.target;
    computed_frequency = frequency;
    accumulator = 0;
    random_value = random.next();
}

void Lfo::update_increment(float T) {
    if (frequency != computed_frequency) {
        glide.target = T * frequency;
        computed_frequency = frequency;
    }
}

void Lfo::resync(double quarter_notes, float cycles_per_quarter) {
    double cycles = quarter_notes * static_cast<double>(cycles_per_quarter);
    double phase = cycles - std::floor(cycles);
    accumulator = static_cast<float>(phase < kLastPhaseBelowOne ? phase : kLastPhaseBelowOne);
}

// [audio-thread]
void Lfo::advance() {
    float inc = glide.step(glide.target);
    if (std::fabs(inc) < kSmallestIncrement) inc = 0;
    increment_ = inc;
    accumulator = numeric::frac(accumulator + inc);
}

// [audio-thread]
Lfo::Sample Lfo::output() {
    const float phi = sync ? numeric::frac(accumulator + phase_offset) : accumulator;
    // A wrap past 1 during this sample draws the next random value.
    if (numeric::floor(phi) != numeric::floor(phi - increment_)) random_value = random.next();
    // A closed gate makes the term 0 whatever the waveform: skip it.
    if (gate == 0.0f) return {phi, 0.0f};
    const float v = waveform_value(skewed_phase(phi));
    return {phi, (v + bias) * gate * depth};
}

// Maps the output phase so that its first half lasts `skew` of the cycle.
float Lfo::skewed_phase(float phi) const {
    if (phi < skew) return phi * numeric::reciprocal(2.0f * skew);
    return (phi + 1.0f - 2.0f * skew) * numeric::reciprocal(2.0f - 2.0f * skew);
}

float Lfo::waveform_value(float p) const {
    const float w = waveform;
    if (w < kTriangle) {
        const float tri = 1.0f - 4.0f * std::fabs(p - 0.5f);
        const float sine = numeric::sine2pi(tri * 0.25f);
        return sine + (tri - sine) * (w - 1.0f);
    }
    if (w < kSquareEdge) {
        const float a = 4.0f * numeric::reciprocal(kSquare - w);
        float v = p < 0.5f ? a * p - 1.0f : a * 0.5f - (a * p - 1.0f);
        if (v < -1.0f) v = -1.0f;
        if (v > 1.0f) v = 1.0f;
        return v;
    }
    const float sq = p < 0.5f ? 1.0f : (p == 0.5f ? 0.0f : -1.0f);
    const float blend = w - kSquare > 0 ? w - kSquare : 0.0f;
    return sq + (random_value - sq) * blend;
}

}  // namespace yawp
