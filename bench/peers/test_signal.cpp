#include "test_signal.h"

#include <cmath>

namespace yawp::peers {
namespace {

constexpr double kChordHz[] = {110.0, 165.0, 220.0};
constexpr double kVoiceLevel = 0.2;      // three voices peak at 0.6 together
constexpr double kTremoloHz = 3.0;
constexpr double kTremoloDepth = 0.5;    // the level dips to half and back
constexpr double kTwoPi = 6.283185307179586;

// A rising ramp from -1 to 1, `cycles` cycles into the wave. Taken from the
// sample index each time rather than accumulated, so no phase drifts.
double sawtooth(double cycles) { return 2.0 * (cycles - std::floor(cycles)) - 1.0; }

// 1 at the start of each tremolo cycle, 1 - depth half way through.
double tremolo_gain(double seconds) {
    return 1.0 - kTremoloDepth * 0.5 * (1.0 - std::cos(kTwoPi * kTremoloHz * seconds));
}

}  // namespace

std::vector<float> make_test_signal(size_t frames, double sample_rate) {
    std::vector<float> signal(frames);
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / sample_rate;
        double chord = 0.0;
        for (double hz : kChordHz) chord += kVoiceLevel * sawtooth(hz * t);
        signal[i] = static_cast<float>(chord * tremolo_gain(t));
    }
    return signal;
}

}  // namespace yawp::peers
