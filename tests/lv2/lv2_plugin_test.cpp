// The LV2 plug-in driven in-process: ports and their coercion, activation,
// run, time position intake and the state interface.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "lv2/uris.h"
#include "lv2_test_host.h"
#include "state/document.h"

using namespace yawp;
using namespace yawp::test;
namespace cat = yawp::catalogue;

namespace {

constexpr uint32_t kBlock = 256;

float engine_value(Host& h, uint32_t index) { return h.instance()->engine.get_parameter(index); }

state::ParameterValues defaults() {
    state::ParameterValues v;
    for (uint32_t i = 0; i < cat::kInputCount; ++i) v[i] = static_cast<float>(cat::entry(i)->def);
    return v;
}

StateStore document(const state::ParameterValues& values, std::string_view format = state::kFormatVst3) {
    StateStore s;
    EXPECT_EQ(state::save_document(format, 44100, values, &s.bytes), 0);
    s.present = true;
    return s;
}

LV2_State_Status restore(Host& h, StateStore& s) {
    return h.state()->restore(h.handle, StateStore::retrieve, &s, 0, nullptr);
}

LV2_State_Status save(Host& h, StateStore& s) { return h.state()->save(h.handle, StateStore::store, &s, 0, nullptr); }

// The values inside a saved document.
state::ParameterValues saved_values(Host& h) {
    StateStore s;
    EXPECT_EQ(save(h, s), LV2_STATE_SUCCESS);
    state::ParameterValues v{};
    state::Document doc;
    EXPECT_EQ(state::parse_document({s.bytes.data(), s.bytes.size()}, &doc), 0);
    EXPECT_EQ(state::check_document(doc, &v), 0);
    return v;
}

}  // namespace

TEST(Lv2Descriptor, OnlyIndexZero) {
    ASSERT_NE(lv2_descriptor(0), nullptr);
    EXPECT_STREQ(lv2_descriptor(0)->URI, YAWP_LV2_URI);
    EXPECT_EQ(lv2_descriptor(1), nullptr);
    EXPECT_EQ(lv2_descriptor(0)->deactivate, nullptr);
    EXPECT_NE(lv2_descriptor(0)->extension_data(LV2_STATE__interface), nullptr);
    EXPECT_EQ(lv2_descriptor(0)->extension_data("urn:nothing"), nullptr);
}

TEST(Lv2Ports, CoercionRules) {
    EXPECT_EQ(lv2::coerce_port(cat::kBypass, 1), 0);  // enable 1 -> active
    EXPECT_EQ(lv2::coerce_port(cat::kBypass, 0), 1);
    EXPECT_EQ(lv2::coerce_port(cat::kBypass, -1), 1);
    EXPECT_EQ(lv2::coerce_port(cat::kBypass, 0.25f), 0);
    EXPECT_EQ(lv2::coerce_port(cat::kMidOn, 0.3f), 1);  // threshold 0
    EXPECT_EQ(lv2::coerce_port(cat::kMidOn, 0), 0);
    EXPECT_EQ(lv2::coerce_port(cat::kLfoSyncRate, 7.5f), 8);
    EXPECT_EQ(lv2::coerce_port(cat::kLfoSyncRate, 30), 24);
    EXPECT_EQ(lv2::coerce_port(cat::kLfoSyncRate, -3), 1);
    EXPECT_EQ(lv2::coerce_port(cat::kMix, 150), 100);
    EXPECT_EQ(lv2::coerce_port(cat::kLfoFreeRate, 0), 0.2f);
    // A NaN never reaches the engine.
    EXPECT_EQ(lv2::coerce_port(cat::kPosition, NAN), 0);
    EXPECT_EQ(lv2::coerce_port(cat::kLfoSyncRate, NAN), 1);
    EXPECT_EQ(lv2::coerce_stored(cat::kBypass, 1), 1);  // stored bypass is not inverted
    EXPECT_EQ(lv2::coerce_stored(cat::kLfoSync, 0.3f), 1);
    EXPECT_EQ(lv2::coerce_stored(cat::kLfoSyncRate, 12.5f), 13);
}

