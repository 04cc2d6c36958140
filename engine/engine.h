// The effect engine of one plug-in instance: mono in, mono out, 32-bit
// floats, sample by sample.
//
// It knows nothing of plug-in formats, threads or state files. A wrapper
// drives it from one thread at a time:
//
//   initialise -> set_sample_rate + set_parameter(0..31) -> reset -> process...
//
// and again set_sample_rate (when the rate may have changed) and reset at the
// next activation. After construction the engine allocates nothing, takes no
// lock and makes no system call.
#pragma once

#include <cstdint>

#include "catalogue.h"
#include "envelope.h"
#include "formant_bank.h"
#include "lfo.h"
#include "one_pole.h"
#include "transport.h"
#include "vowel.h"

namespace yawp {

struct EngineOutputs {
    float mod_position;  // 0 to 100
    float lfo_phase;     // 0 to 1
    float lfo_output;    // nominally -1 to 1
    float env_output;    // signed, unbounded
};

class Engine {
public:
    void initialise();
    void set_sample_rate(float fs);
    void reset();

    // Plain value, already coerced by the caller. Indices above 31 are
    // ignored.
    void set_parameter(uint32_t index, float value);
    float get_parameter(uint32_t index) const;

    // The transport intake alone, for a block in which process does not run.
    void take_transport(const Transport& transport);

    // `in` and `out` may be the same buffer; n may be 0.
    void process(const float* in, float* out, uint32_t n, const Transport& transport);

    EngineOutputs outputs() const { return outputs_; }

    // Whether every state of the engine holds a finite value: filter
    // memories and glides, envelope detector, LFO, crossfades and outputs.
    // After any process call it does (see fault_guard.h); for tests and
    // fuzzers.
    bool state_is_finite() const;

private:
    struct TransportState {
        bool rolling;
        float tempo;
        float speed;
        float effective_speed;
        double pending_quarter_notes;  // negative: none
        bool pending;
    };

    void intake_transport(const Transport& t);
    void recompute_lfo_frequency();
    void resync_lfo();
    void process_chunk(const float* in, float* out, uint32_t n);
    const float* admit(const float* in, uint32_t n, float* buffer);
    void clear_faults(float* out, uint32_t n);
    bool modulation_pipelines() const;
    template <bool kSync>
    void process_modulated(const float* in, float* out, uint32_t n);
    template <bool kSync>
    void filter_and_modulate(const float* in, float* out, uint32_t n, const float* next_in, uint32_t next_n);
    void shape_moving_chunk(uint32_t n);
    bool modulation_idle() const;
    const FormantTargets& formants_at(float m);
    void process_steady_chunk(const float* in, float* out, uint32_t n);
    void process_moving_chunk(const float* in, float* out, uint32_t n);
    template <bool kBelowOneCycle>
    void modulate(const float* in, uint32_t n);
    template <bool kSync>
    void modulate_held(const float* in, uint32_t n);
    template <bool kSync>
    void modulate_sample(EnvelopeFollower* envelope, Lfo* lfo, float x, uint32_t i);
    template <bool kBelowOneCycle>
    void run_steady(const float* in, float* out, uint32_t n);
    template <bool kSync>
    void run_quiet(const float* in, float* out, uint32_t n);
    lanes::F4 finite_probe() const;
    void recover(float* out, uint32_t n);

    float K_ = 48000 * 0.15915494f;
    float T_ = 1.0f / 48000;

    float raw_[catalogue::kInputCount] = {};

    float position_ = 0.5f;
    VowelModel vowel_;
    // The formants of the last position, reused while neither the position
    // nor a shape changes: the same numbers, without three powers of two.
    FormantTargets formants_cache_{};
    float cached_position_ = -1.0f;
    bool shapes_changed_ = true;

    // Per-sample values of the chunk being processed. `admitted_` holds
    // the chunk's input when some sample of it had to be silenced, and the
    // next chunk's while that one is modulated ahead (process_modulated).
    float admitted_[2][FormantBank::kChunk];
    float chunk_env_[FormantBank::kChunk] = {};
    float chunk_phase_[FormantBank::kChunk] = {};
    float chunk_random_[FormantBank::kChunk] = {};
    float chunk_lfo_[FormantBank::kChunk] = {};
    float chunk_position_[FormantBank::kChunk] = {};
    FormantTargets chunk_formants_[FormantBank::kChunk];
    float chunk_wet_[FormantBank::kChunk];
    FormantBank formants_;
    Lfo lfo_;
    EnvelopeFollower envelope_;
    OnePole mix_;
    OnePole bypass_;
    TransportState transport_{};
    EngineOutputs outputs_{};
};

}  // namespace yawp
