// The demo's input: a synthetic guitar-ish part made on the spot, so the
// demo needs no sample files. First a sustained bright chord (the filter's
// formants stand out against its dense harmonics), then single plucked
// notes (their attacks and decays drive the envelope follower).
//
// Its building blocks, a band-limited sawtooth and a Karplus-Strong string,
// are shared with the presets' level measurements.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace yawp::demo {

inline constexpr uint32_t kSampleRate = 48000;
inline constexpr double kChordSeconds = 4.0;
inline constexpr double kPluckSeconds = 4.0;

// The demo input at `sample_rate`: the same notes at any rate.
std::vector<float> make_input(uint32_t sample_rate = kSampleRate);

// Adds a sawtooth at `hz` times `level` to `out`, from its first sample to
// its last.
void add_saw(std::vector<float>& out, double hz, float level, uint32_t sample_rate);

// Adds one plucked string at `hz` to `out`, `length` samples from `start`;
// `seed` fills the string with noise and moves on, so the next pluck differs.
void add_pluck(std::vector<float>& out, size_t start, size_t length, double hz, uint32_t sample_rate,
               uint32_t& seed);

}  // namespace yawp::demo
