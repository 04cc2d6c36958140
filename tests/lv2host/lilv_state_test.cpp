// The plug-in's state in a lilv host: snapshots, preset files, documents
// written by the VST3 module, and documents it must refuse.
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/log/log.h>

#include "lilv_session.h"
#include "lv2/uris.h"

namespace yawp::lv2host {
namespace {

namespace cat = catalogue;
namespace fs = std::filesystem;

// Settings far from the defaults, set through the ports, with the effect
// switched off (bypass 1).
void dial_in_settings(PortSet* ports) {
    ports->parameter(cat::kPosition) = 20.0f;
    ports->parameter(cat::kMix) = 70.0f;
    ports->parameter(cat::kHeelJaw) = 33.5f;
    ports->parameter(cat::kMidOn) = 1.0f;
    ports->parameter(cat::kLfoOn) = 1.0f;
    ports->parameter(cat::kLfoWaveform) = 2.5f;
    ports->parameter(cat::kLfoBias) = -40.0f;
    ports->parameter(cat::kLfoSyncRate) = 13.0f;
    ports->parameter(cat::kEnvRelease) = 250.0f;
    ports->enable() = 0.0f;
}

// The port of a symbol, or -1.
int port_of_symbol(const char* symbol) {
    LilvNode* node = lilv_new_string(session().world, symbol);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(session().plugin, node);
    lilv_node_free(node);
    return port ? static_cast<int>(lilv_port_get_index(session().plugin, port)) : -1;
}

// Port access for lilv's snapshot and restore, by symbol.
const void* get_port_value(const char* symbol, void* user, uint32_t* size, uint32_t* type) {
    auto* host = static_cast<HostedInstance*>(user);
    const int port = port_of_symbol(symbol);
    if (port < 0) return nullptr;
    *size = sizeof(float);
    *type = host->map.map(LV2_ATOM__Float);
    return &host->ports.control[port];
}

void set_port_value(const char* symbol, void* user, const void* value, uint32_t size, uint32_t type) {
    auto* host = static_cast<HostedInstance*>(user);
    const int port = port_of_symbol(symbol);
    ASSERT_GE(port, 0) << symbol;
    if (type == host->map.map(LV2_ATOM__Float) && size == sizeof(float)) {
        host->ports.control[port] = *static_cast<const float*>(value);
    } else if (type == host->map.map(LV2_ATOM__Double) && size == sizeof(double)) {
        host->ports.control[port] = static_cast<float>(*static_cast<const double*>(value));
    } else if (type == host->map.map(LV2_ATOM__Int) && size == sizeof(int32_t)) {
        host->ports.control[port] = static_cast<float>(*static_cast<const int32_t*>(value));
    } else {
        ADD_FAILURE() << "port value of unexpected type " << host->map.unmap(type) << " for " << symbol;
    }
}

LilvState* snapshot(HostedInstance* host) {
    return lilv_state_new_from_instance(session().plugin, host->instance, host->map.map_feature(), nullptr, nullptr,
                                        nullptr, nullptr, get_port_value, host, 0, host->features.get());
}

void restore(const LilvState* state, HostedInstance* host) {
    lilv_state_restore(state, host->instance, set_port_value, host, 0, host->features.get());
}

// Both instances re-activated on the same ports and fed the same signal
// give the same samples exactly.
void expect_same_sound(HostedInstance* a, HostedInstance* b) {
    a->activate();
    b->activate();
    for (uint32_t block = 0; block < 16; ++block) {
        for (uint32_t i = 0; i < 256; ++i) {
            const float x = 0.3f * std::sin(0.021f * static_cast<float>(block * 256 + i));
            a->ports.in[i] = b->ports.in[i] = x;
        }
        a->run(256);
        b->run(256);
        for (uint32_t i = 0; i < 256; ++i) ASSERT_EQ(a->ports.out[i], b->ports.out[i]) << block << ":" << i;
    }
}

std::string info_text(const std::vector<uint8_t>& bytes, const char* key) {
    state::Document doc;
    if (state::parse_document({bytes.data(), bytes.size()}, &doc) != 0) return "(unreadable)";
    const auto value = doc.info.lookup(key);
    return value ? std::string(reinterpret_cast<const char*>(value->data), value->size) : "(missing)";
}

// A valid document with one entry replaced: `edit` gets the parsed document.
template <typename Edit>
std::vector<uint8_t> edited_document(Edit edit) {
    std::vector<uint8_t> original, edited;
    EXPECT_EQ(state::save_document(state::kFormatLv2, 48000.0f, default_values(), &original), 0);
    state::Document doc;  // views into `original`
    EXPECT_EQ(state::parse_document({original.data(), original.size()}, &doc), 0);
    edit(&doc);
    EXPECT_EQ(state::serialise_document(doc, &edited), 0);
    return edited;
}

void replace(state::Map* map, const char* key, state::ByteView value) {
    EXPECT_EQ(map->erase(key), 1u);
    EXPECT_EQ(map->insert(key, value), 0);
}

class LilvStateTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(session().plugin, nullptr) << "no plug-in on " << lv2_path(); }
};

