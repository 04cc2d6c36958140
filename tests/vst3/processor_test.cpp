// The processor of the loaded module, driven the way hosts and the VST3
// validator drive it: bus and setup refusals, block-accurate changes, and
// audio blocks of every shape.
#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "vst3_host.h"

namespace yawp::test {
namespace {

namespace cat = catalogue;

const ParamID kPosition = cat::vst3_id(cat::kPosition);
const ParamID kModPosition = cat::vst3_id(cat::kOutModPosition);

std::vector<float> tone(int32 n) {
    std::vector<float> x(static_cast<size_t>(n));
    for (size_t i = 0; i < x.size(); ++i) x[i] = 0.5f * std::sin(0.05f * static_cast<float>(i));
    return x;
}

TEST(Vst3Processor, RefusesOtherBusesAndArrangements) {
    Plugin plugin;
    IComponent* c = plugin.component;
    IAudioProcessor* p = plugin.processor;
    EXPECT_EQ(c->getBusCount(kEvent, kInput), 0);
    BusInfo bus{};
    EXPECT_EQ(c->getBusInfo(kAudio, kInput, 1, bus), kInvalidArgument);
    EXPECT_EQ(c->getBusInfo(kEvent, kOutput, 0, bus), kInvalidArgument);
    EXPECT_EQ(c->activateBus(kAudio, kInput, 1, true), kInvalidArgument);
    EXPECT_EQ(c->activateBus(kEvent, kInput, 0, true), kInvalidArgument);

    SpeakerArrangement mono = kSpeakerM, stereo = SpeakerArr::kStereo, two[] = {kSpeakerM, kSpeakerM};
    EXPECT_EQ(p->setBusArrangements(&mono, 1, &mono, 1), kResultTrue);
    EXPECT_EQ(p->setBusArrangements(&stereo, 1, &mono, 1), kResultFalse);
    EXPECT_EQ(p->setBusArrangements(&mono, 1, &stereo, 1), kResultFalse);
    EXPECT_EQ(p->setBusArrangements(two, 2, &mono, 1), kResultFalse);
    EXPECT_EQ(p->setBusArrangements(nullptr, 0, &mono, 1), kResultFalse);
    EXPECT_EQ(p->setBusArrangements(&mono, -1, &mono, 1), kInvalidArgument);
    SpeakerArrangement arr = 0;
    EXPECT_EQ(p->getBusArrangement(kInput, 1, arr), kInvalidArgument);
    EXPECT_EQ(p->canProcessSampleSize(kSample64), kNotImplemented);
    EXPECT_EQ(c->getControllerClassId(nullptr), kResultFalse);
    EXPECT_EQ(c->initialize(&plugin.host), kResultFalse);

    // Asked for, so that hosts hand over what the synced LFO follows.
    void* obj = nullptr;
    ASSERT_EQ(c->queryInterface(IProcessContextRequirements::iid, &obj), kResultOk);
    auto* needs = static_cast<IProcessContextRequirements*>(obj);
    EXPECT_EQ(needs->getProcessContextRequirements() & IProcessContextRequirements::kNeedTempo,
              uint32{IProcessContextRequirements::kNeedTempo});
    needs->release();
}

TEST(Vst3Processor, ChangesAreBlockAccurate) {
    Plugin plugin;
    plugin.activate();
    ParamChanges changes, out, next;
    changes.add(kPosition, {{0, 0.2}, {10, 0.5}, {20, 0.8}});
    plugin.process(64, &changes, &out);
    // The block ran at the first point; the last one waits for the next.
    ASSERT_NE(out.find(kModPosition), nullptr);
    EXPECT_NEAR(out.find(kModPosition)->points[0].value, 0.2, 1e-6);
    plugin.process(64, nullptr, &next);
    ASSERT_NE(next.find(kModPosition), nullptr);
    EXPECT_NEAR(next.find(kModPosition)->points[0].value, 0.8, 1e-6);

    // Outputs and unknown ids are no parameters one can set.
    ParamChanges ignored, quiet;
    ignored.add(kModPosition, {{0, 0.1}}).add(4242, {{0, 0.1}});
    plugin.process(64, &ignored, &quiet);
    EXPECT_EQ(quiet.find(kModPosition), nullptr);
    EXPECT_EQ(values_of(plugin.save())[cat::kPosition], 80.0f);
}

TEST(Vst3Processor, SilenceUntilBothBusesWereOnAtActivation) {
    Plugin plugin;
    ProcessSetup setup{kRealtime, kSample32, 256, 48000};
    plugin.processor->setupProcessing(setup);
    plugin.component->activateBus(kAudio, kOutput, 0, true);
    plugin.component->setActive(true);
    ASSERT_EQ(plugin.process(256, nullptr, nullptr, nullptr, tone(256)), kResultOk);
    EXPECT_EQ(plugin.out, std::vector<float>(256, 0.0f));

    plugin.component->setActive(false);
    plugin.component->activateBus(kAudio, kInput, 0, true);
    plugin.component->setActive(true);
    plugin.process(256, nullptr, nullptr, nullptr, tone(256));
    EXPECT_NE(plugin.out, std::vector<float>(256, 0.0f));
}

TEST(Vst3Processor, ABlockWithANaNDoesNotSilenceTheEffect) {
    Plugin plugin;
    plugin.activate();
    ParamChanges settings;
    settings.add(cat::vst3_id(cat::kLfoOn), {{0, 1.0}}).add(cat::vst3_id(cat::kEnvOn), {{0, 1.0}});
    std::vector<float> bad = tone(256);
    bad[0] = std::nanf("");
    bad[100] = INFINITY;
    bad[255] = -1e30f;
    plugin.process(256, &settings, nullptr, nullptr, bad);
    for (int block = 0; block < 40; ++block) {
        ParamChanges out;
        ASSERT_EQ(plugin.process(256, nullptr, &out, nullptr, tone(256)), kResultOk);
        float level = 0;
        for (float y : plugin.out) {
            ASSERT_TRUE(std::isfinite(y)) << block;
            level = std::max(level, std::fabs(y));
        }
        EXPECT_GT(level, 0.01f) << block;
        for (uint32_t k = 0; k < cat::kOutputCount; ++k) {
            const ParamQueue* q = out.find(cat::vst3_id(cat::kInputCount + k));
            for (size_t i = 0; q != nullptr && i < q->points.size(); ++i)
                ASSERT_TRUE(std::isfinite(q->points[i].value)) << block << " output " << k;
        }
    }
}

// ---- outputs at loud input

constexpr int32 kBlock = 256;
constexpr int kLoudBlocks = 400;  // about two seconds at 48 kHz

// A 440 Hz sine at 48 kHz, `dbfs` relative to full scale, for the block
// that starts `start` samples in.
std::vector<float> sine_block(double dbfs, int64 start) {
    constexpr double kTwoPi = 6.283185307179586;
    constexpr double kStep = kTwoPi * 440.0 / 48000.0;
    const double amplitude = std::pow(10.0, dbfs / 20.0);
    std::vector<float> x(kBlock);
    for (int32 i = 0; i < kBlock; ++i)
        x[static_cast<size_t>(i)] = static_cast<float>(amplitude * std::sin(kStep * static_cast<double>(start + i)));
    return x;
}

// The plug-in with the envelope (and the LFO, so its meters move too) on,
// at an envelope amount given as a normalized value.
void envelope_on(Plugin& plugin, ParamValue amount) {
    ParamChanges settings;
    settings.add(cat::vst3_id(cat::kEnvOn), {{0, 1.0}})
        .add(cat::vst3_id(cat::kEnvAmount), {{0, amount}})
        .add(cat::vst3_id(cat::kLfoOn), {{0, 1.0}});
    plugin.process(0, &settings);
}

TEST(Vst3Processor, OutputsStayNormalizedAtLoudInput) {
    const ParamID env = cat::vst3_id(cat::kOutEnvOutput);
    for (double dbfs : {0.0, 24.0}) {
        for (ParamValue amount : {1.0, 0.0}) {  // +100 % and -100 %
            SCOPED_TRACE(testing::Message() << dbfs << " dBFS, env amount " << amount);
            Plugin plugin;
            plugin.activate();
            envelope_on(plugin, amount);
            ParamValue env_low = 1, env_high = 0;
            size_t points = 0;
            for (int block = 0; block < kLoudBlocks; ++block) {
                ParamChanges out;
                plugin.process(kBlock, nullptr, &out, nullptr, sine_block(dbfs, int64{block} * kBlock));
                for (const ParamQueue& q : out.queues) {
                    for (const Point& p : q.points) {
                        ++points;
                        ASSERT_GE(p.value, 0.0) << "id " << q.id << " block " << block;
                        ASSERT_LE(p.value, 1.0) << "id " << q.id << " block " << block;
                        if (q.id != env) continue;
                        env_low = std::min(env_low, p.value);
                        env_high = std::max(env_high, p.value);
                    }
                }
            }
            EXPECT_GT(points, size_t{kLoudBlocks}) << "the LFO's meters move in every block";
            // The envelope output went past its range end, and was shown there.
            EXPECT_EQ(amount > 0.5 ? env_high : env_low, amount);
        }
    }
}

TEST(Vst3Processor, AnOutputHeldPastItsRangeIsReportedOnce) {
    const ParamID env = cat::vst3_id(cat::kOutEnvOutput);
    Plugin plugin;
    plugin.activate();
    envelope_on(plugin, 1.0);
    int at_the_end = 0, after_the_end = 0;
    for (int block = 0; block < kLoudBlocks; ++block) {
        ParamChanges out;
        plugin.process(kBlock, nullptr, &out, nullptr, sine_block(0.0, int64{block} * kBlock));
        const ParamQueue* q = out.find(env);
        if (q == nullptr) continue;
        if (at_the_end > 0) ++after_the_end;
        if (q->points.back().value == 1.0) ++at_the_end;
    }
    EXPECT_EQ(at_the_end, 1);
    EXPECT_EQ(after_the_end, 0);
}

// Blocks of every size from 0 up to the maximum, silent and not, from a
// thread other than the one that set the processor up, before and after
// activating it again.
TEST(Vst3Conformance, EveryBlockSizeFromAnotherThread) {
    constexpr int32 kMaxBlock = 1024;
    Plugin plugin;
    plugin.activate(44100, kMaxBlock);
    const std::vector<float> signal = tone(kMaxBlock);
    bool silent = true, finite = true;
    auto all_sizes = [&] {
        for (int32 n = 0; n <= kMaxBlock; ++n) {
            plugin.process(n);
            silent = silent && plugin.out == std::vector<float>(static_cast<size_t>(n));
        }
        for (int32 n = kMaxBlock; n >= 0; --n) {
            plugin.process(n, nullptr, nullptr, nullptr, signal);
            finite = finite && std::all_of(plugin.out.begin(), plugin.out.end(), [](float v) { return std::isfinite(v); });
        }
    };
    std::thread(all_sizes).join();
    plugin.component->setActive(false);
    plugin.component->setActive(true);
    std::thread(all_sizes).join();
    EXPECT_TRUE(silent) << "silence in, silence out";
    EXPECT_TRUE(finite);
}

TEST(Vst3Conformance, MissingBuffersAreSurvived) {
    Plugin plugin;
    plugin.activate();
    std::vector<float> buffer(64, 0.25f);
    float* channels[] = {buffer.data()};
    float* null_channels[] = {nullptr};
    AudioBusBuffers bus, null_channel, no_channels;
    bus.numChannels = null_channel.numChannels = 1;
    bus.channelBuffers32 = channels;
    null_channel.channelBuffers32 = null_channels;

    const std::pair<AudioBusBuffers*, AudioBusBuffers*> cases[] = {
        {nullptr, &bus}, {&null_channel, &bus}, {&no_channels, &bus}, {&bus, nullptr}, {&bus, &null_channel}};
    for (const auto& [in, out] : cases) {
        ProcessData data;
        data.numSamples = 64;
        data.inputs = in;
        data.numInputs = in ? 1 : 0;
        data.outputs = out;
        data.numOutputs = out ? 1 : 0;
        EXPECT_EQ(plugin.processor->process(data), kResultOk);
    }
    EXPECT_EQ(buffer, std::vector<float>(64, 0.0f)) << "without an input, the output is processed silence";
}

TEST(Vst3Conformance, BypassSurvivesSaveAndRestore) {
    Plugin first, second;
    first.activate();
    ParamChanges on;
    on.add(cat::vst3_id(cat::kBypass), {{0, 1.0}});
    first.process(32, &on);
    const std::vector<uint8_t> saved = first.save();

    ASSERT_EQ(second.restore(saved), kResultOk);
    second.activate();
    second.process(32);
    EXPECT_EQ(values_of(second.save())[cat::kBypass], 1.0f);
    MemoryStream stream(saved);
    ASSERT_EQ(second.controller->setComponentState(&stream), kResultOk);
    EXPECT_EQ(second.controller->getParamNormalized(cat::vst3_id(cat::kBypass)), 1.0);
}

}  // namespace
}  // namespace yawp::test
