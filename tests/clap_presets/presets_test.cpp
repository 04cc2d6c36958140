// The factory presets of the built CLAP module, as a host's preset browser
// meets them: the preset discovery factory and its one provider (what it
// declares, what it reports of every preset, and when it calls the
// indexer), then clap.preset-load on a plug-in instance (every preset sets
// exactly its values; unknown keys, missing keys and file locations change
// nothing and say why).
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <clap/clap.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "engine/catalogue.h"
#include "presets/factory.h"

namespace {

using yawp::catalogue::kInputCount;

constexpr const char* kPluginId = "audio.tallow.yawp-wah";
constexpr const char* kProviderId = "audio.tallow.yawp-wah.presets";
constexpr const char* kVendor = "Tallow.AUDIO";

// --- the module ----------------------------------------------------------------

// YAWP_CLAP_TEST_MODULE names another copy of the module (an installed or
// packaged one); the built one otherwise, on Windows through the drive Z:
// that wine maps the Unix root to.
std::string module_path() {
    const char* chosen = std::getenv("YAWP_CLAP_TEST_MODULE");
    if (chosen != nullptr && chosen[0] != '\0') return chosen;
#ifdef _WIN32
    std::string path = "Z:" YAWP_CLAP_MODULE;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
#else
    return YAWP_CLAP_MODULE;
#endif
}

// The module loaded and entered for the whole test program, as a host
// keeps it.
class Module {
public:
    explicit Module(const std::string& path) {
#ifdef _WIN32
        std::wstring wide(path.size(), L'\0');
        wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()),
                                                            wide.data(), static_cast<int>(wide.size()))));
        handle_ = LoadLibraryW(wide.c_str());
        if (handle_ != nullptr)
            entry_ = reinterpret_cast<const clap_plugin_entry*>(GetProcAddress(static_cast<HMODULE>(handle_), "clap_entry"));
#else
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ != nullptr) entry_ = static_cast<const clap_plugin_entry*>(dlsym(handle_, "clap_entry"));
#endif
        entered_ = entry_ != nullptr && entry_->init(path.c_str());
    }
    ~Module() {
        if (entered_) entry_->deinit();
#ifdef _WIN32
        if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
#else
        if (handle_ != nullptr) dlclose(handle_);
#endif
    }
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    const void* factory(const char* id) const { return entered_ ? entry_->get_factory(id) : nullptr; }

private:
    void* handle_ = nullptr;
    const clap_plugin_entry* entry_ = nullptr;
    bool entered_ = false;
};

const Module& module() {
    static Module loaded(module_path());
    return loaded;
}

const clap_preset_discovery_factory* discovery() {
    return static_cast<const clap_preset_discovery_factory*>(module().factory(CLAP_PRESET_DISCOVERY_FACTORY_ID));
}

// --- an indexer and a receiver that write down what they are told ------------------

struct Indexer {
    clap_preset_discovery_indexer clap;
    std::vector<clap_preset_discovery_location> locations;
    std::vector<std::string> location_names;
    int filetypes = 0;
    int soundpacks = 0;

    Indexer() {
        clap = {CLAP_VERSION_INIT, "Yawp preset test", "Tallow.AUDIO", nullptr, "1", this,
                declare_filetype, declare_location, declare_soundpack, get_extension};
    }
    int calls() const { return static_cast<int>(locations.size()) + filetypes + soundpacks; }

    static Indexer* of(const clap_preset_discovery_indexer* i) { return static_cast<Indexer*>(i->indexer_data); }
    static bool CLAP_ABI declare_filetype(const clap_preset_discovery_indexer* i, const clap_preset_discovery_filetype*) {
        of(i)->filetypes++;
        return true;
    }
    static bool CLAP_ABI declare_location(const clap_preset_discovery_indexer* i,
                                          const clap_preset_discovery_location* location) {
        of(i)->locations.push_back(*location);
        of(i)->location_names.push_back(location->name != nullptr ? location->name : "");
        return true;
    }
    static bool CLAP_ABI declare_soundpack(const clap_preset_discovery_indexer* i,
                                           const clap_preset_discovery_soundpack*) {
        of(i)->soundpacks++;
        return true;
    }
    static const void* CLAP_ABI get_extension(const clap_preset_discovery_indexer*, const char*) { return nullptr; }
};

struct Reported {
    std::string name;
    std::string load_key;
    std::vector<std::string> plugin_ids;  // "abi:id"
    std::vector<std::string> creators;
    std::vector<std::string> features;
    std::string description;
    uint32_t flags = 0;
    int flag_calls = 0;
};

