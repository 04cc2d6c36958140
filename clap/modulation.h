// The host's modulation: which parameters take it, and how an amount meets
// the base value.
#pragma once

#include <cstdint>

#include "engine/catalogue.h"

namespace yawp::clap {

// The parameters a host LFO, envelope or expression controller may move
// without writing automation: the continuous ones a musician plays.
inline constexpr uint32_t kModulatable[] = {
    catalogue::kPosition, catalogue::kMix,         catalogue::kLfoAmount,
    catalogue::kLfoBias,  catalogue::kLfoFreeRate, catalogue::kEnvAmount,
};

// [any-thread]
constexpr bool is_modulatable(uint32_t index) {
    for (uint32_t m : kModulatable)
        if (m == index) return true;
    return false;
}

// [any-thread] The value the engine runs at: the base plus the amount, held
// in the range. The base itself never changes, so the value returns to it
// when the amount goes back to 0; with an amount of 0 it is the base, bit
// for bit (a coerced base is a fixed point of coerce).
inline float modulated(uint32_t index, float base, float amount) {
    return static_cast<float>(catalogue::coerce(index, static_cast<double>(base) + static_cast<double>(amount)));
}

}  // namespace yawp::clap
