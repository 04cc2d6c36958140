// Every vowel a factory preset names at a pedal end is the vowel our model
// makes there: F1 and F2 each within 15 % of the published averages for the
// preset's voice (man, woman or child).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "engine/vowel.h"
#include "presets/factory.h"

namespace yawp::test {
namespace {

namespace cat = catalogue;

constexpr double kTolerance = 0.15;
constexpr uint32_t kFirstOfEnd[3] = {cat::kHeelJaw, cat::kMidJaw, cat::kToeJaw};
constexpr const char* kEndNames[3] = {"heel", "mid", "toe"};
constexpr const char* kVoices[3] = {"man", "woman", "child"};

struct Published {
    double f1, f2;
};
// (vowel, voice) -> F1, F2
using VowelTable = std::map<std::pair<std::string, std::string>, Published>;

VowelTable read_table() {
    VowelTable table;
    std::ifstream in(YAWP_VOWEL_TABLE);
    std::string line;
    bool header = true;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (header) {
            header = false;
            continue;
        }
        std::istringstream row(line);
        std::string vowel, word;
        double f[9];
        row >> vowel >> word;
        for (double& x : f) row >> x;
        if (!row) ADD_FAILURE() << "bad row: " << line;
        for (int v = 0; v < 3; ++v) table[{vowel, kVoices[v]}] = {f[3 * v], f[3 * v + 1]};
    }
    return table;
}

Formants formants_at_end(const presets::Preset& p, int end) {
    VowelShape shape;
    for (uint32_t c = 0; c < cat::kShapeComponents; ++c)
        shape.component[c] = p.values[kFirstOfEnd[end] + c] * 0.01f;
    return VowelModel::formants_of(shape);
}

double deviation(double model, double published) { return std::fabs(model - published) / published; }

TEST(PresetVowels, TheTableHoldsEveryVowelForEveryVoice) {
    const VowelTable table = read_table();
    EXPECT_EQ(table.size(), 30u);
    // Spot checks against the paper: a man's "ee", a child's "ah".
    EXPECT_EQ(table.at({"ee", "man"}).f2, 2290);
    EXPECT_EQ(table.at({"ah", "child"}).f1, 1030);
}

TEST(PresetVowels, NamedVowelsAreWithinFifteenPercentOfThePublishedAverages) {
    const VowelTable table = read_table();
    int named = 0;
    std::printf("%-22s %-5s %-3s %-6s %14s %14s\n", "preset", "end", "vow", "voice", "F1 model/pub", "F2 model/pub");
    for (const presets::Preset& p : presets::factory()) {
        for (int end = 0; end < 3; ++end) {
            const std::string vowel = p.vowels[end];
            if (vowel.empty()) continue;
            ++named;
            SCOPED_TRACE(std::string(p.name) + " at the " + kEndNames[end]);
            const auto row = table.find({vowel, p.voice});
            ASSERT_NE(row, table.end()) << "no published " << vowel << " for " << p.voice;
            const Formants f = formants_at_end(p, end);
            std::printf("%-22s %-5s %-3s %-6s %6.0f/%-6.0f  %6.0f/%-6.0f  (%+.1f %%, %+.1f %%)\n", p.name,
                        kEndNames[end], vowel.c_str(), p.voice, f.frequency[0], row->second.f1, f.frequency[1],
                        row->second.f2, 100 * (f.frequency[0] / row->second.f1 - 1),
                        100 * (f.frequency[1] / row->second.f2 - 1));
            EXPECT_LE(deviation(f.frequency[0], row->second.f1), kTolerance) << "F1 " << f.frequency[0];
            EXPECT_LE(deviation(f.frequency[1], row->second.f2), kTolerance) << "F2 " << f.frequency[1];
        }
    }
    EXPECT_GE(named, 20);
}

// A preset that names a voice sets that speaker at every end it names.
TEST(PresetVowels, NamedVoicesAreTheSpeakerOfEachNamedEnd) {
    const std::map<std::string, std::pair<float, float>> kSpeaker = {
        {"man", {100, 100}}, {"woman", {0, 100}}, {"child", {50, 0}}};
    for (const presets::Preset& p : presets::factory()) {
        if (*p.voice == '\0') continue;
        const auto [sex, age] = kSpeaker.at(p.voice);
        for (int end = 0; end < 3; ++end) {
            if (*p.vowels[end] == '\0') continue;
            EXPECT_EQ(p.values[kFirstOfEnd[end] + cat::kSex], sex) << p.name << " at the " << kEndNames[end];
            EXPECT_EQ(p.values[kFirstOfEnd[end] + cat::kAge], age) << p.name << " at the " << kEndNames[end];
        }
    }
}

// The catalogue's shape is reached at the pedal end: a preset with the mid
// vowel has it on, and the model lands on each named end exactly.
TEST(PresetVowels, ThePedalReachesEachNamedEnd) {
    for (const presets::Preset& p : presets::factory()) {
        VowelModel model;
        model.mid_on = p.values[cat::kMidOn] >= 0.5f;
        for (int end = 0; end < 3; ++end)
            for (uint32_t c = 0; c < cat::kShapeComponents; ++c)
                model.shapes[end].component[c] = p.values[kFirstOfEnd[end] + c] * 0.01f;
        const float at[3] = {0.0f, 0.5f, 1.0f};
        for (int end = 0; end < 3; ++end) {
            if (*p.vowels[end] == '\0') continue;
            ASSERT_TRUE(end != 1 || model.mid_on) << p.name;
            const Formants direct = formants_at_end(p, end);
            const Formants walked = VowelModel::formants_of(model.shape_at(at[end]));
            EXPECT_NEAR(walked.frequency[0], direct.frequency[0], 1e-3f * direct.frequency[0]) << p.name;
            EXPECT_NEAR(walked.frequency[1], direct.frequency[1], 1e-3f * direct.frequency[1]) << p.name;
        }
    }
}

}  // namespace
}  // namespace yawp::test