struct Receiver {
    clap_preset_discovery_metadata_receiver clap;
    std::vector<Reported> presets;
    std::vector<std::string> errors;
    int metadata_outside_a_preset = 0;
    size_t stop_after = SIZE_MAX;  // begin_preset answers false from this preset on

    Receiver() {
        clap = {this,          on_error,  begin_preset,    add_plugin_id, set_soundpack_id, set_flags,
                add_creator,   set_description, set_timestamps, add_feature, add_extra_info};
    }

    static Receiver* of(const clap_preset_discovery_metadata_receiver* r) {
        return static_cast<Receiver*>(r->receiver_data);
    }
    // The preset being described, or null (and a fault counted) before any.
    static Reported* current(const clap_preset_discovery_metadata_receiver* r) {
        Receiver* self = of(r);
        if (self->presets.empty() || self->presets.size() > self->stop_after) {
            self->metadata_outside_a_preset++;
            return nullptr;
        }
        return &self->presets.back();
    }
    static void CLAP_ABI on_error(const clap_preset_discovery_metadata_receiver* r, int32_t, const char* message) {
        of(r)->errors.push_back(message != nullptr ? message : "");
    }
    static bool CLAP_ABI begin_preset(const clap_preset_discovery_metadata_receiver* r, const char* name,
                                      const char* load_key) {
        Receiver* self = of(r);
        self->presets.push_back({});
        self->presets.back().name = name != nullptr ? name : "(null)";
        self->presets.back().load_key = load_key != nullptr ? load_key : "(null)";
        return self->presets.size() <= self->stop_after;
    }
    static void CLAP_ABI add_plugin_id(const clap_preset_discovery_metadata_receiver* r,
                                       const clap_universal_plugin_id* id) {
        if (Reported* p = current(r)) p->plugin_ids.push_back(std::string(id->abi) + ":" + id->id);
    }
    static void CLAP_ABI set_soundpack_id(const clap_preset_discovery_metadata_receiver* r, const char*) { current(r); }
    static void CLAP_ABI set_flags(const clap_preset_discovery_metadata_receiver* r, uint32_t flags) {
        if (Reported* p = current(r)) {
            p->flags = flags;
            p->flag_calls++;
        }
    }
    static void CLAP_ABI add_creator(const clap_preset_discovery_metadata_receiver* r, const char* creator) {
        if (Reported* p = current(r)) p->creators.push_back(creator);
    }
    static void CLAP_ABI set_description(const clap_preset_discovery_metadata_receiver* r, const char* description) {
        if (Reported* p = current(r)) p->description = description;
    }
    static void CLAP_ABI set_timestamps(const clap_preset_discovery_metadata_receiver* r, clap_timestamp,
                                       clap_timestamp) {
        current(r);
    }
    static void CLAP_ABI add_feature(const clap_preset_discovery_metadata_receiver* r, const char* feature) {
        if (Reported* p = current(r)) p->features.push_back(feature);
    }
    static void CLAP_ABI add_extra_info(const clap_preset_discovery_metadata_receiver* r, const char*, const char*) {
        current(r);
    }
};

// A provider made by the factory for an indexer, destroyed at the end.
struct Provider {
    const clap_preset_discovery_provider* clap = nullptr;
    explicit Provider(const clap_preset_discovery_indexer* indexer, const char* id = kProviderId) {
        if (discovery() != nullptr) clap = discovery()->create(discovery(), indexer, id);
    }
    ~Provider() {
        if (clap != nullptr) clap->destroy(clap);
    }
    Provider(const Provider&) = delete;
    Provider& operator=(const Provider&) = delete;
};

std::string lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool contains(const std::vector<std::string>& list, const std::string& item) {
    for (const std::string& s : list)
        if (s == item) return true;
    return false;
}

// --- the preset discovery --------------------------------------------------------

TEST(ClapPresetDiscovery, TheFactoryListsOneProvider) {
    const clap_preset_discovery_factory* factory = discovery();
    ASSERT_NE(factory, nullptr) << module_path();
    ASSERT_EQ(factory->count(factory), 1u);
    const clap_preset_discovery_provider_descriptor* desc = factory->get_descriptor(factory, 0);
    ASSERT_NE(desc, nullptr);
    EXPECT_TRUE(clap_version_is_compatible(desc->clap_version));
    EXPECT_STREQ(desc->id, kProviderId);
    EXPECT_STREQ(desc->name, "Yawp Wah factory presets");
    EXPECT_STREQ(desc->vendor, kVendor);
    EXPECT_EQ(factory->get_descriptor(factory, 1), nullptr);
    EXPECT_EQ(factory->get_descriptor(factory, UINT32_MAX), nullptr);
}

