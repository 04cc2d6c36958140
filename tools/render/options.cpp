#include "options.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "presets/factory.h"

namespace yawp::render {
namespace {

// Strict number readers: the whole text must be the number. strtod alone
// would take "12abc" as 12, " 5" as 5 and "nan" as a value.
bool read_real(std::string_view text, double* out) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text.front()))) return false;
    const std::string copy(text);
    char* end = nullptr;
    const double v = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

bool read_count(std::string_view text, uint32_t* out) {
    constexpr size_t kMaxDigits = 9;  // keeps the sum below 2^32
    if (text.empty() || text.size() > kMaxDigits) return false;
    uint32_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint32_t>(c - '0');
    }
    *out = v;
    return true;
}

// Built piece by piece: GCC 12 warns falsely about `"'" + std::string`.
std::string quoted(std::string_view text) {
    std::string s;
    s.reserve(text.size() + 2);
    s += '\'';
    s += text;
    s += '\'';
    return s;
}

// Walks argv; options may be written "--name value" or "--name=value".
class Parser {
public:
    Parser(int argc, const char* const* argv, Options* o, std::string* error)
        : argc_(argc), argv_(argv), o_(o), error_(error) {}

    bool run();

private:
    bool fail(std::string message) {
        *error_ = std::move(message);
        return false;
    }
    bool take_value(std::string_view name, std::string_view* value);
    bool option(std::string_view name);
    bool set_parameter(std::string_view assignment);
    bool set_block(std::string_view text);
    bool set_tempo(std::string_view text);
    bool set_start(std::string_view text);
    bool set_path(std::string_view name, std::string_view value, std::string* path);
    bool set_format(std::string_view text);
    bool set_preset(std::string_view name);

    int argc_;
    const char* const* argv_;
    Options* o_;
    std::string* error_;
    int next_ = 1;
    std::string_view inline_value_;
    bool has_inline_value_ = false;
    bool start_given_ = false;
};

bool Parser::take_value(std::string_view name, std::string_view* value) {
    if (has_inline_value_) {
        *value = inline_value_;
        has_inline_value_ = false;
        return true;
    }
    if (next_ >= argc_) return fail("option " + std::string(name) + " needs a value");
    *value = argv_[next_++];
    return true;
}

bool Parser::set_parameter(std::string_view assignment) {
    const size_t eq = assignment.find('=');
    if (eq == std::string_view::npos || eq == 0)
        return fail("--set needs KEY=VALUE, got " + quoted(assignment));
    const std::string_view key = assignment.substr(0, eq);
    const std::string_view text = assignment.substr(eq + 1);
    const auto index = catalogue::index_of_state_key(key.data(), key.size());
    if (!index) return fail("unknown parameter key " + quoted(key) + " (see --list)");
    double v = 0;
    if (!read_real(text, &v))
        return fail("value of " + std::string(key) + " is not a finite number: " + quoted(text));
    o_->overrides.emplace_back(*index, static_cast<float>(catalogue::coerce(*index, v)));
    return true;
}

bool Parser::set_block(std::string_view text) {
    uint32_t n = 0;
    if (!read_count(text, &n) || n < kMinBlock || n > kMaxBlock)
        return fail("block size must be a whole number from 1 to 8192, got " + quoted(text));
    o_->block = n;
    return true;
}

bool Parser::set_tempo(std::string_view text) {
    double v = 0;
    if (!read_real(text, &v) || !(v > 0) || !std::isfinite(static_cast<float>(v)))
        return fail("tempo must be a positive number of beats per minute, got " + quoted(text));
    o_->tempo = static_cast<float>(v);
    o_->tempo_known = true;
    return true;
}

bool Parser::set_start(std::string_view text) {
    double v = 0;
    if (!read_real(text, &v))
        return fail("start position must be a finite number of quarter notes, got " + quoted(text));
    o_->start_quarter_notes = v;
    start_given_ = true;
    return true;
}

