// The plug-in as a lilv host sees it: found through LV2_PATH, described
// with the catalogue's ports, instantiated, run, and following the host's
// transport.
#include <algorithm>
#include <cmath>
#include <string>

#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/log/log.h>
#include <lv2/port-props/port-props.h>
#include <lv2/time/time.h>

#include "lilv_session.h"
#include "lv2/uris.h"

namespace yawp::lv2host {
namespace {

namespace cat = catalogue;

const char* const kMeterSymbols[cat::kOutputCount] = {"mod_position", "lfo_phase", "lfo_output", "env_output"};

const LilvPlugin* plugin() { return session().plugin; }

std::string port_symbol(uint32_t port) {
    return lilv_node_as_string(lilv_port_get_symbol(plugin(), lilv_plugin_get_port_by_index(plugin(), port)));
}

bool port_is(uint32_t port, const char* class_uri) {
    return lilv_port_is_a(plugin(), lilv_plugin_get_port_by_index(plugin(), port), session().uri(class_uri));
}

bool port_has_property(uint32_t port, const char* property_uri) {
    return lilv_port_has_property(plugin(), lilv_plugin_get_port_by_index(plugin(), port), session().uri(property_uri));
}

class LilvHost : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(plugin(), nullptr) << "no plug-in <" YAWP_LV2_URI "> on " << lv2_path(); }
};

// ---- discovery and description

TEST_F(LilvHost, FindsThePluginInTheBuiltBundle) {
    EXPECT_TRUE(lilv_plugin_verify(plugin()));
    const std::string bundle = lilv_node_as_uri(lilv_plugin_get_bundle_uri(plugin()));
    EXPECT_EQ(bundle, "file://" + lv2_path() + "/yawp-wah.lv2/");
    const std::string library = lilv_node_as_uri(lilv_plugin_get_library_uri(plugin()));
    EXPECT_EQ(library, bundle + "tallow-yawp-wah.so");

    LilvNode* name = lilv_plugin_get_name(plugin());
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(lilv_node_as_string(name), "Yawp Wah");
    lilv_node_free(name);
}

TEST_F(LilvHost, RequiresTheUridMapAndOffersState) {
    LilvNodes* required = lilv_plugin_get_required_features(plugin());
    EXPECT_TRUE(lilv_nodes_contains(required, session().uri(LV2_URID__map)));
    EXPECT_EQ(lilv_nodes_size(required), 1u);
    lilv_nodes_free(required);
    EXPECT_TRUE(lilv_plugin_has_extension_data(plugin(), session().uri(LV2_STATE__interface)));
}

TEST_F(LilvHost, HasTheThirtyNinePorts) {
    ASSERT_EQ(lilv_plugin_get_num_ports(plugin()), uint32_t{lv2::kPortCount});

    EXPECT_TRUE(port_is(lv2::kPortAudioIn, LV2_CORE__InputPort));
    EXPECT_TRUE(port_is(lv2::kPortAudioIn, LV2_CORE__AudioPort));
    EXPECT_TRUE(port_is(lv2::kPortAudioOut, LV2_CORE__OutputPort));
    EXPECT_TRUE(port_is(lv2::kPortAudioOut, LV2_CORE__AudioPort));

    EXPECT_TRUE(port_is(lv2::kPortEvents, LV2_CORE__InputPort));
    EXPECT_TRUE(port_is(lv2::kPortEvents, LV2_ATOM__AtomPort));
    const LilvPort* events = lilv_plugin_get_port_by_index(plugin(), lv2::kPortEvents);
    EXPECT_TRUE(lilv_port_supports_event(plugin(), events, session().uri(LV2_TIME__Position)));
    LilvNodes* buffer_type = lilv_port_get_value(plugin(), events, session().uri(LV2_ATOM__bufferType));
    EXPECT_TRUE(lilv_nodes_contains(buffer_type, session().uri(LV2_ATOM__Sequence)));
    lilv_nodes_free(buffer_type);

    for (uint32_t port = lv2::kPortFirstControl; port <= lv2::kPortEnable; ++port) {
        EXPECT_TRUE(port_is(port, LV2_CORE__InputPort)) << port;
        EXPECT_TRUE(port_is(port, LV2_CORE__ControlPort)) << port;
    }
    for (uint32_t port = lv2::kPortFirstOutput; port < lv2::kPortCount; ++port) {
        EXPECT_TRUE(port_is(port, LV2_CORE__OutputPort)) << port;
        EXPECT_TRUE(port_is(port, LV2_CORE__ControlPort)) << port;
    }
}