TEST(ClapPresetDiscovery, CreatesOnlyItsOwnProviderForAnIndexer) {
    const clap_preset_discovery_factory* factory = discovery();
    ASSERT_NE(factory, nullptr);
    Indexer indexer;
    EXPECT_EQ(factory->create(factory, &indexer.clap, "audio.tallow.other"), nullptr);
    EXPECT_EQ(factory->create(factory, &indexer.clap, ""), nullptr);
    EXPECT_EQ(factory->create(factory, &indexer.clap, nullptr), nullptr);
    EXPECT_EQ(factory->create(factory, nullptr, kProviderId), nullptr);

    Provider provider(&indexer.clap);
    ASSERT_NE(provider.clap, nullptr);
    ASSERT_NE(provider.clap->desc, nullptr);
    EXPECT_STREQ(provider.clap->desc->id, kProviderId);
    EXPECT_EQ(indexer.calls(), 0) << "the provider called its indexer before init";
}

TEST(ClapPresetDiscovery, InitDeclaresThePluginAsAFactoryLocation) {
    Indexer indexer;
    Provider provider(&indexer.clap);
    ASSERT_NE(provider.clap, nullptr);
    ASSERT_TRUE(provider.clap->init(provider.clap));
    ASSERT_EQ(indexer.locations.size(), 1u);
    const clap_preset_discovery_location& location = indexer.locations[0];
    EXPECT_EQ(location.kind, uint32_t{CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN});
    EXPECT_EQ(location.location, nullptr);
    EXPECT_EQ(location.flags, uint32_t{CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT});
    EXPECT_FALSE(indexer.location_names[0].empty());
    EXPECT_EQ(indexer.filetypes, 0);
    EXPECT_EQ(indexer.soundpacks, 0);
    EXPECT_EQ(provider.clap->get_extension(provider.clap, "clap.no-such-extension"), nullptr);
}

// Two indexers at once, as a host crawling on two threads has: each
// provider talks to its own.
TEST(ClapPresetDiscovery, ProvidersKeepTheirOwnIndexers) {
    Indexer first, second;
    Provider a(&first.clap), b(&second.clap);
    ASSERT_NE(a.clap, nullptr);
    ASSERT_NE(b.clap, nullptr);
    ASSERT_TRUE(b.clap->init(b.clap));
    EXPECT_EQ(first.calls(), 0);
    EXPECT_EQ(second.locations.size(), 1u);
    ASSERT_TRUE(a.clap->init(a.clap));
    EXPECT_EQ(first.locations.size(), 1u);
    EXPECT_EQ(second.locations.size(), 1u);
}

TEST(ClapPresetDiscovery, ReportsEveryFactoryPresetWithItsMetadata) {
    Indexer indexer;
    Provider provider(&indexer.clap);
    ASSERT_NE(provider.clap, nullptr);
    ASSERT_TRUE(provider.clap->init(provider.clap));
    Receiver receiver;
    ASSERT_TRUE(provider.clap->get_metadata(provider.clap, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr,
                                            &receiver.clap));
    EXPECT_TRUE(receiver.errors.empty());
    EXPECT_EQ(receiver.metadata_outside_a_preset, 0);

    const auto factory = yawp::presets::factory();
    ASSERT_FALSE(factory.empty());
    ASSERT_EQ(receiver.presets.size(), factory.size());
    for (size_t i = 0; i < factory.size(); ++i) {
        const yawp::presets::Preset& expected = factory[i];
        const Reported& got = receiver.presets[i];
        SCOPED_TRACE(expected.id);
        EXPECT_EQ(got.name, expected.name);
        EXPECT_EQ(got.load_key, expected.id);
        EXPECT_EQ(got.plugin_ids, std::vector<std::string>{std::string("clap:") + kPluginId});
        EXPECT_EQ(got.flag_calls, 1);
        EXPECT_EQ(got.flags, uint32_t{CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT});
        EXPECT_EQ(got.description, expected.description);
        EXPECT_FALSE(got.description.empty());
        EXPECT_EQ(got.creators, std::vector<std::string>{kVendor});
        EXPECT_TRUE(contains(got.features, lower(expected.category))) << expected.category;
        EXPECT_TRUE(contains(got.features, CLAP_PLUGIN_FEATURE_AUDIO_EFFECT));
    }
    // Load keys are what preset-load finds a preset by: no two alike.
    for (size_t i = 0; i < receiver.presets.size(); ++i)
        for (size_t j = i + 1; j < receiver.presets.size(); ++j)
            EXPECT_NE(receiver.presets[i].load_key, receiver.presets[j].load_key);
}

