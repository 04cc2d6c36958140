#include "test_signal.h"

namespace yawp::raw {
namespace {

constexpr float kTwoPi = 6.2831853f;
constexpr float kToneHz[] = {220.0f, 277.18f, 329.63f};  // A minor-ish triad
constexpr float kToneLevel = 0.15f;
constexpr float kBurstLevel = 0.5f;
constexpr uint32_t kBurstsPerSecond = 4;
constexpr uint32_t kBurstDivisor = 20;  // a burst lasts 1/20 s
constexpr uint32_t kNoiseSeed = 0x2545F491u;
constexpr uint32_t kLcgMultiplier = 1664525u;
constexpr uint32_t kLcgIncrement = 1013904223u;
constexpr float kInt32Scale = 1.0f / 2147483648.0f;

}  // namespace

TestSignal::TestSignal(uint32_t sample_rate)
    : noise_state_(kNoiseSeed),
      burst_period_(sample_rate / kBurstsPerSecond),
      burst_length_(sample_rate / kBurstDivisor),
      burst_fade_(1.0f / static_cast<float>(sample_rate / kBurstDivisor)) {
    const float rate = static_cast<float>(sample_rate);
    for (int i = 0; i < kTones; ++i) tones_[i] = {kToneLevel, 0.0f, kTwoPi * kToneHz[i] / rate};
}

float TestSignal::noise() {
    noise_state_ = noise_state_ * kLcgMultiplier + kLcgIncrement;
    return static_cast<float>(static_cast<int32_t>(noise_state_)) * kInt32Scale;
}

float TestSignal::next() {
    float sum = 0;
    for (Oscillator& o : tones_) {
        o.x += o.step * o.y;
        o.y -= o.step * o.x;
        sum += o.x;
    }
    const uint32_t in_burst = static_cast<uint32_t>(count_ % burst_period_);
    if (in_burst < burst_length_) {
        const float fade = 1.0f - static_cast<float>(in_burst) * burst_fade_;
        sum += kBurstLevel * fade * noise();
    }
    ++count_;
    return sum;
}

}  // namespace yawp::raw
