// The engine driven directly the way the CLAP plug-in drives it, to hold
// the plug-in's output against bit for bit:
//
//   activate: initialise, every parameter's value in index order, the
//   sample rate, reset; a fresh transport record.
//   a block: the record's changed bits cleared and the block's transport
//   taken; then one engine call for each run of samples between distinct
//   event times, the events at a run's start applied before it. The
//   changed bits are cleared after every engine call, so only the first
//   call of a block (or the one after a transport event) sees them. A block
//   of no samples hands the engine the transport alone.
//
// A value event sets the base value (coerced); a modulation event sets the
// parameter's amount; the engine gets the coerced sum. NaN values and
// amounts and unknown parameter ids are ignored.
#pragma once

#include <cstdint>

#include <clap/clap.h>

#include "clap_host.h"
#include "engine/catalogue.h"
#include "engine/engine.h"
#include "engine/transport.h"

namespace yawp::clap_test {

// The transport record a block's (or an event's) clap_event_transport
// makes of the previous one; null invalidates every field.
void take_transport(Transport& t, const clap_event_transport* e);

class ReferenceWah {
public:
    ReferenceWah();

    // Values for the next activation (a state loaded before it).
    void set_base(const float values[catalogue::kInputCount]);
    void activate(float sample_rate);
    void process(const float* in, float* out, uint32_t frames, const BlockEvents& events);

    Engine engine;

private:
    void apply(const clap_event_header* e);
    void send(uint32_t index);

    float base_[catalogue::kInputCount];
    float mod_[catalogue::kInputCount] = {};
    Transport transport_;
};

}  // namespace yawp::clap_test