TEST_F(LilvHost, ControlPortsCarryTheCatalogue) {
    float lo[lv2::kPortCount], hi[lv2::kPortCount], def[lv2::kPortCount];
    lilv_plugin_get_port_ranges_float(plugin(), lo, hi, def);

    for (uint32_t i = 0; i < cat::kInputCount - 1; ++i) {
        const uint32_t port = lv2::port_of_parameter(i);
        const cat::RangeEntry* e = cat::entry(i);
        EXPECT_EQ(port_symbol(port), cat::state_key(i));
        EXPECT_EQ(lo[port], static_cast<float>(e->minimum)) << cat::state_key(i);
        EXPECT_EQ(hi[port], static_cast<float>(e->maximum)) << cat::state_key(i);
        EXPECT_EQ(def[port], static_cast<float>(e->def)) << cat::state_key(i);
        // Toggles carry the integer flag too, but a host shows them as switches.
        const bool toggle = (e->kind & cat::kKindToggle) != 0;
        const bool integer = !toggle && (e->kind & cat::kKindInteger) != 0;
        EXPECT_EQ(port_has_property(port, LV2_CORE__toggled), toggle) << port;
        EXPECT_EQ(port_has_property(port, LV2_CORE__integer), integer) << port;
        EXPECT_EQ(port_has_property(port, LV2_PORT_PROPS__logarithmic), (e->kind & cat::kKindLog) != 0) << port;
    }
    for (uint32_t k = 0; k < cat::kOutputCount; ++k) {
        const uint32_t port = lv2::kPortFirstOutput + k;
        const cat::RangeEntry* e = cat::entry(cat::kInputCount + k);
        EXPECT_EQ(port_symbol(port), kMeterSymbols[k]);
        EXPECT_EQ(lo[port], static_cast<float>(e->minimum)) << port;
        EXPECT_EQ(hi[port], static_cast<float>(e->maximum)) << port;
    }
}

TEST_F(LilvHost, EnablePortIsTheInverseOfBypass) {
    float lo[lv2::kPortCount], hi[lv2::kPortCount], def[lv2::kPortCount];
    lilv_plugin_get_port_ranges_float(plugin(), lo, hi, def);
    EXPECT_EQ(port_symbol(lv2::kPortEnable), "enabled");
    EXPECT_EQ(lo[lv2::kPortEnable], 0.0f);
    EXPECT_EQ(hi[lv2::kPortEnable], 1.0f);
    EXPECT_EQ(def[lv2::kPortEnable], 1.0f);  // bypass defaults to 0: the effect is on
    EXPECT_TRUE(port_has_property(lv2::kPortEnable, LV2_CORE__toggled));
    const LilvPort* enabled = lilv_plugin_get_port_by_designation(plugin(), session().uri(LV2_CORE__InputPort),
                                                                  session().uri(LV2_CORE__enabled));
    ASSERT_NE(enabled, nullptr);
    EXPECT_EQ(lilv_port_get_index(plugin(), enabled), uint32_t{lv2::kPortEnable});
}

// ---- running

TEST_F(LilvHost, InstantiatesQuietlyWithTheHostsFeatures) {
    HostedInstance host;
    ASSERT_TRUE(host.ok());
    EXPECT_TRUE(host.log.messages().empty());
    EXPECT_NE(host.state_interface(), nullptr);
    EXPECT_EQ(lilv_instance_get_extension_data(host.instance, LV2_CORE_PREFIX "nothing"), nullptr);
}

TEST_F(LilvHost, ControlPortsReachTheEngineAndMetersComeBack) {
    HostedInstance host;
    ASSERT_TRUE(host.ok());
    host.ports.parameter(cat::kPosition) = 20.0f;
    host.activate();
    host.run_blocks(4, 256);
    EXPECT_NEAR(host.ports.meter(cat::kOutModPosition), 20.0f, 1e-3f);

    // A change heard after activation glides there.
    host.ports.parameter(cat::kPosition) = 80.0f;
    host.run_blocks(200, 256);
    EXPECT_NEAR(host.ports.meter(cat::kOutModPosition), 80.0f, 1e-2f);

    const state::ParameterValues saved = host.state().saved_values();
    EXPECT_EQ(saved[cat::kPosition], 80.0f);
}

