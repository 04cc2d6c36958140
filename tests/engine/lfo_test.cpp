// LFO: random sequence, rate, phase, waveforms, skew, tempo sync and the
// song-position resync.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>

#include "engine/cpu_features.h"
#include "engine/lfo.h"
#include "engine_fixture.h"

using namespace yawp;
using namespace yawp::test;
namespace cat = yawp::catalogue;

namespace {

// Meters after each of n single-sample blocks.
std::vector<EngineOutputs> trace(Engine& e, size_t n, Transport t = {}) {
    std::vector<EngineOutputs> out;
    float x = 0;
    for (size_t i = 0; i < n; ++i) {
        e.process(&x, &x, 1, t);
        t.changed = 0;
        out.push_back(e.outputs());
    }
    return out;
}

Transport rolling_at(double qn, float tempo = 120) {
    Transport t;
    t.valid = kTransportRolling | kTransportSpeed | kTransportTempo | kTransportQuarterNotes;
    t.changed = t.valid;
    t.rolling = true;
    t.speed = 1;
    t.tempo = tempo;
    t.quarter_notes = qn;
    return t;
}

// An LFO driving the pedal alone: position 0, full depth, no bias.
Settings lfo_on(float waveform, const Settings& extra = {}) {
    Settings s = {{cat::kLfoOn, 1}, {cat::kLfoWaveform, waveform}, {cat::kPosition, 50}};
    s.insert(s.end(), extra.begin(), extra.end());
    return s;
}

}  // namespace

TEST(LfoRandom, FirstValuesFromTheSeed) {
    LfoRandom r;
    EXPECT_NEAR(r.next(), -0.29795998, 1e-7);
    EXPECT_NEAR(r.next(), -0.70395851, 1e-7);
    EXPECT_NEAR(r.next(), -0.48788321, 1e-7);
    EXPECT_NEAR(r.next(), 0.053273797, 1e-7);
    for (int i = 0; i < 10000; ++i) {
        float v = r.next();
        ASSERT_GE(v, -1.0f);
        ASSERT_LT(v, 1.0f);
    }
}

TEST(Lfo, FreeRateAndPhaseOutput) {
    Engine e;
    prepare(e, lfo_on(1, {{cat::kLfoFreeRate, 4}}), 48000);
    auto t = trace(e, 13000);
    // 4 Hz at 48 kHz: one cycle is 12000 samples; the phase wraps once.
    int wraps = 0;
    for (size_t i = 1; i < t.size(); ++i) wraps += t[i].lfo_phase < t[i - 1].lfo_phase;
    EXPECT_EQ(wraps, 1);
    EXPECT_NEAR(t[5999].lfo_phase, 0.5, 1e-4);
}

TEST(Lfo, OffGivesZeroTermButPhaseRuns) {
    Engine e;
    prepare(e, {{cat::kLfoBias, 100}, {cat::kPosition, 30}});
    auto t = trace(e, 1000);
    EXPECT_EQ(t.back().lfo_output, 0.0f);
    EXPECT_FLOAT_EQ(t.back().mod_position, 30.0f);
    EXPECT_GT(t.back().lfo_phase, 0.0f);
}

TEST(Lfo, SineStartsAtMinusOnePeaksAtSkew) {
    for (float skew_percent : {0.0f, 60.0f}) {
        Engine e;
        prepare(e, lfo_on(1, {{cat::kLfoFreeRate, 1}, {cat::kLfoSkew, skew_percent}}));
        auto t = trace(e, 48000);
        const float skew = skew_percent * 0.005f + 0.5f;
        // Depth 0.5 at 100 %: term = v × 0.5.
        EXPECT_NEAR(t[0].lfo_output, -0.5, 1e-3);
        size_t top = static_cast<size_t>(skew * 48000) - 1;
        EXPECT_NEAR(t[top].lfo_output, 0.5, 1e-3);
    }
}

TEST(Lfo, SkewExtremeKeepsRisingHalfLong) {
    Engine e;
    prepare(e, lfo_on(2, {{cat::kLfoFreeRate, 1}, {cat::kLfoSkew, 100}}));
    auto t = trace(e, 48000);
    size_t top = 0;
    for (size_t i = 0; i < t.size(); ++i)
        if (t[i].lfo_output > t[top].lfo_output) top = i;
    EXPECT_NEAR(top / 48000.0, 0.999, 1e-3);
}

