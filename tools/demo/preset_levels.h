// How loud each factory preset plays: its output peak and how far its
// level moves from the dry input's, on a few kinds of material. A preset
// should never clip a track that peaks at -6 dBFS, and switching it in
// should not make the part jump out of (or sink into) the mix. The presets'
// loudness test checks these numbers and the demo writes them down.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "presets/factory.h"

namespace yawp::demo {

// Every input is scaled to peak here before it goes through a preset.
inline constexpr float kInputPeakDb = -6.0f;

// The limits: no output peak above the ceiling, and the RMS over the whole
// input within the band of the dry input's. A few presets are allowed the
// wide band because what they are for moves the level (see
// loudness_band_db).
inline constexpr float kPeakCeilingDb = -1.0f;
inline constexpr float kLoudnessBandDb = 2.0f;
inline constexpr float kWideLoudnessBandDb = 3.0f;

// The sample rates the levels are measured at.
inline constexpr uint32_t kLevelRates[] = {44100, 48000};

struct LevelInput {
    std::string name;  // one word, for the tables
    std::vector<float> samples;
};

// The materials, made on the spot at `sample_rate` and each peaking at
// kInputPeakDb: a sawtooth chord (dense, steady harmonics), a plucked
// string (an attack and a long decay), pink noise (every frequency at
// once) and the demo's own input.
std::vector<LevelInput> level_inputs(uint32_t sample_rate);

struct Level {
    const presets::Preset* preset;
    const char* input;
    uint32_t sample_rate;
    float peak_db;        // output peak, dBFS
    float rms_change_db;  // output RMS over input RMS
};

// One preset on one input, played as a plug-in plays it (its LFO and
// envelope running, the transport rolling for a tempo-locked LFO).
Level measure_level(const presets::Preset& preset, const LevelInput& input, uint32_t sample_rate);

// Every factory preset on every input at `sample_rate`.
std::vector<Level> measure_factory_levels(uint32_t sample_rate);

// The RMS band a preset must keep: kLoudnessBandDb, or the wide one for
// the presets named in preset_levels.cpp.
float loudness_band_db(const presets::Preset& preset);

bool peak_within_limit(const Level& level);
bool loudness_within_limit(const Level& level);

// A table of `levels`, one line each, with a mark on those outside a limit.
void print_levels(std::FILE* out, const std::vector<Level>& levels);

}  // namespace yawp::demo