TEST(Lv2Run, ActivationReadsPortsOrDefaults) {
    Host h;
    h.set(cat::kMix, 30);
    h.controls[lv2::kPortEnable] = 1;
    h.activate();
    EXPECT_EQ(engine_value(h, cat::kMix), 30);
    EXPECT_EQ(engine_value(h, cat::kBypass), 0);

    Host unconnected;
    unconnected.descriptor->connect_port(unconnected.handle, lv2::kPortEnable, nullptr);
    unconnected.descriptor->connect_port(unconnected.handle, lv2::port_of_parameter(cat::kMix), nullptr);
    unconnected.activate();
    EXPECT_EQ(engine_value(unconnected, cat::kBypass), 0);
    EXPECT_EQ(engine_value(unconnected, cat::kMix), 100);
}

TEST(Lv2Run, PortChangesReachTheEngineAndMetersAreWritten) {
    Host h;
    h.activate();
    h.set(cat::kPosition, 80);
    h.controls[lv2::kPortEnable] = 0;
    h.run(0);  // even an empty block reads ports and writes meters
    EXPECT_EQ(engine_value(h, cat::kPosition), 80);
    EXPECT_EQ(engine_value(h, cat::kBypass), 1);
    EXPECT_FLOAT_EQ(h.meter(cat::kOutModPosition), 50);  // unchanged by n = 0 (reset value)
    h.run(kBlock);
    EXPECT_FLOAT_EQ(h.meter(cat::kOutModPosition), 80);
}

TEST(Lv2Run, InPlaceMatchesSeparateBuffers) {
    Host a, b;
    for (Host* h : {&a, &b}) {
        h->set(cat::kLfoOn, 1);
        h->activate();
        for (uint32_t i = 0; i < kBlock; ++i) h->in[i] = std::sin(i * 0.05f);
    }
    b.descriptor->connect_port(b.handle, lv2::kPortAudioOut, b.in.data());
    a.run(kBlock);
    b.run(kBlock);
    for (uint32_t i = 0; i < kBlock; ++i) ASSERT_EQ(a.out[i], b.in[i]);
}

TEST(Lv2Run, BadPortIndexAndMissingAudioAreHarmless) {
    Host h;
    float x = 0;
    h.descriptor->connect_port(h.handle, 39, &x);
    h.descriptor->connect_port(h.handle, 1000, &x);
    h.activate();
    h.descriptor->connect_port(h.handle, lv2::kPortAudioIn, nullptr);
    std::fill(h.out.begin(), h.out.end(), 1.0f);
    h.run(kBlock);
    EXPECT_EQ(h.out[0], 0.0f);
    EXPECT_EQ(x, 0.0f);
}

TEST(Lv2Time, LastObjectWinsPerProperty) {
    Host h;
    h.activate();
    h.send_positions({{{LV2_TIME__speed, 1}, {LV2_TIME__beatsPerMinute, 120}}, {{LV2_TIME__beatsPerMinute, 90}}});
    h.run(kBlock);
    const Transport& t = h.instance()->transport;
    EXPECT_EQ(t.speed, 1);
    EXPECT_EQ(t.tempo, 90);
    EXPECT_TRUE(t.rolling);
    EXPECT_EQ(t.valid & (kTransportSpeed | kTransportRolling | kTransportTempo),
              kTransportSpeed | kTransportRolling | kTransportTempo);
}

TEST(Lv2Time, SpeedChangeBits) {
    Host h;
    h.activate();
    const Transport& t = h.instance()->transport;
    h.send_positions({{{LV2_TIME__speed, 1}}});
    h.run(1);
    EXPECT_EQ(t.changed, kTransportSpeed | kTransportRolling);
    h.send_positions({{{LV2_TIME__speed, 2}}});
    h.run(1);
    EXPECT_EQ(t.changed, kTransportSpeed);
    h.send_positions({{{LV2_TIME__speed, 0}}});
    h.run(1);
    EXPECT_EQ(t.changed, kTransportSpeed | kTransportRolling);
    EXPECT_FALSE(t.rolling);
    h.send_positions({{{LV2_TIME__speed, 0}}});
    h.run(1);
    EXPECT_EQ(t.changed, 0u);
}

