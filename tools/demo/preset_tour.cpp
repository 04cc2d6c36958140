#include "preset_tour.h"

#include <deque>
#include <string>

namespace yawp::demo {
namespace {

// One of each kind: the pedal wah, a tempo figure, the envelope quack and
// the slow three-vowel morph.
constexpr const char* kTourPresets[] = {"Classic Wah", "Talk Box Eighths", "Funk Quack", "Oo Ee Ah Morph"};

// Scenes keep their names and titles as plain pointers, so the texts made
// here live as long as the program (a deque never moves its elements).
const char* kept(std::string text) {
    static std::deque<std::string> texts;
    texts.push_back(std::move(text));
    return texts.back().c_str();
}

}  // namespace

Scene preset_scene(const presets::Preset& p) {
    Scene scene{kept(std::string("preset-") + p.id),
                kept(std::string("Preset ") + p.name + " (" + p.category + "): " + p.description),
                {},
                {},
                p.values[catalogue::kLfoSync] >= 0.5f};
    for (uint32_t i = 0; i < catalogue::kInputCount; ++i) scene.settings.push_back({i, p.values[i]});
    return scene;
}

const std::vector<Scene>& preset_tour() {
    static const std::vector<Scene> kTour = [] {
        std::vector<Scene> tour;
        for (const char* name : kTourPresets)
            if (const presets::Preset* p = presets::find(name)) tour.push_back(preset_scene(*p));
        return tour;
    }();
    return kTour;
}

}  // namespace yawp::demo
