// Engine core: lifecycle, outputs, mix and bypass, in-place and empty
// blocks, out-of-range indices, and no allocation on the audio path.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

#include "engine_fixture.h"

using namespace yawp;
using namespace yawp::test;
namespace cat = yawp::catalogue;

#include "allocation_counter.h"

TEST(Engine, OutputsAfterReset) {
    Engine e;
    prepare(e, {{cat::kPosition, 37}});
    EngineOutputs o = e.outputs();
    EXPECT_FLOAT_EQ(o.mod_position, 37.0f);
    EXPECT_EQ(o.lfo_phase, 0.0f);
    EXPECT_EQ(o.lfo_output, 0.0f);
    EXPECT_EQ(o.env_output, 0.0f);
}

TEST(Engine, MixZeroIsExactlyDry) {
    Engine e;
    prepare(e, {{cat::kMix, 0}, {cat::kLfoOn, 1}, {cat::kEnvOn, 1}});
    std::vector<float> x = sine(440, 4800, 0.7);
    EXPECT_EQ(run(e, x), x);
}

TEST(Engine, MixBlendsWetAndDry) {
    Engine wet, half;
    prepare(wet, {});
    prepare(half, {{cat::kMix, 50}});
    std::vector<float> x = sine(300, 4800, 0.3);
    auto w = run(wet, x), h = run(half, x);
    for (size_t i = 0; i < x.size(); i += 97) EXPECT_NEAR(h[i], 0.5f * (x[i] + w[i]), 1e-5f);
}

TEST(Engine, BypassFadesWithFiftyMilliseconds) {
    Engine e;
    prepare(e, {{cat::kLfoOn, 1}});
    const size_t n = 48000;
    std::vector<float> x = sine(500, n, 0.25);
    std::vector<float> processed = x;
    Engine reference;
    prepare(reference, {{cat::kLfoOn, 1}});
    processed = run(reference, processed, 480);

    std::vector<float> y = x;
    Transport t;
    e.process(y.data(), y.data(), 480, t);
    e.set_parameter(cat::kBypass, 1);
    for (size_t at = 480; at < n; at += 480) e.process(y.data() + at, y.data() + at, 480, t);
    // The processed share y - x = s (w - x), with s falling by e every 50 ms.
    for (double ms : {25.0, 50.0, 100.0}) {
        size_t i = 480 + static_cast<size_t>(ms * 48) - 1;
        // Measure s over a few cycles to avoid zero crossings.
        double num = 0, den = 0;
        for (size_t k = i; k < i + 96; ++k) {
            num += (y[k] - x[k]) * (processed[k] - x[k]);
            den += (processed[k] - x[k]) * (processed[k] - x[k]);
        }
        EXPECT_NEAR(num / den, std::exp(-(ms + 1) / 50.0), 0.02) << ms;
    }
    // The chain kept running: LFO phase still moving.
    EXPECT_GT(e.outputs().lfo_phase, 0.0f);
}

TEST(Engine, InPlaceEqualsSeparateBuffers) {
    Engine a, b;
    Settings s = {{cat::kLfoOn, 1}, {cat::kEnvOn, 1}, {cat::kMidOn, 1}, {cat::kMix, 70}};
    prepare(a, s);
    prepare(b, s);
    std::vector<float> x = sine(900, 2048, 0.5), y(2048), z = x;
    Transport t;
    a.process(x.data(), y.data(), 2048, t);
    b.process(z.data(), z.data(), 2048, t);
    EXPECT_EQ(y, z);
}

TEST(Engine, BlockSizeDoesNotChangeTheSound) {
    // Blocks are processed in stages over chunks of samples; one-sample
    // blocks are the plain per-sample order. In the second case a slow
    // square LFO lets the filters settle, then jumps in the middle of a
    // chunk.
    const Settings cases[] = {
        {{cat::kLfoOn, 1}, {cat::kEnvOn, 1}, {cat::kLfoWaveform, 4}},
        {{cat::kLfoOn, 1}, {cat::kLfoWaveform, 3}, {cat::kLfoFreeRate, 0.45f}},
    };
    for (const Settings& s : cases) {
        std::vector<float> x = sine(200, 72000, 0.8);
        std::vector<float> reference;
        for (uint32_t block : {1u, 37u, 512u, 4096u}) {
            Engine e;
            prepare(e, s);
            std::vector<float> y = run(e, x, block);
            if (reference.empty()) reference = y;
            EXPECT_EQ(y, reference) << block;
        }
    }
}

