// The plug-in factory and the ids of the two classes it makes.
#pragma once

#include "vst3/sdk.h"

namespace yawp::vst3 {

// Written in the GUID form; INLINE_UID lays the bytes out in COM order on
// Windows and in the form's own order elsewhere, as every VST3 host expects.
inline constexpr Steinberg::TUID kProcessorCid = INLINE_UID(0xFDEF4AAC, 0xEADD4EFA, 0xA4C00EC3, 0x72FE9602);
inline constexpr Steinberg::TUID kControllerCid = INLINE_UID(0xDFE7A1D2, 0x301C406A, 0xA53AC782, 0xCF4D3CDD);

// The processor class's name and sub-categories as the factory lists them;
// the factory presets' meta data name the plug-in with the same two texts.
inline constexpr const char* kPluginName = "Yawp Wah";
inline constexpr const char* kPluginCategory = "Fx|Filter";

// [any-thread] The module's only factory; it lives as long as the module.
Steinberg::IPluginFactory3* factory();

}  // namespace yawp::vst3
