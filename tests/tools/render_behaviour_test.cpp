// What yawp-wah-render does with good input.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "render_harness.h"

namespace yawp::test {
namespace {

constexpr int kFloatWav = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
constexpr int kRate = 48000;

std::vector<std::vector<double>> read_meters(const std::string& path) {
    std::vector<std::vector<double>> lines;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::vector<double> values;
        for (double v; fields >> v;) values.push_back(v);
        lines.push_back(values);
    }
    return lines;
}

// Renders `input` (interleaved) and returns the output file's contents.
Sound render(const TempDir& dir, const std::vector<float>& input, int channels, int format,
             std::vector<std::string> options) {
    const std::string in = dir.file("in.wav"), out = dir.file("out.wav");
    EXPECT_TRUE(write_sound(in, input, channels, format));
    options.push_back(in);
    options.push_back(out);
    const RunResult r = run_render(options);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    Sound s;
    EXPECT_TRUE(read_sound(out, &s));
    return s;
}

TEST(RenderBehaviour, MixZeroGivesTheInputBack) {
    TempDir dir;
    const std::vector<float> x = test_signal(5000);
    const Sound s = render(dir, x, 1, kFloatWav, {"--set", "mix=0", "--set", "lfo_on=1"});
    EXPECT_EQ(s.info.channels, 1);
    EXPECT_EQ(s.info.samplerate, kRate);
    EXPECT_EQ(s.info.format, kFloatWav);
    EXPECT_EQ(s.samples, x);
}

TEST(RenderBehaviour, MixZeroGivesIntegerSamplesBack) {
    // Full scale both ways included: the classic off-by-one step of a
    // float round trip shows there. (32-bit files are left out: a float
    // holds only 24 of their bits.)
    constexpr int kWidths[][2] = {{SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16},
                                  {SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 8},
                                  {SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 24},
                                  {SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 24}};
    for (const auto& [format, bits] : kWidths) {
        SCOPED_TRACE(bits);
        TempDir dir;
        const std::string in = dir.file("in"), out = dir.file("out");
        const uint32_t step = 1u << (32 - bits);
        std::vector<int32_t> x = {INT32_MAX, INT32_MIN, 0, -1, 1};
        for (float v : test_signal(3000)) x.push_back(static_cast<int32_t>(v * 4e9f));
        // Only values the file can hold, so that it holds x itself.
        for (int32_t& v : x) v = static_cast<int32_t>(static_cast<uint32_t>(v) / step * step);
        ASSERT_TRUE(write_words(in, x, format));
        const RunResult r = run_render({"--set", "mix=0", in, out});
        ASSERT_EQ(r.status, 0) << r.err;
        std::vector<int32_t> y;
        ASSERT_TRUE(read_words(out, &y));
        EXPECT_EQ(y, x);
    }
}

TEST(RenderBehaviour, TheEffectChangesTheSound) {
    TempDir dir;
    const std::vector<float> x = test_signal(5000);
    const Sound s = render(dir, x, 1, kFloatWav, {});
    ASSERT_EQ(s.samples.size(), x.size());
    EXPECT_NE(s.samples, x);
    for (float v : s.samples) ASSERT_TRUE(std::isfinite(v));
}

TEST(RenderBehaviour, KeepsTheFileFormat) {
    TempDir dir;
    const std::string in = dir.file("in.flac"), out = dir.file("out.wav");
    constexpr int kFlac24 = SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
    ASSERT_TRUE(write_sound(in, test_signal(4000), 1, kFlac24, 44100));
    const RunResult r = run_render({in, out});
    ASSERT_EQ(r.status, 0) << r.err;
    Sound s;
    ASSERT_TRUE(read_sound(out, &s));
    EXPECT_EQ(s.info.format, kFlac24);  // the name's ".wav" does not matter
    EXPECT_EQ(s.info.samplerate, 44100);
    EXPECT_EQ(s.info.frames, 4000);
}

TEST(RenderBehaviour, FloatOption) {
    TempDir dir;
    const Sound s =
        render(dir, test_signal(1000), 1, SF_FORMAT_AIFF | SF_FORMAT_PCM_16, {"--float"});
    EXPECT_EQ(s.info.format, SF_FORMAT_AIFF | SF_FORMAT_FLOAT);
}

TEST(RenderBehaviour, OneMeterLinePerBlock) {
    TempDir dir;
    const std::string meters = dir.file("meters.txt");
    render(dir, test_signal(1000), 1, kFloatWav, {"--block", "300", "--meters", meters});
    const auto lines = read_meters(meters);
    ASSERT_EQ(lines.size(), 4u);  // 300 + 300 + 300 + 100
    for (const auto& values : lines) {
        ASSERT_EQ(values.size(), 4u);
        EXPECT_GE(values[0], 0.0);
        EXPECT_LE(values[0], 100.0);
    }
}

TEST(RenderBehaviour, BlockSizeDoesNotChangeSteadySettings) {
    // With no parameter or transport change between blocks, a block start
    // does nothing, so any block size gives the same samples.
    TempDir dir;
    const std::vector<float> x = test_signal(6000);
    const std::vector<std::string> settings = {"--set", "lfo_on=1", "--set", "env_on=1"};
    auto with_block = [&](const char* n) {
        std::vector<std::string> o = settings;
        o.insert(o.end(), {"--block", n});
        return render(dir, x, 1, kFloatWav, o).samples;
    };
    const std::vector<float> reference = with_block("512");
    EXPECT_EQ(with_block("1"), reference);
    EXPECT_EQ(with_block("8192"), reference);
    EXPECT_EQ(with_block("333"), reference);
}

TEST(RenderBehaviour, EachChannelHasAnEngineOfItsOwn) {
    TempDir dir;
    constexpr size_t kFrames = 4000;
    const std::vector<float> left = test_signal(kFrames, 1), right = test_signal(kFrames, 2);
    std::vector<float> stereo;
    for (size_t i = 0; i < kFrames; ++i) stereo.insert(stereo.end(), {left[i], right[i]});
    const std::vector<std::string> options = {"--set", "env_on=1", "--set", "lfo_on=1"};

    const Sound both = render(dir, stereo, 2, kFloatWav, options);
    const Sound l = render(dir, left, 1, kFloatWav, options);
    const Sound r = render(dir, right, 1, kFloatWav, options);
    ASSERT_EQ(both.info.channels, 2);
    ASSERT_EQ(both.samples.size(), 2 * kFrames);
    for (size_t i = 0; i < kFrames; ++i) {
        ASSERT_EQ(both.samples[2 * i], l.samples[i]) << i;
        ASSERT_EQ(both.samples[2 * i + 1], r.samples[i]) << i;
    }
}

TEST(RenderBehaviour, MetersOfEveryChannel) {
    TempDir dir;
    const std::string meters = dir.file("meters.txt");
    std::vector<float> stereo(2 * 1024, 0.0f);
    render(dir, stereo, 2, kFloatWav, {"--meters", meters});
    const auto lines = read_meters(meters);
    ASSERT_EQ(lines.size(), 2u);
    for (const auto& values : lines) EXPECT_EQ(values.size(), 8u);
}

TEST(RenderBehaviour, PlayingTransportLocksTheSyncedLfo) {
    // Rolling at 120 BPM from quarter note 2.5 with one LFO cycle per quarter
    // note: the phase after each block follows the song position.
    TempDir dir;
    const std::string meters = dir.file("meters.txt");
    constexpr int kBlock = 480;
    constexpr double kStart = 2.5, kTempo = 120;
    render(dir, test_signal(10 * kBlock), 1, kFloatWav,
           {"--set", "lfo_on=1", "--set", "lfo_sync=1", "--set", "lfo_sync_rate=8", "--play",
            "--tempo", "120", "--start-qn", "2.5", "--block", "480", "--meters", meters});
    const auto lines = read_meters(meters);
    ASSERT_EQ(lines.size(), 10u);
    for (size_t k = 0; k < lines.size(); ++k) {
        const double qn = kStart + (k + 1.0) * kBlock / kRate * kTempo / 60;
        EXPECT_NEAR(lines[k][1], qn - std::floor(qn), 1e-4) << "block " << k;
    }
}

TEST(RenderBehaviour, EmptyInputGivesEmptyOutput) {
    TempDir dir;
    const std::string meters = dir.file("meters.txt");
    const Sound s = render(dir, {}, 1, kFloatWav, {"--meters", meters});
    EXPECT_EQ(s.info.frames, 0);
    EXPECT_TRUE(read_meters(meters).empty());
}

TEST(RenderBehaviour, OverwritesAnExistingOutput) {
    TempDir dir;
    const std::string out = dir.file("out.wav");
    std::ofstream(out) << "old";
    const Sound s = render(dir, test_signal(100), 1, kFloatWav, {"--set", "mix=0"});
    EXPECT_EQ(s.info.frames, 100);
    EXPECT_EQ(dir.listing(), (std::vector<std::string>{"in.wav", "out.wav"}));
}

TEST(RenderBehaviour, ListAndHelp) {
    const RunResult list = run_render({"--list"});
    EXPECT_EQ(list.status, 0);
    for (const char* key : {"position", "mix", "heel_jaw", "lfo_sync_rate", "bypass"})
        EXPECT_NE(list.out.find(key), std::string::npos) << key;
    EXPECT_GE(count_lines(list.out), 33u);

    const RunResult help = run_render({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: yawp-wah-render"), std::string::npos);
}

TEST(RenderBehaviour, RecoversFromBadSamplesInTheFile) {
    // A 220 Hz tone at -10 dBFS with NaN, +inf, 1e30 and -inf in it: the
    // effect plays on after each of them.
    TempDir dir;
    std::vector<float> x(kRate);
    for (size_t i = 0; i < x.size(); ++i) x[i] = static_cast<float>(0.316227766 * std::sin(6.283185307179586 * 220 * i / kRate));
    x[1000] = std::nanf("");
    x[2000] = INFINITY;
    x[3000] = 1e30f;
    x[4000] = -INFINITY;
    const std::vector<std::vector<std::string>> settings = {{}, {"--set", "lfo_on=1"}, {"--set", "env_on=1"}};
    for (const auto& options : settings) {
        const Sound s = render(dir, x, 1, kFloatWav, options);
        ASSERT_EQ(s.samples.size(), x.size());
        size_t bad = 0;
        double level = 0;
        for (size_t i = 4001; i < s.samples.size(); ++i) {
            bad += std::isfinite(s.samples[i]) ? 0 : 1;
            if (std::isfinite(s.samples[i])) level = std::max(level, std::fabs(static_cast<double>(s.samples[i])));
        }
        EXPECT_EQ(bad, 0u) << (options.empty() ? "defaults" : options[1]);
        EXPECT_GT(level, 0.05) << "still sounding";
    }
}

}  // namespace
}  // namespace yawp::test
