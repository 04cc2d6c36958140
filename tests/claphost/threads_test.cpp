// The threads of a CLAP host: processing on an audio thread of its own,
// the main thread's calls around it, and every call the plug-in makes into
// the host checked against the thread CLAP allows it on. The editor's
// gestures come from the plug-in library linked in, since a host cannot
// make them.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "clap/plugin.h"
#include "clap_host.h"
#include "engine/catalogue.h"
#include "signals.h"
#include "state/document.h"

namespace yawp::clap_test {
namespace {

namespace cat = catalogue;

constexpr uint32_t kBlock = 256;

// Runs `work` on a thread that the host's thread-check calls the audio
// thread, and waits for it.
template <class Work>
void on_audio_thread(TestHost& host, Work work) {
    std::thread audio([&] {
        host.set_audio_thread(std::this_thread::get_id());
        work();
    });
    audio.join();
}

// Blocks with value, modulation and transport events, as a host's audio
// thread sends them.
void play_blocks(Instance& instance, int count, EventQueue* out = nullptr) {
    const std::vector<float> x = test_tone(kBlock * static_cast<size_t>(count));
    std::vector<float> y(kBlock);
    EventQueue events;
    for (int k = 0; k < count; ++k) {
        events.clear();
        events.param_value(k % kBlock, k % cat::kInputCount == cat::kBypass ? cat::kMix : k % cat::kInputCount, 1.0);
        events.param_mod(kBlock / 2, cat::kPosition, 10.0 * (k % 3));
        const clap_event_transport t = make_transport(k % 4 != 3, 120, int64_t{k} * CLAP_BEATTIME_FACTOR / 8);
        ASSERT_NE(instance.process(kBlock, x.data() + kBlock * k, y.data(), Buffers::k32, {&events, out, &t}),
                  CLAP_PROCESS_ERROR);
    }
}

TEST(ClapThreads, ProcessingOnAnAudioThreadMakesNoMainThreadCalls) {
    TestHost host;
    Instance instance(host);
    // Activated on the main thread; processing starts on the audio thread,
    // and the process calls come from it.
    ASSERT_TRUE(instance.activate(48000, kMaxFrames, false));
    on_audio_thread(host, [&] {
        EXPECT_NE(host.role_of(std::this_thread::get_id()), Role::kMain);
        EXPECT_TRUE(instance.start());
        play_blocks(instance, 32);
    });
    // State calls on the main thread, between the audio thread's turns.
    std::vector<uint8_t> saved = instance.save();
    ASSERT_FALSE(saved.empty());
    EXPECT_TRUE(instance.load(saved));
    on_audio_thread(host, [&] {
        play_blocks(instance, 32);
        instance.plugin->reset(instance.plugin);
        play_blocks(instance, 4);
        instance.plugin->stop_processing(instance.plugin);
        instance.processing = false;
    });
    instance.deactivate();

    EXPECT_EQ(host.misplaced_calls(), std::vector<std::string>{});
    EXPECT_GE(host.calls(HostFunction::kParamsRescan, Role::kMain), 1u) << "the load told the host";
}

// params.flush belongs to the audio thread while the instance is active,
// and to the main thread while it is not.
TEST(ClapThreads, FlushFollowsActivation) {
    TestHost host;
    Instance instance(host);
    EventQueue in, out;
    in.param_value(0, cat::kMix, 60);
    instance.params->flush(instance.plugin, in.input(), out.output());
    EXPECT_EQ(instance.value(cat::kMix), 60.0);

    ASSERT_TRUE(instance.activate(48000, kBlock));
    in.clear();
    in.param_value(0, cat::kMix, 30);
    in.param_mod(0, cat::kPosition, 20);
    on_audio_thread(host, [&] { instance.params->flush(instance.plugin, in.input(), out.output()); });
    EXPECT_EQ(instance.value(cat::kMix), 30.0);
    EXPECT_EQ(instance.value(cat::kPosition), 50.0);
    on_audio_thread(host, [&] { play_blocks(instance, 2); });
    EXPECT_EQ(host.misplaced_calls(), std::vector<std::string>{});
}

// A host without thread-check, log or params extensions: the plug-in
// makes do.
TEST(ClapThreads, AHostWithoutExtensionsIsServed) {
    TestHost host;
    host.offer_params = host.offer_thread_check = host.offer_log = false;
    Instance instance(host);
    ASSERT_TRUE(instance.initialised);
    const std::vector<uint8_t> saved = instance.save();
    EXPECT_TRUE(instance.load(saved));
    ASSERT_TRUE(instance.activate(48000, kBlock));
    on_audio_thread(host, [&] { play_blocks(instance, 8); });
    EXPECT_EQ(host.calls(HostFunction::kParamsRescan), 0u);
}

// Main-thread calls a host makes from elsewhere while nothing else runs:
// descriptions, texts and the state from a worker thread.
TEST(ClapThreads, MainThreadQueriesFromAWorkerThreadAnswer) {
    TestHost host;
    Instance instance(host);
    std::vector<uint8_t> saved;
    std::thread worker([&] {
        clap_param_info info{};
        EXPECT_TRUE(instance.params->get_info(instance.plugin, 0, &info));
        char text[64];
        EXPECT_TRUE(instance.params->value_to_text(instance.plugin, 0, 50, text, sizeof text));
        saved = instance.save();
    });
    worker.join();
    EXPECT_FALSE(saved.empty());
    EXPECT_TRUE(instance.load(saved));
}

// ---- the editor's side, through the plug-in library

struct InProcess {
    TestHost host;
    Instance instance{host, yawp::clap::Plugin::create(host.clap())};
    yawp::clap::Plugin* plugin() { return yawp::clap::Plugin::of(instance.plugin); }
};

// An editor's gesture reaches the host as a gesture and value events at
// the next block; while the host processes, that block comes anyway.
TEST(ClapEditorGestures, GoOutAtTheNextBlock) {
    InProcess p;
    ASSERT_TRUE(p.instance.activate(48000, kBlock));
    on_audio_thread(p.host, [&] { play_blocks(p.instance, 1); });
    p.plugin()->begin_edit(cat::kMix, 100);
    p.plugin()->perform_edit(cat::kMix, 70);
    p.plugin()->perform_edit(cat::kMix, 40);
    p.plugin()->end_edit(cat::kMix, 40);
    EXPECT_EQ(p.plugin()->shown_value(cat::kMix), 40.0f) << "shown at once";

    EventQueue out;
    std::vector<float> y(kBlock);
    on_audio_thread(p.host, [&] { p.instance.process(kBlock, nullptr, y.data(), Buffers::k32, {nullptr, &out}); });
    ASSERT_GE(out.size(), 3u);
    EXPECT_EQ(out.get(0)->type, CLAP_EVENT_PARAM_GESTURE_BEGIN);
    EXPECT_EQ(out.get(out.size() - 1)->type, CLAP_EVENT_PARAM_GESTURE_END);
    std::vector<double> values;
    for (uint32_t k = 0; k < out.size(); ++k) {
        const clap_event_header* e = out.get(k);
        EXPECT_EQ(e->space_id, CLAP_CORE_EVENT_SPACE_ID);
        EXPECT_LT(e->time, kBlock);
        if (e->type == CLAP_EVENT_PARAM_VALUE) {
            const auto* v = reinterpret_cast<const clap_event_param_value*>(e);
            EXPECT_EQ(v->param_id, cat::kMix);
            values.push_back(v->value);
        } else {
            EXPECT_EQ(reinterpret_cast<const clap_event_param_gesture*>(e)->param_id, cat::kMix);
        }
    }
    ASSERT_FALSE(values.empty());
    EXPECT_EQ(values.back(), 40.0);
    EXPECT_EQ(p.instance.value(cat::kMix), 40.0);
    EXPECT_EQ(p.host.misplaced_calls(), std::vector<std::string>{});

    // Sent once: the next block has nothing to say.
    out.clear();
    on_audio_thread(p.host, [&] { p.instance.process(kBlock, nullptr, y.data(), Buffers::k32, {nullptr, &out}); });
    EXPECT_EQ(out.size(), 0u);
}

// While the instance is not processing, the host is asked for a flush
// (from the main thread), and the flush carries the gestures.
TEST(ClapEditorGestures, GoOutAtAFlushWhileInactive) {
    InProcess p;
    p.plugin()->begin_edit(cat::kPosition, 50);
    p.plugin()->perform_edit(cat::kPosition, 65);
    p.plugin()->end_edit(cat::kPosition, 65);
    EXPECT_GE(p.host.calls(HostFunction::kParamsRequestFlush, Role::kMain), 1u);
    EXPECT_EQ(p.host.misplaced_calls(), std::vector<std::string>{});
    EventQueue in, out;
    p.instance.params->flush(p.instance.plugin, in.input(), out.output());
    ASSERT_GE(out.size(), 3u);
    EXPECT_EQ(out.get(0)->type, CLAP_EVENT_PARAM_GESTURE_BEGIN);
    EXPECT_EQ(out.get(out.size() - 1)->type, CLAP_EVENT_PARAM_GESTURE_END);
    EXPECT_EQ(p.instance.value(cat::kPosition), 65.0);
}

// A host that processes only while its transport rolls (Qtractor) may
// save before any block: a gesture made after a load that still waits for
// the audio thread must be what the save writes, and still go out at the
// next flush.
TEST(ClapEditorGestures, AGestureAfterAWaitingLoadIsSaved) {
    InProcess p;
    state::ParameterValues loaded{};
    for (uint32_t i = 0; i < cat::kInputCount; ++i) loaded[i] = static_cast<float>(cat::entry(i)->def);
    loaded[cat::kPosition] = 20;
    loaded[cat::kMix] = 30;
    std::vector<uint8_t> bytes;
    ASSERT_EQ(state::save_document(state::kFormatLv2, 48000, loaded, &bytes), 0);
    ASSERT_TRUE(p.instance.load(bytes));

    p.plugin()->begin_edit(cat::kPosition, 70);
    p.plugin()->end_edit(cat::kPosition, 77);
    EXPECT_EQ(p.instance.value(cat::kPosition), 77.0);

    state::Document doc;
    const std::vector<uint8_t> saved = p.instance.save();
    ASSERT_EQ(state::parse_document({saved.data(), saved.size()}, &doc), 0);
    state::ParameterValues values{};
    ASSERT_EQ(state::check_document(doc, &values), 0);
    EXPECT_EQ(values[cat::kPosition], 77.0f);
    EXPECT_EQ(values[cat::kMix], 30.0f) << "the rest of the load stays";

    EventQueue in, out;
    p.instance.params->flush(p.instance.plugin, in.input(), out.output());
    EXPECT_EQ(p.instance.value(cat::kPosition), 77.0);
    EXPECT_EQ(p.instance.value(cat::kMix), 30.0);
    ASSERT_GE(out.size(), 3u);
    EXPECT_EQ(out.get(out.size() - 1)->type, CLAP_EVENT_PARAM_GESTURE_END);
}

// The host's modulation shows in the modulated position's meter, never in
// the value.
TEST(ClapEditorGestures, TheMeterShowsTheModulatedPosition) {
    InProcess p;
    ASSERT_TRUE(p.instance.activate(48000, kBlock));
    EventQueue mod;
    mod.param_mod(0, cat::kPosition, 30.0);
    std::vector<float> y(kBlock);
    const std::vector<float> x = test_tone(kBlock);
    on_audio_thread(p.host, [&] { p.instance.process(kBlock, x.data(), y.data(), Buffers::k32, {&mod}); });
    EXPECT_EQ(p.plugin()->shown_value(cat::kPosition), 50.0f);
    EXPECT_FLOAT_EQ(p.plugin()->shown_value(cat::kOutModPosition), 80.0f);
    EXPECT_EQ(p.instance.value(cat::kPosition), 50.0);
}

}  // namespace
}  // namespace yawp::clap_test
