// The factory presets through CLAP's preset discovery: one provider, whose
// one location is the plug-in itself. The presets live in the module (the
// compiled-in table of presets/factory.h), so there are no files to crawl:
// the indexer asks for the plug-in location's metadata and hears of every
// preset, each with its id as the key that clap.preset-load takes back.
//
// The factory keeps nothing that changes, so any thread may use it at any
// time. A provider is used by one thread at a time, as CLAP requires of its
// indexer; it keeps only the indexer that created it.
#include "clap/preset_discovery.h"

#include <cstddef>
#include <cstring>
#include <new>

#include "clap/descriptor.h"
#include "presets/factory.h"

namespace yawp::clap {
namespace {

constexpr const char* kProviderId = "audio.tallow.yawp-wah.presets";
constexpr const char* kProviderName = "Yawp Wah factory presets";
constexpr const char* kVendor = "Tallow.AUDIO";
constexpr uint32_t kFactoryContent = CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT;

// Every preset is made by the vendor and is an effect's preset.
constexpr const char* kCreator = kVendor;
constexpr const char* kEffectFeature = CLAP_PLUGIN_FEATURE_AUDIO_EFFECT;
// Longer than any category's name; a longer one would be cut short.
constexpr size_t kFeatureCapacity = 32;

constexpr clap_preset_discovery_provider_descriptor kProviderDescriptor = {
    CLAP_VERSION_INIT,
    kProviderId,
    kProviderName,
    kVendor,
};

constexpr clap_preset_discovery_location kLocation = {
    kFactoryContent,
    kProviderName,
    CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN,
    nullptr,  // the plug-in location has no path
};

constexpr clap_universal_plugin_id kThisPlugin = {"clap", kPluginId};

// One provider, made for one indexer.
struct Provider {
    clap_preset_discovery_provider clap_provider;
    const clap_preset_discovery_indexer* indexer;
};

const clap_preset_discovery_indexer* indexer_of(const clap_preset_discovery_provider* provider) {
    return static_cast<const Provider*>(provider->provider_data)->indexer;
}

// A category as a feature tag, lower case as CLAP's own features are
// ("Wah" gives "wah").
void category_feature(const char* category, char (&out)[kFeatureCapacity]) {
    size_t i = 0;
    for (; category[i] != '\0' && i + 1 < kFeatureCapacity; ++i) {
        const char c = category[i];
        out[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    out[i] = '\0';
}

// A receiver a host filled in completely: every call made below is there.
bool receiver_is_complete(const clap_preset_discovery_metadata_receiver* r) {
    return r->begin_preset && r->add_plugin_id && r->set_flags && r->set_description && r->add_creator &&
           r->add_feature;
}

void report_error(const clap_preset_discovery_metadata_receiver* receiver, const char* message) {
    if (receiver->on_error) receiver->on_error(receiver, 0, message);
}

// Tells the receiver of one preset. False when the receiver wants no more.
bool describe_preset(const presets::Preset& preset, const clap_preset_discovery_metadata_receiver* receiver) {
    if (!receiver->begin_preset(receiver, preset.name, preset.id)) return false;
    receiver->add_plugin_id(receiver, &kThisPlugin);
    receiver->set_flags(receiver, kFactoryContent);
    receiver->set_description(receiver, preset.description);
    receiver->add_creator(receiver, kCreator);
    receiver->add_feature(receiver, kEffectFeature);
    char feature[kFeatureCapacity];
    category_feature(preset.category, feature);
    receiver->add_feature(receiver, feature);
    return true;
}

// --- the provider: one thread at a time -----------------------------------

// Declares the one location. The indexer may be called from here on, never
// before.
bool CLAP_ABI provider_init(const clap_preset_discovery_provider* provider) {
    const clap_preset_discovery_indexer* indexer = indexer_of(provider);
    if (indexer->declare_location == nullptr) return false;
    return indexer->declare_location(indexer, &kLocation);
}

void CLAP_ABI provider_destroy(const clap_preset_discovery_provider* provider) {
    delete static_cast<const Provider*>(provider->provider_data);
}

// Only the plug-in location holds presets: a file location, or a plug-in
// location with a path, is not one this provider declared.
bool CLAP_ABI provider_get_metadata(const clap_preset_discovery_provider*, uint32_t location_kind,
                                    const char* location, const clap_preset_discovery_metadata_receiver* receiver) {
    if (receiver == nullptr) return false;
    if (!receiver_is_complete(receiver)) {
        report_error(receiver, "Yawp Wah: the preset receiver lacks a callback the factory presets need");
        return false;
    }
    if (location_kind != CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN || location != nullptr) {
        report_error(receiver, "Yawp Wah keeps its factory presets inside the plug-in: this location holds none");
        return false;
    }
    for (const presets::Preset& preset : presets::factory())
        if (!describe_preset(preset, receiver)) break;
    return true;
}

const void* CLAP_ABI provider_get_extension(const clap_preset_discovery_provider*, const char*) { return nullptr; }

// --- the factory: any thread --------------------------------------------------

uint32_t CLAP_ABI factory_count(const clap_preset_discovery_factory*) { return 1; }

const clap_preset_discovery_provider_descriptor* CLAP_ABI factory_get_descriptor(const clap_preset_discovery_factory*,
                                                                              uint32_t index) {
    return index == 0 ? &kProviderDescriptor : nullptr;
}

// A new provider for the indexer, which it may not call yet: only from
// init on.
const clap_preset_discovery_provider* CLAP_ABI factory_create(const clap_preset_discovery_factory*,
                                                              const clap_preset_discovery_indexer* indexer,
                                                              const char* provider_id) {
    if (indexer == nullptr || provider_id == nullptr || std::strcmp(provider_id, kProviderId) != 0) return nullptr;
    auto* provider = new (std::nothrow) Provider;
    if (provider == nullptr) return nullptr;
    provider->indexer = indexer;
    provider->clap_provider = {
        &kProviderDescriptor, provider, provider_init, provider_destroy, provider_get_metadata, provider_get_extension,
    };
    return &provider->clap_provider;
}

constexpr clap_preset_discovery_factory kFactory = {
    factory_count,
    factory_get_descriptor,
    factory_create,
};

}  // namespace

const clap_preset_discovery_factory* preset_discovery_factory() { return &kFactory; }

}  // namespace yawp::clap