TEST(ClapPresetDiscovery, StopsWhenTheReceiverWantsNoMore) {
    Indexer indexer;
    Provider provider(&indexer.clap);
    ASSERT_NE(provider.clap, nullptr);
    ASSERT_TRUE(provider.clap->init(provider.clap));
    for (size_t stop : {size_t{0}, size_t{2}}) {
        Receiver receiver;
        receiver.stop_after = stop;
        EXPECT_TRUE(provider.clap->get_metadata(provider.clap, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr,
                                                &receiver.clap));
        EXPECT_EQ(receiver.presets.size(), stop + 1) << "begin_preset after a refusal";
        EXPECT_EQ(receiver.metadata_outside_a_preset, 0) << "metadata for a refused preset";
    }
}

TEST(ClapPresetDiscovery, OtherLocationsHoldNoPresets) {
    Indexer indexer;
    Provider provider(&indexer.clap);
    ASSERT_NE(provider.clap, nullptr);
    ASSERT_TRUE(provider.clap->init(provider.clap));
    struct Case {
        uint32_t kind;
        const char* location;
    };
    for (Case c : {Case{CLAP_PRESET_DISCOVERY_LOCATION_FILE, "/tmp/classic-wah.json"},
                   Case{CLAP_PRESET_DISCOVERY_LOCATION_FILE, nullptr},
                   Case{CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, "/usr/lib/clap"}, Case{7, nullptr}}) {
        SCOPED_TRACE(c.kind);
        Receiver receiver;
        EXPECT_FALSE(provider.clap->get_metadata(provider.clap, c.kind, c.location, &receiver.clap));
        EXPECT_TRUE(receiver.presets.empty());
        ASSERT_EQ(receiver.errors.size(), 1u);
        EXPECT_FALSE(receiver.errors[0].empty());
    }
    EXPECT_FALSE(provider.clap->get_metadata(provider.clap, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, nullptr));
}

// --- preset load -----------------------------------------------------------------

// A host of one plug-in instance that writes down what the plug-in tells
// it of preset loads and parameter rescans. `offers_preset_load` false
// makes it a host without clap.preset-load.
struct Host {
    struct Call {
        uint32_t kind;
        std::string location;  // "(null)" for none
        std::string load_key;
        std::string message;
    };

    clap_host clap;
    clap_host_preset_load preset_load = {on_error, loaded};
    clap_host_params params = {rescan, clear, request_flush};
    bool offers_preset_load = true;
    std::vector<Call> errors;
    std::vector<Call> loads;
    std::vector<uint32_t> rescans;

    Host() {
        clap = {CLAP_VERSION_INIT, this, "Yawp preset test", "Tallow.AUDIO", nullptr, "1",
                get_extension, request_restart, request_process, request_callback};
    }

    static Host* of(const clap_host* h) { return static_cast<Host*>(h->host_data); }
    static std::string text(const char* s) { return s != nullptr ? s : "(null)"; }

    static const void* CLAP_ABI get_extension(const clap_host* h, const char* id) {
        if (std::strcmp(id, CLAP_EXT_PRESET_LOAD) == 0) return of(h)->offers_preset_load ? &of(h)->preset_load : nullptr;
        if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &of(h)->params;
        return nullptr;
    }
    static void CLAP_ABI request_restart(const clap_host*) {}
    static void CLAP_ABI request_process(const clap_host*) {}
    static void CLAP_ABI request_callback(const clap_host*) {}
    static void CLAP_ABI on_error(const clap_host* h, uint32_t kind, const char* location, const char* key, int32_t,
                                  const char* message) {
        of(h)->errors.push_back({kind, text(location), text(key), text(message)});
    }
    static void CLAP_ABI loaded(const clap_host* h, uint32_t kind, const char* location, const char* key) {
        of(h)->loads.push_back({kind, text(location), text(key), ""});
    }
    static void CLAP_ABI rescan(const clap_host* h, clap_param_rescan_flags flags) { of(h)->rescans.push_back(flags); }
    static void CLAP_ABI clear(const clap_host*, clap_id, clap_param_clear_flags) {}
    static void CLAP_ABI request_flush(const clap_host*) {}
};