TEST_F(LilvHost, PortsAreCoercedOnTheWayIn) {
    HostedInstance host;
    ASSERT_TRUE(host.ok());
    host.activate();
    host.ports.parameter(cat::kLfoOn) = 0.3f;        // on: the threshold is 0
    host.ports.parameter(cat::kLfoSyncRate) = 7.5f;  // rounds half away from zero
    host.ports.parameter(cat::kMix) = 150.0f;        // clamped
    host.ports.enable() = 0.25f;                     // above 0: active
    host.run(64);
    state::ParameterValues v = host.state().saved_values();
    EXPECT_EQ(v[cat::kLfoOn], 1.0f);
    EXPECT_EQ(v[cat::kLfoSyncRate], 8.0f);
    EXPECT_EQ(v[cat::kMix], 100.0f);
    EXPECT_EQ(v[cat::kBypass], 0.0f);

    host.ports.parameter(cat::kLfoSyncRate) = -3.0f;
    host.ports.enable() = -1.0f;
    host.run(64);
    v = host.state().saved_values();
    EXPECT_EQ(v[cat::kLfoSyncRate], 1.0f);
    EXPECT_EQ(v[cat::kBypass], 1.0f);
}

TEST_F(LilvHost, BypassedOutputIsTheInput) {
    HostedInstance host;
    ASSERT_TRUE(host.ok());
    host.ports.enable() = 0.0f;
    host.activate();
    for (uint32_t i = 0; i < 512; ++i) host.ports.in[i] = 0.5f * std::sin(0.05f * static_cast<float>(i));
    host.run(512);
    for (uint32_t i = 0; i < 512; ++i) ASSERT_NEAR(host.ports.out[i], host.ports.in[i], 1e-6f) << i;
}

TEST_F(LilvHost, InPlaceProcessingMatches) {
    HostedInstance apart, in_place;
    ASSERT_TRUE(apart.ok() && in_place.ok());
    lilv_instance_connect_port(in_place.instance, lv2::kPortAudioOut, in_place.ports.in);
    apart.activate();
    in_place.activate();
    for (uint32_t b = 0; b < 8; ++b) {
        for (uint32_t i = 0; i < 256; ++i) {
            const float x = 0.4f * std::sin(0.013f * static_cast<float>(b * 256 + i));
            apart.ports.in[i] = in_place.ports.in[i] = x;
        }
        apart.run(256);
        in_place.run(256);
        for (uint32_t i = 0; i < 256; ++i) ASSERT_EQ(apart.ports.out[i], in_place.ports.in[i]);
    }
}

TEST_F(LilvHost, ABlockWithANaNDoesNotSilenceTheEffect) {
    HostedInstance host;
    ASSERT_TRUE(host.ok());
    host.ports.parameter(cat::kLfoOn) = 1.0f;
    host.ports.parameter(cat::kEnvOn) = 1.0f;
    host.activate();
    uint32_t t = 0;
    auto fill = [&] {
        for (uint32_t i = 0; i < 256; ++i, ++t) host.ports.in[i] = 0.3f * std::sin(0.03f * static_cast<float>(t));
    };
    fill();
    host.ports.in[17] = std::nanf("");
    host.ports.in[18] = -INFINITY;
    host.run(256);
    for (int block = 0; block < 40; ++block) {
        fill();
        host.run(256);
        float level = 0;
        for (uint32_t i = 0; i < 256; ++i) {
            ASSERT_TRUE(std::isfinite(host.ports.out[i])) << block << " " << i;
            level = std::max(level, std::fabs(host.ports.out[i]));
        }
        EXPECT_GT(level, 0.01f) << block;
        for (uint32_t k = 0; k < cat::kOutputCount; ++k) {
            const uint32_t index = cat::kInputCount + k;
            const float v = host.ports.meter(index);
            ASSERT_TRUE(std::isfinite(v)) << kMeterSymbols[k];
            ASSERT_GE(v, cat::entry(index)->minimum) << kMeterSymbols[k];
            ASSERT_LE(v, cat::entry(index)->maximum) << kMeterSymbols[k];
        }
    }
}

