// What the generator makes of the presets. Each writer returns false with
// a one-line reason in *error when a file cannot be written.
#pragma once

#include <string>
#include <vector>

#include "preset.h"

namespace yawp::presets_gen {

// LV2: presets.ttl for the bundle, and the lines manifest.ttl needs so that
// hosts find each preset (appended to the manifest by its generator).
bool write_lv2_presets(const std::vector<Preset>& presets, const std::string& presets_ttl,
                       const std::string& manifest_part, std::string* error);

// VST3: DIR/<Category>/<Name>.vstpreset, each holding the state document as
// the processor's getState writes it on `platform` ("linux" or "windows").
bool write_vst3_presets(const std::vector<Preset>& presets, const std::string& dir, const std::string& platform,
                        std::string* error);

// The table the renderer, the demo and the tests link: a C++ source that
// implements presets/factory.h.
bool write_cpp_table(const std::vector<Preset>& presets, const std::string& path, std::string* error);

// The editor page's table: a plain script that sets Yawp.presetTable.
bool write_page_table(const std::vector<Preset>& presets, const std::string& path, std::string* error);

// Shared by the writers.
std::string decimal(float v);                  // shortest text that reads back as v, with a dot
std::string quoted_c(const std::string& text);  // a C, JavaScript or Turtle string literal
bool write_text(const std::string& path, const std::string& text, std::string* error);

}  // namespace yawp::presets_gen