// ---- saving

TEST_F(LilvStateTest, SaveStoresTheDocumentAsOneChunk) {
    HostedInstance host;
    ASSERT_TRUE(host.ok());
    host.activate();
    host.run(64);
    StateCalls calls = host.state();
    std::vector<uint8_t> first, second;
    ASSERT_EQ(calls.save(&first), LV2_STATE_SUCCESS);
    EXPECT_EQ(calls.stored_key, host.map.map(YAWP_LV2_STATE_KEY));
    EXPECT_EQ(calls.stored_type, host.map.map(LV2_ATOM__Chunk));
    EXPECT_EQ(calls.stored_flags, uint32_t{LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE});
    EXPECT_EQ(first.size(), 6144u);
    EXPECT_EQ(info_text(first, "format"), "lv2");
    EXPECT_EQ(info_text(first, "id"), "tallow-yawp-wah");

    state::ParameterValues values{};
    ASSERT_TRUE(decode_values(first, &values));
    EXPECT_EQ(values, default_values());

    ASSERT_EQ(calls.save(&second), LV2_STATE_SUCCESS);
    EXPECT_EQ(first, second);
    EXPECT_TRUE(host.log.messages().empty());
}

// ---- lilv snapshots and preset files

TEST_F(LilvStateTest, SnapshotRestoresIntoAFreshInstance) {
    HostedInstance original;
    ASSERT_TRUE(original.ok());
    dial_in_settings(&original.ports);
    original.activate();
    original.run_blocks(4, 256);
    const state::ParameterValues saved = original.state().saved_values();
    EXPECT_EQ(saved[cat::kBypass], 1.0f);
    EXPECT_EQ(saved[cat::kLfoSyncRate], 13.0f);

    LilvState* state = snapshot(&original);
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(lilv_state_get_num_properties(state), 1u);

    HostedInstance copy;
    ASSERT_TRUE(copy.ok());
    copy.activate();
    copy.run(64);
    restore(state, &copy);
    copy.run(64);
    EXPECT_EQ(copy.state().saved_values(), saved);
    EXPECT_EQ(copy.ports.enable(), 0.0f);  // still off
    lilv_state_free(state);

    expect_same_sound(&original, &copy);
}

TEST_F(LilvStateTest, PresetFileRoundTrip) {
    HostedInstance original;
    ASSERT_TRUE(original.ok());
    dial_in_settings(&original.ports);
    original.ports.enable() = 1.0f;
    original.activate();
    original.run(64);
    const state::ParameterValues saved = original.state().saved_values();

    char dir_template[] = "/tmp/yawp-lv2host-XXXXXX";
    ASSERT_NE(mkdtemp(dir_template), nullptr);
    const fs::path dir = dir_template;
    LilvState* state = snapshot(&original);
    ASSERT_NE(state, nullptr);
    lilv_state_set_label(state, "Test preset");
    ASSERT_EQ(lilv_state_save(session().world, original.map.map_feature(), original.map.unmap_feature(), state, nullptr,
                              dir.c_str(), "preset.ttl"),
              0);
    lilv_state_free(state);

    std::ifstream file(dir / "preset.ttl");
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find(YAWP_LV2_STATE_KEY), std::string::npos) << text;

    HostedInstance loaded;
    ASSERT_TRUE(loaded.ok());
    LilvState* from_file =
        lilv_state_new_from_file(session().world, loaded.map.map_feature(), nullptr, (dir / "preset.ttl").c_str());
    ASSERT_NE(from_file, nullptr);
    EXPECT_STREQ(lilv_node_as_uri(lilv_state_get_plugin_uri(from_file)), YAWP_LV2_URI);
    loaded.activate();
    restore(from_file, &loaded);
    loaded.run(64);
    EXPECT_EQ(loaded.state().saved_values(), saved);
    lilv_state_free(from_file);
    fs::remove_all(dir);

    expect_same_sound(&original, &loaded);
}

