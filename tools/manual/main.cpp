// Fills the manual's Markdown sources with what the code knows, so that no
// range, default, unit, sync-rate name or factory preset written in the
// manual can disagree with the plug-ins.
//
//   yawp-wah-manual-text SOURCE_DIR OUT_DIR
//
// Every *.md file of SOURCE_DIR is copied to OUT_DIR with its {{...}}
// markers replaced:
//
//   {{version}}              the product version
//   {{parameter-count}}      the number of parameters a host automates
//   {{preset-count}}         the number of factory presets
//   {{facts KEY...}}         range, default and unit of the parameters
//                            named by state key (one line)
//   {{parameters}}           the table of every parameter
//   {{meters}}               the table of the four meters
//   {{sync-rates}}           the table of the LFO's sync rates
//   {{presets}}              the factory presets by category
//
// An unknown marker or key stops it with the file, the line and the reason.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/catalogue.h"
#include "presets/factory.h"
#include "product_version.h"

namespace {

namespace cat = yawp::catalogue;
namespace fs = std::filesystem;

constexpr int kFailure = 2;
constexpr const char* kMinus = "\u2212";
constexpr const char* kUnitGap = "\u00a0";  // no line break between a number and its unit
constexpr const char* kWaveNames[] = {"sine", "triangle", "square", "random"};

struct Failure {
    std::string what;
};

std::string ascii(const char16_t* text) {
    std::string s;
    for (; *text; ++text) s += static_cast<char>(*text < 0x80 ? *text : '?');
    return s;
}

std::string title_of(uint32_t index) {
    cat::Presentation p{};
    cat::presentation(index, &p);
    return ascii(p.title);
}

uint32_t kind_of(uint32_t index) { return cat::entry(index)->kind; }

bool is_switch(uint32_t index) { return (kind_of(index) & (cat::kKindToggle | cat::kKindBypass)) != 0; }

// A number as a musician reads it: whole numbers plain, logarithmic values
// to three significant digits, others to one decimal; a true minus sign.
std::string number(uint32_t index, double v) {
    char buf[64];
    const double a = std::fabs(v);
    int decimals = 1;
    if (std::fabs(a - std::round(a)) < 1e-9 || a >= 99.95)
        decimals = 0;
    else if (kind_of(index) & cat::kKindLog)
        decimals = a < 9.995 ? 2 : a < 99.95 ? 1 : 0;
    std::snprintf(buf, sizeof buf, "%.*f", decimals, a);
    std::string s = buf;
    if (decimals > 0) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    if (v < 0 && s != "0") s = kMinus + s;
    return s;
}

// A plain value with its unit, or its name where it has one.
std::string value_text(uint32_t index, double v) {
    if (is_switch(index)) return v >= 0.5 ? "On" : "Off";
    if (index == cat::kLfoWaveform) {
        const long w = std::lround(v);
        if (std::fabs(v - static_cast<double>(w)) < 1e-9 && w >= 1 && w <= 4)
            return number(index, v) + " (" + kWaveNames[w - 1] + ")";
    }
    if (index == cat::kLfoSyncRate)
        return number(index, v) + " (" + cat::sync_rate_label(static_cast<int32_t>(std::lround(v))) + ")";
    std::string s = number(index, v);
    const std::string unit = cat::unit_text(index);
    if (!unit.empty()) s += kUnitGap + unit;
    return s;
}

std::string range_text(uint32_t index) {
    const cat::RangeEntry& e = *cat::entry(index);
    if (is_switch(index)) return "Off or On";
    if (index == cat::kLfoWaveform || index == cat::kLfoSyncRate)
        return value_text(index, e.minimum) + " to " + value_text(index, e.maximum);
    // The unit once, after the second number: "0 to 100 %".
    return number(index, e.minimum) + " to " + value_text(index, e.maximum);
}

std::string kind_text(uint32_t index) {
    const uint32_t k = kind_of(index);
    if (k & cat::kKindBypass) return "switch; the host's bypass";
    if (k & cat::kKindToggle) return "switch";
    if (index == cat::kLfoSyncRate) return "whole numbers, one per note length";
    if (k & cat::kKindInteger) return "whole numbers";
    if (index == cat::kLfoWaveform) return "continuous: morphs between the four shapes";
    if (index == cat::kLfoSyncPhase) return "degrees of the LFO cycle";
    if (k & cat::kKindLog) return "logarithmic travel";
    return "linear travel";
}

// Markdown text that may stand in a table cell as it is.
std::string escaped(const std::string& text) {
    std::string s;
    for (char c : text) {
        if (std::string_view("\\`*_[]<>|#").find(c) != std::string_view::npos) s += '\\';
        s += c;
    }
    return s;
}

uint32_t index_of_key(const std::string& key) {
    const auto index = cat::index_of_state_key(key.data(), key.size());
    if (!index) throw Failure{"no parameter has the key \"" + key + "\""};
    return *index;
}

// {{facts KEY...}}: one line of range, default and unit. Several keys share
// a range (the heel, mid and toe jaws); each names its own default.
std::string facts(const std::vector<std::string>& keys) {
    if (keys.empty()) throw Failure{"{{facts}} names no parameter"};
    std::vector<uint32_t> indices;
    for (const std::string& key : keys) indices.push_back(index_of_key(key));
    const uint32_t first = indices.front();
    for (uint32_t i : indices) {
        const cat::RangeEntry& a = *cat::entry(i);
        const cat::RangeEntry& b = *cat::entry(first);
        if (a.minimum != b.minimum || a.maximum != b.maximum || a.kind != b.kind ||
            std::string(cat::unit_text(i)) != cat::unit_text(first))
            throw Failure{"{{facts}} joins parameters of different ranges: " + keys.front()};
    }
    std::string s = "[**Range** " + range_text(first);
    if (kind_of(first) & cat::kKindLog) s += " (logarithmic)";
    s += " · **Default** ";
    if (indices.size() == 1) {
        s += value_text(first, cat::entry(first)->def);
    } else {
        for (size_t k = 0; k < indices.size(); ++k) {
            if (k > 0) s += ", ";
            s += title_of(indices[k]) + " " + value_text(indices[k], cat::entry(indices[k])->def);
        }
    }
    const std::string unit = cat::unit_text(first);
    if (!unit.empty() && !is_switch(first)) s += " · **Unit** " + unit;
    s += "]{.facts}";
    return s;
}

std::string parameters() {
    std::ostringstream o;
    o << "| Title | Key | Range | Default | Unit | Kind |\n"
         "|:------|:----|:------|:--------|:-----|:-----|\n";
    for (uint32_t i = 0; i < cat::kInputCount; ++i) {
        const std::string unit = cat::unit_text(i);
        o << "| " << title_of(i) << " | `" << cat::state_key(i) << "` | " << range_text(i) << " | "
          << value_text(i, cat::entry(i)->def) << " | " << (unit.empty() ? "–" : unit) << " | " << kind_text(i)
          << " |\n";
    }
    return o.str();
}

std::string meters() {
    std::ostringstream o;
    o << "| Meter | Range shown to hosts | Unit | At rest |\n"
         "|:------|:---------------------|:-----|:--------|\n";
    for (uint32_t i = cat::kInputCount; i < cat::kCount; ++i) {
        const cat::RangeEntry& e = *cat::entry(i);
        const std::string unit = cat::unit_text(i);
        o << "| " << title_of(i) << " | " << value_text(i, e.minimum) << " to " << value_text(i, e.maximum)
          << " | " << (unit.empty() ? "–" : unit) << " | " << value_text(i, e.def) << " |\n";
    }
    return o.str();
}

std::string beats(double quarters) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4g", quarters);
    return buf;
}

