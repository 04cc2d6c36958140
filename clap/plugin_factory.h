// The factory that makes instances of the plug-in.
#pragma once

#include <clap/clap.h>

namespace yawp::clap {

// [any-thread] What clap_entry.get_factory gives for CLAP_PLUGIN_FACTORY_ID.
const clap_plugin_factory* plugin_factory();

}  // namespace yawp::clap
