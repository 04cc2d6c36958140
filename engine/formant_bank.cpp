#include "formant_bank.h"

#include "cpu_features.h"
#include "fault_guard.h"
#include "lanes8.h"
#include "lanes16.h"
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
F4 glide_one(F4 value, F4 target, F4 c, F4 limit) {
    value = add(target, mul(c, sub(value, target)));
    const F4 e = sub(value, target);
    return select(_mm_cmple_ps(mul(e, e), limit), target, value);
}

}  // namespace

void FormantBank::initialise() {
    wide_ = cpu_features::avx2();
    wider_ = cpu_features::avx512();
    constexpr float c = FormantTargets::kIdleCutoff, q = FormantTargets::kIdleQ;
    set_targets(FormantTargets{{c, c, c, c}, {q, q, q, q}});
}

void FormantBank::set_sample_rate(float fs, float K) {
    glide_ = splat(one_pole_coefficient(K, cutoff_of_time_constant(kSmoothingTimeConstant)));
    snap_sq_ = splat(kSnap * kSnap);
    pi_over_fs_ = splat(numeric::kPi / fs);
    prewarp_ceiling_ = splat(kPrewarpCeiling * fs);
}

void FormantBank::reset() {
    smoothed_ = {cutoff_target_, prewarp_target(), q_target_};
    update(true);
    memories_ = {_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps(), cutoff_target_};
}

F4 FormantBank::finite_probe() const {
    using fault_guard::probe;
    const F4 memories = add(add(probe(memories_.hp), probe(memories_.lp)), add(probe(memories_.bp), probe(memories_.previous_cutoff)));
    const F4 smoothed = add(add(probe(smoothed_.cutoff), probe(smoothed_.prewarp)), probe(smoothed_.q));
    return add(memories, smoothed);
}

// The targets come from the vowel model and are always finite, so a reset
// brings back a bank that sounds as it should from its next sample.
void FormantBank::recover() {
    if (!fault_guard::clean(finite_probe())) reset();
}

F4 FormantBank::prewarp_of(F4 cutoff_target) {
    const F4 setting = splat(kPrewarpSetting);
    return add(mul(sub(cutoff_target, setting), splat(kPrewarpWeight)), setting);
}

F4 FormantBank::prewarp_target() const { return prewarp_of(cutoff_target_); }

// [audio-thread] Once everything has settled this returns after three
// comparisons. Otherwise every lane is recomputed: for a lane whose values
// already sit on their targets the glide returns them unchanged and the
// coefficients come out the same, so this equals updating only what moved.
void FormantBank::update(bool forced) {
    if (glide(&smoothed_) || forced) compute_coefficients();
}

bool FormantBank::settled(const Smoothed& s) const {
    const F4 moving = _mm_or_ps(_mm_or_ps(_mm_cmpneq_ps(s.cutoff, cutoff_target_), _mm_cmpneq_ps(s.prewarp, prewarp_target())),
                                _mm_cmpneq_ps(s.q, q_target_));
    return _mm_movemask_ps(moving) == 0;
}

// The smoothed values take one step toward their targets; false when all
// of them already sit there (the coefficients then stay as they are).
bool FormantBank::glide(Smoothed* s) const {
    if (settled(*s)) return false;
    *s = glided(*s, cutoff_target_, q_target_);
    return true;
}

// One step of every glide. A value already on its target stays there
// (target + c × 0 is the target), so this may run whether or not anything
// moves.
FormantBank::Smoothed FormantBank::glided(const Smoothed& s, F4 cutoff_target, F4 q_target) const {
    const F4 pt = prewarp_of(cutoff_target);
    return {glide_one(s.cutoff, cutoff_target, glide_, mul(snap_sq_, mul(cutoff_target, cutoff_target))),
            glide_one(s.prewarp, pt, glide_, mul(snap_sq_, mul(pt, pt))), glide_one(s.q, q_target, glide_, snap_sq_)};
}

// [audio-thread] The glides of a chunk whose targets move: glided() for
// each sample in turn, on values kept in registers.
void FormantBank::glide_moving(const FormantTargets* targets, uint32_t n) {
    Smoothed s = smoothed_;
    for (uint32_t i = 0; i < n; ++i) {
        s = glided(s, _mm_load_ps(targets[i].cutoff), _mm_load_ps(targets[i].q));
        staged_[i].smoothed = s;
    }
    smoothed_ = s;
}