std::string sync_rates() {
    std::ostringstream o;
    o << "| Value | Name | One LFO cycle lasts |\n"
         "|------:|:-----|:--------------------|\n";
    for (int32_t v = 1; v <= cat::kSyncRateCount; ++v) {
        const double quarters = 1.0 / cat::sync_rate(v);
        o << "| " << v << " | " << cat::sync_rate_label(v) << " | " << beats(quarters)
          << (std::fabs(quarters - 1.0) < 1e-6 ? " quarter note" : " quarter notes") << " |\n";
    }
    return o.str();
}

std::string vowel_text(const yawp::presets::Preset& p) {
    static constexpr const char* kEnds[] = {"heel", "mid", "toe"};
    std::string s;
    for (int k = 0; k < 3; ++k) {
        if (p.vowels[k][0] == '\0') continue;
        if (!s.empty()) s += ", ";
        s += kEnds[k] + std::string(" “") + p.vowels[k] + "”";
    }
    const std::string voice = p.voice;
    if (!voice.empty()) s += (s.empty() ? "" : "; ") + std::string("a ") + voice + "’s voice";
    return s.empty() ? "–" : s;
}

std::string presets() {
    std::ostringstream o;
    std::string category;
    for (const yawp::presets::Preset& p : yawp::presets::factory()) {
        if (p.category != category) {
            category = p.category;
            o << "\n#### " << category << "\n\n"
              << "| Preset | Vowels | What it does |\n"
                 "|:-------|:-------|:-------------|\n";
        }
        o << "| **" << escaped(p.name) << "** | " << escaped(vowel_text(p)) << " | " << escaped(p.description)
          << " |\n";
    }
    return o.str();
}

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

