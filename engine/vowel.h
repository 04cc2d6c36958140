// The vowel model: pedal position -> vowel shape -> three formants.
//
// A shape has five components in 0..1: jaw, tongue and color place the
// first, second and third formant; sex and age scale all three (a smaller
// speaker has higher formants).
#pragma once

#include "catalogue.h"

namespace yawp {

struct Formants {
    float frequency[3];  // Hz, speaker scale applied
    float q[3];          // frequency / bandwidth
};

struct VowelShape {
    float component[catalogue::kShapeComponents];
};

struct VowelModel {
    enum Shape { kHeel, kMid, kToe, kShapes };

    VowelShape shapes[kShapes] = {};
    bool mid_on = false;
    bool wide = false;  // the AVX2 path may run

    // The shape at position m (0 heel .. 1 toe); through the mid shape at
    // m = 0.5 when it is switched on.
    VowelShape shape_at(float m) const;

    static Formants formants_of(const VowelShape& shape);

    // [audio-thread] formants_of(shape_at(m[i])) for n positions, four at a
    // time: the same numbers, computed side by side.
    void formants_at(const float* m, Formants* out, uint32_t n) const;
    void formants_at_in_fours(const float* m, Formants* out, uint32_t n) const;
    void formants_at_in_eights(const float* m, Formants* out, uint32_t n) const;
};

// Weights of the three band-pass outputs in the wet sum: 0, -7 and -12 dB.
inline constexpr float kFormantGain[3] = {1.0f, 0.4466836f, 0.25118864f};

}  // namespace yawp