// One instance of the plug-in, made and initialised through the module's
// plug-in factory.
class Instance {
public:
    explicit Instance(Host* host) {
        auto* factory = static_cast<const clap_plugin_factory*>(module().factory(CLAP_PLUGIN_FACTORY_ID));
        if (factory == nullptr) return;
        plugin_ = factory->create_plugin(factory, &host->clap, kPluginId);
        if (plugin_ == nullptr || !plugin_->init(plugin_)) return;
        params_ = static_cast<const clap_plugin_params*>(plugin_->get_extension(plugin_, CLAP_EXT_PARAMS));
        load_ = static_cast<const clap_plugin_preset_load*>(plugin_->get_extension(plugin_, CLAP_EXT_PRESET_LOAD));
    }
    ~Instance() {
        if (plugin_ != nullptr) plugin_->destroy(plugin_);
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    bool ready() const { return params_ != nullptr && load_ != nullptr; }
    const clap_plugin* plugin() const { return plugin_; }

    bool load(uint32_t kind, const char* location, const char* key) const {
        return load_->from_location(plugin_, kind, location, key);
    }
    bool load(const char* key) const { return load(CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, key); }

    std::vector<double> values() const {
        std::vector<double> out(kInputCount, -1.0);
        for (uint32_t i = 0; i < kInputCount; ++i) EXPECT_TRUE(params_->get_value(plugin_, i, &out[i])) << i;
        return out;
    }

    // Active and processing one block of silence, as a host playing.
    void run_a_block() const {
        constexpr uint32_t kFrames = 64;
        ASSERT_TRUE(plugin_->activate(plugin_, 48000.0, 1, kFrames));
        ASSERT_TRUE(plugin_->start_processing(plugin_));
        float in[kFrames] = {}, out[kFrames] = {};
        float* in_channels[] = {in};
        float* out_channels[] = {out};
        clap_audio_buffer input{in_channels, nullptr, 1, 0, 0};
        clap_audio_buffer output{out_channels, nullptr, 1, 0, 0};
        clap_input_events no_input{nullptr, [](const clap_input_events*) -> uint32_t { return 0; },
                                   [](const clap_input_events*, uint32_t) -> const clap_event_header* { return nullptr; }};
        clap_output_events no_output{nullptr, [](const clap_output_events*, const clap_event_header*) { return true; }};
        clap_process process{0, kFrames, nullptr, &input, &output, 1, 1, &no_input, &no_output};
        EXPECT_NE(plugin_->process(plugin_, &process), CLAP_PROCESS_ERROR);
        plugin_->stop_processing(plugin_);
        plugin_->deactivate(plugin_);
    }

private:
    const clap_plugin* plugin_ = nullptr;
    const clap_plugin_params* params_ = nullptr;
    const clap_plugin_preset_load* load_ = nullptr;
};

// The values a preset gives the parameters, as the host reads them back.
std::vector<double> values_of(const yawp::presets::Preset& preset) {
    std::vector<double> out(kInputCount);
    for (uint32_t i = 0; i < kInputCount; ++i)
        out[i] = static_cast<float>(yawp::catalogue::coerce(i, preset.values[i]));
    return out;
}

std::vector<double> default_values() {
    std::vector<double> out(kInputCount);
    for (uint32_t i = 0; i < kInputCount; ++i) out[i] = static_cast<float>(yawp::catalogue::entry(i)->def);
    return out;
}

TEST(ClapPresetLoad, EveryFactoryPresetSetsExactlyItsValues) {
    Host host;
    Instance instance(&host);
    ASSERT_TRUE(instance.ready()) << module_path();
    for (const yawp::presets::Preset& preset : yawp::presets::factory()) {
        SCOPED_TRACE(preset.id);
        const size_t rescans = host.rescans.size();
        ASSERT_TRUE(instance.load(preset.id));
        EXPECT_EQ(instance.values(), values_of(preset));
        ASSERT_EQ(host.loads.size(), 1u);
        EXPECT_EQ(host.loads[0].kind, uint32_t{CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN});
        EXPECT_EQ(host.loads[0].location, "(null)");
        EXPECT_EQ(host.loads[0].load_key, preset.id);
        ASSERT_EQ(host.rescans.size(), rescans + 1) << "the host was not told to rescan its values";
        EXPECT_TRUE(host.rescans.back() & CLAP_PARAM_RESCAN_VALUES);
        host.loads.clear();
    }
    EXPECT_TRUE(host.errors.empty());
}

// The values stay what the preset set once the audio thread has run with
// them, and a later preset replaces every value of an earlier one.
TEST(ClapPresetLoad, ValuesHoldWhileProcessing) {
    Host host;
    Instance instance(&host);
    ASSERT_TRUE(instance.ready());
    const auto factory = yawp::presets::factory();
    ASSERT_GE(factory.size(), 2u);
    ASSERT_TRUE(instance.load(factory[0].id));
    instance.run_a_block();
    EXPECT_EQ(instance.values(), values_of(factory[0]));
    ASSERT_TRUE(instance.load(factory.back().id));
    instance.run_a_block();
    EXPECT_EQ(instance.values(), values_of(factory.back()));
}

TEST(ClapPresetLoad, AnUnknownOrMissingKeyChangesNothingAndSaysSo) {
    Host host;
    Instance instance(&host);
    ASSERT_TRUE(instance.ready());
    const yawp::presets::Preset& first = yawp::presets::factory()[0];
    ASSERT_TRUE(instance.load(first.id));
    host.loads.clear();
    const size_t rescans = host.rescans.size();

    const std::string long_key(4000, 'k');
    const std::string upper_key = std::string(first.id) + "X";
    for (const char* key : {"no-such-preset", "", first.name, upper_key.c_str(), long_key.c_str(), (const char*)nullptr}) {
        SCOPED_TRACE(key != nullptr ? std::string(key).substr(0, 40) : "(null)");
        host.errors.clear();
        EXPECT_FALSE(instance.load(key));
        EXPECT_EQ(instance.values(), values_of(first));
        ASSERT_EQ(host.errors.size(), 1u);
        EXPECT_EQ(host.errors[0].kind, uint32_t{CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN});
        EXPECT_EQ(host.errors[0].load_key, key != nullptr ? key : "(null)");
        EXPECT_NE(host.errors[0].message.find("Yawp Wah"), std::string::npos) << host.errors[0].message;
    }
    EXPECT_TRUE(host.loads.empty());
    EXPECT_EQ(host.rescans.size(), rescans);
}

TEST(ClapPresetLoad, AFileLocationIsRefused) {
    Host host;
    Instance instance(&host);
    ASSERT_TRUE(instance.ready());
    const yawp::presets::Preset& preset = yawp::presets::factory()[0];
    for (const char* location : {"/tmp/classic-wah.json", (const char*)nullptr}) {
        host.errors.clear();
        EXPECT_FALSE(instance.load(CLAP_PRESET_DISCOVERY_LOCATION_FILE, location, preset.id));
        EXPECT_FALSE(instance.load(9, location, preset.id));
        EXPECT_EQ(instance.values(), default_values());
        ASSERT_EQ(host.errors.size(), 2u);
        EXPECT_EQ(host.errors[0].kind, uint32_t{CLAP_PRESET_DISCOVERY_LOCATION_FILE});
        EXPECT_EQ(host.errors[0].location, location != nullptr ? location : "(null)");
        EXPECT_FALSE(host.errors[0].message.empty());
    }
    EXPECT_TRUE(host.loads.empty());
    EXPECT_TRUE(host.rescans.empty());
}

// A host without clap.preset-load still loads presets; it only hears of
// nothing. A call without a plug-in is refused.
TEST(ClapPresetLoad, WorksForAHostThatDoesNotListen) {
    Host host;
    host.offers_preset_load = false;
    Instance instance(&host);
    ASSERT_TRUE(instance.ready());
    const yawp::presets::Preset& preset = yawp::presets::factory().back();
    EXPECT_TRUE(instance.load(preset.id));
    EXPECT_EQ(instance.values(), values_of(preset));
    EXPECT_FALSE(instance.load("no-such-preset"));
    EXPECT_FALSE(instance.load(CLAP_PRESET_DISCOVERY_LOCATION_FILE, "/tmp/x", preset.id));
    EXPECT_EQ(instance.values(), values_of(preset));
    EXPECT_TRUE(host.errors.empty());
    EXPECT_TRUE(host.loads.empty());

    auto* load = static_cast<const clap_plugin_preset_load*>(
        instance.plugin()->get_extension(instance.plugin(), CLAP_EXT_PRESET_LOAD));
    EXPECT_FALSE(load->from_location(nullptr, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, preset.id));
}

}  // namespace
