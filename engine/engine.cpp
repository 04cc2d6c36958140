#include "engine.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "cpu_features.h"
#include "fault_guard.h"
#include "fp_mode.h"
#include "numeric.h"

namespace yawp {
namespace {

using namespace catalogue;

constexpr float kPercent = 0.01f;
constexpr float kLfoDepthScale = 0.005f;   // lfo_amount 100 % swings ±0.5
constexpr float kEnvDepthScale = 0.5f;     // env_amount 100 % gives depth 50
constexpr float kSkewMin = 0.001f;
constexpr float kSkewMax = 0.999f;
constexpr float kCyclesPerDegree = 0.0027777778f;
constexpr float kPerMinute = 0.016666668f;  // 1 / 60
constexpr float kSwitchOn = 0.5f;
constexpr float kCrossfadeTimeConstant = 0.05f;  // seconds, mix and bypass
constexpr float kDefaultTempo = 120.0f;
constexpr double kNoSongPosition = -1.0;
constexpr float kQuarterNoteUnit = 4.0f;

bool switched_on(float v) { return v >= kSwitchOn; }

float clamp(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }

}  // namespace

void Engine::initialise() {
    for (uint32_t i = 0; i < kInputCount; ++i) raw_[i] = static_cast<float>(entry(i)->def);

    const RangeEntry* attack = entry(kEnvAttack);
    const RangeEntry* release = entry(kEnvRelease);
    envelope_.initialise(static_cast<float>(attack->def), static_cast<float>(release->def));

    lfo_.initialise();

    const float crossfade = cutoff_of_time_constant(kCrossfadeTimeConstant);
    mix_.configure(crossfade, crossfade);
    mix_.target = 1.0f;
    bypass_.configure(crossfade, crossfade);
    bypass_.target = 1.0f;

    formants_.initialise();
    vowel_.wide = cpu_features::avx2();
    vowel_.wider = cpu_features::avx512();
    lfo_.wide = cpu_features::avx2();

    transport_ = {false, kDefaultTempo, 1.0f, 1.0f, kNoSongPosition, false};
}

void Engine::set_sample_rate(float fs) {
    K_ = fs * numeric::kInvTwoPi;
    T_ = 1.0f / fs;
    envelope_.detector.K = K_;
    lfo_.glide.K = K_;
    mix_.K = K_;
    bypass_.K = K_;
    formants_.set_sample_rate(fs, K_);
}

void Engine::reset() {
    envelope_.detector.refresh(true);
    lfo_.glide.refresh(true);
    mix_.refresh(true);
    bypass_.refresh(true);

    envelope_.detector.state = 0;
    lfo_.reset(T_);
    formants_.reset();
    mix_.state = mix_.target;
    bypass_.state = bypass_.target;

    transport_ = {false, kDefaultTempo, 1.0f, 1.0f, kNoSongPosition, true};
    outputs_ = {position_ * 100.0f, 0, 0, 0};
}

// [audio-thread] (and the activating thread, between blocks)
void Engine::set_parameter(uint32_t index, float value) {
    if (index >= kInputCount) return;
    raw_[index] = value;

    const uint32_t heel = kHeelJaw, mid = kMidJaw, toe = kToeJaw;
    if (index >= heel && index < toe + kShapeComponents) shapes_changed_ = true;
    if (index >= heel && index < heel + kShapeComponents) {
        vowel_.shapes[VowelModel::kHeel].component[index - heel] = value * kPercent;
        return;
    }
    if (index >= mid && index < mid + kShapeComponents) {
        vowel_.shapes[VowelModel::kMid].component[index - mid] = value * kPercent;
        return;
    }
    if (index >= toe && index < toe + kShapeComponents) {
        vowel_.shapes[VowelModel::kToe].component[index - toe] = value * kPercent;
        return;
    }

    switch (index) {
        case kPosition: position_ = value * kPercent; break;
        case kMix: mix_.target = value * kPercent; break;
        case kMidOn: vowel_.mid_on = switched_on(value); break;
        case kLfoOn: lfo_.gate = switched_on(value) ? 1.0f : 0.0f; break;
        case kLfoWaveform: lfo_.waveform = value; break;
        case kLfoAmount: lfo_.depth = value * kLfoDepthScale; break;
        case kLfoBias: lfo_.bias = value * kPercent; break;
        case kLfoSkew: lfo_.skew = clamp(value * kLfoDepthScale + 0.5f, kSkewMin, kSkewMax); break;
        case kLfoSync:
            lfo_.sync = switched_on(value);
            recompute_lfo_frequency();
            break;
        case kLfoFreeRate:
            lfo_.free_rate = value;
            recompute_lfo_frequency();
            break;
        case kLfoSyncRate: {
            // The caller has rounded and clamped; the clamp here only keeps a
            // careless caller from reading outside the table.
            int32_t i = static_cast<int32_t>(value) - 1;
            lfo_.sync_index = i < 0 ? 0 : (i >= kSyncRateCount ? kSyncRateCount - 1 : i);
            recompute_lfo_frequency();
            break;
        }
        case kLfoSyncPhase: lfo_.phase_offset = numeric::frac(value * kCyclesPerDegree); break;
        case kEnvOn: envelope_.gate = switched_on(value) ? 1.0f : 0.0f; break;
        case kEnvAmount: envelope_.depth = value * kEnvDepthScale; break;
        case kEnvAttack: envelope_.set_attack(value); break;
        case kEnvRelease: envelope_.set_release(value); break;
        case kBypass: bypass_.target = switched_on(value) ? 0.0f : 1.0f; break;
        default: break;
    }
}

// [any-thread] Callers serialise this with the audio thread themselves.
float Engine::get_parameter(uint32_t index) const {
    return index < kInputCount ? raw_[index] : 0.0f;
}

// A host's tempo and speed are each finite, but their product can still
// overflow; such a rate would poison the LFO phase, so the LFO keeps the
// rate it had.
void Engine::recompute_lfo_frequency() {
    if (lfo_.sync) {
        const float rate = sync_rate(lfo_.sync_index + 1);
        const float frequency = rate * kPerMinute * transport_.effective_speed * transport_.tempo;
        if (std::isfinite(frequency)) lfo_.frequency = frequency;
    } else {
        lfo_.frequency = lfo_.free_rate;
    }
}

// [audio-thread]
void Engine::take_transport(const Transport& t) {
    if (t.changed == 0 && !transport_.pending) return;
    transport_.pending = false;
    intake_transport(t);
}

// A host's time information is taken on trust except where a value would
// poison the LFO for good: a tempo, speed or song position that is not a
// finite number, and a beat unit of 0, are ignored.
void Engine::intake_transport(const Transport& t) {
    TransportState& s = transport_;
    if ((t.valid & kTransportSpeed) && std::isfinite(t.speed)) {
        s.speed = t.speed;
        s.rolling = (t.valid & kTransportRolling) ? t.rolling : (t.speed != 0);
    } else if (t.valid & kTransportRolling) {
        s.rolling = t.rolling;
    }
    if ((t.valid & kTransportTempo) && std::isfinite(t.tempo)) s.tempo = t.tempo;

    if (s.speed != 0)
        s.effective_speed = s.speed;
    else
        s.effective_speed = s.rolling ? 0.0f : 1.0f;
    recompute_lfo_frequency();

    if (!s.rolling) return;
    double q = kNoSongPosition;
    const bool unit = (t.valid & kTransportBeatUnit) && t.beat_unit != 0;
    const uint32_t bar_fields = kTransportBeatsPerBar | kTransportBeatUnit | kTransportBar | kTransportBarBeat;
    if (t.valid & kTransportQuarterNotes) {
        q = t.quarter_notes;
    } else if ((t.valid & kTransportBeat) && unit) {
        q = t.beat * kQuarterNoteUnit / t.beat_unit;
    } else if ((t.valid & bar_fields) == bar_fields && unit) {
        const float beats = static_cast<float>(t.bar) * t.beats_per_bar + t.bar_beat;
        q = static_cast<double>(beats) * kQuarterNoteUnit / t.beat_unit;
    }
    if (std::isfinite(q)) s.pending_quarter_notes = q;
}

void Engine::resync_lfo() {
    const double q = transport_.pending_quarter_notes;
    if (q >= 0 && lfo_.sync) lfo_.resync(q, sync_rate(lfo_.sync_index + 1));
    transport_.pending_quarter_notes = kNoSongPosition;
}

// [audio-thread]
void Engine::process(const float* in, float* out, uint32_t n, const Transport& transport) {
    DenormalsOff denormals_off;

    take_transport(transport);
    resync_lfo();
    envelope_.detector.refresh();
    lfo_.glide.refresh();
    mix_.refresh();
    bypass_.refresh();
    lfo_.update_increment(T_);

    if (n == 0) return;
    if (modulation_pipelines()) {
        lfo_.sync ? process_modulated<true>(in, out, n) : process_modulated<false>(in, out, n);
        return;
    }
    for (uint32_t done = 0; done < n;) {
        const uint32_t count = std::min(n - done, FormantBank::kChunk);
        process_chunk(in + done, out + done, count);
        done += count;
    }
}

// The mix and bypass crossfades over one chunk, on local copies (`out` may
// alias anything). A smoother that one step leaves bit for bit where it is
// stays there for the whole chunk (each step is the same target + c × 0),
// so its gain is a constant and its chain of dependent operations drops
// out of the sample loop.
struct Crossfades {
    OnePole mix, bypass;
    bool mix_still, bypass_still;

