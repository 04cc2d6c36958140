// The renderer's command line.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/catalogue.h"

namespace yawp::render {

enum class Action { kRender, kList, kListPresets, kHelp, kVersion, kShowState };

inline constexpr uint32_t kMinBlock = 1;
inline constexpr uint32_t kMaxBlock = 8192;
inline constexpr uint32_t kDefaultBlock = 512;
inline constexpr float kDefaultTempo = 120.0f;

struct Options {
    Action action = Action::kRender;
    std::string input;
    std::string output;
    std::string meters;  // empty: no meters file
    uint32_t block = kDefaultBlock;
    bool float_output = false;

    // Plain values for every input parameter, already coerced: the catalogue
    // defaults or the --preset's values, then the --state document, then the
    // --set values.
    float values[catalogue::kInputCount] = {};
    std::vector<std::pair<uint32_t, float>> overrides;  // from --set, coerced

    std::string preset;      // --preset: the factory preset's name as given
    std::string state_in;    // --state: restored before the --set values
    std::string state_out;   // --save-state: the final values, saved
    std::string state_format = "vst3";
    std::string show_state;  // --show-state

    // The pretend host's transport. --play without --tempo plays at the
    // default tempo, and then that tempo is reported as known too: a host
    // that is playing always knows its tempo.
    bool tempo_known = false;
    float tempo = kDefaultTempo;
    bool playing = false;
    double start_quarter_notes = 0;
};

// Reads argv into *options. On failure returns false and puts a one-line
// description of the problem (no program name, no newline) in *error.
bool parse_options(int argc, const char* const* argv, Options* options, std::string* error);

}  // namespace yawp::render
