// The audio thread allocates nothing: process calls with parameter and
// modulation events, transport changes and editor gestures on their way
// out, counted by the test program's own operator new.
//
// The plug-in library is linked in, so the counter sees every allocation
// of its code in both lanes. The loaded module is counted too where the
// counter reaches it (on Linux the module's operator new is the program's;
// the Windows module carries its own runtime).
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "allocation_counter.h"
#include "block_planner.h"
#include "clap/plugin.h"
#include "clap_host.h"
#include "engine/catalogue.h"
#include "signals.h"

namespace yawp::clap_test {
namespace {

namespace cat = catalogue;

constexpr uint32_t kBlock = 512;
constexpr int kBlocks = 200;

// Allocations made by `kBlocks` blocks of planned host behaviour, after a
// first block that may set things up.
long allocations_while_processing(Instance& instance, Buffers buffers, yawp::clap::Plugin* in_process) {
    instance.deactivate();
    EXPECT_TRUE(instance.activate(48000, kBlock));
    PlannerOptions options;
    options.block = kBlock;
    options.modulation = true;
    BlockPlanner planner(5, options);
    const std::vector<float> x = test_tone(kBlock * kBlocks, 4);
    std::vector<float> y(kBlock);
    EventQueue events, out;
    const clap_event_transport* transport = nullptr;
    instance.process(planner.next(events, &transport), x.data(), y.data(), buffers, {&events, &out, transport});

    const long before = test::allocations();
    for (int b = 1; b < kBlocks; ++b) {
        // The editor's gestures, queued between blocks (the main thread's
        // allocations are not the audio thread's, so they are left out).
        if (in_process && b % 10 == 0) {
            const long editor_allocations = test::allocations();
            in_process->begin_edit(cat::kMix, 90);
            in_process->perform_edit(cat::kMix, 80.0f - static_cast<float>(b % 40));
            in_process->end_edit(cat::kMix, 80.0f - static_cast<float>(b % 40));
            EXPECT_EQ(test::allocations(), editor_allocations) << "even the editor's gestures allocate nothing";
        }
        out.clear();
        const uint32_t frames = planner.next(events, &transport);
        instance.process(frames, x.data() + kBlock * b, y.data(), buffers, {&events, &out, transport});
    }
    return test::allocations() - before;
}

TEST(ClapRealtime, ProcessAllocatesNothingInTheLinkedPlugin) {
    for (Buffers buffers : kAllBuffers) {
        SCOPED_TRACE(name_of(buffers));
        TestHost host;
        Instance instance(host, yawp::clap::Plugin::create(host.clap()));
        EXPECT_EQ(allocations_while_processing(instance, buffers, yawp::clap::Plugin::of(instance.plugin)), 0);
    }
}

TEST(ClapRealtime, ProcessAllocatesNothingInTheModule) {
    TestHost host;
    const clap_plugin_factory* factory = shared_module().factory;
    ASSERT_NE(factory, nullptr);
    const long before = test::allocations();
    const clap_plugin* made = factory->create_plugin(factory, host.clap(), kPluginId);
    const bool counted = test::allocations() > before;
    Instance instance(host, made);
    if (!counted) {
        std::printf("The counter does not see the module's allocations here; the linked plug-in stands for it.\n");
        return;
    }
    for (Buffers buffers : {Buffers::k32, Buffers::k64})
        EXPECT_EQ(allocations_while_processing(instance, buffers, nullptr), 0) << name_of(buffers);
}

}  // namespace
}  // namespace yawp::clap_test
