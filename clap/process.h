// The audio path: process, and the parameter flush that shares its steps.
#pragma once

#include <clap/clap.h>

namespace yawp::clap {

struct ProcessCalls {
    // [audio-thread]
    static clap_process_status process(const clap_plugin* plugin, const clap_process* process);
    // [audio-thread] while active, [main-thread] otherwise.
    static void flush(const clap_plugin* plugin, const clap_input_events* in, const clap_output_events* out);
};

}  // namespace yawp::clap
