// The signal every plug-in in the peer comparison is timed on: a chord of
// three sawtooth waves (an octave, a fifth and their root, like a guitar's
// power chord) under a slow tremolo, so level-following plug-ins see their
// input rise and fall.
#pragma once

#include <cstddef>
#include <vector>

namespace yawp::peers {

// `frames` samples of the chord at `sample_rate`.
std::vector<float> make_test_signal(size_t frames, double sample_rate);

}  // namespace yawp::peers
