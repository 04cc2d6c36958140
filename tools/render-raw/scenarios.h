// The fixed settings the raw renderer plays through, one after another.
#pragma once

#include <vector>

namespace yawp::raw {

// Appends the output of every scenario to *out.
void render_all(std::vector<float>* out);

}  // namespace yawp::raw
