// The transport record: the host's time information for one block.
//
// A wrapper fills it before each process call. A valid bit says the field
// holds a value the host gave; a changed bit says the field appeared,
// disappeared or took a new value since the previous block. The wrapper
// clears the changed flags at the start of every block and the valid flags
// at every activation.
#pragma once

#include <cstdint>

namespace yawp {

enum TransportBits : uint32_t {
    kTransportRolling = 0x001,
    kTransportSpeed = 0x002,
    kTransportTempo = 0x004,
    kTransportQuarterNotes = 0x008,
    kTransportBeat = 0x010,
    kTransportBeatsPerBar = 0x020,
    kTransportBeatUnit = 0x040,
    kTransportBar = 0x080,
    kTransportBarBeat = 0x100,
};

struct Transport {
    uint32_t changed = 0;
    uint32_t valid = 0;
    bool rolling = false;
    float speed = 0;           // 1 = normal playback, 0 = stopped
    float tempo = 0;           // beats per minute
    double quarter_notes = 0;  // song position in quarter notes
    double beat = 0;           // song position in beats of the beat unit
    float beats_per_bar = 0;
    uint32_t beat_unit = 0;  // 4 = quarter note
    uint64_t bar = 0;        // bars since the song start
    float bar_beat = 0;      // beat within the bar
};

}  // namespace yawp
