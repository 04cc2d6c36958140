// The fast engine against the plain per-sample reference: random settings,
// random automation between blocks of random size (1 to 4096), transport
// changes and re-activations, and the output compared bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "engine/cpu_features.h"
#include "engine_fixture.h"
#include "reference_engine.h"

using namespace yawp;
using namespace yawp::test;
namespace cat = yawp::catalogue;

namespace {

constexpr float kRates[] = {44100.0f, 48000.0f, 96000.0f};
constexpr uint32_t kMaxBlock = 4096;

struct Pair {
    Engine fast;
    ReferenceEngine plain;

    void set(uint32_t index, float value) {
        fast.set_parameter(index, value);
        plain.set_parameter(index, value);
    }
    void activate(float rate) {
        fast.set_sample_rate(rate);
        fast.reset();
        plain.set_sample_rate(rate);
        plain.reset();
    }
    // Both engines from scratch: defaults, then `overrides` in order.
    void start(float rate, const Settings& overrides) {
        fast.initialise();
        plain.initialise();
        for (uint32_t i = 0; i < cat::kInputCount; ++i) set(i, static_cast<float>(cat::entry(i)->def));
        for (const auto& [index, value] : overrides) set(index, value);
        activate(rate);
    }
};

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A plain value anywhere in the parameter's range, as a host would send it;
// now and then exactly an end of the range.
float random_value(uint32_t index, std::mt19937& rng) {
    const cat::RangeEntry* e = cat::entry(index);
    std::uniform_real_distribution<double> unit(0, 1);
    double u = unit(rng);
    if (u < 0.05) u = 0;
    if (u > 0.95) u = 1;
    return static_cast<float>(cat::coerce(index, e->minimum + u * (e->maximum - e->minimum)));
}

// Parameters a session automates most: the modulation and the pedal.
constexpr uint32_t kAutomated[] = {cat::kPosition, cat::kMix, cat::kLfoOn, cat::kLfoWaveform, cat::kLfoAmount,
                                   cat::kLfoFreeRate, cat::kEnvOn, cat::kEnvAmount, cat::kBypass, cat::kMidOn};

// The input: a sine, noise, silence, or a mix of them with the odd NaN.
void fill(std::vector<float>* x, uint32_t n, std::mt19937& rng, uint64_t* clock) {
    std::uniform_real_distribution<float> noise(-1, 1);
    const uint32_t kind = rng() % 4;
    for (uint32_t i = 0; i < n; ++i, ++*clock) {
        const float s = 0.6f * std::sin(0.031f * static_cast<float>(*clock % 100000));
        (*x)[i] = kind == 0 ? s : kind == 1 ? 0.3f * noise(rng) : kind == 2 ? 0.0f : s + 0.05f * noise(rng);
    }
    if (rng() % 16 == 0 && n > 0) (*x)[rng() % n] = std::nanf("");
}

// Runs `sessions` random sessions; engines made here take the wide or the
// baseline paths as cpu_features says at their initialisation.
void compare_sessions(int first, int sessions) {
    for (int session = first; session < first + sessions; ++session) {
        std::mt19937 rng(1000 + session);
        const float rate = kRates[rng() % 3];
        Pair e;
        e.fast.initialise();
        e.plain.initialise();
        for (uint32_t i = 0; i < cat::kInputCount; ++i)
            e.set(i, rng() % 3 == 0 ? static_cast<float>(cat::entry(i)->def) : random_value(i, rng));
        e.activate(rate);

        std::vector<float> x(kMaxBlock), fast(kMaxBlock), plain(kMaxBlock);
        uint64_t clock = 0, samples = 0;
        Transport t;
        while (samples < 40000) {
            // Block sizes from 1 to 4096, small ones more often.
            const uint32_t n = rng() % 2 ? 1 + rng() % 64 : 1 + rng() % kMaxBlock;
            for (uint32_t c = rng() % 4; c > 0; --c) {
                const uint32_t index = rng() % 2 ? kAutomated[rng() % std::size(kAutomated)] : rng() % cat::kInputCount;
                e.set(index, random_value(index, rng));
            }
            t.changed = 0;
            if (rng() % 8 == 0) {
                t.valid = kTransportTempo | kTransportRolling | kTransportSpeed | kTransportQuarterNotes;
                t.changed = t.valid;
                t.tempo = 60.0f + static_cast<float>(rng() % 120);
                t.rolling = rng() % 2;
                t.speed = t.rolling ? 1.0f : 0.0f;
                t.quarter_notes = static_cast<double>(rng() % 10000) / 64.0;
            }
            if (rng() % 50 == 0) e.activate(rate);

            fill(&x, n, rng, &clock);
            e.fast.process(x.data(), fast.data(), n, t);
            e.plain.process(x.data(), plain.data(), n, t);
            for (uint32_t i = 0; i < n; ++i)
                ASSERT_TRUE(same_bits(fast[i], plain[i]))
                    << "session " << session << ", sample " << samples + i << ": " << fast[i] << " vs " << plain[i];
            const EngineOutputs a = e.fast.outputs(), b = e.plain.outputs();
            ASSERT_EQ(std::memcmp(&a, &b, sizeof a), 0) << "session " << session << ", outputs after sample " << samples + n;
            samples += n;
        }
    }
}

}  // namespace