// Every meter port within the lv2:minimum and lv2:maximum the host read
// from the bundle, with the envelope driven far past its range: a loud sine
// at +100 % and -100 % envelope amount, over a couple of seconds.
TEST_F(LilvHost, MetersStayInsideTheirPortRangesAtLoudInput) {
    float lo[lv2::kPortCount], hi[lv2::kPortCount], def[lv2::kPortCount];
    lilv_plugin_get_port_ranges_float(plugin(), lo, hi, def);
    constexpr uint32_t kBlock = 256;
    constexpr int kBlocks = 400;
    constexpr double kStep = 6.283185307179586 * 440.0 / 48000.0;
    const uint32_t env = lv2::port_of_output(cat::kOutEnvOutput);

    for (double dbfs : {0.0, 24.0}) {
        for (float amount : {100.0f, -100.0f}) {
            SCOPED_TRACE(testing::Message() << dbfs << " dBFS, env amount " << amount);
            HostedInstance host;
            ASSERT_TRUE(host.ok());
            host.ports.parameter(cat::kEnvOn) = 1.0f;
            host.ports.parameter(cat::kEnvAmount) = amount;
            host.ports.parameter(cat::kLfoOn) = 1.0f;
            host.activate();
            const double amplitude = std::pow(10.0, dbfs / 20.0);
            float env_low = 0, env_high = 0;
            for (int block = 0; block < kBlocks; ++block) {
                for (uint32_t i = 0; i < kBlock; ++i) {
                    const double t = static_cast<double>(static_cast<uint32_t>(block) * kBlock + i);
                    host.ports.in[i] = static_cast<float>(amplitude * std::sin(kStep * t));
                }
                host.run(kBlock);
                for (uint32_t port = lv2::kPortFirstOutput; port < lv2::kPortCount; ++port) {
                    const float v = host.ports.control[port];
                    ASSERT_GE(v, lo[port]) << port_symbol(port) << " block " << block;
                    ASSERT_LE(v, hi[port]) << port_symbol(port) << " block " << block;
                }
                env_low = std::min(env_low, host.ports.control[env]);
                env_high = std::max(env_high, host.ports.control[env]);
            }
            // The envelope output went past its range end, and was shown there.
            EXPECT_EQ(amount > 0 ? env_high : env_low, amount > 0 ? hi[env] : lo[env]);
        }
    }
}

TEST_F(LilvHost, WithoutAMapItStillProcessesButRefusesState) {
    HostedInstance host(false);
    ASSERT_TRUE(host.ok());
    std::vector<LogMessage> log = host.log.messages();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].text, "Missing feature <" LV2_URID__map ">\n");

    host.ports.parameter(cat::kPosition) = 30.0f;
    host.activate();
    // Time position needs the map too: the event is not read.
    const LV2_URID speed = host.map.map(LV2_TIME__speed);
    host.ports.position_event([speed](LV2_Atom_Forge* forge) {
        lv2_atom_forge_key(forge, speed);
        lv2_atom_forge_float(forge, 1.0f);
    });
    host.run_blocks(4, 256);
    EXPECT_NEAR(host.ports.meter(cat::kOutModPosition), 30.0f, 1e-3f);

    host.log.clear();
    std::vector<uint8_t> bytes;
    EXPECT_EQ(host.state().save(&bytes), LV2_STATE_ERR_UNKNOWN);
    EXPECT_TRUE(bytes.empty());
    const std::vector<uint8_t> document = {1, 2, 3};
    EXPECT_EQ(host.state().restore(document), LV2_STATE_ERR_UNKNOWN);
    log = host.log.messages();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].text, "Host is trying to store state but didn't provide URID map\n");
    EXPECT_EQ(log[1].text, "Host is trying to restore state but didn't provide URID map\n");
}

TEST_F(LilvHost, RunOfZeroSamplesStillWritesTheMeters) {
    HostedInstance host;
    ASSERT_TRUE(host.ok());
    host.ports.parameter(cat::kPosition) = 40.0f;
    host.activate();
    for (uint32_t k = 0; k < cat::kOutputCount; ++k) host.ports.control[lv2::kPortFirstOutput + k] = -99.0f;
    host.run(0);
    for (uint32_t k = 0; k < cat::kOutputCount; ++k)
        EXPECT_NE(host.ports.control[lv2::kPortFirstOutput + k], -99.0f) << kMeterSymbols[k];
}

// ---- time position

struct Position {
    float speed = 1.0f;
    float bpm = 120.0f;
    int64_t bar = -1;  // negative: not sent
    float bar_beat = 0.0f;
    float beats_per_bar = 4.0f;
    int32_t beat_unit = 4;
    double beat = -1.0;  // negative: not sent
};

class TimePosition : public LilvHost {
protected:
    void SetUp() override {
        LilvHost::SetUp();
        ASSERT_TRUE(host.ok());
        host.ports.parameter(cat::kLfoOn) = 1.0f;
        host.ports.parameter(cat::kLfoSync) = 1.0f;
        host.ports.parameter(cat::kLfoSyncRate) = 8.0f;  // one cycle per quarter note
        host.activate();
    }

