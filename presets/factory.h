// The factory presets, compiled in. The table is generated at build time
// from the preset files in resources/presets/ (one file per preset), the
// same files the LV2 presets, the .vstpreset files and the editor page's
// menu come from.
#pragma once

#include <span>
#include <string_view>

#include "engine/catalogue.h"

namespace yawp::presets {

struct Preset {
    const char* id;           // the file's stem, e.g. "classic-wah"
    const char* name;         // e.g. "Classic Wah"
    const char* category;     // "Wah", "Talk", "Envelope", "Tempo" or "Voice"
    const char* description;  // one line
    const char* voice;        // "man", "woman", "child", or "" when none is named
    const char* vowels[3];    // named at the heel, mid and toe; "" where none is
    float values[catalogue::kInputCount];  // plain values, catalogue order
};

// [any-thread] Every factory preset, by category, then name.
std::span<const Preset> factory();

// [any-thread] The preset of a name, ignoring case; null when none has it.
const Preset* find(std::string_view name);

}  // namespace yawp::presets
