// The audio thread and the state calls at once: one thread processes blocks
// that each change a parameter, another saves (and restores) without
// pause. Built into the test itself, not loaded as a module, so that
// ThreadSanitizer sees every access the processor makes.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include <gtest/gtest.h>

#include "state/document.h"
#include "vst3/factory.h"
#include "vst3_host.h"

namespace yawp::test {
namespace {

namespace cat = catalogue;
using Clock = std::chrono::steady_clock;

constexpr int32 kBlock = 64;
constexpr uint32_t kBlocks = 20000;
constexpr uint32_t kMinRounds = 200;  // state calls while blocks run
constexpr uint32_t kDocuments = 16;
// Parameters 0 to 15 get host changes; 16 to 31 only restored values.
constexpr uint32_t kHostDriven = 16;

// A plain value of parameter i for step k, inside its range.
float value_for(uint32_t i, uint32_t k) {
    const cat::RangeEntry* e = cat::entry(i);
    if (e->kind & (cat::kKindToggle | cat::kKindBypass)) return static_cast<float>(k % 2);
    if (e->kind & cat::kKindInteger) return static_cast<float>(1 + k % 24);
    return static_cast<float>(e->minimum + (e->maximum - e->minimum) * (k % 11) / 10.0);
}

struct Session {
    Session() { plugin.activate(48000, kBlock); }

    // [audio-thread] Each block sends one change, once: a change that met
    // a busy guard and went missing would never come again.
    void audio() {
        for (uint32_t b = 0; b < kBlocks || rounds < kMinRounds; ++b) {
            const uint32_t i = b % kHostDriven;
            const double normalized = cat::plain_to_normalized(i, value_for(i, b / kHostDriven));
            ParamChanges changes;
            changes.add(cat::vst3_id(i), {{0, normalized}});
            const Clock::time_point start = Clock::now();
            plugin.process(kBlock, &changes);
            longest = std::max(longest, Clock::now() - start);
            last_sent[i] = static_cast<float>(cat::coerce(i, cat::normalized_to_plain(i, normalized)));
        }
        done = true;
    }

    // Runs `state_call` on a second thread for as long as the blocks run.
    template <class StateCall>
    void run(StateCall state_call) {
        std::thread audio_thread([this] { audio(); });
        for (uint32_t k = 0; !done; ++k, ++rounds) state_call(k);
        audio_thread.join();
        // Reported, not checked: the figure depends on the machine's load.
        std::printf("%u state rounds; longest process call %.3f ms\n", rounds.load(),
                    std::chrono::duration<double, std::milli>(longest).count());
        plugin.process(kBlock);
    }

    Plugin plugin{vst3::factory()};
    std::atomic<bool> done{false};
    std::atomic<uint32_t> rounds{0};
    float last_sent[kHostDriven] = {};
    Clock::duration longest{};
};

TEST(Vst3Concurrency, ChangesThatMeetASaveAreNotLost) {
    Session session;
    uint32_t failures = 0;
    session.run([&](uint32_t) {
        MemoryStream stream;
        failures += session.plugin.component->getState(&stream) != kResultOk;
    });
    EXPECT_EQ(failures, 0u);
    const std::vector<float> engine = values_of(session.plugin.save());
    for (uint32_t i = 0; i < kHostDriven; ++i) EXPECT_EQ(engine[i], session.last_sent[i]) << cat::state_key(i);
}

TEST(Vst3Concurrency, SavesAreNeverTornAndTheLastRestoreStays) {
    std::vector<std::vector<uint8_t>> documents(kDocuments);
    std::vector<state::ParameterValues> values(kDocuments);
    for (uint32_t d = 0; d < kDocuments; ++d) {
        for (uint32_t i = 0; i < cat::kInputCount; ++i) values[d][i] = value_for(i, d + 3);
        ASSERT_EQ(state::save_document(state::kFormatVst3, 48000, values[d], &documents[d]), 0);
    }
    // The document whose restore-only values a save holds; -1 for a mix of
    // two, which would be a torn snapshot.
    auto source = [&](const std::vector<float>& saved) {
        for (uint32_t d = 0; d < kDocuments; ++d)
            if (std::equal(saved.begin() + kHostDriven, saved.end(), values[d].begin() + kHostDriven))
                return static_cast<int>(d);
        return -1;
    };

    Session session;
    uint32_t failures = 0, torn = 0;
    int last_restored = -1;
    session.run([&](uint32_t k) {
        MemoryStream saved, restored(documents[k % kDocuments]);
        failures += session.plugin.component->getState(&saved) != kResultOk;
        torn += last_restored >= 0 && source(values_of(saved.bytes)) < 0;
        failures += session.plugin.component->setState(&restored) != kResultOk;
        last_restored = static_cast<int>(k % kDocuments);
    });
    EXPECT_EQ(failures, 0u);
    EXPECT_EQ(torn, 0u) << "a save saw values of two restores at once";
    EXPECT_EQ(source(values_of(session.plugin.save())), last_restored);
}

}  // namespace
}  // namespace yawp::test
