// Listening by numbers: every factory preset, on a sawtooth chord, a plucked
// string, pink noise and the demo input, each peaking at -6 dBFS, at 44.1
// and 48 kHz, keeps its output peak at or below -1 dBFS and its level near
// the dry input's (tools/demo/preset_levels.h holds the limits). The engine
// has no output gain, so a preset that is too hot or too quiet must change
// its mix, shapes or modulation depth.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "presets/factory.h"
#include "tools/demo/demo_input.h"
#include "tools/demo/preset_levels.h"
#include "tools/demo/preset_tour.h"

namespace yawp::test {
namespace {

namespace cat = catalogue;

// Below this a preset's wet sound drowns in the dry.
constexpr float kLeastMix = 30.0f;
// The pedal at either end of its travel, played by hand on the demo input,
// may come closer to full scale than the preset as set, but not past it.
constexpr float kPedalEndCeilingDb = 0.0f;

float peak_db(const std::vector<float>& samples) {
    float p = 0;
    for (float x : samples) p = std::fmax(p, std::fabs(x));
    return 20.0f * std::log10(p);
}

double rms_of(const std::vector<float>& samples) {
    double sum = 0;
    for (float x : samples) sum += static_cast<double>(x) * x;
    return std::sqrt(sum / static_cast<double>(samples.size()));
}

TEST(PresetLoudness, TheInputsPeakAtMinusSixDbfs) {
    for (uint32_t rate : demo::kLevelRates) {
        const std::vector<demo::LevelInput> inputs = demo::level_inputs(rate);
        ASSERT_EQ(inputs.size(), 4u);
        for (const demo::LevelInput& in : inputs) {
            EXPECT_NEAR(peak_db(in.samples), demo::kInputPeakDb, 0.01f) << in.name << " at " << rate;
            EXPECT_GT(rms_of(in.samples), 0.01) << in.name << " at " << rate;
        }
    }
}

TEST(PresetLoudness, EveryPresetKeepsItsPeakAndLevelOnEveryInput) {
    std::vector<demo::Level> all;
    int outside = 0;
    for (uint32_t rate : demo::kLevelRates) {
        for (const demo::Level& l : demo::measure_factory_levels(rate)) {
            all.push_back(l);
            const std::string where = std::string(l.preset->name) + " on " + l.input + " at " + std::to_string(rate);
            EXPECT_LE(l.peak_db, demo::kPeakCeilingDb) << where;
            EXPECT_LE(std::fabs(l.rms_change_db), demo::loudness_band_db(*l.preset)) << where;
            if (!demo::peak_within_limit(l) || !demo::loudness_within_limit(l)) ++outside;
        }
    }
    EXPECT_EQ(all.size(), presets::factory().size() * 4 * std::size(demo::kLevelRates));
    if (outside > 0) demo::print_levels(stdout, all);
}

TEST(PresetLoudness, TheWideBandIsTheException) {
    int wide = 0;
    for (const presets::Preset& p : presets::factory())
        if (demo::loudness_band_db(p) > demo::kLoudnessBandDb) ++wide;
    EXPECT_LE(wide, 1);
}

TEST(PresetLoudness, EveryPresetMixesInEnoughWetSound) {
    for (const presets::Preset& p : presets::factory()) EXPECT_GE(p.values[cat::kMix], kLeastMix) << p.name;
}

TEST(PresetLoudness, ThePedalEndsStayBelowFullScale) {
    const std::vector<demo::LevelInput> inputs = demo::level_inputs(demo::kSampleRate);
    const demo::LevelInput& in = inputs.back();
    ASSERT_EQ(in.name, "demo");
    for (const presets::Preset& p : presets::factory()) {
        for (float position : {0.0f, 100.0f}) {
            demo::Scene scene = demo::preset_scene(p);
            scene.settings[cat::kPosition].value = position;
            EXPECT_LE(peak_db(demo::render_scene(scene, in.samples)), kPedalEndCeilingDb)
                << p.name << " with the pedal at " << position;
        }
    }
}

TEST(PresetLoudness, TheDemoTourPlaysFourPresets) {
    const auto& tour = demo::preset_tour();
    ASSERT_EQ(tour.size(), 4u);
    for (const demo::Scene& scene : tour) {
        EXPECT_EQ(scene.settings.size(), cat::kInputCount) << scene.name;
        EXPECT_EQ(std::string(scene.name).rfind("preset-", 0), 0u) << scene.name;
    }
}

}  // namespace
}  // namespace yawp::test
