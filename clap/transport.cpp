#include "clap/transport.h"

namespace yawp::clap {
namespace {

constexpr uint32_t kRollingBits = kTransportRolling | kTransportSpeed;
constexpr uint32_t kSignatureBits = kTransportBeatsPerBar | kTransportBeatUnit;
constexpr uint32_t kBarBits = kTransportBar | kTransportBarBeat;
constexpr uint32_t kAllBits = kRollingBits | kTransportTempo | kTransportQuarterNotes | kSignatureBits | kBarBits;

// A quarter note is the unit of CLAP's beat time, whatever the signature.
constexpr double kQuarterNotesPerBeatUnit = 4.0;

double quarter_notes_of(clap_beattime beats) { return static_cast<double>(beats) / CLAP_BEATTIME_FACTOR; }

// [audio-thread] A field the host stopped sending becomes invalid, and
// that is a change too.
void invalidate(Transport& t, uint32_t bits) {
    t.changed |= t.valid & bits;
    t.valid &= ~bits;
}

// [audio-thread] A field now valid: changed when it was not valid before or
// when its value moved.
template <class T>
void take_field(Transport& t, uint32_t bits, T& field, T value) {
    if (!(t.valid & bits) || field != value) t.changed |= bits;
    field = value;
    t.valid |= bits;
}

// [audio-thread] The bar and the beat within it, in beats of the
// signature's unit, when the host gives both timelines' anchors.
void take_bar(Transport& t, const clap_event_transport& ct) {
    const bool beats = (ct.flags & CLAP_TRANSPORT_HAS_BEATS_TIMELINE) != 0;
    const bool signature = (ct.flags & CLAP_TRANSPORT_HAS_TIME_SIGNATURE) != 0 && ct.tsig_denom > 0;
    if (!beats || !signature || ct.bar_number < 0) {
        invalidate(t, kBarBits);
        return;
    }
    const double in_bar = quarter_notes_of(ct.song_pos_beats - ct.bar_start);
    take_field(t, kTransportBar, t.bar, static_cast<uint64_t>(ct.bar_number));
    take_field(t, kTransportBarBeat, t.bar_beat, static_cast<float>(in_bar * ct.tsig_denom / kQuarterNotesPerBeatUnit));
}

}  // namespace

void take_transport(Transport& t, const clap_event_transport* ct) {
    if (ct == nullptr) {
        invalidate(t, kAllBits);
        return;
    }
    const bool rolling = (ct->flags & CLAP_TRANSPORT_IS_PLAYING) != 0;
    if (!(t.valid & kRollingBits) || t.rolling != rolling) t.changed |= kRollingBits;
    t.rolling = rolling;
    t.speed = rolling ? 1.0f : 0.0f;
    t.valid |= kRollingBits;

    if (ct->flags & CLAP_TRANSPORT_HAS_TEMPO)
        take_field(t, kTransportTempo, t.tempo, static_cast<float>(ct->tempo));
    else
        invalidate(t, kTransportTempo);

    if (ct->flags & CLAP_TRANSPORT_HAS_BEATS_TIMELINE)
        take_field(t, kTransportQuarterNotes, t.quarter_notes, quarter_notes_of(ct->song_pos_beats));
    else
        invalidate(t, kTransportQuarterNotes);

    if (ct->flags & CLAP_TRANSPORT_HAS_TIME_SIGNATURE) {
        take_field(t, kTransportBeatsPerBar, t.beats_per_bar, static_cast<float>(ct->tsig_num));
        take_field(t, kTransportBeatUnit, t.beat_unit, static_cast<uint32_t>(ct->tsig_denom));
    } else {
        invalidate(t, kSignatureBits);
    }
    take_bar(t, *ct);
}

}  // namespace yawp::clap
