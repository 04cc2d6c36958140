#include "lilv_session.h"

#include <cstdlib>

#include "lv2/uris.h"

namespace yawp::lv2host {

const std::string& lv2_path() {
    static const std::string path = [] {
        const char* chosen = std::getenv("YAWP_LV2_TEST_PATH");
        return std::string(chosen != nullptr && chosen[0] != '\0' ? chosen : YAWP_LV2_PATH);
    }();
    return path;
}

// Discovery the way a host does it: LV2_PATH names the folders that hold
// bundles, then everything on it is loaded. The system folder adds LV2's own
// vocabulary bundles (core, atom, units...), as on any desktop.
Session::Session() {
    const std::string path = lv2_path() + ":/usr/lib/lv2";
    setenv("LV2_PATH", path.c_str(), 1);
    world = lilv_world_new();
    lilv_world_load_all(world);
    plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri(YAWP_LV2_URI));
}

Session::~Session() {
    for (auto& [text, node] : nodes_) lilv_node_free(node);
    lilv_world_free(world);
}

Session& session() {
    static Session s;
    return s;
}

const LilvNode* Session::uri(const char* text) {
    LilvNode*& node = nodes_[text];
    if (node == nullptr) node = lilv_new_uri(world, text);
    return node;
}

HostedInstance::HostedInstance(bool offer_map, double rate) : features(offer_map ? &map : nullptr, &log), ports(&map) {
    const LilvPlugin* plugin = session().plugin;
    if (plugin == nullptr) return;
    instance = lilv_plugin_instantiate(plugin, rate, features.get());
    if (instance == nullptr) return;
    for (uint32_t port = 0; port < lv2::kPortCount; ++port)
        lilv_instance_connect_port(instance, port, ports.buffer(port));
}

HostedInstance::~HostedInstance() {
    if (instance != nullptr) lilv_instance_free(instance);
}

void HostedInstance::run_blocks(uint32_t count, uint32_t n) {
    for (uint32_t b = 0; b < count; ++b) run(n);
}

const LV2_State_Interface* HostedInstance::state_interface() const {
    return static_cast<const LV2_State_Interface*>(lilv_instance_get_extension_data(instance, LV2_STATE__interface));
}

StateCalls HostedInstance::state() {
    return StateCalls(state_interface(), lilv_instance_get_handle(instance), &map, features.get());
}

}  // namespace yawp::lv2host