    Crossfades(const OnePole& m, const OnePole& b) : mix(m), bypass(b), mix_still(still(m)), bypass_still(still(b)) {}

    static bool still(OnePole p) {
        const uint32_t before = std::bit_cast<uint32_t>(p.state);
        return std::bit_cast<uint32_t>(p.step(p.target)) == before;
    }

    // [audio-thread] y = x + mix × (w − x); out = x + bypass × (y − x).
    float apply(float x, float w) {
        const float mix_gain = mix_still ? mix.state : mix.step(mix.target);
        const float y = x + mix_gain * (w - x);
        const float bypass_gain = bypass_still ? bypass.state : bypass.step(bypass.target);
        return x + bypass_gain * (y - x);
    }

    // [audio-thread] apply() over n samples; `out` may be `in`.
    void apply(const float* in, const float* wet, float* out, uint32_t n) {
        if (mix_still && bypass_still)
            apply_still(mix.state, bypass.state, in, wet, out, n);
        else
            for (uint32_t i = 0; i < n; ++i) out[i] = apply(in[i], wet[i]);
    }

    // With both gains constant the samples do not depend on each other, and
    // the compiler runs them side by side.
    static void apply_still(float mix_gain, float bypass_gain, const float* in, const float* wet, float* out, uint32_t n) {
        for (uint32_t i = 0; i < n; ++i) {
            const float x = in[i];
            const float y = x + mix_gain * (wet[i] - x);
            out[i] = x + bypass_gain * (y - x);
        }
    }
};

// The pedal position, clamped: max then min, so that a NaN sum lands on the
// heel.
static float clamp_position(float m) {
    m = m > 0.0f ? m : 0.0f;
    return m < 1.0f ? m : 1.0f;
}

// [audio-thread] Every sample runs the per-sample algorithm (modulation,
// vowel, filters, mix and bypass), but a chunk is processed in one of two
// ways that give the same numbers:
//
//   steady   nothing moves the pedal and the filters sit on their targets:
//            one loop runs the detector, the LFO phase, the filters and the
//            crossfades side by side, so their chains overlap.
//   moving   the stages run one after another over the whole chunk, so
//            that vowels and coefficients, which do not depend on each
//            other from sample to sample, are computed side by side.
//
// (While the LFO or the envelope moves the pedal, process() takes whole
// blocks through process_modulated() instead: moving chunks whose
// modulation runs a chunk ahead.)
//
// The output of a sample is written only after its input is read for the
// last time, so in-place buffers work.
void Engine::process_chunk(const float* in, float* out, uint32_t n) {
    in = admit(in, n, admitted_[0]);

    if (modulation_idle() && formants_.settled_on(formants_at(clamp_position(position_))))
        process_steady_chunk(in, out, n);
    else
        process_moving_chunk(in, out, n);

    clear_faults(out, n);
}

// [audio-thread] Samples that are not sound enter as silence: the chunk as
// it is, or a copy in `buffer` with 0 in their place.
const float* Engine::admit(const float* in, uint32_t n, float* buffer) {
    if (fault_guard::all_sound(in, n)) return in;
    fault_guard::silence_faults(in, buffer, n);
    return buffer;
}

// [audio-thread] With the input admitted nothing should overflow; if
// something did anyway, it is cleared before the next chunk.
void Engine::clear_faults(float* out, uint32_t n) {
    if (!fault_guard::clean(finite_probe())) recover(out, n);
}

// With both gates closed, the envelope term is detector × 0 × depth = ±0
// (the detector is finite, see fault_guard.h) and the LFO term is +0, so
// every sample's pedal position is clamp(p + ±0 + 0) = clamp(p).
bool Engine::modulation_idle() const { return envelope_.gate == 0.0f && lfo_.gate == 0.0f; }

// The formants of position m: the cached ones while neither the position
// nor a shape changed.
const FormantTargets& Engine::formants_at(float m) {
    if (shapes_changed_ || m != cached_position_) vowel_.targets_at(&m, &formants_cache_, 1);
    cached_position_ = m;
    shapes_changed_ = false;
    return formants_cache_;
}

// [audio-thread] The pedal stands at clamp(p) and the filters are settled:
// the detector and the LFO still move (their state and the random draws
// carry on), but only the meters read them.
void Engine::process_steady_chunk(const float* in, float* out, uint32_t n) {
    const Crossfades fades(mix_, bypass_);
    if (lfo_.below_one_cycle() && lfo_.rate_still() && fades.mix_still && fades.bypass_still)
        lfo_.sync ? run_quiet<true>(in, out, n) : run_quiet<false>(in, out, n);
    else if (lfo_.below_one_cycle())
        run_steady<true>(in, out, n);
    else
        run_steady<false>(in, out, n);
}

// With the LFO gate closed, output() is the phase with a term of +0.
template <bool kBelowOneCycle>
void Engine::run_steady(const float* in, float* out, uint32_t n) {
    EnvelopeFollower envelope = envelope_;
    Lfo lfo = lfo_;
    FormantBank::Steady filters = formants_.steady();
    Crossfades fades(mix_, bypass_);
    float phase = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const float x = in[i];
        envelope.detect(x);
        kBelowOneCycle ? lfo.advance_below_one_cycle() : lfo.advance();
        phase = kBelowOneCycle ? lfo.phase_below_one_cycle() : lfo.phase();
        out[i] = fades.apply(x, filters.step(x));
    }
    envelope_ = envelope;
    lfo_ = lfo;
    formants_.keep(filters);
    mix_.state = fades.mix.state;
    bypass_.state = fades.bypass.state;
    const float m = clamp_position(position_);
    outputs_ = {m * 100.0f, phase, 0.0f, envelope.term()};
}

