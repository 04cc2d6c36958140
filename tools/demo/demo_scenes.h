// The settings the demo renders, and the render itself.
#pragma once

#include <cstdint>
#include <vector>

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

std::vector<float> render_scene(const Scene& scene, const std::vector<float>& input);

}  // namespace yawp::demo