TEST(Reference, FastEngineMatchesThePlainAlgorithmBitForBit) {
    // The paths this processor takes (AVX2 where it has it).
    compare_sessions(0, 40);
}

TEST(Reference, BaselinePathsMatchToo) {
    // The SSE2 paths every x86-64 processor takes.
    cpu_features::cap(cpu_features::Level::kBaseline);
    compare_sessions(100, 16);
    cpu_features::cap(cpu_features::Level::kAvx512);
}

TEST(Reference, Avx2PathsMatchToo) {
    // On a processor with AVX-512 the first test ran those paths; the AVX2
    // ones are what most processors take.
    if (!cpu_features::avx512()) GTEST_SKIP() << "no AVX-512 here: the first test ran the widest paths";
    cpu_features::cap(cpu_features::Level::kAvx2);
    compare_sessions(200, 16);
    cpu_features::cap(cpu_features::Level::kAvx512);
}

TEST(Reference, LfoFasterThanOneCyclePerSampleMatchesToo) {
    // No host plays at a million beats per minute, but a transport record
    // can say so: the LFO then passes a cycle per sample and the engine
    // takes its general phase arithmetic, with the LFO gate closed (steady
    // chunks) and open (moving ones).
    for (float gate : {0.0f, 1.0f}) {
        Pair e;
        e.start(48000, {{cat::kLfoOn, gate}, {cat::kLfoSync, 1}, {cat::kLfoSyncRate, 24}, {cat::kLfoWaveform, 4}});
        Transport t;
        t.valid = t.changed = kTransportTempo;
        t.tempo = 1e6f;
        std::vector<float> x = sine(330, 4096, 0.5), fast(4096), plain(4096);
        e.fast.process(x.data(), fast.data(), 4096, t);
        e.plain.process(x.data(), plain.data(), 4096, t);
        for (size_t i = 0; i < x.size(); ++i) ASSERT_TRUE(same_bits(fast[i], plain[i])) << gate << " " << i;
        const EngineOutputs a = e.fast.outputs(), b = e.plain.outputs();
        EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
    }
}

TEST(Reference, InPlaceAndOneSampleBlocksMatchToo) {
    // The sweeping case sample by sample, in place.
    Pair e;
    e.start(48000, {{cat::kLfoOn, 1}, {cat::kLfoFreeRate, 7}, {cat::kEnvOn, 1}, {cat::kEnvAmount, -20}, {cat::kMidOn, 1}});
    std::vector<float> x = sine(330, 9600, 0.7), y(9600);
    Transport t;
    for (size_t i = 0; i < x.size(); ++i) e.plain.process(&x[i], &y[i], 1, t);
    e.fast.process(x.data(), x.data(), static_cast<uint32_t>(x.size()), t);
    for (size_t i = 0; i < x.size(); ++i) ASSERT_TRUE(same_bits(x[i], y[i])) << i;
}

TEST(Reference, FaultsInLaterChunksOfALongInPlaceBlockMatchToo) {
    // A long block is modulated a chunk ahead of its filters, each chunk
    // from its own admitted copy when it holds samples that are not sound:
    // faults at the first and last sample of a chunk, inside one, in
    // neighbouring chunks, and a chunk that is nothing but faults, in place
    // and not, with and without the envelope.
    const std::vector<uint32_t> at = {64 * 3, 64 * 3 + 63, 64 * 4 + 10, 64 * 5 + 17, 64 * 9 + 1, 64 * 13 + 30};
    for (bool envelope : {false, true})
        for (bool in_place : {false, true}) {
            Pair e;
            e.start(44100, {{cat::kLfoOn, 1}, {cat::kLfoFreeRate, 9}, {cat::kEnvOn, envelope ? 1.0f : 0.0f}, {cat::kEnvAmount, 60}});
            std::vector<float> x = sine(220, 4096, 0.8), y(4096);
            for (uint32_t i : at) x[i] = std::nanf("");
            for (uint32_t i = 64 * 12; i < 64 * 13; ++i) x[i] = i % 2 ? INFINITY : -1e30f;
            Transport t;
            for (int block = 0; block < 3; ++block) {
                for (size_t i = 0; i < x.size(); ++i) e.plain.process(&x[i], &y[i], 1, t);
                std::vector<float> io = x;
                if (in_place)
                    e.fast.process(io.data(), io.data(), 4096, t);
                else
                    e.fast.process(x.data(), io.data(), 4096, t);
                for (size_t i = 0; i < x.size(); ++i)
                    ASSERT_TRUE(same_bits(io[i], y[i])) << "envelope " << envelope << " in place " << in_place << " sample " << i;
            }
        }
}