namespace {

// glide_one() on eight lanes, in two halves: the step, and which lanes
// snap onto their targets.
YAWP_AVX2 lanes8::F8 glide_step(lanes8::F8 value, lanes8::F8 target, lanes8::F8 c) {
    namespace w = lanes8;
    return w::add(target, w::mul(c, w::sub(value, target)));
}

YAWP_AVX2 lanes8::F8 snapping(lanes8::F8 value, lanes8::F8 target, lanes8::F8 limit) {
    namespace w = lanes8;
    const w::F8 e = w::sub(value, target);
    return _mm256_cmp_ps(w::mul(e, e), limit, _CMP_LE_OS);
}

}  // namespace

// The same with the cutoff and prewarp glides side by side in one
// eight-lane register: the same operations on the same values, lane by
// lane, in half the instructions.
//
// A value that snaps is its target, so the next step starts either from
// the unsnapped value or from the previous target. Both are computed and
// the snap picks one: the comparison that decides the snap then runs beside
// the next step instead of before it, which nearly halves the chain of
// dependent operations from one sample to the next. (Formants that hardly
// move snap nearly every sample, so the snap cannot be left to a branch.)
YAWP_AVX2 void FormantBank::glide_moving_in_pairs(const FormantTargets* targets, uint32_t n) {
    namespace w = lanes8;
    using w::F8;
    const F8 c = w::pair(glide_, glide_);
    const F8 snap_sq = w::pair(snap_sq_, snap_sq_);
    // The previous sample: its value before the snap, whether it snapped,
    // and its target. Before the first, the smoothed values, unsnapped.
    F8 unsnapped = w::pair(smoothed_.cutoff, smoothed_.prewarp);
    F8 snapped = _mm256_setzero_ps();
    F8 target = unsnapped;
    F4 unsnapped_q = smoothed_.q;
    F4 snapped_q = _mm_setzero_ps();
    F4 target_q = unsnapped_q;
    for (uint32_t i = 0; i < n; ++i) {
        const F4 ct = _mm_load_ps(targets[i].cutoff);
        const F8 t = w::pair(ct, prewarp_of(ct));
        const F4 qt = _mm_load_ps(targets[i].q);

        unsnapped = _mm256_blendv_ps(glide_step(unsnapped, t, c), glide_step(target, t, c), snapped);
        unsnapped_q = _mm_blendv_ps(add(qt, mul(glide_, sub(unsnapped_q, qt))), add(qt, mul(glide_, sub(target_q, qt))), snapped_q);
        snapped = snapping(unsnapped, t, w::mul(snap_sq, w::mul(t, t)));
        const F4 eq = sub(unsnapped_q, qt);
        snapped_q = _mm_cmple_ps(mul(eq, eq), snap_sq_);
        target = t;
        target_q = qt;

        staged_[i].smoothed = {w::low(w::select(snapped, t, unsnapped)), w::high(w::select(snapped, t, unsnapped)),
                               select(snapped_q, qt, unsnapped_q)};
    }
    smoothed_ = staged_[n - 1].smoothed;
}

// The prewarp frequency is never negative (the targets are powers of two
// times a positive speaker scale, and a glide stays between its value and
// its target) and the ceiling keeps it below fs/2, so the tangent needs no
// floors (see numeric::tan_prewarp_below_nyquist).
void FormantBank::compute_coefficients() {
    const F4 f = min(smoothed_.prewarp, prewarp_ceiling_);
    ratio_ = mul(tan_prewarp_below_nyquist(pi_over_fs_, f), reciprocal(f));
    g_ = mul(smoothed_.cutoff, ratio_);
    k_plus_g_ = add(reciprocal(smoothed_.q), g_);
    d_ = reciprocal(add(splat(1.0f), mul(g_, k_plus_g_)));
}

BandOutputs FormantBank::step(float x) {
    const StepCoefficients c = current();
    alignas(16) float b[4];
    _mm_store_ps(b, filter_step(&memories_, c, x));
    return {{b[0], b[1], b[2]}};
}

// [audio-thread]
// A sample whose values did not move keeps the coefficients before it.
void FormantBank::stage_coefficients(uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
        Staged& st = staged_[i];
        if (st.moved) {
            smoothed_ = st.smoothed;
            compute_coefficients();
        }
        st.step = current();
    }
}

