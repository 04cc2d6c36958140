#include "formant_filter.h"

namespace yawp {
namespace {

constexpr float kInitialCutoff = 1000.0f;
constexpr float kInitialQ = 0.5f;
constexpr float kSmoothingTimeConstant = 0.005f;  // seconds
constexpr float kSnap = 0.001f;  // relative for frequencies, absolute for Q
constexpr float kPrewarpCeiling = 0.499f;  // of fs: tan() stays finite below fs/2

// One smoothing step; snaps onto the target once within the threshold,
// relative to the target or absolute.
float glide(float value, float target, float c, float threshold_sq, bool relative) {
    value = target + c * (value - target);
    float e = value - target;
    float limit = relative ? threshold_sq * (target * target) : threshold_sq;
    return e * e <= limit ? target : value;
}

}  // namespace

void FormantFilter::initialise() {
    float fc = cutoff_of_time_constant(kSmoothingTimeConstant);
    smoothing.configure(fc, fc, kSnap);
    set_targets(kInitialCutoff, kInitialQ);
}

void FormantFilter::set_sample_rate(float fs, float K) {
    smoothing.K = K;
    pi_over_fs = numeric::kPi / fs;
    prewarp_ceiling = kPrewarpCeiling * fs;
    smoothing.refresh(true);
}

void FormantFilter::reset() {
    cutoff = cutoff_target;
    q = q_target;
    prewarp = prewarp_target();
    update_coefficients(true);
    last_hp = last_lp = last_bp = 0;
    previous_cutoff = cutoff_target;
}

// [audio-thread] Three times per sample, so kernel arithmetic only; returns
// after three comparisons once everything has settled.
void FormantFilter::update_coefficients(bool forced) {
    const float pt = prewarp_target();
    const bool cutoff_moves = forced || cutoff != cutoff_target;
    const bool prewarp_moves = forced || prewarp != pt;
    const bool q_moves = forced || q != q_target;
    if (!cutoff_moves && !prewarp_moves && !q_moves) return;

    const float c = smoothing.rise;
    const float t2 = smoothing.threshold_sq;
    if (cutoff_moves) cutoff = glide(cutoff, cutoff_target, c, t2, true);
    if (prewarp_moves) {
        prewarp = glide(prewarp, pt, c, t2, true);
        float f = prewarp < prewarp_ceiling ? prewarp : prewarp_ceiling;
        ratio = numeric::tan_prewarp(pi_over_fs, f) * numeric::reciprocal(f);
    }
    if (cutoff_moves || prewarp_moves) g = cutoff * ratio;
    if (q_moves) {
        q = glide(q, q_target, c, t2, false);
        k = numeric::reciprocal(q);
    }
    k_plus_g = k + g;
    d = numeric::reciprocal(1.0f + g * k_plus_g);
}

// [audio-thread]
float FormantFilter::step(float x) {
    const float kk = ratio * previous_cutoff;
    const float lp1 = last_lp + kk * last_bp;
    const float bp1 = last_bp + kk * last_hp;
    const float hp = (x - k_plus_g * bp1 - lp1) * d;
    const float bp = bp1 + g * hp;
    const float lp = lp1 + g * bp;
    last_hp = hp;
    last_lp = lp;
    last_bp = bp;
    previous_cutoff = cutoff;
    return bp;
}

float FormantBank::process(float x, const Formants& formants) {
    float wet = 0;
    for (int i = 0; i < 3; ++i) {
        FormantFilter& f = filter[i];
        f.set_targets(formants.frequency[i], formants.q[i]);
        f.update_coefficients(false);
        wet += kFormantGain[i] * f.step(x);
    }
    return wet;
}

}  // namespace yawp
