#include "preset.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <nlohmann/json.hpp>

namespace yawp::presets_gen {
namespace {

namespace cat = catalogue;
using nlohmann::json;

constexpr size_t kMaxNameLength = 48;
constexpr size_t kMaxDescriptionLength = 160;
constexpr const char* kTopKeys[] = {"name", "category", "description", "voice", "vowels", "values"};
// A name becomes a file name in every host's preset folder.
constexpr const char* kNotInFileNames = "\\/:*?\"<>|";

template <size_t N>
int position_in(const char* const (&list)[N], const std::string& text) {
    for (size_t i = 0; i < N; ++i)
        if (text == list[i]) return static_cast<int>(i);
    return -1;
}

template <size_t N>
std::string listed(const char* const (&list)[N]) {
    std::string s;
    for (size_t i = 0; i < N; ++i) s += (i ? ", " : "") + std::string(list[i]);
    return s;
}

// Builds "FILE: reason" and fails.
class Reader {
public:
    explicit Reader(std::string path) : path_(std::move(path)) {}

    bool read(Preset* out, std::string* error);

private:
    bool fail(const std::string& reason) {
        *error_ = path_ + ": " + reason;
        return false;
    }
    bool text_field(const json& doc, const char* key, bool required, std::string* out);
    bool read_name(const std::string& name);
    bool read_values(const json& values, Preset* p);
    bool read_vowels(const json& vowels, Preset* p);

    std::string path_;
    std::string* error_ = nullptr;
};

bool Reader::text_field(const json& doc, const char* key, bool required, std::string* out) {
    const auto it = doc.find(key);
    if (it == doc.end()) return !required || fail(std::string("no \"") + key + "\"");
    if (!it->is_string()) return fail(std::string("\"") + key + "\" is not a text");
    *out = it->get<std::string>();
    if (out->find_first_of("\r\n\t") != std::string::npos) return fail(std::string("\"") + key + "\" is not one line");
    return true;
}

bool Reader::read_name(const std::string& name) {
    if (name.empty()) return fail("the name is empty");
    if (name.size() > kMaxNameLength) return fail("the name is longer than " + std::to_string(kMaxNameLength) + " bytes");
    if (name.front() == ' ' || name.back() == ' ' || name.back() == '.')
        return fail("the name starts or ends with a space or ends with a dot");
    for (unsigned char c : name)
        if (c < 0x20 || std::strchr(kNotInFileNames, c))
            return fail("the name holds a character a file name cannot: '" + std::string(1, static_cast<char>(c)) + "'");
    return true;
}

bool Reader::read_values(const json& values, Preset* p) {
    if (!values.is_object()) return fail("\"values\" is not an object of state keys");
    for (uint32_t i = 0; i < cat::kInputCount; ++i) p->values[i] = static_cast<float>(cat::entry(i)->def);
    for (const auto& [key, value] : values.items()) {
        const auto index = cat::index_of_state_key(key.data(), key.size());
        if (!index) return fail("unknown key '" + key + "' in \"values\"");
        if (!value.is_number()) return fail("the value of '" + key + "' is not a number");
        const double v = value.get<double>();
        const cat::RangeEntry* e = cat::entry(*index);
        if (!std::isfinite(v) || v < e->minimum || v > e->maximum) {
            char range[96];
            std::snprintf(range, sizeof range, "%g to %g", e->minimum, e->maximum);
            return fail("the value of '" + key + "' is out of range (" + value.dump() + ", not " + range + ")");
        }
        if ((e->kind & (cat::kKindToggle | cat::kKindBypass)) && v != 0 && v != 1)
            return fail("the value of '" + key + "' is a switch: 0 or 1, not " + value.dump());
        if ((e->kind & cat::kKindInteger) && v != std::floor(v))
            return fail("the value of '" + key + "' must be a whole number, not " + value.dump());
        p->values[*index] = static_cast<float>(v);
    }
    return true;
}

bool Reader::read_vowels(const json& vowels, Preset* p) {
    if (!vowels.is_object()) return fail("\"vowels\" is not an object of pedal ends");
    for (const auto& [end, vowel] : vowels.items()) {
        const int at = position_in(kEndNames, end);
        if (at < 0) return fail("unknown pedal end '" + end + "' in \"vowels\" (" + listed(kEndNames) + ")");
        if (!vowel.is_string() || position_in(kVowels, vowel.get<std::string>()) < 0)
            return fail("the vowel at the " + end + " is not one of " + listed(kVowels));
        p->vowels[at] = vowel.get<std::string>();
    }
    if (p->voice.empty()) return fail("names vowels but no \"voice\" to compare them with");
    if (!p->vowels[1].empty() && p->values[cat::kMidOn] < 0.5f) return fail("names a mid vowel with mid_on off");
    return true;
}

bool Reader::read(Preset* p, std::string* error) {
    error_ = error;
    const std::filesystem::path path(path_);
    p->file = path_;
    p->id = path.stem().string();
    if (path.extension() != ".json") return fail("a preset file's name ends in .json");
    if (p->id.empty() || !std::all_of(p->id.begin(), p->id.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
        }))
        return fail("a preset file's name is lower-case letters, digits and '-' (it becomes the preset's URI)");

