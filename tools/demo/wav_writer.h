// Mono 32-bit float WAV files through libsndfile.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace yawp::demo {

// False on failure, with libsndfile's reason in *error.
bool write_wav(const std::string& path, const std::vector<float>& samples, uint32_t sample_rate,
               std::string* error);

}  // namespace yawp::demo