// [audio-thread] run_steady<true>() when, besides the filters, only the
// detector and the LFO phase move: the LFO rate and both crossfades stand
// still, so their steps, which would give the same numbers every sample,
// are taken once. What is left is the session's most common loop, lean
// enough to keep every value in a register.
template <bool kSync>
void Engine::run_quiet(const float* in, float* out, uint32_t n) {
    EnvelopeFollower envelope = envelope_;
    Lfo lfo = lfo_;
    lfo.hold_increment();
    FormantBank::Steady filters = formants_.steady();
    const float mix = mix_.state;
    const float bypass = bypass_.state;
    float phase = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const float x = in[i];
        envelope.detect(x);
        lfo.advance_held();
        phase = lfo.phase_below_one_cycle<kSync>();
        const float y = x + mix * (filters.step(x) - x);
        out[i] = x + bypass * (y - x);
    }
    envelope_ = envelope;
    lfo_ = lfo;
    formants_.keep(filters);
    const float m = clamp_position(position_);
    outputs_ = {m * 100.0f, phase, 0.0f, envelope.term()};
}

// [audio-thread] The serial part of the modulation: detector, LFO phase and
// random draws, sample by sample.
template <bool kBelowOneCycle>
void Engine::modulate(const float* in, uint32_t n) {
    EnvelopeFollower envelope = envelope_;
    Lfo lfo = lfo_;
    for (uint32_t i = 0; i < n; ++i) {
        envelope.detect(in[i]);
        kBelowOneCycle ? lfo.advance_below_one_cycle() : lfo.advance();
        chunk_env_[i] = envelope.term();
        chunk_phase_[i] = kBelowOneCycle ? lfo.phase_below_one_cycle() : lfo.phase();
        chunk_random_[i] = lfo.random_value;
    }
    envelope_ = envelope;
    lfo_ = lfo;
}

