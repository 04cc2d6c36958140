// State documents on disk: the renderer loads, saves and shows the same
// bytes a plug-in host keeps for a Yawp Wah instance.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "engine/catalogue.h"

namespace yawp::render {

// Restores the document in `path` into `values` with the host-value rule
// (as a VST3 host's state would be applied). A refused document leaves
// `values` untouched; *error names the reason.
bool load_state(const std::string& path, float values[catalogue::kInputCount], std::string* error);

// Writes the document of `values` as a plug-in of `format` ("vst3" or
// "lv2") running at `sample_rate` would save it.
bool save_state(const std::string& path, std::string_view format, float sample_rate,
                const float values[catalogue::kInputCount], std::string* error);

// Prints the info entries and the 32 values of the document in `path`, or
// returns false with the reason it is refused.
bool show_state(const std::string& path, std::FILE* to, std::string* error);

}  // namespace yawp::render
