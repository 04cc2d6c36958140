#include "reference_wah.h"

#include <cmath>

namespace yawp::clap_test {
namespace {

namespace cat = catalogue;

constexpr uint32_t kRollingBits = kTransportRolling | kTransportSpeed;
constexpr uint32_t kTimelineBits = kTransportQuarterNotes | kTransportBar | kTransportBarBeat;
constexpr uint32_t kSignatureBits = kTransportBeatsPerBar | kTransportBeatUnit;
constexpr uint32_t kAllBits = kRollingBits | kTransportTempo | kTimelineBits | kSignatureBits | kTransportBeat;

// A field that went away is a change too.
void invalidate(Transport& t, uint32_t bits) {
    t.changed |= t.valid & bits;
    t.valid &= ~bits;
}

// A field now valid: changed when it was not, or when its value moved.
template <class T>
void take_field(Transport& t, uint32_t bit, T& field, T value) {
    if (!(t.valid & bit) || !(field == value)) t.changed |= bit;
    field = value;
    t.valid |= bit;
}

constexpr auto kBeat = static_cast<double>(CLAP_BEATTIME_FACTOR);

}  // namespace

void take_transport(Transport& t, const clap_event_transport* e) {
    if (e == nullptr) {
        invalidate(t, kAllBits);
        return;
    }
    const bool rolling = (e->flags & CLAP_TRANSPORT_IS_PLAYING) != 0;
    take_field(t, kTransportRolling, t.rolling, rolling);
    take_field(t, kTransportSpeed, t.speed, rolling ? 1.0f : 0.0f);

    if (e->flags & CLAP_TRANSPORT_HAS_TEMPO)
        take_field(t, kTransportTempo, t.tempo, static_cast<float>(e->tempo));
    else
        invalidate(t, kTransportTempo);

    if (e->flags & CLAP_TRANSPORT_HAS_BEATS_TIMELINE) {
        take_field(t, kTransportQuarterNotes, t.quarter_notes, static_cast<double>(e->song_pos_beats) / kBeat);
        take_field(t, kTransportBar, t.bar, static_cast<uint64_t>(e->bar_number));
        take_field(t, kTransportBarBeat, t.bar_beat,
                   static_cast<float>(static_cast<double>(e->song_pos_beats - e->bar_start) / kBeat));
    } else {
        invalidate(t, kTimelineBits);
    }

    if (e->flags & CLAP_TRANSPORT_HAS_TIME_SIGNATURE) {
        take_field(t, kTransportBeatsPerBar, t.beats_per_bar, static_cast<float>(e->tsig_num));
        take_field(t, kTransportBeatUnit, t.beat_unit, static_cast<uint32_t>(e->tsig_denom));
    } else {
        invalidate(t, kSignatureBits);
    }
}

ReferenceWah::ReferenceWah() {
    for (uint32_t i = 0; i < cat::kInputCount; ++i) base_[i] = static_cast<float>(cat::entry(i)->def);
}

void ReferenceWah::set_base(const float values[cat::kInputCount]) {
    for (uint32_t i = 0; i < cat::kInputCount; ++i) base_[i] = values[i];
}

void ReferenceWah::activate(float sample_rate) {
    engine.initialise();
    for (uint32_t i = 0; i < cat::kInputCount; ++i) send(i);
    engine.set_sample_rate(sample_rate);
    engine.reset();
    transport_ = Transport{};
}

void ReferenceWah::send(uint32_t index) {
    engine.set_parameter(index, static_cast<float>(cat::coerce(index, double{base_[index]} + double{mod_[index]})));
}

void ReferenceWah::apply(const clap_event_header* e) {
    if (e->space_id != CLAP_CORE_EVENT_SPACE_ID) return;
    if (e->type == CLAP_EVENT_TRANSPORT) {
        take_transport(transport_, reinterpret_cast<const clap_event_transport*>(e));
        return;
    }
    if (e->type == CLAP_EVENT_PARAM_VALUE) {
        const auto* v = reinterpret_cast<const clap_event_param_value*>(e);
        if (v->param_id >= cat::kInputCount || std::isnan(v->value)) return;
        base_[v->param_id] = static_cast<float>(cat::coerce(v->param_id, v->value));
        send(v->param_id);
    } else if (e->type == CLAP_EVENT_PARAM_MOD) {
        const auto* m = reinterpret_cast<const clap_event_param_mod*>(e);
        if (m->param_id >= cat::kInputCount || std::isnan(m->amount)) return;
        mod_[m->param_id] = static_cast<float>(m->amount);
        send(m->param_id);
    }
}

void ReferenceWah::process(const float* in, float* out, uint32_t frames, const BlockEvents& events) {
    transport_.changed = 0;
    take_transport(transport_, events.transport);
    const uint32_t count = events.in ? events.in->size() : 0;
    uint32_t next = 0;
    if (frames == 0) {
        for (; next < count; ++next) apply(events.in->get(next));
        engine.take_transport(transport_);
        return;
    }
    for (uint32_t at = 0; at < frames;) {
        for (; next < count && events.in->get(next)->time <= at; ++next) apply(events.in->get(next));
        uint32_t end = frames;
        if (next < count && events.in->get(next)->time < frames) end = events.in->get(next)->time;
        engine.process(in + at, out + at, end - at, transport_);
        transport_.changed = 0;
        at = end;
    }
}

}  // namespace yawp::clap_test