// [audio-thread] modulate<true>() for a still LFO rate: the increment is
// taken once (as in run_quiet), and the synced/free choice made once.
template <bool kSync>
void Engine::modulate_held(const float* in, uint32_t n) {
    EnvelopeFollower envelope = envelope_;
    Lfo lfo = lfo_;
    lfo.hold_increment();
    for (uint32_t i = 0; i < n; ++i) modulate_sample<kSync>(&envelope, &lfo, in[i], i);
    envelope_ = envelope;
    lfo_ = lfo;
}

// [audio-thread] One sample of modulate_held(), into slot i of the chunk's
// modulation values.
template <bool kSync>
void Engine::modulate_sample(EnvelopeFollower* envelope, Lfo* lfo, float x, uint32_t i) {
    envelope->detect(x);
    lfo->advance_held();
    chunk_env_[i] = envelope->term();
    chunk_phase_[i] = lfo->phase_below_one_cycle<kSync>();
    chunk_random_[i] = lfo->random_value;
}

// [audio-thread] Each stage runs over the whole chunk before the next one:
// modulation, vowel, filters, then mix and bypass. Every sample still sees
// exactly the values the per-sample order gives it.
//
// The modulation of one sample is: detector step, LFO advance, envelope
// term, LFO output (phase, random draw, waveform, term), position
// clamp(p + envelope term + LFO term). Here the serial parts (detector, LFO
// phase and random draws) run first for the whole chunk, then the LFO
// waveform for several samples at a time (Lfo::terms, each lane the scalar
// output()), then the positions.
void Engine::process_moving_chunk(const float* in, float* out, uint32_t n) {
    if (lfo_.below_one_cycle() && lfo_.rate_still())
        lfo_.sync ? modulate_held<true>(in, n) : modulate_held<false>(in, n);
    else if (lfo_.below_one_cycle())
        modulate<true>(in, n);
    else
        modulate<false>(in, n);
    shape_moving_chunk(n);
    filter_and_modulate<false>(in, out, n, nullptr, 0);
}