    std::ifstream in(path, std::ios::binary);
    if (!in) return fail("cannot be read");
    // JSON lets a key repeat and keeps the last; in a preset that is a slip.
    std::vector<std::set<std::string>> keys;
    std::string repeated;
    const json::parser_callback_t note_keys = [&](int, json::parse_event_t event, json& parsed) {
        if (event == json::parse_event_t::object_start) keys.emplace_back();
        if (event == json::parse_event_t::object_end) keys.pop_back();
        if (event == json::parse_event_t::key && !keys.back().insert(parsed.get<std::string>()).second &&
            repeated.empty())
            repeated = parsed.get<std::string>();
        return true;
    };
    json doc;
    try {
        doc = json::parse(in, note_keys);
    } catch (const json::exception& e) {
        return fail(std::string("not valid JSON: ") + e.what());
    }
    if (!repeated.empty()) return fail("duplicate key '" + repeated + "'");
    if (!doc.is_object()) return fail("not a JSON object");
    for (const auto& [key, value] : doc.items())
        if (position_in(kTopKeys, key) < 0) return fail("unknown key '" + key + "' (" + listed(kTopKeys) + ")");

    if (!text_field(doc, "name", true, &p->name) || !read_name(p->name)) return false;
    if (!text_field(doc, "category", true, &p->category)) return false;
    const int category = position_in(kCategories, p->category);
    if (category < 0) return fail("unknown category '" + p->category + "' (" + listed(kCategories) + ")");
    p->category_index = static_cast<size_t>(category);
    if (!text_field(doc, "description", true, &p->description)) return false;
    if (p->description.empty() || p->description.size() > kMaxDescriptionLength)
        return fail("the description is empty or longer than " + std::to_string(kMaxDescriptionLength) + " bytes");
    if (!text_field(doc, "voice", false, &p->voice)) return false;
    if (!p->voice.empty() && position_in(kVoices, p->voice) < 0)
        return fail("unknown voice '" + p->voice + "' (" + listed(kVoices) + ")");
    if (!doc.contains("values")) return fail("no \"values\"");
    if (!read_values(doc["values"], p)) return false;
    if (doc.contains("vowels") && !read_vowels(doc["vowels"], p)) return false;
    return true;
}

}  // namespace

std::string folded(const std::string& s) {
    std::string f = s;
    for (char& c : f) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return f;
}

bool read_presets(const std::vector<std::string>& paths, std::vector<Preset>* out, std::string* error) {
    std::vector<Preset> presets;
    for (const std::string& path : paths) {
        Preset p;
        if (!Reader(path).read(&p, error)) return false;
        for (const Preset& other : presets) {
            // Hosts file presets by name, and some file systems ignore case.
            if (folded(other.name) == folded(p.name)) {
                *error = path + ": duplicate name '" + p.name + "' (also in " + other.file + ")";
                return false;
            }
            if (other.id == p.id) {
                *error = path + ": duplicate file name (also " + other.file + ")";
                return false;
            }
        }
        presets.push_back(std::move(p));
    }
    if (presets.empty()) {
        *error = "no preset files given";
        return false;
    }
    std::sort(presets.begin(), presets.end(), [](const Preset& a, const Preset& b) {
        return a.category_index != b.category_index ? a.category_index < b.category_index : a.name < b.name;
    });
    *out = std::move(presets);
    return true;
}

}  // namespace yawp::presets_gen
