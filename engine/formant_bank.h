// The three formant filters: state-variable band-pass filters in
// trapezoidal form, all fed the same input, whose cutoff and Q glide toward
// their targets with a 5 ms one-pole smoother. A band-pass output has a gain
// of Q at its centre frequency; nothing normalises it, which is what gives
// the vowel its bite.
//
// The filters run side by side in the lanes of one SSE register (the fourth
// lane idles), each lane doing exactly what one scalar filter would.
#pragma once

#include "lanes.h"
#include "vowel.h"

namespace yawp {

struct BandOutputs {
    float band[3];
};

class FormantBank {
public:
    void initialise();
    void set_sample_rate(float fs, float K);
    void reset();

    // [audio-thread] The guard against faults: a probe that is NaN in some
    // lane when a memory or a smoothed value is not finite, and the
    // recovery, which resets the bank when its probe says so.
    lanes::F4 finite_probe() const;
    void recover();

    // Samples handled per pass of process(); the engine feeds blocks in
    // pieces of at most this size.
    static constexpr uint32_t kChunk = 64;

    // [audio-thread] For each of n samples (n <= kChunk): new targets, the
    // coefficient glide, one step of each filter and the weighted sum of
    // the band-pass outputs, written to wet[i]. The same numbers as doing
    // it all per sample, but staged: the coefficients of a whole chunk
    // (tangents, reciprocals) do not depend on each other, so the processor
    // overlaps them; only the glides and the filter memories run serially.
    // `constant` says that all n samples share targets[0] (and only that
    // one is read): when the filters already sit on it, nothing needs
    // gliding or recomputing.
    void process(const float* x, const FormantTargets* targets, float* wet, uint32_t n, bool constant);

    // [audio-thread] process() in two halves, for a caller that runs the
    // filters in its own sample loop: prepare() glides and computes the
    // coefficients of n samples (n >= 1), and the Prepared value steps the
    // filters through them, to be taken back with keep().
    void prepare(const FormantTargets* targets, uint32_t n, bool constant);
    class Prepared;
    Prepared prepared() const;
    void keep(const Prepared& p);

    // Whether the filters sit exactly on the targets of `f` (which become
    // their targets) and their last step already ran on them: nothing then
    // glides, and every coefficient, including the cutoff the memories
    // carry from the step before, stands.
    bool settled_on(const FormantTargets& f) {
        set_targets(f);
        return settled(smoothed_) && same_bits(memories_.previous_cutoff, smoothed_.cutoff);
    }

    class Steady;
    // [audio-thread] While settled: the filters as a value the caller runs
    // in its own sample loop (so that their chain overlaps the caller's
    // chains), and takes back afterwards.
    Steady steady() const;
    void keep(const Steady& s);

    void set_targets(const FormantTargets& f) {
        cutoff_target_ = _mm_load_ps(f.cutoff);
        q_target_ = _mm_load_ps(f.q);
    }
    void set_targets(const Formants& f) { set_targets(FormantTargets::of(f)); }
    // One sample at a time, for tests: the glide and coefficients, then one
    // step of the filters.
    void update_coefficients() { update(false); }
    BandOutputs step(float x);

    // For tests: the smoothed values and coefficients of filter i.
    float cutoff(int i) const { return lane(smoothed_.cutoff, i); }
    float q(int i) const { return lane(smoothed_.q, i); }
    float ratio(int i) const { return lane(ratio_, i); }
    float g(int i) const { return lane(g_, i); }

private:
    static float lane(lanes::F4 v, int i) {
        alignas(16) float f[4];
        _mm_store_ps(f, v);
        return f[i];
    }
    // The values that glide toward the targets.
    struct Smoothed {
        lanes::F4 cutoff, prewarp, q;
    };
    // What one filter step needs.
    struct StepCoefficients {
        lanes::F4 cutoff, ratio, g, k_plus_g, d;
    };
    // The filters' memories: last outputs and the previous smoothed cutoff.
    struct Memories {
        lanes::F4 hp, lp, bp, previous_cutoff;
    };

    static float weighted_sum(lanes::F4 bands);
    static bool same_bits(lanes::F4 a, lanes::F4 b) {
        const __m128i ne = _mm_xor_si128(_mm_castps_si128(a), _mm_castps_si128(b));
        return _mm_movemask_epi8(_mm_cmpeq_epi32(ne, _mm_setzero_si128())) == 0xFFFF;
    }

    static lanes::F4 prewarp_of(lanes::F4 cutoff_target);
    lanes::F4 prewarp_target() const;
    void update(bool forced);
    bool settled(const Smoothed& s) const;
    bool glide(Smoothed* s) const;
    Smoothed glided(const Smoothed& s, lanes::F4 cutoff_target, lanes::F4 q_target) const;
    void glide_moving(const FormantTargets* targets, uint32_t n);
    void glide_moving_in_pairs(const FormantTargets* targets, uint32_t n);
    void compute_coefficients();
    void stage_coefficients(uint32_t n);
    void stage_coefficients_in_pairs(uint32_t from, uint32_t n);
    void stage_coefficients_in_quads(uint32_t n);
    void stage_moving_coefficients_in_pairs(uint32_t n);
    void keep_last_coefficients(uint32_t n);
    StepCoefficients current() const { return {smoothed_.cutoff, ratio_, g_, k_plus_g_, d_}; }
    static lanes::F4 filter_step(Memories* m, const StepCoefficients& c, float x);

