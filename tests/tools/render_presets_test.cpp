// yawp-wah-render with the factory presets: --list-presets, --preset as the
// starting point that --set values override, and the refusals.
#include <gtest/gtest.h>

#include "presets/factory.h"
#include "render_harness.h"
#include "state/document.h"
#include "state_files.h"

namespace yawp::test {
namespace {

namespace cat = catalogue;

constexpr int kFailure = 2;
constexpr int kMonoFloatWav = SF_FORMAT_WAV | SF_FORMAT_FLOAT;

class RenderPresets : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(write_sound(in, test_signal(3000), 1, kMonoFloatWav, 44100)); }
    TempDir dir;
    const std::string in = dir.file("in.wav");
    const std::string out = dir.file("out.wav");
    const std::string doc = dir.file("values.state");
};

TEST_F(RenderPresets, ListNamesEveryPresetUnderItsCategory) {
    RunResult r = run_render({"--list-presets"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const presets::Preset& p : presets::factory()) {
        const size_t category = r.out.find(std::string(p.category) + "\n");
        const size_t name = r.out.find("  " + std::string(p.name) + " ");
        ASSERT_NE(category, std::string::npos) << p.category;
        ASSERT_NE(name, std::string::npos) << p.name;
        EXPECT_LT(category, name) << p.name;
    }
}

TEST_F(RenderPresets, APresetGivesAllItsValues) {
    for (const presets::Preset& p : presets::factory()) {
        RunResult r = run_render({"--preset", p.name, "--save-state", doc, in, out});
        ASSERT_EQ(r.status, 0) << p.name << ": " << r.err;
        const state::ParameterValues v = values_in(doc);
        for (uint32_t i = 0; i < cat::kInputCount; ++i) EXPECT_EQ(v[i], p.values[i]) << p.name << " " << cat::state_key(i);
    }
}

TEST_F(RenderPresets, SetValuesOverrideThePresetWhereverTheyStand) {
    const presets::Preset* p = presets::find("Classic Wah");
    ASSERT_NE(p, nullptr);
    RunResult r = run_render({"--set", "mix=12", "--preset", "classic WAH", "--set", "position=80", "--save-state",
                              doc, in, out});
    ASSERT_EQ(r.status, 0) << r.err;
    const state::ParameterValues v = values_in(doc);
    EXPECT_EQ(v[cat::kMix], 12);
    EXPECT_EQ(v[cat::kPosition], 80);
    EXPECT_EQ(v[cat::kToeJaw], p->values[cat::kToeJaw]);
}

TEST_F(RenderPresets, RefusesWhatItCannotDo) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"--preset", "Nope", in, out}, "unknown preset 'Nope' (see --list-presets)"},
        {{"--preset"}, "option --preset needs a value"},
        {{"--preset", "Classic Wah", "--preset", "Yoy Wah", in, out}, "--preset given twice"},
        {{"--preset", "Classic Wah", "--state", doc, in, out}, "--preset and --state both give every value"},
    };
    for (const Case& c : cases) {
        RunResult r = run_render(c.args);
        EXPECT_EQ(r.status, kFailure) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(count_lines(r.err), 1u) << r.err;
    }
    EXPECT_EQ(dir.listing(), std::vector<std::string>{"in.wav"});
}

}  // namespace
}  // namespace yawp::test
