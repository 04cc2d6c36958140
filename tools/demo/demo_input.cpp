#include "demo_input.h"

#include <algorithm>
#include <cstddef>

namespace yawp::demo {
namespace {

constexpr double kChordHz[] = {55.0, 82.41, 110.0};  // a low A power chord: dense harmonics
constexpr double kChordDetune = 1.003;  // a second, slightly sharp voice per note
constexpr float kChordLevel = 0.07f;
constexpr double kChordFadeSeconds = 0.02;

constexpr double kPluckHz[] = {110.0, 146.83, 164.81, 196.0, 220.0, 196.0, 164.81, 146.83};
constexpr double kPluckSpacing = 0.5;  // seconds between notes
constexpr float kPluckLevel = 0.3f;
constexpr float kPluckDamping = 0.996f;  // loss per trip round the string
constexpr double kPluckMuteSeconds = 0.01;  // the next pluck stops the last
constexpr uint32_t kNoiseSeed = 12345;

// Sawtooth with the PolyBLEP correction at each wrap: bright but without
// the aliasing whine of a naive ramp, which would blur the sonograms.
class Saw {
public:
    Saw(double hz, uint32_t sample_rate) : step_(hz / sample_rate) {}
    float next() {
        phase_ += step_;
        if (phase_ >= 1.0) phase_ -= 1.0;
        return static_cast<float>(2.0 * phase_ - 1.0 - blep(phase_));
    }

private:
    double blep(double t) const {
        if (t < step_) {
            t /= step_;
            return t + t - t * t - 1.0;
        }
        if (t > 1.0 - step_) {
            t = (t - 1.0) / step_;
            return t * t + t + t + 1.0;
        }
        return 0.0;
    }
    double step_;
    double phase_ = 0;
};

void add_chord(std::vector<float>& out, size_t length, uint32_t sample_rate) {
    const size_t fade = static_cast<size_t>(kChordFadeSeconds * sample_rate);
    for (double hz : kChordHz) {
        Saw a(hz, sample_rate), b(hz * kChordDetune, sample_rate);
        for (size_t i = 0; i < length; ++i) {
            const size_t edge = i < length - i ? i : length - i;
            const float ramp = edge < fade ? static_cast<float>(edge) / fade : 1.0f;
            out[i] += kChordLevel * ramp * (a.next() + b.next());
        }
    }
}

}  // namespace

void add_saw(std::vector<float>& out, double hz, float level, uint32_t sample_rate) {
    Saw saw(hz, sample_rate);
    for (float& x : out) x += level * saw.next();
}

// Karplus-Strong: a delay line one period long, filled with noise and fed
// back through a two-point average, rings like a plucked string.
void add_pluck(std::vector<float>& out, size_t start, size_t length, double hz, uint32_t sample_rate,
               uint32_t& seed) {
    const size_t period = static_cast<size_t>(sample_rate / hz + 0.5);
    std::vector<float> line(period);
    for (float& x : line) {
        seed = seed * 1103515245u + 12345u;
        x = kPluckLevel * (static_cast<float>((seed >> 8) & 0xFFFF) / 32768.0f - 1.0f);
    }
    const size_t mute = static_cast<size_t>(kPluckMuteSeconds * sample_rate);
    float previous = 0;
    for (size_t i = 0, k = 0; i < length; ++i, k = (k + 1) % period) {
        const float x = line[k];
        line[k] = kPluckDamping * 0.5f * (x + previous);
        previous = x;
        const size_t left = length - i;
        const float gain = left < mute ? static_cast<float>(left) / mute : 1.0f;
        out[start + i] += gain * x;
    }
}

std::vector<float> make_input(uint32_t sample_rate) {
    const size_t chord = static_cast<size_t>(kChordSeconds * sample_rate);
    const size_t plucks = static_cast<size_t>(kPluckSeconds * sample_rate);
    std::vector<float> out(chord + plucks, 0.0f);
    add_chord(out, chord, sample_rate);
    uint32_t seed = kNoiseSeed;
    const size_t spacing = static_cast<size_t>(kPluckSpacing * sample_rate);
    size_t start = chord;
    for (double hz : kPluckHz) {
        if (start >= out.size()) break;
        const size_t length = std::min(spacing, out.size() - start);
        add_pluck(out, start, length, hz, sample_rate, seed);
        start += spacing;
    }
    return out;
}

}  // namespace yawp::demo