    // One block carrying `p`; returns the LFO phase meter after it.
    float block_with(const Position& p, uint32_t n = 1) {
        UridMap& m = host.map;
        host.ports.position_event([&](LV2_Atom_Forge* forge) {
            lv2_atom_forge_key(forge, m.map(LV2_TIME__speed));
            lv2_atom_forge_float(forge, p.speed);
            lv2_atom_forge_key(forge, m.map(LV2_TIME__beatsPerMinute));
            lv2_atom_forge_float(forge, p.bpm);
            if (p.bar >= 0) {
                lv2_atom_forge_key(forge, m.map(LV2_TIME__bar));
                lv2_atom_forge_long(forge, p.bar);
                lv2_atom_forge_key(forge, m.map(LV2_TIME__barBeat));
                lv2_atom_forge_float(forge, p.bar_beat);
            }
            lv2_atom_forge_key(forge, m.map(LV2_TIME__beatsPerBar));
            lv2_atom_forge_float(forge, p.beats_per_bar);
            lv2_atom_forge_key(forge, m.map(LV2_TIME__beatUnit));
            lv2_atom_forge_int(forge, p.beat_unit);
            if (p.beat >= 0) {
                lv2_atom_forge_key(forge, m.map(LV2_TIME__beat));
                lv2_atom_forge_double(forge, p.beat);
            }
        });
        host.run(n);
        return lfo_phase();
    }

    float block_without_position(uint32_t n) {
        host.ports.clear_events();
        host.run(n);
        return lfo_phase();
    }

    float lfo_phase() const { return host.ports.meter(cat::kOutLfoPhase); }

    // One sample at 120 beats per minute, one cycle per beat.
    static constexpr float kStep = 2.0f / 48000.0f;

    HostedInstance host;
};

TEST_F(TimePosition, BarAndBarBeatPlaceTheSyncedPhase) {
    // Bar 3, beat 2.25 of a 4/4 bar: 14.25 quarter notes.
    EXPECT_NEAR(block_with({.bar = 3, .bar_beat = 2.25f}), 0.25f + kStep, 1e-5f);
    // 6/8: (5 * 6 + 1.5) eighths = 15.75 quarter notes.
    EXPECT_NEAR(block_with({.bar = 5, .bar_beat = 1.5f, .beats_per_bar = 6, .beat_unit = 8}), 0.75f + kStep, 1e-5f);
}

TEST_F(TimePosition, BeatPlacesTheSyncedPhase) {
    EXPECT_NEAR(block_with({.beat = 10.375}), 0.375f + kStep, 1e-5f);
    // In eighths: 9 eighths are 4.5 quarter notes.
    EXPECT_NEAR(block_with({.beat_unit = 8, .beat = 9.0}), 0.5f + kStep, 1e-5f);
}

TEST_F(TimePosition, PhaseRunsFreelyBetweenPositions) {
    const float placed = block_with({.bar = 1, .bar_beat = 0.125f});
    EXPECT_NEAR(placed, 0.125f + kStep, 1e-5f);
    EXPECT_NEAR(block_without_position(480), placed + 480 * kStep, 1e-4f);
    // The phase offset shifts the meter along with the placement.
    host.ports.parameter(cat::kLfoSyncPhase) = 90.0f;
    EXPECT_NEAR(block_with({.bar = 1, .bar_beat = 0.125f}), 0.375f + kStep, 1e-5f);
}

TEST_F(TimePosition, StoppedTransportDoesNotRealign) {
    const float placed = block_with({.bar = 2, .bar_beat = 0.5f});
    EXPECT_NEAR(placed, 0.5f + kStep, 1e-5f);
    // Stopped at another position: the LFO keeps running at its own pace.
    EXPECT_NEAR(block_with({.speed = 0, .bar = 7, .bar_beat = 0.25f}, 100), placed + 100 * kStep, 1e-4f);
}

TEST_F(TimePosition, TempoSetsTheSyncedRate) {
    block_with({.bar = 0, .bar_beat = 0.0f});
    const float start = block_with({.bpm = 60.0f}, 0);  // tempo change without a position
    EXPECT_NEAR(block_without_position(4800) - start, 4800 * (1.0f / 48000.0f), 1e-4f);
}

}  // namespace
}  // namespace yawp::lv2host