TEST(Lv2Time, SongPositionOnlyInBlocksThatCarryIt) {
    Host h;
    h.activate();
    const Transport& t = h.instance()->transport;
    h.send_positions({{{LV2_TIME__beat, 3.5}, {LV2_TIME__beatsPerMinute, 100}}});
    h.run(1);
    EXPECT_TRUE(t.valid & kTransportBeat);
    h.clear_events();
    h.run(1);
    EXPECT_EQ(t.changed, static_cast<uint32_t>(kTransportBeat));
    EXPECT_FALSE(t.valid & kTransportBeat);
    EXPECT_TRUE(t.valid & kTransportTempo);  // tempo stays known
    h.run(1);
    EXPECT_EQ(t.changed, 0u);
}

TEST(Lv2Time, BarAndBeatRealignTheSyncedLfo) {
    Host h;
    h.set(cat::kLfoOn, 1);
    h.set(cat::kLfoSync, 1);  // rate 8: one cycle per quarter note
    h.activate();
    h.send_positions({{{LV2_TIME__speed, 1},
                       {LV2_TIME__beatsPerMinute, 120},
                       {LV2_TIME__bar, 2},
                       {LV2_TIME__barBeat, 1.25},
                       {LV2_TIME__beatsPerBar, 4},
                       {LV2_TIME__beatUnit, 4}}});
    h.run(1);
    // (2 × 4 + 1.25) quarter notes: phase 0.25, then one sample's advance.
    EXPECT_NEAR(h.meter(cat::kOutLfoPhase), 0.25 + 2.0 / 48000, 1e-5);
}

TEST(Lv2Time, MalformedPropertiesAreNotRead) {
    Host h;
    h.activate();
    // A beat sent as a 4-byte Int is converted; a truncated body is skipped.
    lv2_atom_forge_set_buffer(&h.forge, h.sequence, sizeof h.sequence);
    LV2_Atom_Forge_Frame seq, obj;
    lv2_atom_forge_sequence_head(&h.forge, &seq, 0);
    lv2_atom_forge_frame_time(&h.forge, 0);
    lv2_atom_forge_object(&h.forge, &obj, 0, h.urids.map(LV2_TIME__Position));
    lv2_atom_forge_key(&h.forge, h.urids.map(LV2_TIME__beat));
    lv2_atom_forge_int(&h.forge, 3);
    lv2_atom_forge_key(&h.forge, h.urids.map(LV2_TIME__bar));
    lv2_atom_forge_atom(&h.forge, 2, h.urids.map("urn:odd"));
    lv2_atom_forge_write(&h.forge, "\x01\x02", 2);
    lv2_atom_forge_pop(&h.forge, &obj);
    lv2_atom_forge_pop(&h.forge, &seq);
    h.run(1);
    const Transport& t = h.instance()->transport;
    EXPECT_EQ(t.beat, 3.0);
    EXPECT_FALSE(t.valid & kTransportBar);
}

TEST(Lv2Time, NoMapMeansNoEvents) {
    Host h(false);
    h.activate();
    h.send_positions({{{LV2_TIME__beatsPerMinute, 90}}});
    h.run(1);
    EXPECT_EQ(h.instance()->transport.valid, 0u);
    ASSERT_EQ(h.log.messages.size(), 1u);
    EXPECT_EQ(h.log.messages[0], "Missing feature <" LV2_URID__map ">\n");
}

