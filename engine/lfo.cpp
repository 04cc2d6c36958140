#include "lfo.h"

#include <cmath>

#include "lanes.h"
#include "numeric.h"

namespace yawp {
namespace {

// The phase accumulator stays below 1 after a resync.
constexpr double kLastPhaseBelowOne = 0.99999994;

}  // namespace

void Lfo::initialise() {
    glide.configure(kInfiniteCutoff, kInfiniteCutoff);
    free_rate = 2.0f;
    sync = false;
    frequency = free_rate;
    random.state = LfoRandom::kSeed;
}

void Lfo::reset(float T) {
    glide.refresh(true);
    glide.target = frequency * T;
    glide.state = glide.target;
    computed_frequency = frequency;
    accumulator = 0;
    random_value = random.next();
}

void Lfo::update_increment(float T) {
    if (frequency != computed_frequency) {
        glide.target = T * frequency;
        computed_frequency = frequency;
    }
}

void Lfo::resync(double quarter_notes, float cycles_per_quarter) {
    double cycles = quarter_notes * static_cast<double>(cycles_per_quarter);
    double phase = cycles - std::floor(cycles);
    accumulator = static_cast<float>(phase < kLastPhaseBelowOne ? phase : kLastPhaseBelowOne);
}

// [audio-thread] What output() computes from each sample's phase and random
// value, four samples at a time. The waveform's region depends only on the
// selector, so it is chosen once; each lane then performs the scalar
// operations in the scalar order (the per-sample branches become selects
// between both sides), so every term is bit for bit output()'s.
void Lfo::terms(const float* phase, const float* random, float* term, uint32_t n) const {
    using namespace lanes;
    if (gate == 0.0f) {
        for (uint32_t i = 0; i < n; ++i) term[i] = 0.0f;
        return;
    }
    const F4 one = splat(1.0f), half = splat(0.5f);
    const F4 skew4 = splat(skew);
    const F4 rise_scale = splat(numeric::reciprocal(2.0f * skew));
    const F4 twice_skew = splat(2.0f * skew);
    const F4 fall_scale = splat(numeric::reciprocal(2.0f - 2.0f * skew));
    const F4 bias4 = splat(bias), gate4 = splat(gate), depth4 = splat(depth);
    const float w = waveform;

    for (uint32_t at = 0; at < n; at += 4) {
        const F4 phi = _mm_loadu_ps(phase + at);
        // skewed_phase()
        const F4 p = select(_mm_cmplt_ps(phi, skew4), mul(phi, rise_scale), mul(sub(add(phi, one), twice_skew), fall_scale));

        // waveform_value()
        F4 v;
        if (w < lfo_detail::kTriangle) {
            const F4 tri = sub(one, mul(splat(4.0f), abs(sub(p, half))));
            const F4 sine = sine2pi(mul(tri, splat(0.25f)));
            v = add(sine, mul(sub(tri, sine), splat(w - 1.0f)));
        } else if (w < lfo_detail::kSquareEdge) {
            const F4 a = splat(4.0f * numeric::reciprocal(lfo_detail::kSquare - w));
            const F4 ap = sub(mul(a, p), one);
            v = select(_mm_cmplt_ps(p, half), ap, sub(mul(a, half), ap));
            v = select(_mm_cmplt_ps(v, splat(-1.0f)), splat(-1.0f), v);
            v = select(_mm_cmpgt_ps(v, one), one, v);
        } else {
            const F4 sq = select(_mm_cmplt_ps(p, half), one, select(_mm_cmpeq_ps(p, half), _mm_setzero_ps(), splat(-1.0f)));
            const float blend = w - lfo_detail::kSquare > 0 ? w - lfo_detail::kSquare : 0.0f;
            v = add(sq, mul(sub(_mm_loadu_ps(random + at), sq), splat(blend)));
        }
        _mm_storeu_ps(term + at, mul(mul(add(v, bias4), gate4), depth4));
    }
}

}  // namespace yawp