TEST(Engine, EmptyBlockKeepsOutputsAndTakesTempo) {
    Engine e;
    prepare(e, {{cat::kLfoOn, 1}, {cat::kLfoSync, 1}});
    std::vector<float> x(480, 0.1f);
    Transport t;
    e.process(x.data(), x.data(), 480, t);
    const EngineOutputs before = e.outputs();
    t.valid = t.changed = kTransportTempo;
    t.tempo = 240;
    e.process(nullptr, nullptr, 0, t);
    const EngineOutputs after = e.outputs();
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
    t.changed = 0;
    e.process(x.data(), x.data(), 480, t);
    // 240 bpm, one cycle per quarter: 4 Hz over 480 samples.
    EXPECT_NEAR(e.outputs().lfo_phase - after.lfo_phase, 480 * 4 / 48000.0, 1e-4);
}

TEST(Engine, IndicesOutOfRangeChangeNothing) {
    Engine a, b;
    prepare(a);
    prepare(b);
    for (uint32_t i : {32u, 35u, 36u, 1000u, 0xFFFFFFFFu}) {
        b.set_parameter(i, 77);
        EXPECT_EQ(b.get_parameter(i), 0.0f);
    }
    for (uint32_t i = 0; i < cat::kInputCount; ++i) EXPECT_EQ(a.get_parameter(i), b.get_parameter(i));
    std::vector<float> x = sine(440, 1000);
    EXPECT_EQ(run(a, x), run(b, x));
}

TEST(Engine, GetParameterReturnsRawValues) {
    Engine e;
    prepare(e, {{cat::kLfoSkew, 100}, {cat::kEnvAmount, -40}});
    EXPECT_EQ(e.get_parameter(cat::kLfoSkew), 100.0f);  // raw, not the clamped 0.999
    EXPECT_EQ(e.get_parameter(cat::kEnvAmount), -40.0f);
}

TEST(Engine, ResetRestartsSignalMemoriesButKeepsSettings) {
    Engine e;
    prepare(e, {{cat::kLfoOn, 1}, {cat::kLfoWaveform, 4}});
    std::vector<float> x = sine(300, 4800, 0.5);
    auto first = run(e, x);
    e.set_sample_rate(kRate);
    e.reset();
    auto second = run(e, x);
    // Filters now start on the vowel rather than gliding from 1000 Hz, and
    // the random generator has moved on: the sound differs, but is sane.
    EXPECT_NE(first, second);
    EXPECT_EQ(e.get_parameter(cat::kLfoWaveform), 4.0f);
    for (float v : second) ASSERT_TRUE(std::isfinite(v));
}

TEST(Engine, DenormalModeBitsAreRestored) {
#if defined(__x86_64__) || defined(_M_X64)
    Engine e;
    prepare(e);
    const unsigned before = _mm_getcsr();
    std::vector<float> x = sine(300, 64);
    run(e, x);
    EXPECT_EQ(_mm_getcsr(), before);
    _mm_setcsr(before | 0x8040);
    run(e, x);
    EXPECT_EQ(_mm_getcsr(), before | 0x8040);
    _mm_setcsr(before);
#else
    GTEST_SKIP() << "x86-64 only";
#endif
}

TEST(Engine, SilenceDecaysWithoutNaNOrDenormals) {
    Engine e;
    prepare(e, {{cat::kEnvOn, 1}, {cat::kLfoOn, 1}});
    std::vector<float> x = sine(700, 4800, 1.0);
    x.resize(48000 * 4, 0.0f);
    auto y = run(e, x);
    for (float v : y) ASSERT_TRUE(std::isfinite(v));
    EXPECT_LT(std::fabs(y.back()), 1e-20f);
}

TEST(Engine, ProcessAndSetParameterDoNotAllocate) {
    Engine e;
    prepare(e, {{cat::kLfoOn, 1}, {cat::kEnvOn, 1}, {cat::kLfoSync, 1}});
    std::vector<float> x = sine(300, 4096);
    Transport t;
    t.valid = t.changed = kTransportRolling | kTransportSpeed | kTransportTempo | kTransportQuarterNotes;
    t.rolling = true;
    t.speed = 1;
    t.tempo = 128;
    const long before = yawp::test::allocations();
    for (int block = 0; block < 8; ++block) {
        for (uint32_t i = 0; i < cat::kInputCount; ++i) e.set_parameter(i, static_cast<float>(cat::entry(i)->def));
        t.quarter_notes = block * 0.25;
        e.process(x.data() + block * 512, x.data() + block * 512, 512, t);
        e.take_transport(t);
    }
    EXPECT_EQ(yawp::test::allocations(), before);
}
