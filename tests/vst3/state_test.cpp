// The processor's and the controller's state through the host's streams:
// what a save holds, what a restore takes, what every refused stream
// leaves alone, and states shared with the LV2 plug-in.
#include <gtest/gtest.h>

#include <algorithm>

#include "lv2_test_host.h"
#include "state/document.h"
#include "vst3/stream_io.h"
#include "vst3_host.h"

namespace yawp::test {
namespace {

namespace cat = catalogue;

const ParamID kPosition = cat::vst3_id(cat::kPosition);

TEST(Vst3State, SampleRateIsTheOneOfTheLastActivation) {
    Plugin plugin;
    const std::vector<uint8_t> before = plugin.save();
    EXPECT_EQ(before.size(), 6144u);
    EXPECT_EQ(sample_rate_of(before), 0.0f);
    plugin.activate(44100);
    plugin.component->setActive(false);
    EXPECT_EQ(sample_rate_of(plugin.save()), 44100.0f);
}

TEST(Vst3State, ARestoreIsWhatEverySaveHoldsFromThenOn) {
    Plugin plugin;
    plugin.activate();
    plugin.process(64);
    ASSERT_EQ(plugin.restore(document(30)), kResultOk);
    // A host that loads a project and saves it again before any block.
    EXPECT_EQ(values_of(plugin.save())[cat::kPosition], 30.0f);
    ParamChanges out;
    plugin.process(64, nullptr, &out);
    ASSERT_NE(out.find(cat::vst3_id(cat::kOutModPosition)), nullptr);
    EXPECT_NEAR(out.find(cat::vst3_id(cat::kOutModPosition))->points[0].value, 0.3, 1e-6);
    EXPECT_EQ(values_of(plugin.save())[cat::kPosition], 30.0f);

    MemoryStream stream(document(150));  // out of range: clamped
    stream.position = 100;               // read from the start whatever the position
    ASSERT_EQ(plugin.controller->setComponentState(&stream), kResultOk);
    EXPECT_EQ(plugin.controller->getParamNormalized(kPosition), 1.0);
}

// Same length, one letter off.
void other_product(MemoryStream& s) {
    auto at = std::search(s.bytes.begin(), s.bytes.end(), state::kProductId.begin(), state::kProductId.end());
    at[state::kProductId.size() - 1] = 'x';
}

struct BadStream {
    const char* what;
    void (*spoil)(MemoryStream&);
};

const BadStream kBadStreams[] = {
    {"empty", [](MemoryStream& s) { s.bytes.clear(); }},
    {"truncated", [](MemoryStream& s) { s.bytes.resize(s.bytes.size() / 2); }},
    {"garbage", [](MemoryStream& s) { std::fill(s.bytes.begin(), s.bytes.end(), uint8_t{0x5A}); }},
    {"other product", other_product},
    {"oversized", [](MemoryStream& s) { s.bytes.resize(static_cast<size_t>(vst3::kMaxStateBytes) + 1); }},
    {"claims to be longer", [](MemoryStream& s) { s.claimed_extra = 1000; }},
    {"claims to be huge", [](MemoryStream& s) { s.claimed_extra = int64{1} << 40; }},
    {"short reads", [](MemoryStream& s) { s.read_limit = 512; }},
    {"failing seek", [](MemoryStream& s) { s.fail_seek = true; }},
    {"failing tell", [](MemoryStream& s) { s.fail_tell = true; }},
};

TEST(Vst3State, RefusedStreamsChangeNothing) {
    Plugin plugin;
    plugin.activate();
    ParamChanges changes;
    changes.add(kPosition, {{0, 0.6}});
    plugin.process(64, &changes);
    const std::vector<uint8_t> saved = plugin.save();

    EXPECT_EQ(plugin.component->setState(nullptr), kResultFalse);
    EXPECT_EQ(plugin.controller->setComponentState(nullptr), kResultFalse);
    for (const BadStream& bad : kBadStreams) {
        MemoryStream to_processor(document(10)), to_controller(document(10));
        bad.spoil(to_processor);
        bad.spoil(to_controller);
        EXPECT_EQ(plugin.component->setState(&to_processor), kResultFalse) << bad.what;
        EXPECT_EQ(plugin.controller->setComponentState(&to_controller), kResultFalse) << bad.what;
        plugin.process(64);
        EXPECT_EQ(plugin.save(), saved) << bad.what;
        EXPECT_EQ(plugin.controller->getParamNormalized(kPosition), 0.5) << bad.what;
    }

    MemoryStream short_stream;
    short_stream.write_limit = 100;
    EXPECT_EQ(plugin.component->getState(&short_stream), kResultFalse);
    EXPECT_EQ(plugin.component->getState(nullptr), kResultFalse);
}

TEST(Vst3CrossFormat, StatesMoveBetweenTheModules) {
    Plugin vst, other;
    vst.activate();
    ParamChanges changes;
    changes.add(kPosition, {{0, 0.25}}).add(cat::vst3_id(cat::kBypass), {{0, 1.0}});
    vst.process(64, &changes);

    Host lv2;
    lv2.activate();
    StateStore from_vst, from_lv2;
    from_vst.bytes = vst.save();
    from_vst.present = true;
    const LV2_State_Interface* state = lv2.state();
    ASSERT_EQ(state->restore(lv2.handle, StateStore::retrieve, &from_vst, 0, nullptr), LV2_STATE_SUCCESS);
    ASSERT_EQ(state->save(lv2.handle, StateStore::store, &from_lv2, 0, nullptr), LV2_STATE_SUCCESS);
    EXPECT_EQ(values_of(from_lv2.bytes)[cat::kPosition], 25.0f);
    EXPECT_EQ(values_of(from_lv2.bytes)[cat::kBypass], 1.0f);

    lv2.set(cat::kPosition, 70.0f);
    lv2.run(64);
    ASSERT_EQ(state->save(lv2.handle, StateStore::store, &from_lv2, 0, nullptr), LV2_STATE_SUCCESS);
    ASSERT_EQ(other.restore(from_lv2.bytes), kResultOk);
    EXPECT_EQ(values_of(other.save())[cat::kPosition], 70.0f);
    MemoryStream stream(from_lv2.bytes);
    ASSERT_EQ(other.controller->setComponentState(&stream), kResultOk);
    EXPECT_NEAR(other.controller->getParamNormalized(kPosition), 0.7, 1e-7);
}

}  // namespace
}  // namespace yawp::test
