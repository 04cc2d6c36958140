// The settings the demo renders, and the render itself.
#pragma once

#include <cstdint>
#include <vector>

#include "demo_input.h"

namespace yawp::demo {

struct Setting {
    uint32_t index;  // catalogue index
    double value;    // plain
};

// A parameter change at a moment in the render, as host automation.
struct Change {
    double seconds;
    Setting setting;
};

struct Scene {
    const char* name;   // file name without ".wav"
    const char* title;  // one line for people: what to listen and look for
    std::vector<Setting> settings;
    std::vector<Change> changes;
    bool playing;  // transport rolling from the song's start at kTempo
};

inline constexpr float kTempo = 120.0f;

const std::vector<Scene>& scenes();

// The scene as a plug-in plays it: parameters set in catalogue order
// (defaults, then the scene's), the sample rate, a reset, then blocks with
// the host's transport.
std::vector<float> render_scene(const Scene& scene, const std::vector<float>& input,
                                uint32_t sample_rate = kSampleRate);

}  // namespace yawp::demo
