// yawp-wah-render with state documents: --state, --save-state and
// --show-state, and the refusals.
#include <gtest/gtest.h>

#include "render_harness.h"
#include "state/document.h"
#include "state_files.h"

namespace yawp::test {
namespace {

constexpr int kFailure = 2;
constexpr int kMonoFloatWav = SF_FORMAT_WAV | SF_FORMAT_FLOAT;

class RenderState : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(write_sound(in, test_signal(3000), 1, kMonoFloatWav, 44100)); }
    TempDir dir;
    const std::string in = dir.file("in.wav");
    const std::string out = dir.file("out.wav");
};

TEST_F(RenderState, SavedDocumentHoldsTheFinalValues) {
    const std::string doc = dir.file("a.state");
    RunResult r = run_render({"--set", "mix=42", "--set", "lfo_sync_rate=7.6", "--save-state", doc, in, out});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<uint8_t> bytes = read_file(doc);
    EXPECT_EQ(bytes.size(), 6144u);
    state::ParameterValues v = values_in(doc);
    EXPECT_EQ(v[catalogue::kMix], 42);
    EXPECT_EQ(v[catalogue::kLfoSyncRate], 8);
    // The same as the plug-in would save at the file's rate.
    state::ParameterValues expected;
    for (uint32_t i = 0; i < catalogue::kInputCount; ++i) expected[i] = static_cast<float>(catalogue::entry(i)->def);
    expected[catalogue::kMix] = 42;
    expected[catalogue::kLfoSyncRate] = 8;
    std::vector<uint8_t> reference;
    ASSERT_EQ(state::save_document(state::kFormatVst3, 44100, expected, &reference), 0);
    EXPECT_EQ(bytes, reference);

    r = run_render({"--save-state", doc, "--state-format", "lv2", in, out});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(state::save_document(state::kFormatLv2, 44100, values_in(doc), &reference), 0);
    EXPECT_EQ(read_file(doc), reference);
}

TEST_F(RenderState, StateThenSetOverrides) {
    const std::string a = dir.file("a.state"), b = dir.file("b.state");
    ASSERT_EQ(run_render({"--set", "mix=10", "--set", "position=70", "--save-state", a, in, out}).status, 0);
    // --set wins over --state whatever the order on the command line.
    RunResult r = run_render({"--set", "mix=90", "--state", a, "--save-state", b, in, out});
    ASSERT_EQ(r.status, 0) << r.err;
    const state::ParameterValues v = values_in(b);
    EXPECT_EQ(v[catalogue::kMix], 90);
    EXPECT_EQ(v[catalogue::kPosition], 70);
}

TEST_F(RenderState, ShowState) {
    const std::string a = dir.file("a.state");
    ASSERT_EQ(run_render({"--set", "env_attack=3", "--save-state", a, in, out}).status, 0);
    const RunResult r = run_render({"--show-state", a});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"tallow-yawp-wah\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("sample_rate      44100"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("env_attack       3 ms"), std::string::npos) << r.out;
}

TEST_F(RenderState, RefusedDocumentsStopWithTheReason) {
    state::ParameterValues v;
    for (uint32_t i = 0; i < catalogue::kInputCount; ++i) v[i] = static_cast<float>(catalogue::entry(i)->def);
    std::vector<uint8_t> good;
    ASSERT_EQ(state::save_document(state::kFormatVst3, 48000, v, &good), 0);

    std::vector<uint8_t> foreign = good;  // another product's id, same length
    const std::string id = "tallow-yawp-wah";
    auto at = std::search(foreign.begin(), foreign.end(), id.begin(), id.end());
    ASSERT_NE(at, foreign.end());
    *at = 'T';

    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* reason;
    } cases[] = {
        {"empty.state", {}, "not a Yawp Wah state document"},
        {"cut.state", std::vector<uint8_t>(good.begin(), good.begin() + 3000), "not a Yawp Wah state document"},
        {"foreign.state", foreign, "\"id\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(c.name);
        write_file(path, c.bytes);
        RunResult r = run_render({"--state", path, in, out});
        EXPECT_EQ(r.status, kFailure);
        EXPECT_EQ(count_lines(r.err), 1u) << r.err;
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
        r = run_render({"--show-state", path});
        EXPECT_EQ(r.status, kFailure);
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    }
    EXPECT_EQ(run_render({"--state", dir.file("absent.state"), in, out}).status, kFailure);
    EXPECT_EQ(run_render({"--state-format", "au", in, out}).status, kFailure);
    // Nothing was written by any refused run.
    for (const std::string& f : dir.listing()) EXPECT_NE(f, "out.wav");
}

}  // namespace
}  // namespace yawp::test
