#include "preset_levels.h"

#include <cmath>
#include <string_view>

#include "demo_input.h"
#include "preset_tour.h"

namespace yawp::demo {
namespace {

constexpr double kInputSeconds = 3.0;  // each made material; the demo input keeps its own length

// A sawtooth chord a fifth and an octave over A2: its harmonics fall
// close together through the formant range.
constexpr double kChordHz[] = {110.0, 165.0, 220.0};
constexpr float kChordVoiceLevel = 1.0f / 3.0f;

// One G3 string left to ring and fade.
constexpr double kPluckHz = 196.0;
constexpr uint32_t kPluckSeed = 20240601;

constexpr uint32_t kNoiseSeed = 7;

// Presets that keep the wide band. Throaty Wah's bark is its first formant
// sitting on the low harmonics of a guitar note: at the mix that keeps a
// G string within the narrow band (25 %) it would be no wah at all, so it
// keeps 30 % and plays that note about 2.3 dB up.
constexpr std::string_view kWideBandPresets[] = {"Throaty Wah"};

float peak_of(const std::vector<float>& samples) {
    float p = 0;
    for (float x : samples) p = std::fmax(p, std::fabs(x));
    return p;
}

double rms_of(const std::vector<float>& samples) {
    double sum = 0;
    for (float x : samples) sum += static_cast<double>(x) * x;
    return std::sqrt(sum / static_cast<double>(samples.size()));
}

float db(double gain) { return static_cast<float>(20.0 * std::log10(gain)); }

std::vector<float> at_input_peak(std::vector<float> samples) {
    const float gain = std::pow(10.0f, kInputPeakDb / 20.0f) / peak_of(samples);
    for (float& x : samples) x *= gain;
    return samples;
}

size_t input_length(uint32_t sample_rate) { return static_cast<size_t>(kInputSeconds * sample_rate); }

std::vector<float> saw_chord(uint32_t sample_rate) {
    std::vector<float> out(input_length(sample_rate), 0.0f);
    for (double hz : kChordHz) add_saw(out, hz, kChordVoiceLevel, sample_rate);
    return out;
}

std::vector<float> plucked_string(uint32_t sample_rate) {
    std::vector<float> out(input_length(sample_rate), 0.0f);
    uint32_t seed = kPluckSeed;
    add_pluck(out, 0, out.size(), kPluckHz, sample_rate, seed);
    return out;
}

// White noise from a xorshift generator (the same numbers on every
// platform), through Paul Kellet's filter: within half a decibel of -3 dB
// per octave across the audio band.
std::vector<float> pink_noise(uint32_t sample_rate) {
    std::vector<float> out(input_length(sample_rate));
    uint32_t state = kNoiseSeed;
    double b[7] = {};
    for (float& x : out) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const double white = static_cast<double>(state) / 2147483648.0 - 1.0;
        b[0] = 0.99886 * b[0] + white * 0.0555179;
        b[1] = 0.99332 * b[1] + white * 0.0750759;
        b[2] = 0.96900 * b[2] + white * 0.1538520;
        b[3] = 0.86650 * b[3] + white * 0.3104856;
        b[4] = 0.55000 * b[4] + white * 0.5329522;
        b[5] = -0.7616 * b[5] - white * 0.0168980;
        x = static_cast<float>(b[0] + b[1] + b[2] + b[3] + b[4] + b[5] + b[6] + white * 0.5362);
        b[6] = white * 0.115926;
    }
    return out;
}

}  // namespace

std::vector<LevelInput> level_inputs(uint32_t sample_rate) {
    std::vector<LevelInput> inputs;
    inputs.push_back({"chord", at_input_peak(saw_chord(sample_rate))});
    inputs.push_back({"pluck", at_input_peak(plucked_string(sample_rate))});
    inputs.push_back({"noise", at_input_peak(pink_noise(sample_rate))});
    inputs.push_back({"demo", at_input_peak(make_input(sample_rate))});
    return inputs;
}

Level measure_level(const presets::Preset& preset, const LevelInput& input, uint32_t sample_rate) {
    const std::vector<float> out = render_scene(preset_scene(preset), input.samples, sample_rate);
    return {&preset, input.name.c_str(), sample_rate, db(peak_of(out)), db(rms_of(out) / rms_of(input.samples))};
}

std::vector<Level> measure_factory_levels(uint32_t sample_rate) {
    // The inputs live as long as the program: the levels point at their names.
    static std::vector<std::vector<LevelInput>> made;
    made.push_back(level_inputs(sample_rate));
    std::vector<Level> levels;
    for (const presets::Preset& p : presets::factory())
        for (const LevelInput& input : made.back()) levels.push_back(measure_level(p, input, sample_rate));
    return levels;
}

float loudness_band_db(const presets::Preset& preset) {
    for (std::string_view name : kWideBandPresets)
        if (name == preset.name) return kWideLoudnessBandDb;
    return kLoudnessBandDb;
}

bool peak_within_limit(const Level& level) { return level.peak_db <= kPeakCeilingDb; }

bool loudness_within_limit(const Level& level) {
    return std::fabs(level.rms_change_db) <= loudness_band_db(*level.preset);
}

void print_levels(std::FILE* out, const std::vector<Level>& levels) {
    std::fprintf(out, "%-20s %-6s %6s %10s %11s %6s\n", "preset", "input", "rate", "peak dBFS", "RMS vs dry", "band");
    for (const Level& l : levels) {
        const char* mark = peak_within_limit(l) && loudness_within_limit(l) ? "" : "  <- outside the limits";
        std::fprintf(out, "%-20s %-6s %6u %10.2f %+8.2f dB %4.0f dB%s\n", l.preset->name, l.input, l.sample_rate,
                     l.peak_db, l.rms_change_db, loudness_band_db(*l.preset), mark);
    }
}

}  // namespace yawp::demo
