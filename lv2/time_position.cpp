#include "time_position.h"

#include <cstring>

#include <lv2/atom/util.h>
#include <lv2/time/time.h>

namespace yawp::lv2 {
namespace {

// What the block's position objects carried, last one winning.
struct Received {
    uint32_t fields = 0;  // transport bits
    float speed = 0;
    float tempo = 0;
    double beat = 0;
    float beats_per_bar = 0;
    uint32_t beat_unit = 0;
    uint64_t bar = 0;
    float bar_beat = 0;
};

// A property's value as a double. Hosts send these as Float, Double, Int or
// Long atoms; each is read by its own type. An atom of any other type is
// read as raw bytes of the expected width, and one too small to hold them
// is not read at all.
bool number_of(const LV2_Atom* a, const TimeUrids& u, size_t raw_width, bool raw_is_float, double* out) {
    if (a == nullptr) return false;
    const void* body = LV2_ATOM_BODY_CONST(a);
    if (a->type == u.atom_float && a->size >= sizeof(float)) {
        float v;
        std::memcpy(&v, body, sizeof v);
        *out = v;
    } else if (a->type == u.atom_double && a->size >= sizeof(double)) {
        double v;
        std::memcpy(&v, body, sizeof v);
        *out = v;
    } else if (a->type == u.atom_int && a->size >= sizeof(int32_t)) {
        int32_t v;
        std::memcpy(&v, body, sizeof v);
        *out = v;
    } else if (a->type == u.atom_long && a->size >= sizeof(int64_t)) {
        int64_t v;
        std::memcpy(&v, body, sizeof v);
        *out = static_cast<double>(v);
    } else if (a->size >= raw_width) {
        if (raw_width == sizeof(float) && raw_is_float) {
            float v;
            std::memcpy(&v, body, sizeof v);
            *out = v;
        } else if (raw_width == sizeof(double) && raw_is_float) {
            double v;
            std::memcpy(&v, body, sizeof v);
            *out = v;
        } else if (raw_width == sizeof(int32_t)) {
            int32_t v;
            std::memcpy(&v, body, sizeof v);
            *out = v;
        } else {
            int64_t v;
            std::memcpy(&v, body, sizeof v);
            *out = static_cast<double>(v);
        }
    } else {
        return false;
    }
    return true;
}

void read_position(const LV2_Atom_Object* obj, const TimeUrids& u, Received* r) {
    const LV2_Atom* speed = nullptr;
    const LV2_Atom* bpm = nullptr;
    const LV2_Atom* beat = nullptr;
    const LV2_Atom* bpb = nullptr;
    const LV2_Atom* unit = nullptr;
    const LV2_Atom* bar = nullptr;
    const LV2_Atom* bar_beat = nullptr;
    lv2_atom_object_get(obj, u.speed, &speed, u.beats_per_minute, &bpm, u.beat, &beat, u.beats_per_bar, &bpb,
                        u.beat_unit, &unit, u.bar, &bar, u.bar_beat, &bar_beat, 0);
    double v;
    if (number_of(speed, u, 4, true, &v)) r->fields |= kTransportSpeed, r->speed = static_cast<float>(v);
    if (number_of(bpm, u, 4, true, &v)) r->fields |= kTransportTempo, r->tempo = static_cast<float>(v);
    if (number_of(beat, u, 8, true, &v)) r->fields |= kTransportBeat, r->beat = v;
    if (number_of(bpb, u, 4, true, &v)) r->fields |= kTransportBeatsPerBar, r->beats_per_bar = static_cast<float>(v);
    if (number_of(unit, u, 4, false, &v)) r->fields |= kTransportBeatUnit, r->beat_unit = static_cast<uint32_t>(static_cast<int64_t>(v));
    if (number_of(bar, u, 8, false, &v)) r->fields |= kTransportBar, r->bar = static_cast<uint64_t>(static_cast<int64_t>(v));
    if (number_of(bar_beat, u, 4, true, &v)) r->fields |= kTransportBarBeat, r->bar_beat = static_cast<float>(v);
}

// Stores a received value when it is new or differs; NaN always differs.
template <typename T>
void take_field(Transport* t, uint32_t bit, T* field, T value) {
    if (!(t->valid & bit) || !(*field == value)) {
        t->changed |= bit;
        t->valid |= bit;
        *field = value;
    }
}

// Song position is known only in blocks that carry it.
void forget_field(Transport* t, uint32_t bit) {
    if (t->valid & bit) {
        t->changed |= bit;
        t->valid &= ~bit;
    }
}

void take_speed(Transport* t, float speed) {
    const bool was_valid = t->valid & kTransportSpeed;
    if (was_valid && t->speed == speed) return;
    t->changed |= kTransportSpeed;
    if (!was_valid || t->speed * speed == 0) t->changed |= kTransportRolling;
    t->valid |= kTransportRolling | kTransportSpeed;
    t->rolling = speed != 0;
    t->speed = speed;
}

}  // namespace

void TimeUrids::map_all(LV2_URID_Map* m) {
    auto id = [m](const char* uri) { return m->map(m->handle, uri); };
    atom_blank = id(LV2_ATOM__Blank);
    atom_object = id(LV2_ATOM__Object);
    atom_int = id(LV2_ATOM__Int);
    atom_long = id(LV2_ATOM__Long);
    atom_float = id(LV2_ATOM__Float);
    atom_double = id(LV2_ATOM__Double);
    position = id(LV2_TIME__Position);
    speed = id(LV2_TIME__speed);
    beats_per_minute = id(LV2_TIME__beatsPerMinute);
    beat = id(LV2_TIME__beat);
    beats_per_bar = id(LV2_TIME__beatsPerBar);
    beat_unit = id(LV2_TIME__beatUnit);
    bar = id(LV2_TIME__bar);
    bar_beat = id(LV2_TIME__barBeat);
}

// [audio-thread]
void take_time_position(const LV2_Atom_Sequence* events, const TimeUrids& u, Transport* t) {
    t->changed = 0;
    Received r;
    if (events != nullptr && events->atom.size > sizeof(LV2_Atom_Sequence_Body)) {
        LV2_ATOM_SEQUENCE_FOREACH(events, ev) {
            const LV2_Atom& body = ev->body;
            if (body.type != u.atom_object && body.type != u.atom_blank) continue;
            if (body.size < sizeof(LV2_Atom_Object_Body)) continue;
            const auto* obj = reinterpret_cast<const LV2_Atom_Object*>(&ev->body);
            if (obj->body.otype != u.position) continue;
            read_position(obj, u, &r);
        }
    }
    if (r.fields & kTransportSpeed) take_speed(t, r.speed);
    if (r.fields & kTransportTempo) take_field(t, kTransportTempo, &t->tempo, r.tempo);
    if (r.fields & kTransportBeatsPerBar) take_field(t, kTransportBeatsPerBar, &t->beats_per_bar, r.beats_per_bar);
    if (r.fields & kTransportBeatUnit) take_field(t, kTransportBeatUnit, &t->beat_unit, r.beat_unit);

    if (r.fields & kTransportBeat)
        take_field(t, kTransportBeat, &t->beat, r.beat);
    else
        forget_field(t, kTransportBeat);
    if (r.fields & kTransportBar)
        take_field(t, kTransportBar, &t->bar, r.bar);
    else
        forget_field(t, kTransportBar);
    if (r.fields & kTransportBarBeat)
        take_field(t, kTransportBarBeat, &t->bar_beat, r.bar_beat);
    else
        forget_field(t, kTransportBarBeat);
}

}  // namespace yawp::lv2