TEST(Lv2State, SaveWritesTheDocumentAsAChunk) {
    Host h;
    h.set(cat::kMix, 42);
    h.controls[lv2::kPortEnable] = 0;
    h.activate();
    StateStore s;
    ASSERT_EQ(save(h, s), LV2_STATE_SUCCESS);
    EXPECT_EQ(s.key, h.urids.map(YAWP_LV2_STATE_KEY));
    EXPECT_EQ(s.type, h.urids.map(LV2_ATOM__Chunk));
    EXPECT_EQ(s.flags, static_cast<uint32_t>(LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE));
    state::Document doc;
    ASSERT_EQ(state::parse_document({s.bytes.data(), s.bytes.size()}, &doc), 0);
    state::ParameterValues v;
    ASSERT_EQ(state::check_document(doc, &v), 0);
    EXPECT_EQ(v[cat::kMix], 42);
    EXPECT_EQ(v[cat::kBypass], 1);  // the document holds bypass, not enable

    s.store_result = LV2_STATE_ERR_NO_SPACE;
    EXPECT_EQ(save(h, s), LV2_STATE_ERR_UNKNOWN);
}

TEST(Lv2State, RoundTripIntoAFreshInstance) {
    Host a;
    a.set(cat::kLfoSyncRate, 17);
    a.set(cat::kEnvAttack, 3.5f);
    a.controls[lv2::kPortEnable] = 0;
    a.activate();
    a.run(kBlock);
    StateStore s;
    ASSERT_EQ(save(a, s), LV2_STATE_SUCCESS);

    // Ports override restored values in the block that applies them, so a
    // host that restores without setting ports leaves them unconnected.
    Host b;
    b.activate();
    b.run(kBlock);
    for (uint32_t p = lv2::kPortFirstControl; p <= lv2::kPortEnable; ++p) b.descriptor->connect_port(b.handle, p, nullptr);
    ASSERT_EQ(restore(b, s), LV2_STATE_SUCCESS);
    b.run(0);  // the next block applies all 32 values
    for (uint32_t i = 0; i < cat::kInputCount; ++i) EXPECT_EQ(engine_value(b, i), engine_value(a, i)) << i;
    EXPECT_EQ(engine_value(b, cat::kBypass), 1);  // bypassed stays bypassed
}

TEST(Lv2State, RestoresAVst3DocumentAndAppliesOwnCoercion) {
    state::ParameterValues v = defaults();
    v[cat::kMidOn] = 0.3f;          // on with the threshold 0
    v[cat::kLfoSyncRate] = 12.5f;   // 13
    v[cat::kMix] = 150;             // 100
    v[cat::kBypass] = 1;
    StateStore s = document(v, state::kFormatVst3);
    Host h;
    h.activate();
    for (uint32_t i : {cat::kMidOn, cat::kLfoSyncRate, cat::kMix, cat::kBypass})
        h.descriptor->connect_port(h.handle, lv2::port_of_parameter(i), nullptr);
    ASSERT_EQ(restore(h, s), LV2_STATE_SUCCESS);
    h.run(1);
    EXPECT_EQ(engine_value(h, cat::kMidOn), 1);
    EXPECT_EQ(engine_value(h, cat::kLfoSyncRate), 13);
    EXPECT_EQ(engine_value(h, cat::kMix), 100);
    EXPECT_EQ(engine_value(h, cat::kBypass), 1);  // stays bypassed
}

TEST(Lv2State, OtherPropertyTypeIsStillParsed) {
    StateStore s = document(defaults());
    s.type = 12345;
    Host h;
    h.activate();
    EXPECT_EQ(restore(h, s), LV2_STATE_SUCCESS);
}