    // Per-sample values of the current chunk.
    struct Staged {
        StepCoefficients step;
        Smoothed smoothed;
        bool moved;
    };
    Staged staged_[kChunk];
    bool all_steps_alike_ = false;  // staged_[0].step holds every sample's
    bool wide_ = false;   // the AVX2 paths may run
    bool wider_ = false;  // the AVX-512 paths may run

    // Smoothing: the rise coefficient and the snap threshold squared.
    lanes::F4 glide_ = {};
    lanes::F4 snap_sq_ = {};

    Smoothed smoothed_ = {};

    // Rate constants.
    lanes::F4 pi_over_fs_ = {};
    lanes::F4 prewarp_ceiling_ = {};

    // Coefficients.
    lanes::F4 ratio_ = {};  // tan(π f / fs) / f
    lanes::F4 g_ = {};
    lanes::F4 k_plus_g_ = {};
    lanes::F4 d_ = {};

    // Targets.
    lanes::F4 cutoff_target_ = {};
    lanes::F4 q_target_ = {};

    Memories memories_ = {};
};

// The settled filters: constant coefficients, memories in registers. The
// memories' previous cutoff is the cutoff itself (see settled_on), so the
// first product of filter_step(), ratio × previous cutoff, is the same
// number every sample and is taken once.
class FormantBank::Steady {
public:
    // [audio-thread] filter_step() and the wet sum.
    float step(float x) {
        using namespace lanes;
        Memories& m = memories_;
        const StepCoefficients& c = coefficients_;
        const F4 lp1 = add(m.lp, mul(kk_, m.bp));
        const F4 bp1 = add(m.bp, mul(kk_, m.hp));
        const F4 hp = mul(sub(sub(splat(x), mul(c.k_plus_g, bp1)), lp1), c.d);
        const F4 bp = add(bp1, mul(c.g, hp));
        m.lp = add(lp1, mul(c.g, bp));
        m.hp = hp;
        m.bp = bp;
        return weighted_sum(bp);
    }

private:
    friend class FormantBank;
    Steady(const Memories& m, const StepCoefficients& c)
        : memories_(m), coefficients_(c), kk_(lanes::mul(c.ratio, m.previous_cutoff)) {}
    Memories memories_;
    StepCoefficients coefficients_;
    lanes::F4 kk_;
};

// The filters over a prepared chunk: sample i steps with its staged
// coefficients (all of them with the first's when they are alike).
class FormantBank::Prepared {
public:
    // [audio-thread] One step of the three filters and the wet sum.
    float step(uint32_t i, float x) { return weighted_sum(filter_step(&memories_, staged_[i & index_mask_].step, x)); }

private:
    friend class FormantBank;
    Prepared(const Memories& m, const Staged* staged, bool alike)
        : memories_(m), staged_(staged), index_mask_(alike ? 0u : ~0u) {}
    Memories memories_;
    const Staged* staged_;
    uint32_t index_mask_;
};

inline FormantBank::Prepared FormantBank::prepared() const { return {memories_, staged_, all_steps_alike_}; }
inline void FormantBank::keep(const Prepared& p) { memories_ = p.memories_; }

inline FormantBank::Steady FormantBank::steady() const { return {memories_, current()}; }
inline void FormantBank::keep(const Steady& s) { memories_ = s.memories_; }

// [audio-thread] One step of the three filters; returns their band-pass
// outputs. Works on the caller's copy of the memories, which stays in
// registers across a loop (a store through a float pointer could otherwise
// alias them).
inline lanes::F4 FormantBank::filter_step(Memories* m, const StepCoefficients& c, float x) {
    using namespace lanes;
    const F4 kk = mul(c.ratio, m->previous_cutoff);
    const F4 lp1 = add(m->lp, mul(kk, m->bp));
    const F4 bp1 = add(m->bp, mul(kk, m->hp));
    const F4 hp = mul(sub(sub(splat(x), mul(c.k_plus_g, bp1)), lp1), c.d);
    const F4 bp = add(bp1, mul(c.g, hp));
    m->lp = add(lp1, mul(c.g, bp));
    m->hp = hp;
    m->bp = bp;
    m->previous_cutoff = c.cutoff;
    return bp;
}

// The wet signal: the band-pass outputs weighted by their formant gains,
// summed from the first formant on.
inline float FormantBank::weighted_sum(lanes::F4 bands) {
    const lanes::F4 w = lanes::mul(_mm_setr_ps(kFormantGain[0], kFormantGain[1], kFormantGain[2], 0.0f), bands);
    const float w0 = _mm_cvtss_f32(w);
    const float w1 = _mm_cvtss_f32(_mm_shuffle_ps(w, w, _MM_SHUFFLE(1, 1, 1, 1)));
    const float w2 = _mm_cvtss_f32(_mm_movehl_ps(w, w));
    return 0.0f + w0 + w1 + w2;
}

}  // namespace yawp