// The same on eight lanes: two samples' three filters side by side, each
// lane doing what compute_coefficients() does in its lane. The coefficients
// are a function of the smoothed values alone, so computing a sample that
// did not move gives exactly the coefficients it would have kept.
YAWP_AVX2 void FormantBank::stage_coefficients_in_pairs(uint32_t from, uint32_t n) {
    namespace w = lanes8;
    using w::F8;
    const F8 pi_over_fs = w::pair(pi_over_fs_, pi_over_fs_);
    const F8 ceiling = w::pair(prewarp_ceiling_, prewarp_ceiling_);
    for (uint32_t i = from; i < n; i += 2) {
        Staged& a = staged_[i];
        Staged& b = staged_[i + 1 < n ? i + 1 : i];
        if (!a.moved && !b.moved) {
            a.step = {a.smoothed.cutoff, ratio_, g_, k_plus_g_, d_};
            b.step = {b.smoothed.cutoff, ratio_, g_, k_plus_g_, d_};
            continue;
        }
        const F8 cutoff = w::pair(a.smoothed.cutoff, b.smoothed.cutoff);
        const F8 f = w::min(w::pair(a.smoothed.prewarp, b.smoothed.prewarp), ceiling);
        const F8 ratio = w::mul(w::tan_prewarp_below_nyquist(pi_over_fs, f), w::reciprocal(f));
        const F8 g = w::mul(cutoff, ratio);
        const F8 k_plus_g = w::add(w::reciprocal(w::pair(a.smoothed.q, b.smoothed.q)), g);
        const F8 d = w::reciprocal(w::add(w::splat(1.0f), w::mul(g, k_plus_g)));
        a.step = {w::low(cutoff), w::low(ratio), w::low(g), w::low(k_plus_g), w::low(d)};
        b.step = {w::high(cutoff), w::high(ratio), w::high(g), w::high(k_plus_g), w::high(d)};
        ratio_ = b.step.ratio;
        g_ = b.step.g;
        k_plus_g_ = b.step.k_plus_g;
        d_ = b.step.d;
    }
}

// The same for a chunk whose every sample moved, in sets of two samples
// written side by side (as in stage_coefficients_in_quads()); what is left
// over goes in single pairs.
YAWP_AVX2 void FormantBank::stage_moving_coefficients_in_pairs(uint32_t n) {
    namespace w = lanes8;
    using w::F8;
    const F8 pi_over_fs = w::pair(pi_over_fs_, pi_over_fs_);
    const F8 ceiling = w::pair(prewarp_ceiling_, prewarp_ceiling_);
    constexpr int kSets = 4;
    const uint32_t whole = n / (2 * kSets) * (2 * kSets);
    for (uint32_t i = 0; i < whole; i += 2 * kSets) {
        Staged* st = staged_ + i;
        F8 cutoff[kSets], f[kSets], q[kSets], ratio[kSets], g[kSets], k_plus_g[kSets], d[kSets];
        for (int k = 0; k < kSets; ++k) {
            const Smoothed& a = st[2 * k].smoothed;
            const Smoothed& b = st[2 * k + 1].smoothed;
            cutoff[k] = w::pair(a.cutoff, b.cutoff);
            f[k] = w::pair(a.prewarp, b.prewarp);
            q[k] = w::pair(a.q, b.q);
        }
        for (int k = 0; k < kSets; ++k) f[k] = w::min(f[k], ceiling);
        for (int k = 0; k < kSets; ++k) ratio[k] = w::mul(w::tan_prewarp_below_nyquist(pi_over_fs, f[k]), w::reciprocal(f[k]));
        for (int k = 0; k < kSets; ++k) g[k] = w::mul(cutoff[k], ratio[k]);
        for (int k = 0; k < kSets; ++k) k_plus_g[k] = w::add(w::reciprocal(q[k]), g[k]);
        for (int k = 0; k < kSets; ++k) d[k] = w::reciprocal(w::add(w::splat(1.0f), w::mul(g[k], k_plus_g[k])));
        for (int k = 0; k < kSets; ++k) {
            st[2 * k].step = {w::low(cutoff[k]), w::low(ratio[k]), w::low(g[k]), w::low(k_plus_g[k]), w::low(d[k])};
            st[2 * k + 1].step = {w::high(cutoff[k]), w::high(ratio[k]), w::high(g[k]), w::high(k_plus_g[k]), w::high(d[k])};
        }
    }
    if (whole == n)
        keep_last_coefficients(n);
    else
        stage_coefficients_in_pairs(whole, n);
}

void FormantBank::keep_last_coefficients(uint32_t n) {
    const StepCoefficients& last = staged_[n - 1].step;
    ratio_ = last.ratio;
    g_ = last.g;
    k_plus_g_ = last.k_plus_g;
    d_ = last.d;
}

namespace {

// The smoothed values of four samples side by side, sixteen lanes each.
template <class Staged>
YAWP_AVX512 void gather_four(const Staged* st, lanes16::F16* cutoff, lanes16::F16* prewarp, lanes16::F16* q) {
    namespace w = lanes16;
    *cutoff = w::quad(st[0].smoothed.cutoff, st[1].smoothed.cutoff, st[2].smoothed.cutoff, st[3].smoothed.cutoff);
    *prewarp = w::quad(st[0].smoothed.prewarp, st[1].smoothed.prewarp, st[2].smoothed.prewarp, st[3].smoothed.prewarp);
    *q = w::quad(st[0].smoothed.q, st[1].smoothed.q, st[2].smoothed.q, st[3].smoothed.q);
}

}  // namespace

