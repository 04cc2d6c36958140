// Who the plug-in is, as the factory describes it to hosts.
#pragma once

#include <clap/clap.h>

namespace yawp::clap {

inline constexpr const char* kPluginId = "audio.tallow.yawp-wah";

// [any-thread] The one descriptor of the factory.
const clap_plugin_descriptor* descriptor();

}  // namespace yawp::clap
