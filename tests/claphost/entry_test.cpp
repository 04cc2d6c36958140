// The module as a CLAP host meets it: clap_entry, init and deinit, the
// factories and the one plug-in's descriptor.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <clap/clap.h>

#include "clap_host.h"

namespace yawp::clap_test {
namespace {

TEST(ClapEntry, IsExportedWithACompatibleVersion) {
    LoadedModule module(module_path());
    ASSERT_NE(module.entry, nullptr) << module_path();
    EXPECT_TRUE(clap_version_is_compatible(module.entry->clap_version));
    EXPECT_EQ(module.entry->clap_version.major, CLAP_VERSION_MAJOR);
    EXPECT_NE(module.entry->init, nullptr);
    EXPECT_NE(module.entry->deinit, nullptr);
    EXPECT_NE(module.entry->get_factory, nullptr);
}

// Hosts that scan and hosts that load may each enter the module; every init
// is paired with a deinit, and the module works until the last one.
TEST(ClapEntry, InitAndDeinitNestAndRepeat) {
    LoadedModule module(module_path());
    ASSERT_NE(module.entry, nullptr);
    const clap_plugin_entry* entry = module.entry;
    const std::string path = module_path();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(entry->init(path.c_str()));
        ASSERT_TRUE(entry->init(path.c_str()));
        const auto* factory = static_cast<const clap_plugin_factory*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
        ASSERT_NE(factory, nullptr);
        entry->deinit();
        // Still entered once: the factory still makes working instances.
        EXPECT_EQ(entry->get_factory(CLAP_PLUGIN_FACTORY_ID), factory);
        {
            TestHost host;
            Instance instance(host, factory);
            EXPECT_TRUE(instance.initialised);
            EXPECT_TRUE(instance.activate());
            std::vector<float> out(64);
            EXPECT_EQ(instance.process(64, nullptr, out.data()), CLAP_PROCESS_CONTINUE);
        }
        entry->deinit();
    }
}

TEST(ClapEntry, OffersThePluginAndPresetDiscoveryFactoriesOnly) {
    EnteredModule& m = shared_module();
    ASSERT_TRUE(m.entered);
    const clap_plugin_entry* entry = m.module.entry;
    EXPECT_NE(entry->get_factory(CLAP_PLUGIN_FACTORY_ID), nullptr);
    EXPECT_NE(entry->get_factory(CLAP_PRESET_DISCOVERY_FACTORY_ID), nullptr);
    EXPECT_EQ(entry->get_factory("clap.unknown-factory"), nullptr);
    EXPECT_EQ(entry->get_factory(""), nullptr);
    // The same factory every time: hosts may compare them.
    EXPECT_EQ(entry->get_factory(CLAP_PLUGIN_FACTORY_ID), entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
}

TEST(ClapFactory, DescribesOnePlugin) {
    const clap_plugin_factory* factory = shared_module().factory;
    ASSERT_NE(factory, nullptr);
    ASSERT_EQ(factory->get_plugin_count(factory), 1u);
    EXPECT_EQ(factory->get_plugin_descriptor(factory, 1), nullptr);
    EXPECT_EQ(factory->get_plugin_descriptor(factory, UINT32_MAX), nullptr);

    const clap_plugin_descriptor* d = factory->get_plugin_descriptor(factory, 0);
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(clap_version_is_compatible(d->clap_version));
    EXPECT_STREQ(d->id, kPluginId);
    EXPECT_STREQ(d->name, "Yawp Wah");
    EXPECT_STREQ(d->vendor, "Tallow.AUDIO");
    EXPECT_STREQ(d->version, YAWP_PRODUCT_VERSION);
    for (const char* text : {d->url, d->manual_url, d->support_url, d->description})
        EXPECT_NE(text, nullptr) << "every text field is a string, empty at most";

    ASSERT_NE(d->features, nullptr);
    std::vector<std::string> features;
    for (const char* const* f = d->features; *f != nullptr; ++f) features.emplace_back(*f);
    const std::vector<std::string> expected = {CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, CLAP_PLUGIN_FEATURE_FILTER,
                                               CLAP_PLUGIN_FEATURE_MONO};
    EXPECT_EQ(features, expected);
}

TEST(ClapFactory, MakesOnlyItsOwnPlugin) {
    const clap_plugin_factory* factory = shared_module().factory;
    ASSERT_NE(factory, nullptr);
    TestHost host;
    EXPECT_EQ(factory->create_plugin(factory, host.clap(), "audio.tallow.yawp-wah2"), nullptr);
    EXPECT_EQ(factory->create_plugin(factory, host.clap(), "audio.tallow.yawp"), nullptr);
    EXPECT_EQ(factory->create_plugin(factory, host.clap(), ""), nullptr);
    EXPECT_EQ(factory->create_plugin(factory, host.clap(), nullptr), nullptr);
    EXPECT_EQ(factory->create_plugin(factory, nullptr, kPluginId), nullptr);

    const clap_plugin* plugin = factory->create_plugin(factory, host.clap(), kPluginId);
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(plugin->desc, factory->get_plugin_descriptor(factory, 0));
    // Destroyed without init: a host may give up on an instance at once.
    plugin->destroy(plugin);
}

TEST(ClapPlugin, OffersItsExtensions) {
    TestHost host;
    Instance instance(host);
    ASSERT_TRUE(instance.initialised);
    EXPECT_NE(instance.params, nullptr);
    EXPECT_NE(instance.state, nullptr);
    EXPECT_NE(instance.tail, nullptr);
    EXPECT_NE(instance.latency, nullptr);
    EXPECT_NE(instance.audio_ports, nullptr);
    EXPECT_EQ(instance.plugin->get_extension(instance.plugin, "clap.unknown"), nullptr);
    EXPECT_EQ(instance.plugin->get_extension(instance.plugin, ""), nullptr);
}

TEST(ClapAudioPorts, OneMonoInPlacePairWith64BitSupport) {
    TestHost host;
    Instance instance(host);
    const clap_plugin_audio_ports* ports = instance.audio_ports;
    ASSERT_NE(ports, nullptr);
    for (bool is_input : {true, false}) {
        SCOPED_TRACE(is_input ? "input" : "output");
        ASSERT_EQ(ports->count(instance.plugin, is_input), 1u);
        clap_audio_port_info info{};
        EXPECT_FALSE(ports->get(instance.plugin, 1, is_input, &info));
        ASSERT_TRUE(ports->get(instance.plugin, 0, is_input, &info));
        EXPECT_EQ(info.id, 0u);
        EXPECT_EQ(info.channel_count, 1u);
        EXPECT_EQ(info.flags, uint32_t{CLAP_AUDIO_PORT_IS_MAIN | CLAP_AUDIO_PORT_SUPPORTS_64BITS});
        ASSERT_NE(info.port_type, nullptr);
        EXPECT_STREQ(info.port_type, CLAP_PORT_MONO);
        EXPECT_EQ(info.in_place_pair, 0u);
        EXPECT_LT(std::char_traits<char>::length(info.name), sizeof info.name);
    }
}

}  // namespace
}  // namespace yawp::clap_test
