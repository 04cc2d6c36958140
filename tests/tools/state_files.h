// Helpers for the state documents the renderer reads and writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "state/document.h"

namespace yawp::test {

// A file's bytes; empty when it cannot be read.
std::vector<uint8_t> read_file(const std::string& path);
void write_file(const std::string& path, const std::vector<uint8_t>& bytes);

// The parameter values of the state document at `path`; a document that
// does not parse or check fails the calling test.
state::ParameterValues values_in(const std::string& path);

}  // namespace yawp::test
