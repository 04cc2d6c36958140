// The audio processor component: one engine behind IComponent,
// IAudioProcessor, IProcessContextRequirements and IConnectionPoint.
#pragma once

#include "vst3/sdk.h"

namespace yawp::vst3 {

// [main-thread] A processor with one reference, not yet initialized; null
// when memory is short.
Steinberg::Vst::IComponent* new_processor() noexcept;

}  // namespace yawp::vst3
