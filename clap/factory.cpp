// The plug-in factory: one plug-in, Yawp Wah.
#include <cstring>

#include "clap/descriptor.h"
#include "clap/plugin.h"
#include "clap/plugin_factory.h"
#include "product_version.h"

namespace yawp::clap {
namespace {

constexpr const char* kFeatures[] = {
    CLAP_PLUGIN_FEATURE_AUDIO_EFFECT,
    CLAP_PLUGIN_FEATURE_FILTER,
    CLAP_PLUGIN_FEATURE_MONO,
    nullptr,
};

constexpr clap_plugin_descriptor kDescriptor = {
    CLAP_VERSION_INIT,
    kPluginId,
    "Yawp Wah",
    "Tallow.AUDIO",
    "https://tallow.audio",
    "",
    "",
    version::kText,
    "A wah modelled on the human vocal tract: the pedal morphs between vowel shapes.",
    kFeatures,
};

// [thread-safe]
uint32_t plugin_count(const clap_plugin_factory*) { return 1; }

// [thread-safe]
const clap_plugin_descriptor* plugin_descriptor(const clap_plugin_factory*, uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}

// [thread-safe]
const clap_plugin* create_plugin(const clap_plugin_factory*, const clap_host* host, const char* plugin_id) {
    if (host == nullptr || plugin_id == nullptr || std::strcmp(plugin_id, kPluginId) != 0) return nullptr;
    if (!clap_version_is_compatible(host->clap_version)) return nullptr;
    return Plugin::create(host);
}

constexpr clap_plugin_factory kFactory = {plugin_count, plugin_descriptor, create_plugin};

}  // namespace

const clap_plugin_descriptor* descriptor() { return &kDescriptor; }
const clap_plugin_factory* plugin_factory() { return &kFactory; }

}  // namespace yawp::clap
