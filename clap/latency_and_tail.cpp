// What the plug-in adds in time: no latency, and a tail while the filters
// ring out after the input stops.
#include <cmath>

#include "clap/extensions.h"
#include "clap/plugin.h"

namespace yawp::clap {
namespace {

// The narrowest formant filter is 80 Hz wide: its ring decays with a time
// constant of 1 / (pi x 80 Hz), about 4 ms, and falls 120 dB in about
// 55 ms. Twice that covers every shape, speaker and glide.
constexpr double kTailSeconds = 0.11;

// [main-thread]
uint32_t latency(const clap_plugin*) { return 0; }

// [main-thread, audio-thread] The host asks while the instance is active;
// before that there is no rate to count samples in.
uint32_t tail(const clap_plugin* plugin) {
    const double rate = Plugin::of(plugin)->activation_rate();
    return rate > 0 ? static_cast<uint32_t>(std::ceil(rate * kTailSeconds)) : 0;
}

constexpr clap_plugin_latency kLatency = {latency};
constexpr clap_plugin_tail kTail = {tail};

}  // namespace

const clap_plugin_latency* latency_extension() { return &kLatency; }
const clap_plugin_tail* tail_extension() { return &kTail; }

}  // namespace yawp::clap