// ---- restoring documents directly

// A document as the VST3 module writes it, with values that need the LV2
// restore rules.
std::vector<uint8_t> vst3_document(state::ParameterValues* expected) {
    state::ParameterValues stored = default_values();
    stored[cat::kPosition] = 25.0f;
    stored[cat::kMix] = 150.0f;         // clamped to 100
    stored[cat::kLfoOn] = 0.3f;         // on: the LV2 threshold is 0
    stored[cat::kLfoSyncRate] = 12.5f;  // rounds to 13
    stored[cat::kEnvAttack] = 40.0f;
    stored[cat::kBypass] = 1.0f;
    *expected = stored;
    (*expected)[cat::kMix] = 100.0f;
    (*expected)[cat::kLfoOn] = 1.0f;
    (*expected)[cat::kLfoSyncRate] = 13.0f;
    std::vector<uint8_t> bytes;
    EXPECT_EQ(state::save_document(state::kFormatVst3, 44100.0f, stored, &bytes), 0);
    return bytes;
}

TEST_F(LilvStateTest, RestoresAVst3Document) {
    HostedInstance host;
    ASSERT_TRUE(host.ok());
    host.activate();
    host.run(64);
    state::ParameterValues expected;
    const std::vector<uint8_t> bytes = vst3_document(&expected);
    ASSERT_EQ(info_text(bytes, "format"), "vst3");

    StateCalls calls = host.state();
    ASSERT_EQ(calls.restore(bytes), LV2_STATE_SUCCESS);
    EXPECT_EQ(calls.saved_values(), expected);  // waiting for run

    // The next block applies all 32 values though no port changed; ports
    // left unconnected cannot override them.
    for (uint32_t port = lv2::kPortFirstControl; port <= lv2::kPortEnable; ++port) host.disconnect(port);
    host.run(64);
    EXPECT_EQ(calls.saved_values(), expected);
    EXPECT_TRUE(host.log.messages().empty());
    // A save after it reads as this module's own.
    std::vector<uint8_t> resaved;
    ASSERT_EQ(calls.save(&resaved), LV2_STATE_SUCCESS);
    EXPECT_EQ(info_text(resaved, "format"), "lv2");
}

TEST_F(LilvStateTest, RestoredValuesReachTheEngine) {
    HostedInstance host;
    ASSERT_TRUE(host.ok());
    host.activate();
    host.run(64);
    state::ParameterValues values = default_values();
    values[cat::kPosition] = 35.0f;
    std::vector<uint8_t> bytes;
    ASSERT_EQ(state::save_document(state::kFormatLv2, 48000.0f, values, &bytes), 0);
    ASSERT_EQ(host.state().restore(bytes), LV2_STATE_SUCCESS);
    host.ports.parameter(cat::kPosition) = 35.0f;  // the host sets the port as well
    host.run_blocks(200, 256);
    EXPECT_NEAR(host.ports.meter(cat::kOutModPosition), 35.0f, 1e-2f);
    EXPECT_EQ(host.state().saved_values(), values);
}

TEST_F(LilvStateTest, APortThatDiffersOverridesTheRestoredValue) {
    HostedInstance host;
    ASSERT_TRUE(host.ok());
    host.activate();
    host.run(64);
    state::ParameterValues expected;
    ASSERT_EQ(host.state().restore(vst3_document(&expected)), LV2_STATE_SUCCESS);
    host.run(64);
    // Every port still holds its default, and each one that differs wins.
    EXPECT_EQ(host.state().saved_values(), default_values());
}

