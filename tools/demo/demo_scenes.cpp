#include "demo_scenes.h"

#include <algorithm>

#include "demo_input.h"
#include "engine/engine.h"
#include "tools/common/host_time.h"

namespace yawp::demo {
namespace {

using namespace catalogue;

constexpr uint32_t kBlock = 256;
constexpr uint32_t kMidTongue = static_cast<uint32_t>(kMidJaw) + kTongue;

// A whole-note sine sweep at 120 BPM: one trip heel to toe and back every
// two seconds, locked to the bar lines.
const std::vector<Setting> kSyncedSweep = {
    {kLfoOn, 1}, {kLfoSync, 1}, {kLfoSyncRate, 2}, {kLfoWaveform, 1}, {kLfoAmount, 100},
};

}  // namespace

const std::vector<Scene>& scenes() {
    static const std::vector<Scene> kScenes = {
        {"lfo-sweep", "Tempo-synced LFO: whole-note sine sweep at 120 BPM", kSyncedSweep, {}, true},
        {"envelope-pluck",
         "Envelope follower: each pluck kicks the pedal toward the toe",
         {{kPosition, 0}, {kEnvOn, 1}, {kEnvAmount, 12}, {kEnvAttack, 4}, {kEnvRelease, 150}},
         {},
         false},
        {"mid-vowel",
         "Mid vowel on: triangle LFO goes heel - ee - toe - ee - heel",
         {{kMidOn, 1}, {kMidJaw, 10}, {kMidTongue, 100}, {kLfoOn, 1}, {kLfoWaveform, 2},
          {kLfoFreeRate, 0.25}},
         {},
         false},
        {"bypass-fade",
         "Bypass on at 2.5 s, off at 5.5 s: 50 ms crossfades, the sweep runs on",
         kSyncedSweep,
         {{2.5, {kBypass, 1}}, {5.5, {kBypass, 0}}},
         true},
    };
    return kScenes;
}

std::vector<float> render_scene(const Scene& scene, const std::vector<float>& input, uint32_t sample_rate) {
    Engine engine;
    engine.initialise();
    auto set = [&engine](const Setting& s) {
        engine.set_parameter(s.index, static_cast<float>(coerce(s.index, s.value)));
    };
    for (uint32_t i = 0; i < kInputCount; ++i) set({i, entry(i)->def});
    for (const Setting& s : scene.settings) set(s);
    engine.set_sample_rate(static_cast<float>(sample_rate));
    engine.reset();

    tools::HostTimeFeed feed;
    tools::HostTime time;
    time.play_state_known = time.playing = time.tempo_known = time.position_known = scene.playing;
    time.tempo = kTempo;

    std::vector<float> out(input.size());
    size_t next_change = 0;
    for (size_t done = 0; done < input.size(); done += kBlock) {
        const double now = static_cast<double>(done) / sample_rate;
        for (; next_change < scene.changes.size() && scene.changes[next_change].seconds <= now;
             ++next_change)
            set(scene.changes[next_change].setting);
        const uint32_t n = static_cast<uint32_t>(std::min<size_t>(kBlock, input.size() - done));
        time.quarter_notes = tools::quarter_notes_after(0, done, sample_rate, kTempo);
        engine.process(input.data() + done, out.data() + done, n, feed.next(time));
    }
    return out;
}

}  // namespace yawp::demo
