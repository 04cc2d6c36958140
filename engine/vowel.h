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

// Formants as the filter bank takes them, one sample's in two aligned fours:
// the three filters' frequency and Q in lanes 0-2, and in lane 3 the targets
// of the bank's fourth lane, an idle filter that only has to stay finite.
struct FormantTargets {
    static constexpr float kIdleCutoff = 1000.0f;
    static constexpr float kIdleQ = 0.5f;
    alignas(16) float cutoff[4];
    alignas(16) float q[4];

    static FormantTargets of(const Formants& f) {
        return {{f.frequency[0], f.frequency[1], f.frequency[2], kIdleCutoff}, {f.q[0], f.q[1], f.q[2], kIdleQ}};
    }
};

struct VowelShape {
    float component[catalogue::kShapeComponents];
};

struct VowelModel {
    enum Shape { kHeel, kMid, kToe, kShapes };

    VowelShape shapes[kShapes] = {};
    bool mid_on = false;
    bool wide = false;   // the AVX2 path may run
    bool wider = false;  // the AVX-512 path may run

    // The shape at position m (0 heel .. 1 toe); through the mid shape at
    // m = 0.5 when it is switched on.
    VowelShape shape_at(float m) const;

    static Formants formants_of(const VowelShape& shape);

    // [audio-thread] FormantTargets::of(formants_of(shape_at(m[i]))) for n
    // positions, four (or, with AVX2, eight, with AVX-512 sixteen) at a
    // time: the same numbers, computed side by side.
    void targets_at(const float* m, FormantTargets* out, uint32_t n) const;
    void targets_at_in_fours(const float* m, FormantTargets* out, uint32_t n) const;
    void targets_at_in_eights(const float* m, FormantTargets* out, uint32_t n) const;
    void targets_at_in_sixteens(const float* m, FormantTargets* out, uint32_t n) const;
};

// Weights of the three band-pass outputs in the wet sum: 0, -7 and -12 dB.
inline constexpr float kFormantGain[3] = {1.0f, 0.4466836f, 0.25118864f};

}  // namespace yawp
