// The demo's input: a synthetic guitar-ish part made on the spot, so the
// demo needs no sample files. First a sustained bright chord (the filter's
// formants stand out against its dense harmonics), then single plucked
// notes (their attacks and decays drive the envelope follower).
#pragma once

#include <cstdint>
#include <vector>

namespace yawp::demo {

inline constexpr uint32_t kSampleRate = 48000;
inline constexpr double kChordSeconds = 4.0;
inline constexpr double kPluckSeconds = 4.0;

std::vector<float> make_input();

}  // namespace yawp::demo
