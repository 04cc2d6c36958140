// What the engine does with samples that are not sound.
//
// Hosts now and then hand a plug-in NaN, infinity or absurdly large values:
// a synth whose filter blew up, a faulty plug-in upstream, a resampler
// glitch. A single NaN that reaches a filter memory or the envelope
// detector stays there for good and silences (or blows up) everything after
// it. So the engine guards itself at two places, both per chunk and both
// cheap enough to leave ordinary input untouched:
//
//   at the door   the chunk's input is checked with vector compares; a
//                 sample that is not finite, or louder than kLoudestInput,
//                 is taken as silence (0). Ordinary input is passed on as it
//                 is, so it sounds exactly as before.
//   at the end    the states are multiplied by zero and summed: a lane that
//                 held a non-finite value comes out NaN, and one compare
//                 finds it. Whatever went non-finite anyway is cleared the
//                 way reset clears it, and the chunk's non-finite output
//                 samples are silenced.
#pragma once

#include <cmath>
#include <cstdint>

#include "lanes.h"

namespace yawp::fault_guard {

// 2^20, +120 dBFS. No recording, synth or bus reaches a million times full
// scale; a sample beyond it is a fault, not sound. Below it nothing in the
// engine can overflow: the envelope term stays under 2^20 × 50 and the
// formant filters, which are stable, under a few thousand times that.
inline constexpr float kLoudestInput = 1048576.0f;

// False for NaN (every comparison with NaN is false), ±infinity and
// anything beyond kLoudestInput.
inline bool is_sound(float x) { return std::fabs(x) <= kLoudestInput; }

// [audio-thread] Whether all n samples are sound: four at a time, with one
// mask test at the end instead of a branch per sample.
inline bool all_sound(const float* x, uint32_t n) {
    using namespace lanes;
    const F4 loudest = splat(kLoudestInput);
    F4 sound = _mm_castsi128_ps(_mm_set1_epi32(-1));
    uint32_t i = 0;
    for (; i + 4 <= n; i += 4) sound = _mm_and_ps(sound, _mm_cmple_ps(abs(_mm_loadu_ps(x + i)), loudest));
    bool all = _mm_movemask_ps(sound) == 0xF;
    for (; i < n; ++i) all = all && is_sound(x[i]);
    return all;
}

// [audio-thread] `clean` = `x` with every sample that is not sound
// replaced by silence.
inline void silence_faults(const float* x, float* clean, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) clean[i] = is_sound(x[i]) ? x[i] : 0.0f;
}

// A meter or state value as a host may see it: what is not finite reads 0.
inline float finite_or_zero(float x) { return std::isfinite(x) ? x : 0.0f; }

// x × 0: 0 in every lane that holds a finite value, NaN in a lane that
// holds NaN or ±infinity. Sums of probes keep any NaN.
inline lanes::F4 probe(lanes::F4 x) { return lanes::mul(x, _mm_setzero_ps()); }

// Whether a sum of probes saw only finite values.
inline bool clean(lanes::F4 probes) { return _mm_movemask_ps(_mm_cmpunord_ps(probes, probes)) == 0; }

}  // namespace yawp::fault_guard
