// Listening by numbers: the demo input, peaking at -6 dBFS, comes out of
// every factory preset below 0 dBFS, with the pedal where the preset puts
// it and at both ends of its travel (the engine has no output gain, so a
// preset that is too hot must lower its mix).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "presets/factory.h"
#include "tools/demo/demo_input.h"
#include "tools/demo/preset_tour.h"

namespace yawp::test {
namespace {

namespace cat = catalogue;

constexpr float kInputPeakDb = -6.0f;

float peak(const std::vector<float>& samples) {
    float p = 0;
    for (float x : samples) p = std::fmax(p, std::fabs(x));
    return p;
}

float db(float gain) { return 20.0f * std::log10(gain); }

std::vector<float> input_at_minus_6_dbfs() {
    std::vector<float> in = demo::make_input();
    const float gain = std::pow(10.0f, kInputPeakDb / 20.0f) / peak(in);
    for (float& x : in) x *= gain;
    return in;
}

TEST(PresetLoudness, EveryPresetStaysBelowFullScale) {
    const std::vector<float> in = input_at_minus_6_dbfs();
    ASSERT_NEAR(db(peak(in)), kInputPeakDb, 0.01f);
    std::printf("%-22s %9s %9s %9s\n", "preset", "as set", "heel", "toe");
    for (const presets::Preset& p : presets::factory()) {
        float worst = 0;
        float peaks[3];
        const float positions[3] = {p.values[cat::kPosition], 0.0f, 100.0f};
        for (int k = 0; k < 3; ++k) {
            demo::Scene scene = demo::preset_scene(p);
            scene.settings[cat::kPosition].value = positions[k];
            peaks[k] = peak(demo::render_scene(scene, in));
            worst = std::fmax(worst, peaks[k]);
        }
        std::printf("%-22s %6.2f dB %6.2f dB %6.2f dB\n", p.name, db(peaks[0]), db(peaks[1]), db(peaks[2]));
        EXPECT_LT(worst, 1.0f) << p.name << " peaks at " << db(worst) << " dBFS";
        // And it does something: the wet sound is not drowned in the dry.
        EXPECT_GE(p.values[cat::kMix], 30.0f) << p.name;
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