TEST(Lfo, SquareIsZeroAtTheMidpointAndRandomHoldsPerCycle) {
    Engine e;
    prepare(e, lfo_on(3, {{cat::kLfoFreeRate, 1}}));
    auto t = trace(e, 48000);
    EXPECT_FLOAT_EQ(t[1000].lfo_output, 0.5f);
    EXPECT_FLOAT_EQ(t[30000].lfo_output, -0.5f);

    prepare(e, lfo_on(4, {{cat::kLfoFreeRate, 10}}));
    t = trace(e, 48000);
    int changes = 0;
    // (sq + (random - sq) rounds differently as the square flips: a change
    // of a few ulps is not a new value.)
    for (size_t i = 1; i < t.size(); ++i) changes += std::fabs(t[i].lfo_output - t[i - 1].lfo_output) > 1e-6f;
    EXPECT_EQ(changes, 9);  // a new value at each of the wraps within the second
    // The first value held is the one drawn at reset.
    EXPECT_NEAR(t[0].lfo_output, -0.29795998 * 0.5, 1e-6);
}

TEST(Lfo, WaveformIsContinuousInTheSelector) {
    for (float w0 : {1.999f, 2.998f, 3.0f}) {
        Engine a, b;
        prepare(a, lfo_on(w0, {{cat::kLfoFreeRate, 3}}));
        prepare(b, lfo_on(w0 + 0.002f, {{cat::kLfoFreeRate, 3}}));
        auto ta = trace(a, 4000), tb = trace(b, 4000);
        // Near the square's edges the steep ramps still differ; elsewhere a
        // small step of the selector is a small step of the value.
        size_t apart = 0;
        for (size_t i = 0; i < ta.size(); ++i) apart += std::fabs(ta[i].lfo_output - tb[i].lfo_output) > 0.01f;
        EXPECT_LT(apart, ta.size() / 100) << w0;
    }
}

TEST(Lfo, AtZeroHertzNothingMoves) {
    Engine e;
    prepare(e, lfo_on(4, {{cat::kLfoSync, 1}}));
    Transport stopped;
    stopped.valid = stopped.changed = kTransportSpeed | kTransportRolling | kTransportTempo;
    stopped.tempo = 0;  // a host that reports tempo 0
    stopped.rolling = true;
    auto t = trace(e, 5000, stopped);
    EXPECT_EQ(t.front().lfo_output, t.back().lfo_output);
    EXPECT_EQ(t.back().lfo_phase, 0.0f);
}

TEST(Lfo, SyncedRateFollowsTempo) {
    Engine e;
    prepare(e, lfo_on(1, {{cat::kLfoSync, 1}}));  // rate 8: one cycle per quarter
    Transport t;
    t.valid = t.changed = kTransportTempo;
    t.tempo = 90;  // 1.5 Hz
    auto tr = trace(e, 32000, t);
    int wraps = 0;
    for (size_t i = 1; i < tr.size(); ++i) wraps += tr[i].lfo_phase < tr[i - 1].lfo_phase;
    EXPECT_EQ(wraps, 0);
    EXPECT_NEAR(tr.back().lfo_phase, 32000 * 1.5 / 48000, 1e-3);
}

TEST(Lfo, SongPositionResync) {
    Engine e;
    prepare(e, lfo_on(1, {{cat::kLfoSync, 1}}));
    float x = 0;
    Transport t = rolling_at(2.5);
    e.process(&x, &x, 1, t);
    // Realigned to 0.5, then advanced one increment (2 Hz at 48 kHz).
    EXPECT_NEAR(e.outputs().lfo_phase, 0.5 + 2.0 / 48000, 1e-6);

    // A new position every block realigns every block.
    t = rolling_at(10.25);
    e.process(&x, &x, 1, t);
    EXPECT_NEAR(e.outputs().lfo_phase, 0.25 + 2.0 / 48000, 1e-6);
}