// [audio-thread] What follows the serial modulation of a moving chunk, up
// to the filters themselves: the LFO terms, the pedal positions and the
// meters, then the vowels, and the filters' glides and coefficients.
void Engine::shape_moving_chunk(uint32_t n) {
    lfo_.terms(chunk_phase_, chunk_random_, chunk_lfo_, n);
    for (uint32_t i = 0; i < n; ++i) chunk_position_[i] = clamp_position(position_ + chunk_env_[i] + chunk_lfo_[i]);
    const uint32_t last = n - 1;
    outputs_ = {chunk_position_[last] * 100.0f, chunk_phase_[last], chunk_lfo_[last], chunk_env_[last]};

    // The vowel: one set of formants while the pedal stands still.
    bool constant = true;
    for (uint32_t i = 0; i < n; ++i) constant = constant && chunk_position_[i] == chunk_position_[0];
    if (constant) {
        formants_.prepare(&formants_at(chunk_position_[0]), n, true);
    } else {
        vowel_.targets_at(chunk_position_, chunk_formants_, n);
        formants_cache_ = chunk_formants_[n - 1];
        cached_position_ = chunk_position_[n - 1];
        shapes_changed_ = false;
        formants_.prepare(chunk_formants_, n, false);
    }
}

// Whether a block may take process_modulated(): the pedal moves (some
// gate is open), and the LFO rate stands still below a cycle per sample,
// the case modulate_held() covers.
bool Engine::modulation_pipelines() const {
    return !modulation_idle() && lfo_.below_one_cycle() && lfo_.rate_still();
}

