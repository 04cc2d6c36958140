// The preset tour: the demo input through a few factory presets, one of
// each kind, as scenes like the others.
#pragma once

#include <vector>

#include "demo_scenes.h"
#include "presets/factory.h"

namespace yawp::demo {

// A scene that plays `preset` as it is: all 32 values, the transport
// rolling at kTempo when its LFO follows the tempo.
Scene preset_scene(const presets::Preset& preset);

// The tour's scenes, in the order they are shown.
const std::vector<Scene>& preset_tour();

}  // namespace yawp::demo
