// Turns the host's time position events of one block into the engine's
// transport record.
#pragma once

#include <lv2/atom/atom.h>
#include <lv2/urid/urid.h>

#include "engine/transport.h"

namespace yawp::lv2 {

struct TimeUrids {
    LV2_URID atom_blank;
    LV2_URID atom_object;
    LV2_URID atom_int;
    LV2_URID atom_long;
    LV2_URID atom_float;
    LV2_URID atom_double;
    LV2_URID position;
    LV2_URID speed;
    LV2_URID beats_per_minute;
    LV2_URID beat;
    LV2_URID beats_per_bar;
    LV2_URID beat_unit;
    LV2_URID bar;
    LV2_URID bar_beat;

    void map_all(LV2_URID_Map* map);
};

// [audio-thread] Clears the record's changed flags and applies the position
// objects in `events` (null when nothing can be read). Event times are
// ignored: everything applies to the whole block, the last value wins.
void take_time_position(const LV2_Atom_Sequence* events, const TimeUrids& urids, Transport* t);

}  // namespace yawp::lv2
