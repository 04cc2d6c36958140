// yawp-wah-bench: the engine's cost per sample at 48 kHz in blocks of 512.
//
//   settled       parameters fixed: the formant filters sit on their targets
//                 and skip their coefficient update
//   lfo           the LFO sweeps the pedal, so all three formant filters
//                 recompute their coefficients every sample
//   lfo_env       the LFO and the envelope follower together
//   mid_lfo_env   the same with the middle vowel on, so the pedal morphs
//                 through two pairs of shapes
//   lfo_block32   the LFO case in blocks of 32, as small-buffer hosts call
//                 it: the same input, cut into sixteen calls
//
// Counters: ns_per_sample, and realtime_x = seconds of audio per second of
// processing on one core. (Google Benchmark prints them as rates, with a
// unit of "s" and "/s"; the numbers are what their names say.)
//
// The engine takes the widest paths the processor has; --paths=baseline,
// --paths=avx2 or --paths=avx512 caps them, to measure what a processor
// without the wider ones gets. The other arguments are Google Benchmark's.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/cpu_features.h"
#include "engine/engine.h"

namespace {

using namespace yawp;
using namespace yawp::catalogue;

constexpr float kSampleRate = 48000.0f;
constexpr uint32_t kBlock = 512;
constexpr uint32_t kInputPeriod = 109;  // a ramp of odd length: a buzzy tone
constexpr float kInputLevel = 0.25f;

struct Setting {
    uint32_t index;
    double value;
};

std::vector<float> make_input() {
    std::vector<float> x(kBlock);
    for (uint32_t i = 0; i < kBlock; ++i)
        x[i] = kInputLevel * (2.0f * static_cast<float>(i % kInputPeriod) / kInputPeriod - 1.0f);
    return x;
}

void prepare(Engine& e, const std::vector<Setting>& settings) {
    e.initialise();
    for (uint32_t i = 0; i < kInputCount; ++i) e.set_parameter(i, static_cast<float>(entry(i)->def));
    for (const Setting& s : settings) e.set_parameter(s.index, static_cast<float>(coerce(s.index, s.value)));
    e.set_sample_rate(kSampleRate);
    e.reset();
}

// Processes the kBlock samples of `in` in host blocks of `block` samples.
void process_input(Engine& engine, const std::vector<float>& in, std::vector<float>& out, uint32_t block,
                   const Transport& transport) {
    for (uint32_t start = 0; start < kBlock; start += block)
        engine.process(in.data() + start, out.data() + start, block, transport);
}

// Each iteration is kBlock samples, whatever the host block size, so the
// counters of all cases compare directly.
void run(benchmark::State& state, const std::vector<Setting>& settings, uint32_t block = kBlock) {
    Engine engine;
    prepare(engine, settings);
    const std::vector<float> in = make_input();
    std::vector<float> out(kBlock);
    Transport transport;
    // Let the filters reach their first targets before timing starts.
    for (int i = 0; i < 100; ++i) process_input(engine, in, out, block, transport);

    for (auto _ : state) {
        process_input(engine, in, out, block, transport);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    const double samples = static_cast<double>(state.iterations()) * kBlock;
    state.SetItemsProcessed(static_cast<int64_t>(samples));
    state.counters["ns_per_sample"] = benchmark::Counter(
        samples * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["realtime_x"] =
        benchmark::Counter(samples / kSampleRate, benchmark::Counter::kIsRate);
}

void BM_settled(benchmark::State& state) { run(state, {}); }

// The LFO at 5 Hz, the rest at its defaults.
const std::vector<Setting> kLfo = {{kLfoOn, 1}, {kLfoFreeRate, 5}};

void BM_lfo(benchmark::State& state) { run(state, kLfo); }

// Both terms kept small enough that the position never pins at an end of
// its travel, where the filters would settle and the case get cheaper.
const std::vector<Setting> kLfoEnv = {{kLfoOn, 1}, {kLfoFreeRate, 5}, {kLfoAmount, 50},
                                       {kEnvOn, 1}, {kEnvAmount, 2}, {kEnvAttack, 5}};

void BM_lfo_env(benchmark::State& state) { run(state, kLfoEnv); }

void BM_mid_lfo_env(benchmark::State& state) {
    std::vector<Setting> settings = kLfoEnv;
    settings.push_back({kMidOn, 1});
    run(state, settings);
}

constexpr uint32_t kSmallBlock = 32;

void BM_lfo_block32(benchmark::State& state) { run(state, kLfo, kSmallBlock); }

}  // namespace

BENCHMARK(BM_settled);
BENCHMARK(BM_lfo);
BENCHMARK(BM_lfo_env);
BENCHMARK(BM_mid_lfo_env);
BENCHMARK(BM_lfo_block32);

namespace {

// Takes --paths=... out of the arguments; false for a name it does not know.
bool take_paths_argument(int* argc, char** argv) {
    constexpr const char* kFlag = "--paths=";
    struct Choice {
        const char* name;
        cpu_features::Level level;
    };
    constexpr Choice kChoices[] = {{"baseline", cpu_features::Level::kBaseline},
                                   {"avx2", cpu_features::Level::kAvx2},
                                   {"avx512", cpu_features::Level::kAvx512}};
    int kept = 1;
    bool known = true;
    for (int i = 1; i < *argc; ++i) {
        if (std::strncmp(argv[i], kFlag, std::strlen(kFlag)) != 0) {
            argv[kept++] = argv[i];
            continue;
        }
        const char* name = argv[i] + std::strlen(kFlag);
        bool found = false;
        for (const Choice& c : kChoices)
            if (std::strcmp(name, c.name) == 0) {
                cpu_features::cap(c.level);
                found = true;
            }
        if (!found) {
            std::fprintf(stderr, "yawp-wah-bench: unknown paths \"%s\" (baseline, avx2 or avx512)\n", name);
            known = false;
        }
    }
    *argc = kept;
    return known;
}

}  // namespace

int main(int argc, char** argv) {
    if (!take_paths_argument(&argc, argv)) return 2;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::printf("paths: %s\n", cpu_features::avx512() ? "avx512" : cpu_features::avx2() ? "avx2" : "baseline");
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
