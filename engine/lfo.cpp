#include "lfo.h"

#include <cmath>

#include "numeric.h"

namespace yawp {
namespace {

constexpr uint64_t kRandomMultiplier = 0x9B60933458E17D7Dull;
constexpr uint64_t kRandomIncrement = 0xD737232EECCDF7EDull;
constexpr float kTwoToMinus31 = 4.656612873077393e-10f;

// The phase accumulator stays below 1 after a resync.
constexpr double kLastPhaseBelowOne = 0.99999994;

}  // namespace

float LfoRandom::next() {
    state = state * kRandomMultiplier + kRandomIncrement;
    const uint32_t shift = 29 - static_cast<uint32_t>(state >> 61);
    const uint32_t v = static_cast<uint32_t>(state >> shift);
    return static_cast<float>(v) * kTwoToMinus31 - 1.0f;
}

void Lfo::initialise() {
    glide.configure(kInfiniteCutoff, kInfiniteCutoff);
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

}  // namespace yawp
