// The factory presets offered to hosts through CLAP's preset discovery,
// from the same compiled-in table the other formats' presets come from.
#pragma once

#include <clap/clap.h>

namespace yawp::clap {

// [any-thread] The factory clap_entry.get_factory gives for
// CLAP_PRESET_DISCOVERY_FACTORY_ID.
const clap_preset_discovery_factory* preset_discovery_factory();

}  // namespace yawp::clap
