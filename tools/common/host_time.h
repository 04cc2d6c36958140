// A pretend host's transport for programs that drive the engine offline.
//
// The engine expects the transport record a plug-in wrapper fills from its
// host's time information before every block. Offline there is no host, so
// these programs describe what a host would know at the start of each block
// and let HostTimeFeed turn that into records with honest changed bits.
#pragma once

#include <cstdint>

#include "engine/transport.h"

namespace yawp::tools {

// What the pretend host knows at the start of one block. A field whose
// `*_known` flag is false is absent from the record.
struct HostTime {
    bool play_state_known = false;
    bool playing = false;  // rolling at normal speed; stopped otherwise
    bool tempo_known = false;
    float tempo = 0;  // beats per minute
    bool position_known = false;
    double quarter_notes = 0;  // song position
};

// Fills transport records block after block the way a VST3 wrapper maps
// its process context: rolling with speed 1 or stopped with speed 0, the
// tempo, the song position in quarter notes. Nothing else is ever valid.
class HostTimeFeed {
public:
    // Forget the previous block, as at an activation: the next record
    // announces every field it carries as changed.
    void restart() { record_ = Transport{}; }

    // The record for the next block.
    const Transport& next(const HostTime& now);

private:
    Transport record_;
};

// Song position, in quarter notes, `frames` samples after a start at
// `start` while playing steadily at `tempo` beats per minute.
double quarter_notes_after(double start, uint64_t frames, double sample_rate, double tempo);

}  // namespace yawp::tools
