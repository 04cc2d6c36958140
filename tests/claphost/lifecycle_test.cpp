// An instance's life as hosts lead it, and as careless hosts do: activation
// at the usual rates, the tail and the latency, and calls out of order.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "clap_host.h"
#include "engine/catalogue.h"
#include "signals.h"

namespace yawp::clap_test {
namespace {

namespace cat = catalogue;

constexpr double kRates[] = {44100, 48000, 96000};

TEST(ClapLifecycle, ActivatesAtTheUsualRates) {
    for (double rate : kRates) {
        SCOPED_TRACE(rate);
        TestHost host;
        Instance instance(host);
        ASSERT_TRUE(instance.activate(rate, 1024));
        const std::vector<float> x = test_tone(1024);
        std::vector<float> out(1024);
        for (int k = 0; k < 4; ++k) {
            ASSERT_NE(instance.process(1024, x.data(), out.data()), CLAP_PROCESS_ERROR);
            EXPECT_TRUE(all_finite(out.data(), out.size()));
        }
        EXPECT_GT(peak_of(out.data(), out.size()), 0.01);
        instance.deactivate();
        // Again at once, as a host does when its rate changes.
        ASSERT_TRUE(instance.activate(rate, 256));
        EXPECT_NE(instance.process(256, x.data(), out.data()), CLAP_PROCESS_ERROR);
    }
}

// The tail is the ring-out of the filters: a fixed time, so a number of
// samples that grows with the rate.
TEST(ClapLifecycle, TailScalesWithTheRateAndLatencyIsZero) {
    std::vector<uint32_t> tails;
    for (double rate : kRates) {
        SCOPED_TRACE(rate);
        TestHost host;
        Instance instance(host);
        ASSERT_NE(instance.tail, nullptr);
        ASSERT_NE(instance.latency, nullptr);
        ASSERT_TRUE(instance.activate(rate, 512));
        const uint32_t tail = instance.tail->get(instance.plugin);
        EXPECT_GT(tail, 0u);
        EXPECT_LT(tail, static_cast<uint32_t>(60 * rate)) << "a ring-out, not an endless tail";
        EXPECT_EQ(instance.latency->get(instance.plugin), 0u);
        tails.push_back(tail);
    }
    // tail = seconds * rate, rounded somehow.
    const double seconds = tails[1] / kRates[1];
    for (size_t k = 0; k < tails.size(); ++k) EXPECT_NEAR(tails[k], seconds * kRates[k], 1.0) << kRates[k];
}

TEST(ClapLifecycle, ActivatingTwiceIsRefused) {
    TestHost host;
    Instance instance(host);
    ASSERT_TRUE(instance.activate());
    EXPECT_FALSE(instance.plugin->activate(instance.plugin, 48000, 1, 512));
    // The first activation still stands.
    std::vector<float> out(512);
    const std::vector<float> x = test_tone(512);
    EXPECT_NE(instance.process(512, x.data(), out.data()), CLAP_PROCESS_ERROR);
    EXPECT_TRUE(all_finite(out.data(), out.size()));
}

TEST(ClapLifecycle, ProcessBeforeActivationIsRefused) {
    TestHost host;
    Instance instance(host);
    std::vector<float> in(64, 0.5f), out(64, 1.0f);
    float* ins[] = {in.data()};
    float* outs[] = {out.data()};
    clap_audio_buffer input{}, output{};
    input.data32 = ins;
    output.data32 = outs;
    input.channel_count = output.channel_count = 1;
    EventQueue events;
    clap_process p{};
    p.frames_count = 64;
    p.audio_inputs = &input;
    p.audio_outputs = &output;
    p.audio_inputs_count = p.audio_outputs_count = 1;
    p.in_events = events.input();
    p.out_events = events.output();
    EXPECT_EQ(instance.plugin->process(instance.plugin, &p), CLAP_PROCESS_ERROR);

    // Active but not started: a host must start processing first; either
    // way the plug-in survives it.
    ASSERT_TRUE(instance.activate(48000, 64, false));
    instance.plugin->process(instance.plugin, &p);
    instance.deactivate();
    EXPECT_EQ(instance.plugin->process(instance.plugin, &p), CLAP_PROCESS_ERROR) << "after deactivation";
}

TEST(ClapLifecycle, DeactivatingWhileInactiveIsHarmless) {
    TestHost host;
    Instance instance(host);
    instance.plugin->deactivate(instance.plugin);
    instance.plugin->stop_processing(instance.plugin);
    instance.plugin->reset(instance.plugin);
    ASSERT_TRUE(instance.activate());
    instance.deactivate();
    instance.plugin->deactivate(instance.plugin);
    ASSERT_TRUE(instance.activate());
    std::vector<float> out(64);
    EXPECT_NE(instance.process(64, nullptr, out.data()), CLAP_PROCESS_ERROR);
}

// Null pointers where CLAP promises none: refused, not followed.
TEST(ClapLifecycle, NullPointersAreRefused) {
    TestHost host;
    Instance instance(host);
    ASSERT_TRUE(instance.activate(48000, 64));
    EXPECT_EQ(instance.plugin->process(instance.plugin, nullptr), CLAP_PROCESS_ERROR);

    // A block without audio buffers or event lists: no crash, whatever the
    // plug-in answers.
    clap_process p{};
    p.frames_count = 64;
    instance.plugin->process(instance.plugin, &p);
    EventQueue events;
    events.param_value(0, cat::kMix, 40);
    p.in_events = events.input();
    p.out_events = events.output();
    instance.plugin->process(instance.plugin, &p);

    // Buffers whose channel pointers are missing.
    clap_audio_buffer none{};
    none.channel_count = 1;
    p.audio_inputs = p.audio_outputs = &none;
    p.audio_inputs_count = p.audio_outputs_count = 1;
    instance.plugin->process(instance.plugin, &p);
    p.audio_inputs_count = p.audio_outputs_count = 0;
    instance.plugin->process(instance.plugin, &p);

    // The instance still works.
    std::vector<float> out(64);
    const std::vector<float> x = test_tone(64);
    EXPECT_NE(instance.process(64, x.data(), out.data()), CLAP_PROCESS_ERROR);
    EXPECT_TRUE(all_finite(out.data(), out.size()));

    ASSERT_NE(instance.state, nullptr);
    EXPECT_FALSE(instance.state->save(instance.plugin, nullptr));
    EXPECT_FALSE(instance.state->load(instance.plugin, nullptr));
}

// A host that gives up on an instance without the proper goodbyes.
TEST(ClapLifecycle, DestroyWhileActiveIsSurvived) {
    TestHost host;
    const clap_plugin_factory* factory = shared_module().factory;
    ASSERT_NE(factory, nullptr);
    const clap_plugin* plugin = factory->create_plugin(factory, host.clap(), kPluginId);
    ASSERT_NE(plugin, nullptr);
    ASSERT_TRUE(plugin->init(plugin));
    ASSERT_TRUE(plugin->activate(plugin, 48000, 1, 256));
    ASSERT_TRUE(plugin->start_processing(plugin));
    plugin->destroy(plugin);
}

// Processing stopped and started again, and the host's reset, between
// blocks: the instance goes on working.
TEST(ClapLifecycle, StopStartAndResetBetweenBlocks) {
    TestHost host;
    Instance instance(host);
    ASSERT_TRUE(instance.activate(48000, 256));
    const std::vector<float> x = test_tone(256 * 8);
    std::vector<float> out(256);
    for (int k = 0; k < 8; ++k) {
        if (k % 3 == 1) {
            instance.plugin->stop_processing(instance.plugin);
            ASSERT_TRUE(instance.plugin->start_processing(instance.plugin));
        }
        if (k % 3 == 2) instance.plugin->reset(instance.plugin);
        ASSERT_NE(instance.process(256, x.data() + 256 * k, out.data()), CLAP_PROCESS_ERROR);
        EXPECT_TRUE(all_finite(out.data(), out.size()));
    }
}

}  // namespace
}  // namespace yawp::clap_test