// The same on sixteen lanes, for a chunk whose every sample moved: eight
// samples per pass as two sets of four. The two sets' operations are
// written side by side (each line once per set), so that the processor
// always finds the other set's work to do while one waits on a long chain
// of dependent operations. What is left over after the last eight goes in
// pairs.
YAWP_AVX512 void FormantBank::stage_coefficients_in_quads(uint32_t n) {
    namespace w = lanes16;
    using w::F16;
    const F16 pi_over_fs = w::quad(pi_over_fs_);
    const F16 ceiling = w::quad(prewarp_ceiling_);
    constexpr int kSets = 2;
    const uint32_t whole = n / (4 * kSets) * (4 * kSets);
    for (uint32_t i = 0; i < whole; i += 4 * kSets) {
        Staged* st = staged_ + i;
        F16 cutoff[kSets], f[kSets], q[kSets], ratio[kSets], g[kSets], k_plus_g[kSets], d[kSets];
        for (int k = 0; k < kSets; ++k) gather_four(st + 4 * k, &cutoff[k], &f[k], &q[k]);
        for (int k = 0; k < kSets; ++k) f[k] = w::min(f[k], ceiling);
        for (int k = 0; k < kSets; ++k) ratio[k] = w::mul(w::tan_prewarp_below_nyquist(pi_over_fs, f[k]), w::reciprocal(f[k]));
        for (int k = 0; k < kSets; ++k) g[k] = w::mul(cutoff[k], ratio[k]);
        for (int k = 0; k < kSets; ++k) k_plus_g[k] = w::add(w::reciprocal(q[k]), g[k]);
        for (int k = 0; k < kSets; ++k) d[k] = w::reciprocal(w::add(w::splat(1.0f), w::mul(g[k], k_plus_g[k])));
        for (int k = 0; k < kSets; ++k) {
            Staged* four = st + 4 * k;
            four[0].step = {w::part<0>(cutoff[k]), w::part<0>(ratio[k]), w::part<0>(g[k]), w::part<0>(k_plus_g[k]), w::part<0>(d[k])};
            four[1].step = {w::part<1>(cutoff[k]), w::part<1>(ratio[k]), w::part<1>(g[k]), w::part<1>(k_plus_g[k]), w::part<1>(d[k])};
            four[2].step = {w::part<2>(cutoff[k]), w::part<2>(ratio[k]), w::part<2>(g[k]), w::part<2>(k_plus_g[k]), w::part<2>(d[k])};
            four[3].step = {w::part<3>(cutoff[k]), w::part<3>(ratio[k]), w::part<3>(g[k]), w::part<3>(k_plus_g[k]), w::part<3>(d[k])};
        }
    }
    if (whole == n)
        keep_last_coefficients(n);
    else
        stage_coefficients_in_pairs(whole, n);
}

void FormantBank::process(const float* x, const FormantTargets* targets, float* wet, uint32_t n, bool constant) {
    if (n == 0) return;
    prepare(targets, n, constant);
    Prepared filters = prepared();
    for (uint32_t i = 0; i < n; ++i) wet[i] = filters.step(i, x[i]);
    keep(filters);
}

void FormantBank::prepare(const FormantTargets* targets, uint32_t n, bool constant) {
    set_targets(targets[0]);
    if (constant && settled(smoothed_)) {
        staged_[0].step = current();
        all_steps_alike_ = true;
        return;
    }
    all_steps_alike_ = false;

    // The glides: serial, but short. Under moving targets every sample
    // counts as moved, which only costs coefficients that come out the
    // same.
    if (constant) {
        Smoothed s = smoothed_;
        for (uint32_t i = 0; i < n; ++i) {
            staged_[i].moved = glide(&s);
            staged_[i].smoothed = s;
        }
        smoothed_ = s;
    } else {
        wide_ ? glide_moving_in_pairs(targets, n) : glide_moving(targets, n);
        set_targets(targets[n - 1]);
        for (uint32_t i = 0; i < n; ++i) staged_[i].moved = true;
    }
    // The coefficients: independent from sample to sample.
    const Smoothed last = smoothed_;
    if (wider_ && !constant)
        stage_coefficients_in_quads(n);
    else if (wide_ && !constant)
        stage_moving_coefficients_in_pairs(n);
    else if (wide_)
        stage_coefficients_in_pairs(0, n);
    else
        stage_coefficients(n);
    smoothed_ = last;
}

}  // namespace yawp