bool Parser::set_path(std::string_view name, std::string_view value, std::string* path) {
    if (value.empty()) return fail(std::string(name) + " needs a file name");
    *path = value;
    return true;
}

bool Parser::set_format(std::string_view text) {
    if (text != "vst3" && text != "lv2") return fail("--state-format must be vst3 or lv2, got " + quoted(text));
    o_->state_format = text;
    return true;
}

// The preset's values replace the defaults at once; --set values apply
// after it whatever their place on the command line.
bool Parser::set_preset(std::string_view name) {
    if (!o_->preset.empty()) return fail("--preset given twice");
    const presets::Preset* p = presets::find(name);
    if (p == nullptr) return fail("unknown preset " + quoted(name) + " (see --list-presets)");
    o_->preset = name;
    for (uint32_t i = 0; i < catalogue::kInputCount; ++i) o_->values[i] = p->values[i];
    return true;
}

bool Parser::option(std::string_view name) {
    std::string_view value;
    if (name == "--help" || name == "-h") o_->action = Action::kHelp;
    else if (name == "--version") o_->action = Action::kVersion;
    else if (name == "--list") o_->action = Action::kList;
    else if (name == "--list-presets") o_->action = Action::kListPresets;
    else if (name == "--play") o_->playing = true;
    else if (name == "--float") o_->float_output = true;
    else if (name == "--set") return take_value(name, &value) && set_parameter(value);
    else if (name == "--block") return take_value(name, &value) && set_block(value);
    else if (name == "--tempo") return take_value(name, &value) && set_tempo(value);
    else if (name == "--start-qn") return take_value(name, &value) && set_start(value);
    else if (name == "--preset") return take_value(name, &value) && set_preset(value);
    else if (name == "--state") return take_value(name, &value) && set_path(name, value, &o_->state_in);
    else if (name == "--save-state") return take_value(name, &value) && set_path(name, value, &o_->state_out);
    else if (name == "--state-format") return take_value(name, &value) && set_format(value);
    else if (name == "--show-state") {
        if (!take_value(name, &value) || !set_path(name, value, &o_->show_state)) return false;
        o_->action = Action::kShowState;
        return true;
    } else if (name == "--meters") {
        if (!take_value(name, &value)) return false;
        if (value.empty()) return fail("--meters needs a file name");
        o_->meters = value;
    } else {
        return fail("unknown option " + quoted(name) + " (see --help)");
    }
    if (has_inline_value_) return fail("option " + std::string(name) + " takes no value");
    return true;
}

bool Parser::run() {
    for (uint32_t i = 0; i < catalogue::kInputCount; ++i)
        o_->values[i] = static_cast<float>(catalogue::entry(i)->def);

    std::string files[2];
    int file_count = 0;
    bool options_done = false;
    while (next_ < argc_) {
        std::string_view arg = argv_[next_++];
        if (!options_done && arg == "--") {
            options_done = true;
            continue;
        }
        if (!options_done && arg.size() > 1 && arg.front() == '-') {
            const size_t eq = arg.find('=');
            has_inline_value_ = eq != std::string_view::npos;
            if (has_inline_value_) inline_value_ = arg.substr(eq + 1);
            if (!option(arg.substr(0, eq))) return false;
            continue;
        }
        if (file_count == 2) return fail("too many file names: " + quoted(arg));
        files[file_count++] = arg;
    }
    if (o_->action != Action::kRender) return true;
    if (!o_->preset.empty() && !o_->state_in.empty())
        return fail("--preset and --state both give every value: use one of them");
    if (file_count < 2) return fail("needs an input and an output file (see --help)");
    if (start_given_ && !o_->playing) return fail("--start-qn needs --play");
    if (o_->playing) o_->tempo_known = true;
    o_->input = files[0];
    o_->output = files[1];
    return true;
}

}  // namespace

bool parse_options(int argc, const char* const* argv, Options* options, std::string* error) {
    return Parser(argc, argv, options, error).run();
}

}  // namespace yawp::render
