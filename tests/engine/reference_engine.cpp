#include "reference_engine.h"

#include <cmath>

#include "engine/fault_guard.h"
#include "engine/fp_mode.h"
#include "engine/numeric.h"

namespace yawp::test {
namespace {

using namespace catalogue;
using numeric::floor;
using numeric::frac;
using numeric::reciprocal;

constexpr float kGain[3] = {1.0f, 0.4466836f, 0.25118864f};
constexpr float kCrossfade = 0.05f;   // s
constexpr float kFilterGlide = 0.005f;  // s
constexpr float kSnap = 0.001f;

bool on(float v) { return v >= 0.5f; }

float envelope_cutoff(float ms) { return cutoff_of_time_constant(ms * 0.001f); }

// One glide step toward t with the sticky snap; limit = threshold² × t²
// (relative) or threshold² (absolute).
float glide(float value, float t, float c, float limit) {
    value = t + c * (value - t);
    const float e = value - t;
    return e * e <= limit ? t : value;
}

}  // namespace

void ReferenceEngine::initialise() {
    detector_.configure(envelope_cutoff(100), envelope_cutoff(100));
    increment_.configure(kInfiniteCutoff, kInfiniteCutoff);
    const float crossfade = cutoff_of_time_constant(kCrossfade);
    mix_.configure(crossfade, crossfade);
    bypass_.configure(crossfade, crossfade);
    mix_.target = bypass_.target = 1.0f;
    for (Filter& f : filters_) {
        f.cutoff_target = 1000.0f;
        f.q_target = 0.5f;
    }
    free_rate_ = frequency_ = 2.0f;
    random_.state = LfoRandom::kSeed;
    rolling_ = pending_ = false;
    tempo_ = 120;
    speed_ = effective_speed_ = 1;
    song_position_ = -1;
}

void ReferenceEngine::set_sample_rate(float fs) {
    K_ = fs * numeric::kInvTwoPi;
    T_ = 1.0f / fs;
    detector_.K = increment_.K = mix_.K = bypass_.K = K_;
    pi_over_fs_ = numeric::kPi / fs;
    ceiling_ = 0.499f * fs;
    glide_ = one_pole_coefficient(K_, cutoff_of_time_constant(kFilterGlide));
    snap_sq_ = kSnap * kSnap;
}

void ReferenceEngine::reset() {
    detector_.refresh(true);
    increment_.refresh(true);
    mix_.refresh(true);
    bypass_.refresh(true);
    detector_.state = 0;
    increment_.target = increment_.state = frequency_ * T_;
    computed_frequency_ = frequency_;
    accumulator_ = 0;
    random_value_ = random_.next();
    for (Filter& f : filters_) {
        f.cutoff = f.cutoff_target;
        f.q = f.q_target;
        f.prewarp = f.cutoff_target;
        update_coefficients(&f, true);
        f.hp = f.lp = f.bp = 0;
        f.previous_cutoff = f.cutoff_target;
    }
    mix_.state = mix_.target;
    bypass_.state = bypass_.target;
    rolling_ = false;
    tempo_ = 120;
    speed_ = effective_speed_ = 1;
    song_position_ = -1;
    pending_ = true;
    outputs_ = {position_ * 100.0f, 0, 0, 0};
}

void ReferenceEngine::set_parameter(uint32_t index, float value) {
    const uint32_t first[VowelModel::kShapes] = {kHeelJaw, kMidJaw, kToeJaw};
    for (uint32_t s = 0; s < VowelModel::kShapes; ++s)
        if (index >= first[s] && index < first[s] + kShapeComponents) vowel_.shapes[s].component[index - first[s]] = value * 0.01f;
    switch (index) {
        case kPosition: position_ = value * 0.01f; break;
        case kMix: mix_.target = value * 0.01f; break;
        case kMidOn: vowel_.mid_on = on(value); break;
        case kLfoOn: lfo_gate_ = on(value) ? 1.0f : 0.0f; break;
        case kLfoWaveform: waveform_ = value; break;
        case kLfoAmount: lfo_depth_ = value * 0.005f; break;
        case kLfoBias: bias_ = value * 0.01f; break;
        case kLfoSkew: skew_ = std::min(std::max(value * 0.005f + 0.5f, 0.001f), 0.999f); break;
        case kLfoSync: sync_ = on(value); recompute_lfo_frequency(); break;
        case kLfoFreeRate: free_rate_ = value; recompute_lfo_frequency(); break;
        case kLfoSyncRate: sync_index_ = static_cast<int32_t>(value) - 1; recompute_lfo_frequency(); break;
        case kLfoSyncPhase: phase_offset_ = frac(value * 0.0027777778f); break;
        case kEnvOn: env_gate_ = on(value) ? 1.0f : 0.0f; break;
        case kEnvAmount: env_depth_ = value * 0.5f; break;
        case kEnvAttack: detector_.set_rise_cutoff(envelope_cutoff(value)); break;
        case kEnvRelease: detector_.set_fall_cutoff(envelope_cutoff(value)); break;
        case kBypass: bypass_.target = on(value) ? 0.0f : 1.0f; break;
        default: break;
    }
}

void ReferenceEngine::recompute_lfo_frequency() {
    if (!sync_) {
        frequency_ = free_rate_;
        return;
    }
    const float f = sync_rate(sync_index_ + 1) * 0.016666668f * effective_speed_ * tempo_;
    if (std::isfinite(f)) frequency_ = f;
}

void ReferenceEngine::take_transport(const Transport& t) {
    if (t.changed == 0 && !pending_) return;
    pending_ = false;
    if ((t.valid & kTransportSpeed) && std::isfinite(t.speed)) {
        speed_ = t.speed;
        rolling_ = (t.valid & kTransportRolling) ? t.rolling : t.speed != 0;
    } else if (t.valid & kTransportRolling) {
        rolling_ = t.rolling;
    }
    if ((t.valid & kTransportTempo) && std::isfinite(t.tempo)) tempo_ = t.tempo;
    effective_speed_ = speed_ != 0 ? speed_ : (rolling_ ? 0.0f : 1.0f);
    recompute_lfo_frequency();
    if (rolling_ && (t.valid & kTransportQuarterNotes) && std::isfinite(t.quarter_notes))
        song_position_ = t.quarter_notes;
}

// The LFO, one sample: advance, then the output phase, the random value and
// the waveform. Returns the LFO term.
float ReferenceEngine::lfo_term(float* phase) {
    float inc = increment_.step(increment_.target);
    if (std::fabs(inc) < 6e-8f) inc = 0;
    accumulator_ = frac(accumulator_ + inc);
    const float phi = sync_ ? frac(accumulator_ + phase_offset_) : accumulator_;
    *phase = phi;
    if (floor(phi) != floor(phi - inc)) random_value_ = random_.next();
    if (lfo_gate_ == 0.0f) return 0.0f;

    const float p = phi < skew_ ? phi * reciprocal(2.0f * skew_)
                                : (phi + 1.0f - 2.0f * skew_) * reciprocal(2.0f - 2.0f * skew_);
    float v;
    if (waveform_ < 2.0f) {
        const float tri = 1.0f - 4.0f * std::fabs(p - 0.5f);
        const float sine = numeric::sine2pi(tri * 0.25f);
        v = sine + (tri - sine) * (waveform_ - 1.0f);
    } else if (waveform_ < 2.999f) {
        const float a = 4.0f * reciprocal(3.0f - waveform_);
        v = p < 0.5f ? a * p - 1.0f : a * 0.5f - (a * p - 1.0f);
        v = std::min(std::max(v, -1.0f), 1.0f);
    } else {
        const float sq = p < 0.5f ? 1.0f : (p == 0.5f ? 0.0f : -1.0f);
        const float blend = waveform_ - 3.0f > 0 ? waveform_ - 3.0f : 0.0f;
        v = sq + (random_value_ - sq) * blend;
    }
    return (v + bias_) * lfo_gate_ * lfo_depth_;
}

void ReferenceEngine::compute_prewarp_ratio(Filter* f) const {
    const float w = f->prewarp < ceiling_ ? f->prewarp : ceiling_;
    f->r = numeric::tan_prewarp(pi_over_fs_, w) * reciprocal(w);
}

// Each smoothed value glides only when it is off its target; the
// coefficients that depend on it follow.
void ReferenceEngine::update_coefficients(Filter* f, bool forced) const {
    const float pt = (f->cutoff_target - 1000.0f) * 1.0f + 1000.0f;
    const bool cutoff_moves = forced || f->cutoff != f->cutoff_target;
    const bool prewarp_moves = forced || f->prewarp != pt;
    const bool q_moves = forced || f->q != f->q_target;
    if (!cutoff_moves && !prewarp_moves && !q_moves) return;
    if (cutoff_moves)
        f->cutoff = glide(f->cutoff, f->cutoff_target, glide_, snap_sq_ * (f->cutoff_target * f->cutoff_target));
    if (prewarp_moves) {
        f->prewarp = glide(f->prewarp, pt, glide_, snap_sq_ * (pt * pt));
        compute_prewarp_ratio(f);
    }
    f->g = f->cutoff * f->r;
    if (q_moves) {
        f->q = glide(f->q, f->q_target, glide_, snap_sq_);
        f->k = reciprocal(f->q);
    }
    f->k_plus_g = f->k + f->g;
    f->d = reciprocal(1.0f + f->g * f->k_plus_g);
}

float ReferenceEngine::filter_sample(Filter* f, float x) const {
    const float kk = f->r * f->previous_cutoff;
    const float lp1 = f->lp + kk * f->bp;
    const float bp1 = f->bp + kk * f->hp;
    const float hp = (x - f->k_plus_g * bp1 - lp1) * f->d;
    const float bp = bp1 + f->g * hp;
    f->lp = lp1 + f->g * bp;
    f->hp = hp;
    f->bp = bp;
    f->previous_cutoff = f->cutoff;
    return bp;
}

void ReferenceEngine::process(const float* in, float* out, uint32_t n, const Transport& transport) {
    DenormalsOff denormals_off;
    take_transport(transport);
    if (song_position_ >= 0 && sync_) {
        const double cycles = song_position_ * static_cast<double>(sync_rate(sync_index_ + 1));
        const double phase = cycles - std::floor(cycles);
        accumulator_ = static_cast<float>(phase < 0.99999994 ? phase : 0.99999994);
    }
    song_position_ = -1;
    detector_.refresh();
    increment_.refresh();
    mix_.refresh();
    bypass_.refresh();
    if (frequency_ != computed_frequency_) {
        increment_.target = T_ * frequency_;
        computed_frequency_ = frequency_;
    }

    for (uint32_t i = 0; i < n; ++i) {
        const float x = fault_guard::is_sound(in[i]) ? in[i] : 0.0f;
        detector_.step_asymmetric(std::fabs(x));
        float phase = 0;
        const float env = detector_.state * env_gate_ * env_depth_;
        const float lfo = lfo_term(&phase);
        float m = position_ + env + lfo;
        m = m > 0.0f ? m : 0.0f;
        m = m < 1.0f ? m : 1.0f;

        const Formants targets = VowelModel::formants_of(vowel_.shape_at(m));
        float w = 0.0f;
        for (int k = 0; k < 3; ++k) {
            Filter& f = filters_[k];
            f.cutoff_target = targets.frequency[k];
            f.q_target = targets.q[k];
            update_coefficients(&f, false);
            w = w + kGain[k] * filter_sample(&f, x);
        }

        const float y = x + mix_.step(mix_.target) * (w - x);
        out[i] = x + bypass_.step(bypass_.target) * (y - x);
        outputs_ = {m * 100.0f, phase, lfo, env};
    }
}

}  // namespace yawp::test
