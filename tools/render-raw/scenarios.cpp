#include "scenarios.h"

#include "session.h"

namespace yawp::raw {
namespace {

using namespace catalogue;
using tools::HostTime;

// Odd sizes, single samples and empty blocks, as hosts really send them.
const std::vector<uint32_t> kRaggedBlocks = {512, 1, 37, 0, 256, 1000, 128, 4096, 3};
const std::vector<uint32_t> kSteadyBlocks = {256};

HostTime playing(float tempo, double quarter_notes) {
    HostTime t;
    t.play_state_known = true;
    t.playing = true;
    t.tempo_known = true;
    t.tempo = tempo;
    t.position_known = true;
    t.quarter_notes = quarter_notes;
    return t;
}

HostTime stopped(float tempo) {
    HostTime t;
    t.play_state_known = true;
    t.tempo_known = true;
    t.tempo = tempo;
    return t;
}

// A tempo-synced LFO following a rolling transport that stops, changes
// tempo and starts again somewhere else.
void synced_sweep(std::vector<float>* out) {
    constexpr uint32_t kRate = 48000;
    Session s(kRate, out);
    s.set(kPosition, 40);
    s.set(kLfoOn, 1);
    s.set(kLfoSync, 1);
    s.set(kLfoSyncRate, 11);  // eighth notes
    s.set(kLfoWaveform, 1.5);
    s.set(kLfoSkew, 30);
    s.set(kLfoSyncPhase, 45);
    s.set(kLfoAmount, 80);
    s.activate(kRate);
    s.run(kRate, kRaggedBlocks, playing(128, 3.0));
    s.run(kRate / 4, kRaggedBlocks, stopped(96));
    s.set(kLfoSyncRate, 14.4);  // rounds to sixteenth notes
    s.run(kRate / 2, kSteadyBlocks, playing(96, 17.25));
}

// The envelope pushing a three-vowel pedal while a sample-and-hold LFO
// jitters it, with bypass switched on and off again mid-stream.
void envelope_and_bypass(std::vector<float>* out) {
    constexpr uint32_t kRate = 44100;
    Session s(kRate, out);
    s.set(kPosition, 70);
    s.set(kMix, 75);
    s.set(kMidOn, 1);
    s.set(kEnvOn, 1);
    s.set(kEnvAmount, -60);
    s.set(kEnvAttack, 3);
    s.set(kEnvRelease, 200);
    s.set(kLfoOn, 1);
    s.set(kLfoFreeRate, 5.5);
    s.set(kLfoWaveform, 3.6);
    s.set(kLfoBias, -20);
    s.activate(kRate);
    const HostTime none;
    s.run(kRate / 2, kRaggedBlocks, none);
    s.set(kBypass, 1);
    s.run(kRate / 2, kRaggedBlocks, none);
    s.set(kBypass, 0);
    s.run(kRate / 2, kRaggedBlocks, none);
}

// A pedal moved block by block, a skipped block that only carries a tempo
// change, and a re-activation at another sample rate.
void automation_and_reactivation(std::vector<float>* out) {
    constexpr uint32_t kFirstRate = 96000;
    constexpr uint32_t kSecondRate = 48000;
    constexpr int kSteps = 40;
    Session s(kFirstRate, out);
    s.set(kLfoOn, 1);
    s.set(kLfoWaveform, 2.5);
    s.set(kLfoFreeRate, 13);
    s.set(kLfoAmount, 30);
    s.activate(kFirstRate);
    for (int step = 0; step <= kSteps; ++step) {
        s.set(kPosition, 100.0 * step / kSteps);
        s.run(kFirstRate / kSteps / 2, kSteadyBlocks, HostTime{});
    }
    s.set(kLfoSync, 1);
    s.skip(stopped(140));
    s.run(kFirstRate / 4, kRaggedBlocks, stopped(140));
    s.activate(kSecondRate);
    s.set(kMix, 0);
    s.run(kSecondRate / 4, kRaggedBlocks, playing(140, 8));
    s.set(kMix, 100);
    s.run(kSecondRate / 4, kRaggedBlocks, playing(140, 8.5));
}

}  // namespace

void render_all(std::vector<float>* out) {
    synced_sweep(out);
    envelope_and_bypass(out);
    automation_and_reactivation(out);
}

}  // namespace yawp::raw
