// Runs one audio file through the engine.
#pragma once

#include <string>

#include "options.h"

namespace yawp::render {

// Renders options.input into options.output (and the meters file, if
// asked). On failure returns false with a one-line description in *error
// and leaves no output file behind.
bool render_file(const Options& options, std::string* error);

}  // namespace yawp::render
