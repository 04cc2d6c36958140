// A factory preset as its file in resources/presets/ describes it, and the
// rules every such file must keep.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "engine/catalogue.h"

namespace yawp::presets_gen {

// The categories, in the order menus list them.
inline constexpr const char* kCategories[] = {"Wah", "Talk", "Envelope", "Tempo", "Voice"};
inline constexpr size_t kCategoryCount = std::size(kCategories);

// The vowels a preset may name and the voices it may name them for: the
// rows and columns of the published vowel table the tests hold.
inline constexpr const char* kVowels[] = {"ee", "ih", "eh", "ae", "ah", "aw", "uh", "oo"};
inline constexpr const char* kVoices[] = {"man", "woman", "child"};

// The pedal ends a vowel can be named at: heel, mid and toe.
inline constexpr size_t kEnds = 3;
inline constexpr const char* kEndNames[kEnds] = {"heel", "mid", "toe"};

struct Preset {
    std::string file;  // the file's name, for messages
    std::string id;    // the file's stem: a lower-case slug, stable in URIs
    std::string name;
    std::string category;
    size_t category_index = 0;
    std::string description;
    std::string voice;                      // empty when none is named
    std::array<std::string, kEnds> vowels;  // empty where none is named
    std::array<float, catalogue::kInputCount> values{};  // plain, every key
};

// Reads every file, checks it and the set as a whole (no two presets of one
// name), and returns the presets ordered by category, then name. On the
// first fault returns false with "FILE: reason" in *error.
bool read_presets(const std::vector<std::string>& paths, std::vector<Preset>* out, std::string* error);

// `s` in lower case (ASCII): how names are compared, and how a category
// becomes part of a URI.
std::string folded(const std::string& s);

}  // namespace yawp::presets_gen