TEST_F(LilvStateTest, AnotherPropertyTypeIsStillRead) {
    HostedInstance host;
    ASSERT_TRUE(host.ok());
    host.activate();
    state::ParameterValues expected;
    const std::vector<uint8_t> bytes = vst3_document(&expected);
    StateCalls calls = host.state();
    ASSERT_EQ(calls.restore(&bytes, host.map.map(LV2_ATOM__String)), LV2_STATE_SUCCESS);
    EXPECT_EQ(calls.saved_values(), expected);
}

TEST_F(LilvStateTest, ActivationSupersedesAnEarlierRestore) {
    HostedInstance host;
    ASSERT_TRUE(host.ok());
    state::ParameterValues expected;
    ASSERT_EQ(host.state().restore(vst3_document(&expected)), LV2_STATE_SUCCESS);
    host.ports.parameter(cat::kPosition) = 60.0f;
    host.activate();
    host.run(64);
    state::ParameterValues ports = default_values();
    ports[cat::kPosition] = 60.0f;
    EXPECT_EQ(host.state().saved_values(), ports);
}

// ---- refusals

TEST_F(LilvStateTest, RefusedDocumentsChangeNothing) {
    HostedInstance host;
    ASSERT_TRUE(host.ok());
    dial_in_settings(&host.ports);
    host.activate();
    host.run(64);
    StateCalls calls = host.state();
    std::vector<uint8_t> before;
    ASSERT_EQ(calls.save(&before), LV2_STATE_SUCCESS);

    std::vector<uint8_t> garbage(6144);
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 7 + 3);
    state::ParameterValues unused;
    const std::vector<uint8_t> valid = vst3_document(&unused);
    const std::vector<uint8_t> truncated(valid.begin(), valid.begin() + 3000);
    // The save refuses a NaN, so it is swapped in afterwards.
    const float nan = NAN;
    const std::vector<uint8_t> nan_mix = edited_document([&](state::Document* doc) {
        replace(&doc->parameters, cat::state_key(cat::kMix), {reinterpret_cast<const uint8_t*>(&nan), sizeof nan});
    });
    const std::vector<uint8_t> wrong_id =
        edited_document([](state::Document* doc) { replace(&doc->info, "id", state::ByteView("tallow-yawp-wax")); });
    const std::vector<uint8_t> no_bypass =
        edited_document([](state::Document* doc) { doc->parameters.erase(cat::state_key(cat::kBypass)); });
    const std::vector<uint8_t> empty;

    const std::vector<uint8_t>* const refusals[] = {&garbage, &truncated, &nan_mix, &wrong_id, &no_bypass, &empty};
    for (const std::vector<uint8_t>* refused : refusals) {
        EXPECT_EQ(calls.restore(*refused), LV2_STATE_ERR_UNKNOWN) << refused->size() << " bytes";
        std::vector<uint8_t> after;
        ASSERT_EQ(calls.save(&after), LV2_STATE_SUCCESS);
        EXPECT_EQ(after, before);
        host.run(64);
        ASSERT_EQ(calls.save(&after), LV2_STATE_SUCCESS);
        EXPECT_EQ(after, before);
    }
    EXPECT_TRUE(host.log.messages().empty());
}

TEST_F(LilvStateTest, MissingPropertyIsReported) {
    HostedInstance host;
    ASSERT_TRUE(host.ok());
    dial_in_settings(&host.ports);
    host.activate();
    host.run(64);
    StateCalls calls = host.state();
    const state::ParameterValues before = calls.saved_values();

    EXPECT_EQ(calls.restore(nullptr, 0), LV2_STATE_ERR_NO_PROPERTY);
    const std::vector<LogMessage> log = host.log.messages();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].type, host.map.map(LV2_LOG__Error));
    EXPECT_EQ(log[0].text,
              "Cannot restore state since property <https://tallow.audio/plugins/yawp-wah#state_data> could not be "
              "retrieved\n");
    host.run(64);
    EXPECT_EQ(calls.saved_values(), before);
}

}  // namespace
}  // namespace yawp::lv2host
