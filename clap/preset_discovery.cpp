#include "clap/preset_discovery.h"

namespace yawp::clap {

const clap_preset_discovery_factory* preset_discovery_factory() { return nullptr; }

}  // namespace yawp::clap
