// The processor against the recording engine: what reaches the engine, and
// when, from parameter changes, time information, restored states and
// the engine's outputs.
#include <gtest/gtest.h>

#include <limits>

#include "recording_engine.h"
#include "vst3/factory.h"
#include "vst3_host.h"

namespace yawp::test {
namespace {

namespace cat = catalogue;
using Sets = std::vector<std::pair<uint32_t, float>>;

const ParamID kPosition = cat::vst3_id(cat::kPosition);
const ParamID kLfoSync = cat::vst3_id(cat::kLfoSync);
const ParamID kModPosition = cat::vst3_id(cat::kOutModPosition);
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr uint32_t kContextBits = kTransportRolling | kTransportSpeed | kTransportTempo | kTransportQuarterNotes |
                                  kTransportBeatsPerBar | kTransportBeatUnit;

struct ProcessorPasses : ::testing::Test {
    ProcessorPasses() {
        engine_log() = {};
        plugin.activate();
        engine_log().clear();
    }
    static Sets sets() {
        Sets s;
        for (const EngineCall& c : engine_log().sets()) s.emplace_back(c.index, c.value);
        return s;
    }
    static const EngineCall& last_call() { return engine_log().calls.back(); }

    Plugin plugin{vst3::factory()};
};

TEST_F(ProcessorPasses, ChangesApplyBeforeAndAfterTheBlockOnly) {
    ParamChanges changes, late;
    changes.add(kPosition, {{0, 0.2}, {10, 0.5}, {20, 0.8}});
    plugin.process(64, &changes);
    ASSERT_EQ(engine_log().calls.size(), 3u);
    EXPECT_EQ(engine_log().calls[1].kind, 'p');
    EXPECT_EQ(sets(), (Sets{{0, 20.0f}, {0, 80.0f}}));

    engine_log().clear();
    late.add(kPosition, {{5, 0.1}});
    plugin.process(64, &late);
    EXPECT_EQ(last_call().kind, 's');
    EXPECT_EQ(sets(), (Sets{{0, 10.0f}}));
}

TEST_F(ProcessorPasses, IgnoredAndUnchangedValuesNeverReachTheEngine) {
    ParamChanges changes, toggle;
    changes.add(kModPosition, {{0, 0.3}})
        .add(12345, {{0, 0.3}})
        .add(kPosition, {{0, 0.5}})                           // 50 already
        .add(kLfoSync, {{0, 0.4}})                            // off already
        .add(cat::vst3_id(cat::kMix), {{0, kNaN}})            // would poison every later save
        .add(cat::vst3_id(cat::kLfoSyncRate), {{3, 0.5}, {0, 0.5}});  // no usable point
    plugin.process(32, &changes);
    EXPECT_TRUE(sets().empty());

    toggle.add(kLfoSync, {{0, 0.5}});
    plugin.process(32, &toggle);
    EXPECT_EQ(sets(), (Sets{{cat::kLfoSync, 1.0f}}));
}

TEST_F(ProcessorPasses, ChangesWaitForTheGuardAndRestoresWinOverThem) {
    // Blocks that run while a save holds the guard: they neither wait nor
    // touch the engine, and their changes land at the next block.
    ParamChanges to_90, to_10;
    to_90.add(kPosition, {{0, 0.9}});
    to_10.add(kPosition, {{0, 0.1}});
    engine_log().on_get_parameter = [&] { plugin.process(16, &to_90); };
    plugin.save();
    EXPECT_TRUE(sets().empty());
    plugin.process(16);
    EXPECT_EQ(sets(), (Sets{{0, 90.0f}}));

    // A change that waited, then a restore: the restore wins.
    engine_log().on_get_parameter = [&] { plugin.process(16, &to_10); };
    plugin.save();
    ASSERT_EQ(plugin.restore(document(30)), kResultOk);
    EXPECT_EQ(values_of(plugin.save())[cat::kPosition], 30.0f) << "a save writes the pending restore";
    engine_log().clear();
    plugin.process(16);
    ASSERT_EQ(sets().size(), cat::kInputCount);
    EXPECT_EQ(sets()[cat::kPosition].second, 30.0f);
}

TEST_F(ProcessorPasses, TransportFollowsTheContext) {
    ProcessContext context{};
    context.state = ProcessContext::kPlaying | ProcessContext::kTempoValid | ProcessContext::kProjectTimeMusicValid |
                    ProcessContext::kTimeSigValid;
    context.tempo = 120;
    context.timeSigNumerator = 3;
    context.timeSigDenominator = 4;
    auto block = [&](ProcessContext* c) {
        plugin.process(32, nullptr, nullptr, c);
        return last_call().transport;
    };

    const Transport first = block(&context);
    EXPECT_EQ(first.valid, kContextBits);
    EXPECT_EQ(first.changed, kContextBits);
    EXPECT_TRUE(first.rolling && first.speed == 1.0f && first.tempo == 120.0f);
    EXPECT_TRUE(first.beats_per_bar == 3.0f && first.beat_unit == 4u);

    context.projectTimeMusic = 0.5;
    EXPECT_EQ(block(&context).changed, uint32_t{kTransportQuarterNotes});
    EXPECT_EQ(block(&context).changed, 0u);
    context.state &= ~ProcessContext::kTempoValid;
    EXPECT_EQ(block(&context).changed, uint32_t{kTransportTempo});
    const Transport none = block(nullptr);
    EXPECT_EQ(none.changed, kContextBits & ~kTransportTempo);
    EXPECT_EQ(none.valid, 0u);

    // Activation forgets what the host said: the same context is news again.
    context.state |= ProcessContext::kTempoValid;
    block(&context);
    plugin.component->setActive(false);
    plugin.component->setActive(true);
    EXPECT_EQ(block(&context).changed, kContextBits);
}

TEST_F(ProcessorPasses, InactiveBusesTakeOnlyTheTransport) {
    plugin.component->setActive(false);
    plugin.component->activateBus(kAudio, kInput, 0, false);
    plugin.component->setActive(true);
    ASSERT_EQ(engine_log().calls.size(), 2u);
    EXPECT_EQ(engine_log().calls[0].kind, 'r');
    EXPECT_EQ(engine_log().calls[1].kind, 'z');

    engine_log().clear();
    plugin.process(8, nullptr, nullptr, nullptr, std::vector<float>(8, 0.5f));
    ASSERT_EQ(engine_log().calls.size(), 1u);
    EXPECT_EQ(last_call().kind, 't');
    EXPECT_EQ(plugin.out, std::vector<float>(8, 0.0f));
}

TEST_F(ProcessorPasses, OutputsAreReportedWhenTheyMove) {
    ParamChanges first, moved, again, full, after;
    plugin.process(64, nullptr, &first);
    EXPECT_TRUE(first.queues.empty()) << "the first outputs equal those reported at initialize";

    engine_log().outputs = {42, 0.25f, 0.75f, -0.5f};
    plugin.process(64, nullptr, &moved);
    ASSERT_EQ(moved.queues.size(), 4u);
    EXPECT_EQ(moved.find(kModPosition)->points[0].offset, 63);
    EXPECT_DOUBLE_EQ(moved.find(kModPosition)->points[0].value, 0.42);
    EXPECT_DOUBLE_EQ(moved.find(cat::vst3_id(cat::kOutEnvOutput))->points[0].value, 0.25);

    // A value that is not finite is never shown to the host: it reads 0, so
    // it is reported once and then stands. A block of 0 samples reports at 0.
    engine_log().outputs.lfo_output = std::numeric_limits<float>::quiet_NaN();
    plugin.process(0, nullptr, &again);
    ASSERT_EQ(again.queues.size(), 1u);
    EXPECT_EQ(again.queues[0].id, cat::vst3_id(cat::kOutLfoOutput));
    EXPECT_EQ(again.queues[0].points[0].offset, 0);
    EXPECT_DOUBLE_EQ(again.queues[0].points[0].value, cat::plain_to_normalized(cat::kOutLfoOutput, 0.0));
    ParamChanges still;
    engine_log().outputs.lfo_output = std::numeric_limits<float>::infinity();
    plugin.process(8, nullptr, &still);
    EXPECT_EQ(still.find(cat::vst3_id(cat::kOutLfoOutput)), nullptr);

    // A value the host had no queue for still counts as reported.
    engine_log().outputs.mod_position = 7;
    full.refuse_queues = true;
    plugin.process(16, nullptr, &full);
    plugin.process(16, nullptr, &after);
    EXPECT_EQ(after.find(kModPosition), nullptr);
}

TEST_F(ProcessorPasses, OutputsAreReportedInsideTheirRangesAndOnceAtAnEnd) {
    const ParamID env = cat::vst3_id(cat::kOutEnvOutput);
    auto block = [&](ParamChanges* out) { plugin.process(32, nullptr, out); };

    // Far past every range end: each reads its end, 0 or 1 normalized.
    engine_log().outputs = {250, 1.25f, -1.5f, 31.9f};
    ParamChanges past;
    block(&past);
    ASSERT_EQ(past.queues.size(), 4u);
    EXPECT_EQ(past.find(kModPosition)->points[0].value, 1.0);
    EXPECT_EQ(past.find(cat::vst3_id(cat::kOutLfoPhase))->points[0].value, 1.0);
    EXPECT_EQ(past.find(cat::vst3_id(cat::kOutLfoOutput))->points[0].value, 0.0);
    EXPECT_EQ(past.find(env)->points[0].value, 1.0);

    // Further past the end is no news: the bounded value did not move.
    for (float level : {505.7f, 790.0f, 1.0f}) {
        engine_log().outputs.env_output = level;
        ParamChanges held;
        block(&held);
        EXPECT_TRUE(held.queues.empty()) << level;
    }

    // Past the other end, then back inside.
    engine_log().outputs.env_output = -790.0f;
    ParamChanges low, inside;
    block(&low);
    ASSERT_NE(low.find(env), nullptr);
    EXPECT_EQ(low.find(env)->points[0].value, 0.0);
    engine_log().outputs.env_output = 0.5f;
    block(&inside);
    ASSERT_NE(inside.find(env), nullptr);
    EXPECT_DOUBLE_EQ(inside.find(env)->points[0].value, 0.75);

    // A NaN after a value past the range still reads 0, not the range end.
    engine_log().outputs.env_output = 31.9f;
    block(nullptr);
    engine_log().outputs.env_output = std::numeric_limits<float>::quiet_NaN();
    ParamChanges nan;
    block(&nan);
    ASSERT_NE(nan.find(env), nullptr);
    EXPECT_EQ(nan.find(env)->points[0].value, 0.5);
}

}  // namespace
}  // namespace yawp::test
