// Bad input: NaN, infinities and absurd values must not silence the effect
// for good. After a burst, every output sample is finite, every state is
// finite, and the sound returns to what a twin engine that heard silence in
// place of the burst plays.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "engine/fault_guard.h"
#include "engine/formant_bank.h"
#include "engine_fixture.h"

using namespace yawp;
using namespace yawp::test;
namespace cat = yawp::catalogue;

namespace {

constexpr uint32_t kBlock = 512;
constexpr size_t kLength = 48000;          // 1 s
constexpr size_t kBurstBlock = 12;         // the burst lands in block 12 (0.128 s)
constexpr size_t kSettleMs = 100;          // the sound is back this long after a burst
constexpr size_t kWindow = 480;            // 10 ms RMS windows
constexpr double kToleranceDb = 1.0;
constexpr double kToneHz = 220;
constexpr double kToneLevel = 0.316227766;  // -10 dBFS

float nan_with_payload() {
    const uint32_t bits = 0x7FC12345u;
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

struct BadValue {
    const char* name;
    float value;
};

const BadValue kBadValues[] = {
    {"NaN", std::numeric_limits<float>::quiet_NaN()},
    {"NaN payload", nan_with_payload()},
    {"-NaN", -std::numeric_limits<float>::quiet_NaN()},
    {"+inf", std::numeric_limits<float>::infinity()},
    {"-inf", -std::numeric_limits<float>::infinity()},
    {"+FLT_MAX", FLT_MAX},
    {"-FLT_MAX", -FLT_MAX},
    {"1e30", 1e30f},
};

// Where in the burst block the bad samples go: [first, first + count).
struct Placement {
    const char* name;
    size_t first;
    size_t count;
};

const Placement kPlacements[] = {
    {"first sample of a block", 0, 3},
    {"middle of a chunk", 100, 5},
    {"last sample of a block", kBlock - 3, 3},
    {"whole block", 0, kBlock},
};

struct Case {
    const char* name;
    Settings settings;
    size_t release_ms;  // the envelope's release when it is on, else 0
    bool bypass_during_burst;
};

const Case kCases[] = {
    {"LFO sweeping", {{cat::kLfoOn, 1}, {cat::kLfoFreeRate, 5}}, 0, false},
    {"envelope +", {{cat::kEnvOn, 1}, {cat::kEnvAmount, 60}}, 100, false},
    {"envelope -", {{cat::kEnvOn, 1}, {cat::kEnvAmount, -60}, {cat::kPosition, 80}}, 100, false},
    {"envelope + LFO", {{cat::kEnvOn, 1}, {cat::kEnvAmount, 3}, {cat::kEnvRelease, 50}, {cat::kLfoOn, 1}}, 50, false},
    {"mid on", {{cat::kMidOn, 1}, {cat::kLfoOn, 1}, {cat::kLfoWaveform, 4}}, 0, false},
    {"mix 0", {{cat::kMix, 0}, {cat::kLfoOn, 1}}, 0, false},
    {"mix 100", {{cat::kMix, 100}, {cat::kEnvOn, 1}, {cat::kEnvAmount, 20}}, 100, false},
    {"bypass on", {{cat::kBypass, 1}, {cat::kLfoOn, 1}}, 0, false},
    {"bypass fading", {{cat::kLfoOn, 1}}, 0, true},
};

double rms_db(const std::vector<float>& y, size_t from) {
    double sum = 0;
    for (size_t i = from; i < from + kWindow; ++i) sum += static_cast<double>(y[i]) * y[i];
    return 10 * std::log10(sum / kWindow + 1e-30);
}

// Runs x block by block; bypass switches on at the burst block when asked.
// Checks after every block that the engine's states are finite.
std::vector<float> play(const Case& c, std::vector<float> x, bool* states_finite) {
    Engine e;
    prepare(e, c.settings);
    Transport t;
    *states_finite = true;
    for (size_t block = 0; block * kBlock < x.size(); ++block) {
        if (c.bypass_during_burst && block == kBurstBlock) e.set_parameter(cat::kBypass, 1);
        float* p = x.data() + block * kBlock;
        const uint32_t n = static_cast<uint32_t>(std::min<size_t>(kBlock, x.size() - block * kBlock));
        e.process(p, p, n, t);
        *states_finite = *states_finite && e.state_is_finite();
        const EngineOutputs o = e.outputs();
        for (float m : {o.mod_position, o.lfo_phase, o.lfo_output, o.env_output})
            *states_finite = *states_finite && std::isfinite(m);
    }
    return x;
}

}  // namespace

TEST(Faults, BurstsLeaveNoTraceAfterTheyEnd) {
    const std::vector<float> tone = sine(kToneHz, kLength, kToneLevel);
    for (const Case& c : kCases) {
        for (const Placement& at : kPlacements) {
            const size_t first = kBurstBlock * kBlock + at.first;
            const size_t end = first + at.count;
            std::vector<float> silenced = tone;
            for (size_t i = first; i < end; ++i) silenced[i] = 0.0f;
            bool twin_finite = false;
            const std::vector<float> twin = play(c, silenced, &twin_finite);
            ASSERT_TRUE(twin_finite);

            for (const BadValue& bad : kBadValues) {
                std::vector<float> x = tone;
                for (size_t i = first; i < end; ++i) x[i] = bad.value;
                bool finite = false;
                const std::vector<float> y = play(c, x, &finite);
                const std::string what = std::string(c.name) + ", " + at.name + ", " + bad.name;

                EXPECT_TRUE(finite) << what;
                size_t non_finite = 0;
                for (size_t i = end; i < y.size(); ++i) non_finite += std::isfinite(y[i]) ? 0 : 1;
                EXPECT_EQ(non_finite, 0u) << what;

                const size_t settle_ms = std::max(kSettleMs, 3 * c.release_ms);
                for (size_t w = end + settle_ms * 48; w + kWindow <= y.size(); w += kWindow) {
                    ASSERT_NEAR(rms_db(y, w), rms_db(twin, w), kToleranceDb) << what << ", window at " << w;
                }
            }
        }
    }
}

TEST(Faults, LoudButSoundInputKeepsEveryStateFinite) {
    // Just inside the loudest sample the engine takes as sound: a full-scale
    // square at +120 dBFS through a resonant vowel and the envelope.
    const float loud = fault_guard::kLoudestInput;
    std::vector<float> x(24000);
    for (size_t i = 0; i < x.size(); ++i) x[i] = (i / 50) % 2 ? loud : -loud;
    const Case c = {"loud", {{cat::kEnvOn, 1}, {cat::kEnvAmount, 100}, {cat::kLfoOn, 1}, {cat::kMidOn, 1}}, 100, false};
    bool finite = false;
    const std::vector<float> y = play(c, x, &finite);
    EXPECT_TRUE(finite);
    for (float v : y) ASSERT_TRUE(std::isfinite(v));
    // It is still processed as sound, not silenced.
    EXPECT_GT(peak(y, 0), 1e5);
}

TEST(Faults, BadSamplesAreTakenAsSilence) {
    // The sample after a fault sees the engine exactly as silence left it:
    // with one bad sample in each chunk of a block, in place.
    Engine a, b;
    prepare(a, {{cat::kLfoOn, 1}, {cat::kEnvOn, 1}});
    prepare(b, {{cat::kLfoOn, 1}, {cat::kEnvOn, 1}});
    std::vector<float> x = sine(kToneHz, 4096, kToneLevel), z = x;
    for (size_t i = 7; i < x.size(); i += 64) {
        x[i] = std::numeric_limits<float>::quiet_NaN();
        z[i] = 0.0f;
    }
    EXPECT_EQ(run(a, x, 1000), run(b, z, 1000));
}

TEST(Faults, FinitenessCheckIsExact) {
    EXPECT_TRUE(fault_guard::is_sound(0.0f));
    EXPECT_TRUE(fault_guard::is_sound(-fault_guard::kLoudestInput));
    EXPECT_TRUE(fault_guard::is_sound(FLT_MIN / 4));  // subnormal
    EXPECT_FALSE(fault_guard::is_sound(std::nextafter(fault_guard::kLoudestInput, FLT_MAX)));
    EXPECT_FALSE(fault_guard::is_sound(std::numeric_limits<float>::quiet_NaN()));
    EXPECT_FALSE(fault_guard::is_sound(-std::numeric_limits<float>::infinity()));

    // The vector scan agrees with the scalar test wherever the bad sample
    // stands, for every length up to a chunk (the tail goes one by one).
    for (uint32_t n = 0; n <= FormantBank::kChunk; ++n) {
        std::vector<float> x(n, 0.5f);
        EXPECT_TRUE(fault_guard::all_sound(x.data(), n));
        for (uint32_t i = 0; i < n; ++i) {
            x[i] = nan_with_payload();
            EXPECT_FALSE(fault_guard::all_sound(x.data(), n)) << n << " " << i;
            x[i] = 0.5f;
        }
    }
}

TEST(Faults, OverflowedFilterBankIsResetByRecover) {
    // The bank itself has no door: fed FLT_MAX it overflows, and recover()
    // brings it back to exactly a freshly reset bank.
    const FormantTargets vowel = FormantTargets::of({{500, 1500, 2500}, {6, 15, 21}});
    auto make = [&] {
        FormantBank b;
        b.initialise();
        b.set_sample_rate(kRate, kRate * numeric::kInvTwoPi);
        b.set_targets(vowel);
        b.reset();
        return b;
    };
    FormantBank blown = make(), fresh = make();
    std::vector<float> x(FormantBank::kChunk, FLT_MAX), wet(FormantBank::kChunk);
    for (int chunk = 0; chunk < 4; ++chunk) blown.process(x.data(), &vowel, wet.data(), FormantBank::kChunk, true);
    ASSERT_FALSE(fault_guard::clean(blown.finite_probe()));

    blown.recover();
    EXPECT_TRUE(fault_guard::clean(blown.finite_probe()));
    std::vector<float> tone = sine(700, FormantBank::kChunk, 0.5), a(FormantBank::kChunk), b(FormantBank::kChunk);
    blown.process(tone.data(), &vowel, a.data(), FormantBank::kChunk, true);
    fresh.process(tone.data(), &vowel, b.data(), FormantBank::kChunk, true);
    EXPECT_EQ(a, b);

    // A healthy bank is left alone.
    FormantBank healthy = make();
    healthy.process(tone.data(), &vowel, a.data(), FormantBank::kChunk, true);
    FormantBank copy = healthy;
    copy.recover();
    copy.process(tone.data(), &vowel, a.data(), FormantBank::kChunk, true);
    healthy.process(tone.data(), &vowel, b.data(), FormantBank::kChunk, true);
    EXPECT_EQ(a, b);
}

TEST(Faults, AbsurdTempoTimesSpeedKeepsTheLfoRate) {
    // Each finite, but their product overflows: the synced LFO keeps the
    // rate it had instead of taking an infinite one.
    Engine e;
    prepare(e, {{cat::kLfoOn, 1}, {cat::kLfoSync, 1}});
    std::vector<float> x = sine(kToneHz, 960, kToneLevel);
    Transport t;
    e.process(x.data(), x.data(), 480, t);
    const float phase = e.outputs().lfo_phase;
    t.valid = t.changed = kTransportTempo | kTransportSpeed;
    t.tempo = 1e30f;
    t.speed = -1e30f;
    e.process(x.data() + 480, x.data() + 480, 480, t);
    EXPECT_TRUE(e.state_is_finite());
    // 120 bpm, one cycle per quarter note: 2 Hz over 480 samples.
    EXPECT_NEAR(e.outputs().lfo_phase - phase, 480 * 2 / 48000.0, 1e-4);
    for (float v : x) ASSERT_TRUE(std::isfinite(v));
}
