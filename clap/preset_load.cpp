#include "clap/extensions.h"

namespace yawp::clap {

const clap_plugin_preset_load* preset_load_extension() { return nullptr; }

}  // namespace yawp::clap