TEST(Lfo, PhaseOffsetOnlyWithSync) {
    Engine a, b;
    prepare(a, lfo_on(1, {{cat::kLfoSync, 1}, {cat::kLfoSyncPhase, 90}}));
    prepare(b, lfo_on(1, {{cat::kLfoSync, 0}, {cat::kLfoSyncPhase, 90}}));
    auto ta = trace(a, 10), tb = trace(b, 10);
    EXPECT_NEAR(ta[0].lfo_phase, 0.25 + 2.0 / 48000, 1e-6);
    EXPECT_NEAR(tb[0].lfo_phase, 2.0 / 48000, 1e-6);
}

TEST(Lfo, StoppedTransportRunsAtNominalRate) {
    Engine e;
    prepare(e, lfo_on(1, {{cat::kLfoSync, 1}}));
    Transport t;
    t.valid = t.changed = kTransportSpeed | kTransportRolling | kTransportTempo;
    t.speed = 0;
    t.rolling = false;
    t.tempo = 60;  // 1 Hz
    auto tr = trace(e, 24000, t);
    EXPECT_NEAR(tr.back().lfo_phase, 0.5, 1e-3);
}

TEST(Lfo, NewFreeRateReachesTheNextBlock) {
    Engine e;
    prepare(e, lfo_on(1, {{cat::kLfoFreeRate, 1}}));
    std::vector<float> x(480, 0.0f);
    Transport t;
    e.process(x.data(), x.data(), 480, t);
    const float before = e.outputs().lfo_phase;
    e.set_parameter(cat::kLfoFreeRate, 10);
    e.process(x.data(), x.data(), 480, t);
    EXPECT_NEAR(e.outputs().lfo_phase - before, 480 * 10 / 48000.0, 1e-4);
}

TEST(Lfo, HostNonsenseDoesNotPoisonThePhase) {
    Engine e;
    prepare(e, lfo_on(1, {{cat::kLfoSync, 1}}));
    Transport t = rolling_at(NAN, NAN);
    t.valid |= kTransportBeatUnit | kTransportBeat;
    t.beat_unit = 0;
    float x = 0;
    e.process(&x, &x, 1, t);
    EXPECT_TRUE(std::isfinite(e.outputs().lfo_phase));
    EXPECT_TRUE(std::isfinite(e.outputs().lfo_output));
}

TEST(Lfo, TermsSideBySideEqualOutputOneAtATime) {
    // Every waveform region and its edges, skews from one extreme to the
    // other, and phases that hit the midpoint and the skew exactly; each
    // path (four and, where the processor has it, eight lanes) against the
    // scalar output() of the same phase and random value.
    const float waveforms[] = {1.0f, 1.37f, 1.999f, 2.0f, 2.5f, 2.998f, 2.999f, 3.0f, 3.5f, 4.0f};
    const float skews[] = {0.001f, 0.25f, 0.5f, 0.8f, 0.999f};
    constexpr uint32_t kN = 61;  // not a multiple of four or eight
    alignas(32) float phase[64] = {}, random[64] = {}, term[64];
    for (uint32_t i = 0; i < kN; ++i) {
        phase[i] = i < 4 ? (i == 0 ? 0.0f : i == 1 ? 0.5f : i == 2 ? 1.0f : 0.25f) : static_cast<float>(i) / kN;
        random[i] = std::sin(static_cast<float>(i));
    }
    for (bool wide : {false, true}) {
        if (wide && !cpu_features::avx2()) continue;
        for (float w : waveforms)
            for (float skew : skews) {
                Lfo lfo;
                lfo.initialise();
                lfo.wide = wide;
                lfo.gate = 1;
                lfo.waveform = w;
                lfo.depth = 0.37f;
                lfo.bias = -0.2f;
                lfo.skew = skew;
                phase[kN - 1] = skew;
                lfo.terms(phase, random, term, kN);
                for (uint32_t i = 0; i < kN; ++i) {
                    Lfo one = lfo;
                    one.accumulator = phase[i];
                    one.random_value = random[i];
                    const float expected = one.output().term;
                    ASSERT_EQ(std::bit_cast<uint32_t>(term[i]), std::bit_cast<uint32_t>(expected))
                        << "wide " << wide << " waveform " << w << " skew " << skew << " phase " << phase[i];
                }
            }
    }
}
