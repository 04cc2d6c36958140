#include "formant_bank.h"

#include "one_pole.h"

namespace yawp {
namespace {

using namespace lanes;

constexpr float kSmoothingTimeConstant = 0.005f;  // seconds
constexpr float kSnap = 0.001f;  // relative for frequencies, absolute for Q
constexpr float kPrewarpCeiling = 0.499f;  // of fs: tan() stays finite below fs/2

// The prewarp frequency follows the cutoff through a weighted offset from a
// fixed setting; with the weight 1 it tracks the cutoff.
constexpr float kPrewarpWeight = 1.0f;
constexpr float kPrewarpSetting = 1000.0f;

// One smoothing step; snaps onto the target once within the threshold
// (limit = threshold² × target² for relative, threshold² for absolute).
F4 glide(F4 value, F4 target, F4 c, F4 limit) {
    value = add(target, mul(c, sub(value, target)));
    const F4 e = sub(value, target);
    return select(_mm_cmple_ps(mul(e, e), limit), target, value);
}

}  // namespace

void FormantBank::initialise() {
    set_targets({{kIdleCutoff, kIdleCutoff, kIdleCutoff}, {kIdleQ, kIdleQ, kIdleQ}});
}

void FormantBank::set_sample_rate(float fs, float K) {
    glide_ = splat(one_pole_coefficient(K, cutoff_of_time_constant(kSmoothingTimeConstant)));
    snap_sq_ = splat(kSnap * kSnap);
    pi_over_fs_ = splat(numeric::kPi / fs);
    prewarp_ceiling_ = splat(kPrewarpCeiling * fs);
}

void FormantBank::reset() {
    cutoff_ = cutoff_target_;
    q_ = q_target_;
    prewarp_ = prewarp_target();
    update(true);
    last_hp_ = last_lp_ = last_bp_ = _mm_setzero_ps();
    previous_cutoff_ = cutoff_target_;
}

F4 FormantBank::prewarp_target() const {
    const F4 setting = splat(kPrewarpSetting);
    return add(mul(sub(cutoff_target_, setting), splat(kPrewarpWeight)), setting);
}

// [audio-thread] Once everything has settled this returns after three
// comparisons. Otherwise every lane is recomputed: for a lane whose values
// already sit on their targets the glide returns them unchanged and the
// coefficients come out the same, so this equals updating only what moved.
void FormantBank::update(bool forced) {
    if (glide_all() || forced) compute_coefficients();
}

bool FormantBank::settled() const {
    const F4 moving = _mm_or_ps(_mm_or_ps(_mm_cmpneq_ps(cutoff_, cutoff_target_), _mm_cmpneq_ps(prewarp_, prewarp_target())),
                                _mm_cmpneq_ps(q_, q_target_));
    return _mm_movemask_ps(moving) == 0;
}

// The smoothed values take one step toward their targets; false when all
// of them already sit there (the coefficients then stay as they are).
bool FormantBank::glide_all() {
    if (settled()) return false;
    const F4 pt = prewarp_target();
    cutoff_ = glide(cutoff_, cutoff_target_, glide_, mul(snap_sq_, mul(cutoff_target_, cutoff_target_)));
    prewarp_ = glide(prewarp_, pt, glide_, mul(snap_sq_, mul(pt, pt)));
    q_ = glide(q_, q_target_, glide_, snap_sq_);
    return true;
}

void FormantBank::compute_coefficients() {
    const F4 f = min(prewarp_, prewarp_ceiling_);
    ratio_ = mul(tan_prewarp(pi_over_fs_, f), reciprocal(f));
    g_ = mul(cutoff_, ratio_);
    k_ = reciprocal(q_);
    k_plus_g_ = add(k_, g_);
    d_ = reciprocal(add(splat(1.0f), mul(g_, k_plus_g_)));
}

// [audio-thread] One step of the three filters; returns their band-pass
// outputs.
inline F4 FormantBank::filter_step(const StepCoefficients& c, float x) {
    const F4 kk = mul(c.ratio, previous_cutoff_);
    const F4 lp1 = add(last_lp_, mul(kk, last_bp_));
    const F4 bp1 = add(last_bp_, mul(kk, last_hp_));
    const F4 hp = mul(sub(sub(splat(x), mul(c.k_plus_g, bp1)), lp1), c.d);
    const F4 bp = add(bp1, mul(c.g, hp));
    last_lp_ = add(lp1, mul(c.g, bp));
    last_hp_ = hp;
    last_bp_ = bp;
    previous_cutoff_ = c.cutoff;
    return bp;
}

namespace {

// The wet signal: the band-pass outputs weighted by their formant gains.
float weighted_sum(F4 bands) {
    const F4 w = mul(_mm_setr_ps(kFormantGain[0], kFormantGain[1], kFormantGain[2], 0.0f), bands);
    const float w0 = _mm_cvtss_f32(w);
    const float w1 = _mm_cvtss_f32(_mm_shuffle_ps(w, w, _MM_SHUFFLE(1, 1, 1, 1)));
    const float w2 = _mm_cvtss_f32(_mm_movehl_ps(w, w));
    return 0.0f + w0 + w1 + w2;
}

}  // namespace

BandOutputs FormantBank::step(float x) {
    alignas(16) float b[4];
    _mm_store_ps(b, filter_step(current(), x));
    return {{b[0], b[1], b[2]}};
}

// [audio-thread]
void FormantBank::process(const float* x, const Formants* targets, float* wet, uint32_t n, bool constant) {
    if (n == 0) return;
    set_targets(targets[0]);
    if (constant && settled()) {
        const StepCoefficients c = current();
        for (uint32_t i = 0; i < n; ++i) wet[i] = weighted_sum(filter_step(c, x[i]));
        return;
    }

    // The glides: serial, but short.
    const F4 cutoff_before = cutoff_, prewarp_before = prewarp_, q_before = q_;
    for (uint32_t i = 0; i < n; ++i) {
        set_targets(targets[constant ? 0 : i]);
        Staged& s = staged_[i];
        s.moved = glide_all();
        s.step.cutoff = cutoff_;
        s.prewarp = prewarp_;
        s.q = q_;
    }
    // The coefficients: independent from sample to sample. A sample whose
    // values did not move keeps the coefficients before it.
    cutoff_ = cutoff_before;
    prewarp_ = prewarp_before;
    q_ = q_before;
    for (uint32_t i = 0; i < n; ++i) {
        Staged& s = staged_[i];
        if (s.moved) {
            cutoff_ = s.step.cutoff;
            prewarp_ = s.prewarp;
            q_ = s.q;
            compute_coefficients();
        }
        s.step = current();
    }
    // The filters themselves.
    for (uint32_t i = 0; i < n; ++i) wet[i] = weighted_sum(filter_step(staged_[i].step, x[i]));
}

}  // namespace yawp
