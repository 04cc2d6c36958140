// clap.preset-load: a factory preset chosen in the host's preset browser.
// The preset discovery (preset_discovery.cpp) gave the host the plug-in
// location and each preset's id as its load key; the same key comes back
// here. The plug-in reads no preset files.
#include <cstdio>
#include <cstring>

#include "clap/extensions.h"
#include "clap/plugin.h"
#include "presets/factory.h"

namespace yawp::clap {
namespace {

// Long enough for the longest message with a key of some length; a longer
// key is cut short in the message.
constexpr size_t kMessageCapacity = 256;
constexpr int32_t kNoOsError = 0;

// The host's side of preset loading, under either of the names CLAP gave it.
const clap_host_preset_load* host_preset_load(const clap_host* host) {
    if (host == nullptr || host->get_extension == nullptr) return nullptr;
    const void* found = host->get_extension(host, CLAP_EXT_PRESET_LOAD);
    if (found == nullptr) found = host->get_extension(host, CLAP_EXT_PRESET_LOAD_COMPAT);
    return static_cast<const clap_host_preset_load*>(found);
}

const presets::Preset* factory_preset(const char* id) {
    for (const presets::Preset& preset : presets::factory())
        if (std::strcmp(preset.id, id) == 0) return &preset;
    return nullptr;
}

// [main-thread] Tells the host why nothing was loaded, when it listens.
void report_error(const clap_host* host, uint32_t location_kind, const char* location, const char* load_key,
                  const char* message) {
    const clap_host_preset_load* listener = host_preset_load(host);
    if (listener != nullptr && listener->on_error != nullptr)
        listener->on_error(host, location_kind, location, load_key, kNoOsError, message);
}

// [main-thread]
bool CLAP_ABI from_location(const clap_plugin* instance, uint32_t location_kind, const char* location,
                            const char* load_key) {
    if (instance == nullptr || instance->plugin_data == nullptr) return false;
    Plugin* plugin = Plugin::of(instance);
    const clap_host* host = plugin->host();

    if (location_kind != CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN) {
        report_error(host, location_kind, location, load_key,
                     "Yawp Wah loads no preset files: its factory presets are inside the plug-in");
        return false;
    }
    if (load_key == nullptr) {
        report_error(host, location_kind, location, load_key, "Yawp Wah needs the key of a factory preset to load it");
        return false;
    }
    const presets::Preset* preset = factory_preset(load_key);
    if (preset == nullptr) {
        char message[kMessageCapacity];
        std::snprintf(message, sizeof message, "Yawp Wah has no factory preset with the key \"%s\"", load_key);
        report_error(host, location_kind, location, load_key, message);
        return false;
    }

    plugin->restore_values(preset->values);
    const clap_host_preset_load* listener = host_preset_load(host);
    if (listener != nullptr && listener->loaded != nullptr) listener->loaded(host, location_kind, location, load_key);
    return true;
}

constexpr clap_plugin_preset_load kPresetLoad = {from_location};

}  // namespace

const clap_plugin_preset_load* preset_load_extension() { return &kPresetLoad; }

}  // namespace yawp::clap
