// process() against the engine itself: every block size and buffer kind
// with events at random offsets gives, bit for bit, what the engine gives
// when driven directly; static settings give what the renderer gives; the
// host's modulation moves the sound and goes away again; bad input does
// not stick.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <string>
#include <vector>

#include "block_planner.h"
#include "clap_host.h"
#include "engine/catalogue.h"
#include "reference_wah.h"
#include "signals.h"
#include "state/document.h"

#ifdef YAWP_RENDER_PATH
#include "render_harness.h"
#endif

namespace yawp::clap_test {
namespace {

namespace cat = catalogue;

constexpr double kRate = 48000;
constexpr uint32_t kBlockSizes[] = {1, 37, 512, 4096};
constexpr size_t kSamplesPerRun = 16384;

// Runs the plug-in and the reference through the same planned blocks and
// stops at the first sample where they differ.
void expect_same_as_reference(uint32_t block, Buffers buffers, const PlannerOptions& base_options, uint32_t seed) {
    SCOPED_TRACE(std::string("block ") + std::to_string(block) + ", " + name_of(buffers));
    TestHost host;
    Instance instance(host);
    ASSERT_TRUE(instance.activate(kRate, kMaxFrames));
    ReferenceWah reference;
    reference.activate(static_cast<float>(kRate));

    PlannerOptions options = base_options;
    options.block = block;
    BlockPlanner planner(seed, options);
    // Room for a whole last block past the run.
    const std::vector<float> input = test_tone(kSamplesPerRun + kMaxFrames, seed);
    std::vector<float> got(kMaxFrames), expected(kMaxFrames);
    EventQueue events;
    size_t done = 0;
    for (uint32_t b = 0; done < kSamplesPerRun; ++b) {
        const clap_event_transport* transport = nullptr;
        const uint32_t frames = planner.next(events, &transport);
        const BlockEvents block_events{&events, nullptr, transport};
        ASSERT_NE(instance.process(frames, input.data() + done, got.data(), buffers, block_events), CLAP_PROCESS_ERROR)
            << "block " << b;
        reference.process(input.data() + done, expected.data(), frames, block_events);
        const long at = first_difference(got.data(), expected.data(), frames);
        ASSERT_EQ(at, -1) << "block " << b << " (" << frames << " frames, " << events.size()
                          << " events) sample " << done + static_cast<size_t>(at)
                          << ": got " << got[static_cast<size_t>(at)] << ", the engine gives "
                          << expected[static_cast<size_t>(at)];
        for (uint32_t i = 0; is_64(buffers) && i < frames; ++i)
            ASSERT_EQ(instance.out64[i], static_cast<double>(static_cast<float>(instance.out64[i])));
        done += frames;
    }
}

TEST(ClapProcess, EqualsTheEngineBitForBitAtEveryBlockSizeAndBufferKind) {
    uint32_t seed = 1;
    for (uint32_t block : kBlockSizes)
        for (Buffers buffers : kAllBuffers) expect_same_as_reference(block, buffers, PlannerOptions{}, seed++);
}

// A host's transport is not needed: without one, synced or not, the engine
// runs on its own clock.
TEST(ClapProcess, EqualsTheEngineWithoutAnyTransport) {
    TestHost host;
    Instance instance(host);
    ASSERT_TRUE(instance.activate(kRate, 512));
    ReferenceWah reference;
    reference.activate(static_cast<float>(kRate));
    const std::vector<float> input = test_tone(8192, 7);
    std::vector<float> got(512), expected(512);
    EventQueue opening;
    opening.param_value(0, cat::kLfoOn, 1);
    opening.param_value(0, cat::kLfoSync, 1);
    opening.param_value(100, cat::kLfoSyncRate, 3);
    for (size_t at = 0; at < input.size(); at += 512) {
        const BlockEvents events{at == 0 ? &opening : nullptr};
        instance.process(512, input.data() + at, got.data(), Buffers::k32, events);
        reference.process(input.data() + at, expected.data(), 512, events);
        ASSERT_EQ(first_difference(got.data(), expected.data(), 512), -1) << "at " << at;
    }
}

// ---- static settings

// The settings of a rendering: defaults with the LFO, the envelope and a
// few shapes changed.
state::ParameterValues static_settings() {
    state::ParameterValues v;
    for (uint32_t i = 0; i < cat::kInputCount; ++i) v[i] = static_cast<float>(cat::entry(i)->def);
    v[cat::kPosition] = 35;
    v[cat::kMix] = 80;
    v[cat::kLfoOn] = 1;
    v[cat::kLfoWaveform] = 3;
    v[cat::kLfoFreeRate] = 3.5f;
    v[cat::kEnvOn] = 1;
    v[cat::kEnvAmount] = -40;
    v[cat::kMidOn] = 1;
    v[cat::kToeJaw] = 20;
    return v;
}

constexpr uint32_t kRendererBlock = 512;  // the renderer's default
constexpr size_t kRenderLength = 2 * 48000 + 123;

// The plug-in with a state loaded before activation, processing the whole
// signal in renderer-sized blocks without a transport.
std::vector<float> render_with_plugin(const state::ParameterValues& values, const std::vector<float>& input) {
    TestHost host;
    Instance instance(host);
    std::vector<uint8_t> document;
    EXPECT_EQ(state::save_document(state::kFormatVst3, 48000, values, &document), 0);
    EXPECT_TRUE(instance.load(document));
    EXPECT_TRUE(instance.activate(kRate, kRendererBlock));
    std::vector<float> out(input.size());
    for (size_t at = 0; at < input.size(); at += kRendererBlock) {
        const auto n = static_cast<uint32_t>(std::min<size_t>(kRendererBlock, input.size() - at));
        instance.process(n, input.data() + at, out.data() + at);
    }
    return out;
}

void expect_same_samples(const std::vector<float>& got, const std::vector<float>& expected, const char* source) {
    ASSERT_EQ(got.size(), expected.size());
    const long at = first_difference(got.data(), expected.data(), got.size());
    if (at < 0) return;
    size_t last = got.size();
    while (last > 0 && got[last - 1] == expected[last - 1]) --last;
    const auto i = static_cast<size_t>(at);
    ADD_FAILURE() << "the plug-in's output differs from " << source << " from sample " << at << " to sample "
                  << last - 1 << " of " << got.size() << ": sample " << at << " is " << got[i] << ", not "
                  << expected[i];
}

// A state loaded before activation is where the engine starts: no glide
// from the defaults, the same samples as an engine set up with the values.
TEST(ClapProcess, StaticSettingsEqualTheEngineInRendererBlocks) {
    const state::ParameterValues values = static_settings();
    const std::vector<float> input = test_tone(kRenderLength, 3);
    const std::vector<float> got = render_with_plugin(values, input);

    Engine engine;
    engine.initialise();
    for (uint32_t i = 0; i < cat::kInputCount; ++i) engine.set_parameter(i, values[i]);
    engine.set_sample_rate(static_cast<float>(kRate));
    engine.reset();
    std::vector<float> expected = input;
    const Transport none;
    for (size_t at = 0; at < expected.size(); at += kRendererBlock) {
        const auto n = static_cast<uint32_t>(std::min<size_t>(kRendererBlock, expected.size() - at));
        engine.process(expected.data() + at, expected.data() + at, n, none);
    }
    expect_same_samples(got, expected, "the output of an engine set up with the values");
}

#ifdef YAWP_RENDER_PATH
std::string plain_text(float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
    return text;
}

TEST(ClapProcess, StaticSettingsEqualTheRenderersOutput) {
    using test::TempDir;
    const state::ParameterValues values = static_settings();
    const std::vector<float> input = test_tone(kRenderLength, 3);

    TempDir dir;
    const std::string in = dir.file("in.wav"), out = dir.file("out.wav");
    ASSERT_TRUE(test::write_sound(in, input, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    std::vector<std::string> args = {"--float", "--block", std::to_string(kRendererBlock)};
    for (uint32_t i = 0; i < cat::kInputCount; ++i) {
        args.push_back("--set");
        args.push_back(std::string(cat::state_key(i)) + "=" + plain_text(values[i]));
    }
    args.push_back(in);
    args.push_back(out);
    const test::RunResult r = test::run_render(args);
    ASSERT_EQ(r.status, 0) << r.err;
    test::Sound rendered;
    ASSERT_TRUE(test::read_sound(out, &rendered));
    ASSERT_EQ(rendered.samples.size(), input.size());

    const std::vector<float> got = render_with_plugin(values, input);
    expect_same_samples(got, rendered.samples, "the renderer's output");
}
#endif

// ---- modulation

struct Twins {
    TestHost host;
    Instance modulated{host};
    Instance plain{host};
    std::vector<float> a = std::vector<float>(512), b = std::vector<float>(512);
    std::vector<float> input = test_tone(48000, 5);
    size_t at = 0;

    Twins() {
        EXPECT_TRUE(modulated.activate(kRate, 512));
        EXPECT_TRUE(plain.activate(kRate, 512));
    }
    // One block into each; events for either.
    void block(const EventQueue* to_modulated, const EventQueue* to_plain = nullptr) {
        modulated.process(512, input.data() + at, a.data(), Buffers::k32, {to_modulated});
        plain.process(512, input.data() + at, b.data(), Buffers::k32, {to_plain});
        at = (at + 512) % (input.size() - 512);
    }
    bool same() const { return first_difference(a.data(), b.data(), a.size()) == -1; }
};

TEST(ClapModulation, MovesTheSoundAndLeavesTheValueAlone) {
    Twins t;
    for (int k = 0; k < 4; ++k) t.block(nullptr);
    ASSERT_TRUE(t.same()) << "two fresh instances agree";

    EventQueue mod;
    mod.param_mod(0, cat::kPosition, 30.0);
    t.block(&mod);
    EXPECT_FALSE(t.same()) << "the pedal moved";
    EXPECT_EQ(t.modulated.value(cat::kPosition), 50.0);
    for (int k = 0; k < 4; ++k) {
        t.block(nullptr);
        EXPECT_FALSE(t.same()) << "the modulation holds until the host changes it";
    }

    // Removed: once both restart from the same state, they agree again.
    EventQueue off;
    off.param_mod(0, cat::kPosition, 0.0);
    t.block(&off);
    t.modulated.plugin->reset(t.modulated.plugin);
    t.plain.plugin->reset(t.plain.plugin);
    for (int k = 0; k < 8; ++k) {
        t.block(nullptr);
        ASSERT_TRUE(t.same()) << "block " << k << " after the modulation went";
    }
    EXPECT_EQ(t.modulated.value(cat::kPosition), 50.0);
}

// An amount of 0 from the start is no modulation at all.
TEST(ClapModulation, AnAmountOfZeroIsNoModulation) {
    Twins t;
    EventQueue zero;
    for (clap_id id : {cat::kPosition, cat::kMix, cat::kLfoAmount, cat::kLfoBias, cat::kLfoFreeRate, cat::kEnvAmount})
        zero.param_mod(0, id, 0.0);
    EventQueue lfo;
    lfo.param_value(0, cat::kLfoOn, 1);
    lfo.param_value(0, cat::kEnvOn, 1);
    t.block(&lfo, &lfo);
    for (int k = 0; k < 16; ++k) {
        t.block(k % 3 == 0 ? &zero : nullptr);
        ASSERT_TRUE(t.same()) << "block " << k;
    }
}

// Past either end of the range, the modulated value is the range's end.
TEST(ClapModulation, IsClampedToTheRange) {
    struct Case {
        clap_id id;
        double base, amount, end;
    };
    const Case cases[] = {
        {cat::kPosition, 50, 80, 100},  {cat::kPosition, 50, -1e9, 0},  {cat::kMix, 30, 500, 100},
        {cat::kLfoFreeRate, 2, 100, 20}, {cat::kLfoFreeRate, 2, -5, 0.2}, {cat::kEnvAmount, 100, 150, 100},
        {cat::kEnvAmount, -20, -150, -100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(cat::state_key(c.id)) + " + " + std::to_string(c.amount));
        Twins t;
        EventQueue modulated, at_the_end, moving;
        moving.param_value(0, cat::kLfoOn, 1);
        moving.param_value(0, cat::kEnvOn, 1);
        t.block(&moving, &moving);
        modulated.param_value(0, c.id, c.base);
        modulated.param_mod(0, c.id, c.amount);
        at_the_end.param_value(0, c.id, c.end);
        t.block(&modulated, &at_the_end);
        for (int k = 0; k < 4; ++k) {
            ASSERT_TRUE(t.same()) << "block " << k;
            t.block(nullptr);
        }
        EXPECT_EQ(t.modulated.value(c.id), c.base);
    }
}

// The effect is monophonic: a modulation for one note, key or channel is
// a modulation all the same.
TEST(ClapModulation, NoteKeyAndChannelAreIgnored) {
    Twins t;
    EventQueue wildcard, addressed;
    wildcard.param_mod(0, cat::kPosition, 25.0);
    addressed.param_mod(0, cat::kPosition, 25.0, 7, 60, 3, 0);
    t.block(&addressed, &wildcard);
    for (int k = 0; k < 4; ++k) {
        ASSERT_TRUE(t.same()) << "block " << k;
        t.block(nullptr);
    }
}

// With modulation in the mix, the output still never breaks down.
TEST(ClapModulation, RandomModulationStaysFinite) {
    TestHost host;
    Instance instance(host);
    ASSERT_TRUE(instance.activate(kRate, 512));
    PlannerOptions options;
    options.modulation = true;
    BlockPlanner planner(99, options);
    const std::vector<float> input = test_tone(512 * 64, 11);
    std::vector<float> out(512);
    EventQueue events;
    for (size_t at = 0; at + 512 <= input.size(); at += 512) {
        const clap_event_transport* transport = nullptr;
        const uint32_t frames = planner.next(events, &transport);
        ASSERT_NE(instance.process(frames, input.data() + at, out.data(), Buffers::k32, {&events, nullptr, transport}),
                  CLAP_PROCESS_ERROR);
        ASSERT_TRUE(all_finite(out.data(), frames)) << "at " << at;
    }
}

// ---- bad input

// NaN and infinite input: the output stays finite, is what the engine
// makes of the same input, and the effect keeps working.
TEST(ClapProcess, RecoversFromNaNAndInfiniteInput) {
    for (Buffers buffers : kAllBuffers) {
        SCOPED_TRACE(name_of(buffers));
        TestHost host;
        Instance instance(host);
        ASSERT_TRUE(instance.activate(kRate, 256));
        ReferenceWah reference;
        reference.activate(static_cast<float>(kRate));

        EventQueue settings;
        settings.param_value(0, cat::kLfoOn, 1);
        settings.param_value(0, cat::kEnvOn, 1);
        // A steady tone, so that every block after the bad one sounds.
        constexpr double kStep = 6.283185307179586 * 220 / kRate;
        std::vector<float> input(256 * 41);
        for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<float>(0.4 * std::sin(kStep * i));
        input[0] = std::nanf("");
        input[100] = INFINITY;
        input[101] = -INFINITY;
        input[255] = -1e30f;
        std::vector<float> got(256), expected(256);
        for (int block = 0; block < 41; ++block) {
            const float* x = input.data() + block * 256;
            const BlockEvents events{block == 0 ? &settings : nullptr};
            ASSERT_NE(instance.process(256, x, got.data(), buffers, events), CLAP_PROCESS_ERROR);
            reference.process(x, expected.data(), 256, events);
            ASSERT_TRUE(all_finite(got.data(), 256)) << "block " << block;
            ASSERT_EQ(first_difference(got.data(), expected.data(), 256), -1) << "block " << block;
            if (block > 0) {
                EXPECT_GT(peak_of(got.data(), 256), 0.01) << "block " << block;
            }
        }
    }
}

// Silence in, silence out, whatever the block size.
TEST(ClapProcess, SilenceGivesSilence) {
    TestHost host;
    Instance instance(host);
    ASSERT_TRUE(instance.activate(kRate, kMaxFrames));
    std::vector<float> out(kMaxFrames);
    for (uint32_t n : {0u, 1u, 2u, 37u, 64u, 511u, 4096u}) {
        ASSERT_NE(instance.process(n, nullptr, out.data()), CLAP_PROCESS_ERROR);
        EXPECT_EQ(peak_of(out.data(), n), 0.0) << n;
    }
}

}  // namespace
}  // namespace yawp::clap_test
