// The 39 ports of the LV2 plug-in and the rule that turns a control port's
// value into a parameter value.
#pragma once

#include <cstdint>

#include "engine/catalogue.h"

namespace yawp::lv2 {

enum Port : uint32_t {
    kPortAudioIn = 0,
    kPortAudioOut = 1,
    kPortEvents = 2,
    kPortFirstControl = 3,  // parameters 0 to 30, then the enable port
    kPortEnable = 34,       // the inverse of `bypass`
    kPortFirstOutput = 35,  // the four meters
    kPortCount = 39,
};

// Port of an input parameter 0 to 31 (31, bypass, is the enable port).
constexpr uint32_t port_of_parameter(uint32_t index) { return index + kPortFirstControl; }

// Port of an output value 32 to 35.
constexpr uint32_t port_of_output(uint32_t index) { return index - catalogue::kInputCount + kPortFirstOutput; }

// The port symbols of the catalogue's indices 0 to 35: the inputs use their
// state keys, except bypass, whose port is the host's on/off switch; then
// the four meters.
inline constexpr const char* kEnableSymbol = "enabled";
inline constexpr const char* kOutputSymbols[catalogue::kOutputCount] = {"mod_position", "lfo_phase", "lfo_output",
                                                                        "env_output"};

inline const char* symbol_of(uint32_t index) {
    if (index == catalogue::kBypass) return kEnableSymbol;
    if (index >= catalogue::kInputCount) return kOutputSymbols[index - catalogue::kInputCount];
    return catalogue::state_key(index);
}

// A control port's value as the parameter's plain value: toggles on above 0,
// the enable port inverted into bypass, the sync rate rounded, then clamped.
// A NaN lands on the minimum, so nothing downstream ever sees one.
float coerce_port(uint32_t index, float port_value);

// A stored value from a state document: the same rule without the enable
// inversion (the document holds `bypass` itself).
float coerce_stored(uint32_t index, float value);

}  // namespace yawp::lv2
