#include "lfo.h"

#include <cmath>

#include "lanes.h"
#include "lanes8.h"
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
    if (wide) {
        terms_in_eights(phase, random, term, n);
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

namespace yawp {

// [audio-thread] terms() eight samples at a time: the same operations in
// each lane, on whole eights of the arrays. Two eights are written side by
// side (each line once per set): a waveform is a long chain of dependent
// operations, and the other set's work is then always at hand.
YAWP_AVX2 void Lfo::terms_in_eights(const float* phase, const float* random, float* term, uint32_t n) const {
    namespace w = lanes8;
    using w::F8;
    constexpr uint32_t kSets = 2;
    const F8 one = w::splat(1.0f), half = w::splat(0.5f);
    const F8 skew8 = w::splat(skew);
    const F8 rise_scale = w::splat(numeric::reciprocal(2.0f * skew));
    const F8 twice_skew = w::splat(2.0f * skew);
    const F8 fall_scale = w::splat(numeric::reciprocal(2.0f - 2.0f * skew));
    const F8 bias8 = w::splat(bias), gate8 = w::splat(gate), depth8 = w::splat(depth);
    const float wf = waveform;

    for (uint32_t at = 0; at < n; at += 8 * kSets) {
        // A last pass with a single eight computes a second one from the
        // arrays' spare lanes and stores only the first.
        const uint32_t sets = n - at > 8 ? kSets : 1;
        F8 phi[kSets], p[kSets], v[kSets];
        for (uint32_t k = 0; k < kSets; ++k) phi[k] = _mm256_loadu_ps(phase + (k < sets ? at + 8 * k : at));
        for (uint32_t k = 0; k < kSets; ++k)
            p[k] = w::select(w::less(phi[k], skew8), w::mul(phi[k], rise_scale), w::mul(w::sub(w::add(phi[k], one), twice_skew), fall_scale));

        if (wf < lfo_detail::kTriangle) {
            F8 tri[kSets], sine[kSets];
            for (uint32_t k = 0; k < kSets; ++k) tri[k] = w::sub(one, w::mul(w::splat(4.0f), w::abs(w::sub(p[k], half))));
            for (uint32_t k = 0; k < kSets; ++k) sine[k] = w::sine2pi(w::mul(tri[k], w::splat(0.25f)));
            for (uint32_t k = 0; k < kSets; ++k) v[k] = w::add(sine[k], w::mul(w::sub(tri[k], sine[k]), w::splat(wf - 1.0f)));
        } else if (wf < lfo_detail::kSquareEdge) {
            const F8 a = w::splat(4.0f * numeric::reciprocal(lfo_detail::kSquare - wf));
            for (uint32_t k = 0; k < kSets; ++k) {
                const F8 ap = w::sub(w::mul(a, p[k]), one);
                v[k] = w::select(w::less(p[k], half), ap, w::sub(w::mul(a, half), ap));
                v[k] = w::select(w::less(v[k], w::splat(-1.0f)), w::splat(-1.0f), v[k]);
                v[k] = w::select(w::greater(v[k], one), one, v[k]);
            }
        } else {
            const float blend = wf - lfo_detail::kSquare > 0 ? wf - lfo_detail::kSquare : 0.0f;
            for (uint32_t k = 0; k < kSets; ++k) {
                const F8 sq = w::select(w::less(p[k], half), one, w::select(_mm256_cmp_ps(p[k], half, _CMP_EQ_OQ), _mm256_setzero_ps(), w::splat(-1.0f)));
                const F8 r = _mm256_loadu_ps(random + (k < sets ? at + 8 * k : at));
                v[k] = w::add(sq, w::mul(w::sub(r, sq), w::splat(blend)));
            }
        }
        for (uint32_t k = 0; k < sets; ++k) _mm256_storeu_ps(term + at + 8 * k, w::mul(w::mul(w::add(v[k], bias8), gate8), depth8));
    }
}

}  // namespace yawp
