// The renderer's help text and parameter list.
#pragma once

#include <cstdio>

namespace yawp::render {

void print_help(std::FILE* to);
void print_version(std::FILE* to);
void print_parameter_list(std::FILE* to);
void print_preset_list(std::FILE* to);

}  // namespace yawp::render
