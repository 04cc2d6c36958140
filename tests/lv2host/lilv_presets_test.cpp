// The factory presets as an LV2 host finds them: every one related to the
// plug-in, labelled and filed in its category's bank, and restoring exactly
// its 32 values through lilv's port-value callback.
#include <string>

#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/presets/presets.h>

#include "lilv_session.h"
#include "lv2/uris.h"
#include "presets/factory.h"

namespace yawp::lv2host {
namespace {

namespace cat = catalogue;

constexpr const char* kRdfsLabel = "http://www.w3.org/2000/01/rdf-schema#label";

std::string preset_uri(const presets::Preset& p) { return std::string(YAWP_LV2_URI "#preset-") + p.id; }

// The text of (subject, predicate, ?), or "" when there is none.
std::string text_of(const LilvNode* subject, const char* predicate) {
    LilvNode* value = lilv_world_get(session().world, subject, session().uri(predicate), nullptr);
    std::string text = value ? lilv_node_as_string(value) : "";
    lilv_node_free(value);
    return text;
}

struct Restored {
    HostedInstance* host;
    int calls = 0;
};

void set_port_value(const char* symbol, void* user, const void* value, uint32_t size, uint32_t type) {
    auto* r = static_cast<Restored*>(user);
    LilvNode* name = lilv_new_string(session().world, symbol);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(session().plugin, name);
    lilv_node_free(name);
    ASSERT_NE(port, nullptr) << symbol;
    ASSERT_EQ(size, sizeof(float)) << symbol;
    ASSERT_EQ(type, r->host->map.map(LV2_ATOM__Float)) << symbol;
    r->host->ports.control[lilv_port_get_index(session().plugin, port)] = *static_cast<const float*>(value);
    ++r->calls;
}

TEST(Lv2Presets, TheBundleListsEveryFactoryPreset) {
    ASSERT_NE(session().plugin, nullptr);
    LilvNodes* related = lilv_plugin_get_related(session().plugin, session().uri(LV2_PRESETS__Preset));
    ASSERT_NE(related, nullptr);
    EXPECT_EQ(lilv_nodes_size(related), presets::factory().size());
    for (const presets::Preset& p : presets::factory()) {
        LilvNode* uri = lilv_new_uri(session().world, preset_uri(p).c_str());
        EXPECT_TRUE(lilv_nodes_contains(related, uri)) << p.name;
        ASSERT_GE(lilv_world_load_resource(session().world, uri), 0) << p.name;  // the first loads the file
        EXPECT_EQ(text_of(uri, kRdfsLabel), p.name);
        LilvNode* bank = lilv_world_get(session().world, uri, session().uri(LV2_PRESETS__bank), nullptr);
        ASSERT_NE(bank, nullptr) << p.name;
        EXPECT_EQ(text_of(bank, kRdfsLabel), p.category) << p.name;
        lilv_node_free(bank);
        lilv_node_free(uri);
    }
    lilv_nodes_free(related);
}

TEST(Lv2Presets, EachPresetRestoresItsThirtyTwoValues) {
    ASSERT_NE(session().plugin, nullptr);
    for (const presets::Preset& p : presets::factory()) {
        SCOPED_TRACE(p.name);
        HostedInstance host;
        ASSERT_TRUE(host.ok());
        LilvNode* uri = lilv_new_uri(session().world, preset_uri(p).c_str());
        lilv_world_load_resource(session().world, uri);
        LilvState* state = lilv_state_new_from_world(session().world, host.map.map_feature(), uri);
        lilv_node_free(uri);
        ASSERT_NE(state, nullptr);
        EXPECT_EQ(lilv_state_get_num_properties(state), 0u);  // values only, no plug-in state blob

        Restored restored{&host};
        lilv_state_restore(state, host.instance, set_port_value, &restored, 0, host.features.get());
        lilv_state_free(state);
        EXPECT_EQ(restored.calls, static_cast<int>(cat::kInputCount));
        for (uint32_t i = 0; i < cat::kInputCount; ++i) {
            const float port = host.ports.control[lv2::port_of_parameter(i)];
            // The port the host sees is the plug-in's enable switch: 1 - bypass.
            const float value = i == cat::kBypass ? 1.0f - port : port;
            EXPECT_EQ(value, p.values[i]) << cat::state_key(i);
        }
    }
}

}  // namespace
}  // namespace yawp::lv2host