// [audio-thread] A block whose modulation moves the pedal. Chunk by chunk
// it does what process_moving_chunk() does, in the same order for each
// chunk, but the serial modulation of the next chunk (detector, LFO phase,
// random draws: modulate_held()) runs inside this chunk's filter loop.
// That is the same work on the same values: a chunk's modulation depends
// only on its own admitted input and on the detector and LFO, which nothing
// else in the loop touches; and this chunk's modulation values have been
// used up by then. What it buys: the modulation's chains of dependent
// operations overlap the filters' instead of running after them, and the
// modulation costs next to nothing.
template <bool kSync>
void Engine::process_modulated(const float* in, float* out, uint32_t n) {
    uint32_t count = std::min(n, FormantBank::kChunk);
    int buffer = 0;
    const float* x = admit(in, count, admitted_[buffer]);
    modulate_held<kSync>(x, count);
    for (uint32_t done = 0; done < n;) {
        const uint32_t next_done = done + count;
        const uint32_t next_count = std::min(n - next_done, FormantBank::kChunk);
        const float* next_x = next_count ? admit(in + next_done, next_count, admitted_[1 - buffer]) : nullptr;

        shape_moving_chunk(count);
        filter_and_modulate<kSync>(x, out + done, count, next_x, next_count);
        clear_faults(out + done, count);

        done = next_done;
        count = next_count;
        x = next_x;
        buffer = 1 - buffer;
    }
}

// [audio-thread] The filters of a prepared chunk, with modulate_held() of
// the next chunk's first `next_n` samples (next_n <= n) side by side; then
// the crossfades. With next_n = 0 it is the filters and crossfades alone.
template <bool kSync>
void Engine::filter_and_modulate(const float* in, float* out, uint32_t n, const float* next_in, uint32_t next_n) {
    FormantBank::Prepared filters = formants_.prepared();
    EnvelopeFollower envelope = envelope_;
    Lfo lfo = lfo_;
    if (next_n > 0) lfo.hold_increment();
    for (uint32_t i = 0; i < n; ++i) {
        chunk_wet_[i] = filters.step(i, in[i]);
        if (i < next_n) modulate_sample<kSync>(&envelope, &lfo, next_in[i], i);
    }
    formants_.keep(filters);
    envelope_ = envelope;
    lfo_ = lfo;

    Crossfades fades(mix_, bypass_);
    fades.apply(in, chunk_wet_, out, n);
    mix_.state = fades.mix.state;
    bypass_.state = fades.bypass.state;
}

// [audio-thread] NaN in some lane when any state is not finite.
lanes::F4 Engine::finite_probe() const {
    using fault_guard::probe;
    const EngineOutputs& o = outputs_;
    const lanes::F4 scalars = probe(_mm_setr_ps(envelope_.detector.state, lfo_.accumulator, lfo_.glide.state, lfo_.random_value));
    const lanes::F4 fades = probe(_mm_setr_ps(mix_.state, bypass_.state, o.lfo_output, o.env_output));
    const lanes::F4 meters = probe(_mm_setr_ps(o.mod_position, o.lfo_phase, 0.0f, 0.0f));
    return lanes::add(lanes::add(formants_.finite_probe(), scalars), lanes::add(fades, meters));
}

bool Engine::state_is_finite() const { return fault_guard::clean(finite_probe()); }

// [audio-thread] Each state that is not finite goes back to what reset
// gives it; the others carry on, so a filter fault does not restart the
// LFO. The chunk's output samples that are not finite become silence.
void Engine::recover(float* out, uint32_t n) {
    using std::isfinite;
    formants_.recover();
    if (!isfinite(envelope_.detector.state)) envelope_.detector.state = 0;
    if (!isfinite(lfo_.accumulator)) lfo_.accumulator = 0;
    if (!isfinite(lfo_.glide.state)) lfo_.glide.state = lfo_.glide.target;
    lfo_.random_value = fault_guard::finite_or_zero(lfo_.random_value);
    if (!isfinite(mix_.state)) mix_.state = mix_.target;
    if (!isfinite(bypass_.state)) bypass_.state = bypass_.target;

    EngineOutputs& o = outputs_;
    if (!isfinite(o.mod_position)) o.mod_position = position_ * 100.0f;
    o.lfo_phase = fault_guard::finite_or_zero(o.lfo_phase);
    o.lfo_output = fault_guard::finite_or_zero(o.lfo_output);
    o.env_output = fault_guard::finite_or_zero(o.env_output);

    for (uint32_t i = 0; i < n; ++i) out[i] = fault_guard::finite_or_zero(out[i]);
}

}  // namespace yawp