TEST(Lv2State, RefusalsChangeNothing) {
    Host h;
    h.set(cat::kMix, 12);
    h.activate();
    h.run(kBlock);

    StateStore missing;
    EXPECT_EQ(restore(h, missing), LV2_STATE_ERR_NO_PROPERTY);
    ASSERT_FALSE(h.log.messages.empty());
    EXPECT_EQ(h.log.messages.back(),
              "Cannot restore state since property <" YAWP_LV2_STATE_KEY "> could not be retrieved\n");

    StateStore garbage;
    garbage.bytes.assign(6144, 0x5A);
    garbage.present = true;
    EXPECT_EQ(restore(h, garbage), LV2_STATE_ERR_UNKNOWN);

    state::ParameterValues v = defaults();
    v[cat::kMix] = NAN;
    StateStore nan_doc;
    EXPECT_NE(state::save_document(state::kFormatLv2, 48000, v, &nan_doc.bytes), 0);

    StateStore truncated = document(defaults());
    truncated.bytes.resize(truncated.bytes.size() / 2);
    EXPECT_EQ(restore(h, truncated), LV2_STATE_ERR_UNKNOWN);

    h.run(kBlock);
    EXPECT_EQ(engine_value(h, cat::kMix), 12);
    EXPECT_FALSE(h.instance()->state_pending);
}

TEST(Lv2State, NoMapRefusesBoth) {
    Host h(false);
    h.activate();
    StateStore s = document(defaults());
    EXPECT_EQ(save(h, s), LV2_STATE_ERR_UNKNOWN);
    EXPECT_EQ(h.log.messages.back(), "Host is trying to store state but didn't provide URID map\n");
    EXPECT_EQ(restore(h, s), LV2_STATE_ERR_UNKNOWN);
    EXPECT_EQ(h.log.messages.back(), "Host is trying to restore state but didn't provide URID map\n");
}

TEST(Lv2State, SaveAfterRestoreWithoutRunKeepsTheRestoredValues) {
    // A host that loads a session and saves it again without running audio
    // must not write the previous settings.
    Host h;
    h.activate();
    state::ParameterValues v = defaults();
    v[cat::kPosition] = 7;
    v[cat::kLfoSyncRate] = 3;
    StateStore s = document(v);
    ASSERT_EQ(restore(h, s), LV2_STATE_SUCCESS);
    const state::ParameterValues saved = saved_values(h);
    EXPECT_EQ(saved[cat::kPosition], 7);
    EXPECT_EQ(saved[cat::kLfoSyncRate], 3);
    // ...and the restore still reaches the engine afterwards, with the
    // host's ports set to the same values.
    h.set(cat::kPosition, 7);
    h.set(cat::kLfoSyncRate, 3);
    h.run(1);
    EXPECT_EQ(engine_value(h, cat::kLfoSyncRate), 3);
}

TEST(Lv2State, PortChangeWhileGuardIsHeldIsHeardOneBlockLater) {
    Host h;
    h.activate();
    lv2::Instance* self = h.instance();
    self->guard.take();  // as a save on another thread would
    self->in_sync = false;
    h.set(cat::kMix, 33);
    h.run(1);
    EXPECT_EQ(engine_value(h, cat::kMix), 100);  // not yet
    self->guard.release();
    h.run(1);
    EXPECT_EQ(engine_value(h, cat::kMix), 33);  // and not lost
}

TEST(Lv2State, PortsThatDifferOverrideTheRestoreInThatBlock) {
    Host h;
    h.set(cat::kMix, 60);
    h.activate();
    state::ParameterValues v = defaults();
    v[cat::kMix] = 20;
    v[cat::kPosition] = 10;
    h.set(cat::kPosition, 10);
    StateStore s = document(v);
    ASSERT_EQ(restore(h, s), LV2_STATE_SUCCESS);
    h.run(1);
    EXPECT_EQ(engine_value(h, cat::kMix), 60);
    EXPECT_EQ(engine_value(h, cat::kPosition), 10);
}

TEST(Lv2State, RestoreBeforeActivationIsSupersededByPorts) {
    Host h;
    state::ParameterValues v = defaults();
    v[cat::kMix] = 5;
    StateStore s = document(v);
    ASSERT_EQ(restore(h, s), LV2_STATE_SUCCESS);
    h.activate();
    h.run(1);
    EXPECT_EQ(engine_value(h, cat::kMix), 100);
}
