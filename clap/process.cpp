// The audio path. Each block: a restored state waiting under the guard, the
// editor's gestures (out to the host as gesture and value events), then
// the engine, run between the times of the host's events, so that each
// value and modulation amount takes effect at its own sample. The engine
// smooths its parameters sample by sample, so cutting a block at an event
// loses nothing; with no events the block runs whole.
#include "clap/process.h"

#include <algorithm>
#include <cmath>

#include "clap/modulation.h"
#include "clap/plugin.h"
#include "clap/transport.h"
#include "engine/fp_mode.h"

namespace yawp::clap {

namespace cat = catalogue;

// The first channel of the host's first input and output port, in whichever
// sample size the host gave each.
struct AudioSpan {
    const float* in32 = nullptr;
    const double* in64 = nullptr;
    float* out32 = nullptr;
    double* out64 = nullptr;

    bool has_output() const { return out32 != nullptr || out64 != nullptr; }
    bool all_32_bit() const { return out32 != nullptr && in64 == nullptr; }
};

namespace {

bool has_channel(const clap_audio_buffer* ports, uint32_t count) {
    return ports != nullptr && count > 0 && ports[0].channel_count > 0;
}

AudioSpan audio_of(const clap_process& p) {
    AudioSpan a;
    if (has_channel(p.audio_inputs, p.audio_inputs_count)) {
        const clap_audio_buffer& in = p.audio_inputs[0];
        if (in.data32 != nullptr)
            a.in32 = in.data32[0];
        else if (in.data64 != nullptr)
            a.in64 = in.data64[0];
    }
    if (has_channel(p.audio_outputs, p.audio_outputs_count)) {
        const clap_audio_buffer& out = p.audio_outputs[0];
        if (out.data32 != nullptr)
            a.out32 = out.data32[0];
        else if (out.data64 != nullptr)
            a.out64 = out.data64[0];
    }
    return a;
}

// [audio-thread] Zeros into every output channel but the one we fill: a
// host that offers more than it was told of still hears nothing there.
void silence_other_outputs(const clap_process& p, const AudioSpan& a) {
    for (uint32_t port = 0; p.audio_outputs != nullptr && port < p.audio_outputs_count; ++port) {
        const clap_audio_buffer& b = p.audio_outputs[port];
        for (uint32_t c = 0; c < b.channel_count; ++c) {
            float* f = b.data32 != nullptr ? b.data32[c] : nullptr;
            double* d = b.data32 == nullptr && b.data64 != nullptr ? b.data64[c] : nullptr;
            if (f != nullptr && f != a.out32) std::fill(f, f + p.frames_count, 0.0f);
            if (d != nullptr && d != a.out64) std::fill(d, d + p.frames_count, 0.0);
        }
    }
}

void push(const clap_output_events* out, const clap_event_header* event) {
    if (out != nullptr) out->try_push(out, event);
}

clap_event_header header_of(uint16_t type, uint32_t size) {
    return {size, 0, CLAP_CORE_EVENT_SPACE_ID, type, 0};
}

void push_gesture_mark(const clap_output_events* out, uint16_t type, uint32_t index) {
    const clap_event_param_gesture e{header_of(type, sizeof(clap_event_param_gesture)), index};
    push(out, &e.header);
}

void push_value(const clap_output_events* out, uint32_t index, float value) {
    const clap_event_param_value e{
        header_of(CLAP_EVENT_PARAM_VALUE, sizeof(clap_event_param_value)), index, nullptr, -1, -1, -1, -1, value};
    push(out, &e.header);
}

}  // namespace

// [audio-thread] A restore parked by a state call wins over the host's
// values so far. The guard is only tried: while a state call holds it, the
// restore waits for the next block.
void Plugin::take_pending_state() {
    if (!guard_.try_take()) return;
    if (state_pending_) {
        for (uint32_t i = 0; i < cat::kInputCount; ++i) {
            base_[i] = pending_[i];
            engine_.set_parameter(i, modulated(i, base_[i], mod_[i]));
        }
        unpublished_ = 0;  // the state call showed its values itself
        state_pending_ = false;
    }
    guard_.release();
}

// [audio-thread] Each gesture carries its value: a begin and an end are
// sent with it, like the other formats' begin-perform and perform-end.
void Plugin::send_gestures(const clap_output_events* out) {
    Gesture g;
    while (gestures_.pop(&g)) {
        apply_value(g.index, g.value);
        if (g.kind == Gesture::kBegin) push_gesture_mark(out, CLAP_EVENT_PARAM_GESTURE_BEGIN, g.index);
        push_value(out, g.index, g.value);
        if (g.kind == Gesture::kEnd) push_gesture_mark(out, CLAP_EVENT_PARAM_GESTURE_END, g.index);
    }
}

// [audio-thread] A NaN would reach the engine unclamped and make every
// later save fail; an unknown id is not ours.
void Plugin::apply_value(uint32_t index, double value) {
    if (index >= cat::kInputCount || std::isnan(value)) return;
    base_[index] = static_cast<float>(cat::coerce(index, value));
    unpublished_ |= 1u << index;
    engine_.set_parameter(index, modulated(index, base_[index], mod_[index]));
}

// [audio-thread] Amounts for parameters that take no modulation are
// ignored, like amounts that are not finite numbers.
void Plugin::apply_modulation(uint32_t index, double amount) {
    if (index >= cat::kInputCount || !is_modulatable(index) || !std::isfinite(amount)) return;
    mod_[index] = static_cast<float>(amount);
    engine_.set_parameter(index, modulated(index, base_[index], mod_[index]));
}

// [audio-thread] Events of other spaces, and of types an effect has no
// use for (notes, MIDI), are skipped.
void Plugin::apply_event(const clap_event_header* h) {
    if (h == nullptr || h->space_id != CLAP_CORE_EVENT_SPACE_ID) return;
    switch (h->type) {
        case CLAP_EVENT_PARAM_VALUE:
            if (h->size >= sizeof(clap_event_param_value)) {
                const auto* e = reinterpret_cast<const clap_event_param_value*>(h);
                apply_value(e->param_id, e->value);
            }
            break;
        case CLAP_EVENT_PARAM_MOD:
            if (h->size >= sizeof(clap_event_param_mod)) {
                const auto* e = reinterpret_cast<const clap_event_param_mod*>(h);
                apply_modulation(e->param_id, e->amount);
            }
            break;
        case CLAP_EVENT_TRANSPORT:
            if (h->size >= sizeof(clap_event_transport))
                take_transport(transport_, reinterpret_cast<const clap_event_transport*>(h));
            break;
        default:
            break;
    }
}

// [audio-thread] The engine hears of a transport change once: its first
// run of a block sees the changed bits, later runs of the same block none.
void Plugin::run_engine(const float* in, float* out, uint32_t n) {
    engine_.process(in, out, n, transport_);
    transport_.changed = 0;
}

// [audio-thread] Samples `from` to `to` of the block. 32-bit buffers go to
// the engine as they are (in place when the host gave one buffer); 64-bit
// ones through the conversion buffer, in parts no longer than it. A
// missing input is heard as silence; with no output the engine only takes
// the time information.
void Plugin::run_span(const AudioSpan& a, uint32_t from, uint32_t to) {
    if (!a.has_output()) {
        engine_.take_transport(transport_);
        transport_.changed = 0;
        return;
    }
    if (a.all_32_bit()) {
        const float* in = a.in32 != nullptr ? a.in32 + from : a.out32 + from;
        if (a.in32 == nullptr) std::fill(a.out32 + from, a.out32 + to, 0.0f);
        run_engine(in, a.out32 + from, to - from);
        return;
    }
    for (uint32_t at = from; at < to;) {
        const uint32_t n = std::min(to - at, convert_frames_);
        for (uint32_t i = 0; i < n; ++i)
            convert_[i] = a.in32 != nullptr   ? a.in32[at + i]
                          : a.in64 != nullptr ? static_cast<float>(a.in64[at + i])
                                              : 0.0f;
        run_engine(convert_, convert_, n);
        for (uint32_t i = 0; i < n; ++i) {
            if (a.out32 != nullptr)
                a.out32[at + i] = convert_[i];
            else
                a.out64[at + i] = convert_[i];
        }
        at += n;
    }
}

// [audio-thread] The per-sample algorithm is the engine's own; this only
// cuts the block where the host's events fall. An event's time past the
// block's end counts as its end, and one earlier than the event before it
// takes effect where that one did (CLAP sends them in order).
void Plugin::run_block(const clap_process& p) {
    const uint32_t n = p.frames_count;
    const AudioSpan audio = audio_of(p);
    silence_other_outputs(p, audio);
    const clap_input_events* events = p.in_events;
    const uint32_t count = events != nullptr ? events->size(events) : 0;
    uint32_t at = 0;
    for (uint32_t e = 0; e < count; ++e) {
        const clap_event_header* h = events->get(events, e);
        if (h == nullptr) continue;
        const uint32_t time = std::min(h->time, n);
        if (time > at) {
            run_span(audio, at, time);
            at = time;
        }
        apply_event(h);
    }
    if (at < n) {
        run_span(audio, at, n);
    } else if (n == 0) {
        engine_.take_transport(transport_);
        transport_.changed = 0;
    }
}

// [audio-thread] Only inputs that moved, and only while no restore waits:
// the state call shows its own values, which an older base must not
// overwrite. A state call that holds the guard now leaves them for the
// next block.
void Plugin::publish_inputs() {
    if (unpublished_ == 0 || !guard_.try_take()) return;
    if (!state_pending_) {
        for (uint32_t i = 0; i < cat::kInputCount; ++i)
            if (unpublished_ & (1u << i)) published_[i].store(base_[i], std::memory_order_relaxed);
        unpublished_ = 0;
    }
    guard_.release();
}

// [audio-thread] The meters as a host would be shown them: finite, within
// their ranges.
void Plugin::publish_outputs() {
    const EngineOutputs o = engine_.outputs();
    const float raw[cat::kOutputCount] = {o.mod_position, o.lfo_phase, o.lfo_output, o.env_output};
    for (uint32_t k = 0; k < cat::kOutputCount; ++k) {
        const uint32_t index = cat::kInputCount + k;
        published_[index].store(cat::meter_for_host(index, raw[k]), std::memory_order_relaxed);
    }
}

clap_process_status ProcessCalls::process(const clap_plugin* plugin, const clap_process* process) {
    Plugin* self = Plugin::of(plugin);
    if (process == nullptr || !self->active_) return CLAP_PROCESS_ERROR;
    DenormalsOff denormals_off;
    self->take_pending_state();
    self->send_gestures(process->out_events);
    self->transport_.changed = 0;
    take_transport(self->transport_, process->transport);
    self->run_block(*process);
    self->publish_inputs();
    self->publish_outputs();
    return CLAP_PROCESS_CONTINUE;
}

// Values without audio: the same steps as a block of no samples, without
// the transport.
void ProcessCalls::flush(const clap_plugin* plugin, const clap_input_events* in, const clap_output_events* out) {
    Plugin* self = Plugin::of(plugin);
    self->take_pending_state();
    self->send_gestures(out);
    const uint32_t count = in != nullptr ? in->size(in) : 0;
    for (uint32_t e = 0; e < count; ++e) {
        const clap_event_header* h = in->get(in, e);
        if (h != nullptr && h->type != CLAP_EVENT_TRANSPORT) self->apply_event(h);
    }
    self->publish_inputs();
}

}  // namespace yawp::clap