std::string expand(const std::string& marker) {
    const std::vector<std::string> w = words(marker);
    if (w.empty()) throw Failure{"an empty marker"};
    const std::string& name = w.front();
    const bool alone = w.size() == 1;
    if (name == "version" && alone) return yawp::version::kText;
    if (name == "parameter-count" && alone) return std::to_string(cat::kInputCount);
    if (name == "preset-count" && alone) return std::to_string(yawp::presets::factory().size());
    if (name == "facts") return facts({w.begin() + 1, w.end()});
    if (name == "parameters" && alone) return parameters();
    if (name == "meters" && alone) return meters();
    if (name == "sync-rates" && alone) return sync_rates();
    if (name == "presets" && alone) return presets();
    throw Failure{"unknown marker {{" + marker + "}}"};
}

void fill(const fs::path& source, const fs::path& target) {
    std::ifstream in(source, std::ios::binary);
    if (!in) throw Failure{"cannot read " + source.string()};
    std::ostringstream out;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        try {
            size_t at = 0;
            for (size_t open; (open = line.find("{{", at)) != std::string::npos;) {
                const size_t close = line.find("}}", open + 2);
                if (close == std::string::npos) throw Failure{"a marker without its closing }}"};
                out << line.substr(at, open - at) << expand(line.substr(open + 2, close - open - 2));
                at = close + 2;
            }
            out << line.substr(at) << '\n';
        } catch (const Failure& f) {
            throw Failure{source.string() + ":" + std::to_string(number) + ": " + f.what};
        }
    }
    std::ofstream file(target, std::ios::binary);
    file << out.str();
    if (!file.flush()) throw Failure{"cannot write " + target.string()};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: yawp-wah-manual-text SOURCE_DIR OUT_DIR\n");
        return kFailure;
    }
    try {
        const fs::path source = argv[1];
        const fs::path target = argv[2];
        std::vector<fs::path> files;
        std::error_code ec;
        for (const fs::directory_entry& e : fs::directory_iterator(source, ec))
            if (e.is_regular_file() && e.path().extension() == ".md") files.push_back(e.path());
        if (ec) throw Failure{"cannot read " + source.string() + ": " + ec.message()};
        if (files.empty()) throw Failure{"no .md files in " + source.string()};
        std::sort(files.begin(), files.end());
        fs::create_directories(target, ec);
        if (ec) throw Failure{"cannot create " + target.string() + ": " + ec.message()};
        for (const fs::path& f : files) fill(f, target / f.filename());
    } catch (const Failure& f) {
        std::fprintf(stderr, "yawp-wah-manual-text: %s\n", f.what.c_str());
        return kFailure;
    }
    return 0;
}
