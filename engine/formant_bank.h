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
    void process(const float* x, const Formants* targets, float* wet, uint32_t n, bool constant);

    void set_targets(const Formants& f) {
        cutoff_target_ = _mm_setr_ps(f.frequency[0], f.frequency[1], f.frequency[2], kIdleCutoff);
        q_target_ = _mm_setr_ps(f.q[0], f.q[1], f.q[2], kIdleQ);
    }
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
    static constexpr float kIdleCutoff = 1000.0f;
    static constexpr float kIdleQ = 0.5f;
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

    lanes::F4 prewarp_target() const;
    void update(bool forced);
    bool settled(const Smoothed& s) const;
    bool glide(Smoothed* s) const;
    void compute_coefficients();
    StepCoefficients current() const { return {smoothed_.cutoff, ratio_, g_, k_plus_g_, d_}; }
    static lanes::F4 filter_step(Memories* m, const StepCoefficients& c, float x);

    // Per-sample values of the current chunk.
    struct Staged {
        StepCoefficients step;
        Smoothed smoothed;
        bool moved;
    };
    Staged staged_[kChunk];

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

}  // namespace yawp
