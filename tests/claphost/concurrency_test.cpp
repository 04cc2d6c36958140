// The audio thread and the main thread at once: one thread processes
// blocks that each carry a parameter change, a modulation and the
// transport, while the main thread loads and saves states and plays the
// editor's gestures without pause. The plug-in library is built into the
// test itself, not loaded as a module, so that ThreadSanitizer sees every
// access it makes.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include <gtest/gtest.h>

#include "clap/plugin.h"
#include "clap_host.h"
#include "engine/catalogue.h"
#include "state/document.h"

namespace yawp::clap_test {
namespace {

namespace cat = catalogue;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kBlock = 64;
constexpr uint32_t kBlocks = 20000;
constexpr uint32_t kMinRounds = 200;  // main-thread rounds while blocks run
constexpr uint32_t kDocuments = 16;
// Parameters 0 to 15 get the host's changes and the editor's gestures; 16
// to 31 only loaded values.
constexpr uint32_t kHostDriven = 16;

// A plain value of parameter i for step k, inside its range.
float value_for(uint32_t i, uint32_t k) {
    const cat::RangeEntry* e = cat::entry(i);
    if (e->kind & (cat::kKindToggle | cat::kKindBypass)) return static_cast<float>(k % 2);
    if (e->kind & cat::kKindInteger) return static_cast<float>(1 + k % 24);
    return static_cast<float>(e->minimum + (e->maximum - e->minimum) * (k % 11) / 10.0);
}

std::vector<float> values_of(const std::vector<uint8_t>& bytes) {
    state::Document doc;
    state::ParameterValues values{};
    if (state::parse_document({bytes.data(), bytes.size()}, &doc) != 0 || state::check_document(doc, &values) != 0)
        return {};
    return {values.begin(), values.end()};
}

struct Session {
    Session() { EXPECT_TRUE(instance.activate(48000, kBlock, false)); }

    yawp::clap::Plugin* plugin() { return yawp::clap::Plugin::of(instance.plugin); }

    // [audio-thread] Each block sends one change, once: a change that met
    // a busy state call and went missing would never come again.
    void audio() {
        host.set_audio_thread(std::this_thread::get_id());
        EXPECT_TRUE(instance.start());
        std::vector<float> in(kBlock, 0.25f), out(kBlock);
        EventQueue events, sent_out;
        for (uint32_t b = 0; b < kBlocks || rounds < kMinRounds; ++b) {
            const uint32_t i = b % kHostDriven;
            const float value = value_for(i, b / kHostDriven);
            events.clear();
            sent_out.clear();
            events.param_value(b % kBlock, i, value);
            events.param_mod(kBlock / 2, cat::kPosition, static_cast<double>(b % 7) * 5.0);
            const clap_event_transport t = make_transport(b % 100 < 90, 120, int64_t{b} * CLAP_BEATTIME_FACTOR / 16);
            const Clock::time_point start = Clock::now();
            failures += instance.process(kBlock, in.data(), out.data(), Buffers::k32, {&events, &sent_out, &t}) ==
                        CLAP_PROCESS_ERROR;
            longest = std::max(longest, Clock::now() - start);
            last_sent[i] = value;
        }
        instance.plugin->stop_processing(instance.plugin);
        instance.processing = false;
        done = true;
    }

    // Runs `main_call` on this (the main) thread for as long as the blocks
    // run.
    template <class MainCall>
    void run(MainCall main_call) {
        std::thread audio_thread([this] { audio(); });
        for (uint32_t k = 0; !done; ++k, ++rounds) main_call(k);
        audio_thread.join();
        // Reported, not checked: the figure depends on the machine's load.
        std::printf("%u main-thread rounds; longest process call %.3f ms\n", rounds.load(),
                    std::chrono::duration<double, std::milli>(longest).count());
    }

    TestHost host;
    Instance instance{host, yawp::clap::Plugin::create(host.clap())};
    std::atomic<bool> done{false};
    std::atomic<uint32_t> rounds{0};
    uint32_t failures = 0;  // the audio thread's
    float last_sent[kHostDriven] = {};
    Clock::duration longest{};
};

TEST(ClapConcurrency, ChangesThatMeetASaveAreNotLost) {
    Session session;
    uint32_t failed_saves = 0;
    session.run([&](uint32_t) { failed_saves += session.instance.save().empty(); });
    EXPECT_EQ(failed_saves, 0u);
    EXPECT_EQ(session.failures, 0u);
    const std::vector<float> saved = values_of(session.instance.save());
    ASSERT_EQ(saved.size(), cat::kInputCount);
    for (uint32_t i = 0; i < kHostDriven; ++i) {
        EXPECT_EQ(saved[i], session.last_sent[i]) << cat::state_key(i);
        EXPECT_EQ(session.instance.value(i), session.last_sent[i]) << cat::state_key(i);
    }
    EXPECT_EQ(session.host.misplaced_calls(), std::vector<std::string>{});
}

TEST(ClapConcurrency, SavesHoldTheLoadedValuesWhileGesturesAndBlocksRun) {
    std::vector<std::vector<uint8_t>> documents(kDocuments);
    std::vector<state::ParameterValues> values(kDocuments);
    for (uint32_t d = 0; d < kDocuments; ++d) {
        for (uint32_t i = 0; i < cat::kInputCount; ++i) values[d][i] = value_for(i, d + 3);
        ASSERT_EQ(state::save_document(state::kFormatClap, 48000, values[d], &documents[d]), 0);
    }
    // The document whose load-only values a save holds; -1 for none (a
    // mix of two, or anything else).
    auto source = [&](const std::vector<float>& saved) {
        if (saved.size() != cat::kInputCount) return -1;
        for (uint32_t d = 0; d < kDocuments; ++d)
            if (std::equal(saved.begin() + kHostDriven, saved.end(), values[d].begin() + kHostDriven))
                return static_cast<int>(d);
        return -1;
    };

    Session session;
    uint32_t failed = 0, foreign = 0, stale = 0;
    int last_loaded = -1;
    session.run([&](uint32_t k) {
        const uint32_t d = k % kDocuments;
        failed += !session.instance.load(documents[d]);
        last_loaded = static_cast<int>(d);
        // The editor moves a host-driven parameter meanwhile.
        const uint32_t edited = k % kHostDriven;
        session.plugin()->begin_edit(edited, value_for(edited, k));
        session.plugin()->perform_edit(edited, value_for(edited, k + 1));
        session.plugin()->end_edit(edited, value_for(edited, k + 1));
        for (uint32_t i = kHostDriven; i < cat::kInputCount; ++i)
            stale += session.instance.value(i) != values[d][i];
        const int from = source(values_of(session.instance.save()));
        foreign += from < 0;
        stale += from >= 0 && from != last_loaded;
    });
    EXPECT_EQ(session.failures, 0u);
    EXPECT_EQ(failed, 0u);
    EXPECT_EQ(foreign, 0u) << "a save held values of no loaded document";
    EXPECT_EQ(stale, 0u) << "a save or get_value after a load held other values";
    EXPECT_EQ(source(values_of(session.instance.save())), last_loaded);
    EXPECT_EQ(session.host.misplaced_calls(), std::vector<std::string>{});
}

}  // namespace
}  // namespace yawp::clap_test
