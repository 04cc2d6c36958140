// CLAP's transport event as the engine's transport record.
#pragma once

#include <clap/clap.h>

#include "engine/transport.h"

namespace yawp::clap {

// [audio-thread] Takes the host's time information into `t`, marking what
// appeared, disappeared or moved as changed (the caller clears the changed
// bits at the start of each block). A null transport means the host sent
// none: every field becomes invalid.
//
// CLAP's beat positions are fixed-point numbers whose factor,
// CLAP_BEATTIME_FACTOR, is a power of two, so their division in double
// precision is exact for any position below 2^53 / 2^31 quarter notes. The
// engine follows beats alone; the seconds timeline has nothing to drive.
void take_transport(Transport& t, const clap_event_transport* ct);

}  // namespace yawp::clap
